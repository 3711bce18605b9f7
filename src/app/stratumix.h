// The job of one run, as one value that the run makes and hands to the
// dialogue's two stages, and the run itself.
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

// The dialogue asks for 99 files at most; the command line takes as many
// as it is given.
inline constexpr int kMaxFiles = 99;

// What the dialogue sets up and pastes: its job table, its files, where
// they are and where its answers come from. The command line's job pastes
// into the same result and info report.
struct DialogueJob {
  DialogueJob(Disk& on, Answers& from) : disk(&on), answers(&from) {}
  DialogueJob(const DialogueJob&) = delete;
  DialogueJob& operator=(const DialogueJob&) = delete;

  // Entries 1 to numlay; entry 0 is never used.
  std::vector<data_file> files = std::vector<data_file>(kMaxFiles + 1);
  std::int32_t numlay = 0;

  OutputFile f2;                   // the result point file
  std::unique_ptr<PointInput> f3;  // the input file being read
  OutputFile f6;                   // the info report

  // Where the files are: the system's disk, or a stand-in in tests.
  Disk* disk;
  // The operator's answers: standard input, or answers typed in a test.
  Answers* answers;

  // Set when a file held text that is not points: its rest was not pasted.
  bool input_incomplete = false;

  // The inputs the pasting began and those it read to their end, for the
  // info report of a job that is interrupted.
  std::int32_t files_begun = 0;
  std::int32_t files_ended = 0;
};

// Runs the program on the arguments that follow its name and returns its
// exit status: 0 done; 1 refused, or stopped by an error; 2 done but some
// input was left out, whole or in part (text that is not points, a form
// refused, a damaged LAS or LAZ file); 128 + the signal when interrupted.
// The files are on `stand_in` when given (in tests), else on the system's
// disk; the dialogue's answers come from `typed` when given, else from
// standard input.
int run_stratumix(std::vector<std::string> arguments, Disk* stand_in = nullptr,
                  Answers* typed = nullptr);

#endif  // STRATUMIX_APP_STRATUMIX_H_
