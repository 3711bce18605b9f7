// How the program ends early: whoever finds that the run cannot go on
// throws a Failure; main reports it and ends with its status.
#ifndef STRATUMIX_IO_FAILURE_H_
#define STRATUMIX_IO_FAILURE_H_

#include <string>

struct Failure {
  int status;           // the process's exit status
  std::string message;  // for standard error; empty when already told
  // The input's own bytes were found wrong (gzip data that fails its
  // check): nothing read from it can be trusted, not even before the fault.
  bool input_damaged = false;
};

#endif  // STRATUMIX_IO_FAILURE_H_
