// How the program ends early: whoever finds that the run cannot go on
// throws a Failure; main reports it and ends with its status.
#ifndef STRATUMIX_FAILURE_H_
#define STRATUMIX_FAILURE_H_

#include <string>

struct Failure {
  int status;           // the process's exit status
  std::string message;  // for standard error; empty when already told
};

#endif  // STRATUMIX_FAILURE_H_
