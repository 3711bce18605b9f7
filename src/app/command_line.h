// The command line: a job given as arguments, for scripts and for more
// files than the dialogue takes. Without arguments the program holds its
// dialogue instead.
#ifndef STRATUMIX_APP_COMMAND_LINE_H_
#define STRATUMIX_APP_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "filter/filter_options.h"
#include "io/disk.h"
#include "io/output_file.h"
#include "job/job.h"
#include "read/text/layout.h"
#include "write/writer_options.h"

struct Arguments {
  enum class Action { kDialogue, kHelp, kVersion, kPaste, kWrong } action = Action::kDialogue;
  std::string result;               // kPaste: the -o file
  std::vector<std::string> inputs;  // kPaste: in the order given
  bool quiet = false;
  layout::Options reading;  // kPaste: how inputs are read
  WriterOptions writing;    // kPaste: the result's numbers, line ends and columns
  FilterOptions filtering;  // kPaste: which points are pasted
  bool brief = false;       // the summary alone, not the report of each file
  enum class Progress { kAtTerminal, kOn, kOff } progress = Progress::kAtTerminal;
  std::string report;  // the JSON report's path, if any
  std::string map;     // the SVG map's path, if any
  std::string index;   // the GeoJSON tile index's path, if any
  std::string wrong;   // kWrong: what is wrong with them, in one line
};

// Reads the arguments that follow the program's name.
Arguments parse_arguments(std::vector<std::string> arguments);

// The text of --version.
std::string version_line();

// Sets up the job the arguments give, as the dialogue's opening does: the
// inputs on `disk`, and `result` and `info_report` created. Everything is
// checked before anything is created; throws Failure (status 1) otherwise.
// The names of the inputs move from `arguments` to the job.
Job command_line_opening(Arguments& arguments, Disk& disk, OutputFile& result,
                         OutputFile& info_report);

#endif  // STRATUMIX_APP_COMMAND_LINE_H_
