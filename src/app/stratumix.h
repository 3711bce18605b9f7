// The state the two stages of a run share: the job that the dialogue or the
// command line sets up and the pasting carries out.
#ifndef STRATUMIX_APP_STRATUMIX_H_
#define STRATUMIX_APP_STRATUMIX_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/answers.h"
#include "io/disk.h"
#include "io/output_file.h"
#include "read/point_input.h"

// One input file of the job.
struct data_file {
  std::string nombre;  // its full path, as composed
};

// Entries 1 to numlay; entry 0 is never used. The dialogue asks for 99
// files at most; the command line takes as many as it is given.
inline constexpr int kMaxFiles = 99;
extern std::vector<data_file> files;
extern std::int32_t numlay;

extern OutputFile f2;                   // the result point file
extern std::unique_ptr<PointInput> f3;  // the input file being read
extern OutputFile f6;                   // the info report

// Where the files are: the system's disk, or a stand-in in tests.
extern Disk* disk;
// The operator's answers: standard input, or answers typed in a test. A
// run starts with none read, whatever an earlier run left.
extern Answers* answers;

// Set when a file held text that is not points: its rest was not pasted.
extern bool input_incomplete;

// Runs the program on the arguments that follow its name and returns its
// exit status: 0 done, 1 stopped on an error, 2 done but some input text was
// not points and was left out, 128 + the signal when interrupted. The files
// are on `stand_in` when given (in tests), else on the system's disk; the
// dialogue's answers come from `typed` when given, else from standard input.
int run_stratumix(std::vector<std::string> arguments, Disk* stand_in = nullptr,
                  Answers* typed = nullptr);

#endif  // STRATUMIX_APP_STRATUMIX_H_
