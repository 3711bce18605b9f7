#include "app/stratumix.h"

#include <exception>
#include <new>
#include <utility>

#include "app/command_line.h"
#include "app/command_line_job.h"
#include "app/opening.h"
#include "app/treatment.h"
#include "app/usage.h"
#include "io/failure.h"
#include "io/text_out.h"
#include "job/job.h"
#include "job/pasting.h"
#include "platform/platform.h"

std::vector<data_file> files(kMaxFiles + 1);
std::int32_t numlay = 0;
OutputFile f2;
std::unique_ptr<PointInput> f3;
OutputFile f6;
Disk* disk = nullptr;
Answers* answers = nullptr;
bool input_incomplete = false;

namespace {

void start_afresh() {
  files.assign(kMaxFiles + 1, data_file{});
  numlay = 0;
  f3.reset();
  input_incomplete = false;
  console.set_quiet(false);
  console.forget_errors();
}

// Ends the run as normal termination does: every file still open is
// written out and closed, and only then is the run's status known.
int finish(int status) {
  f3.reset();
  for (OutputFile* file : {&f2, &f6}) {
    try {
      file->close();
    } catch (const Failure& failure) {
      report_error(failure.message);
      status = 1;
    }
  }
  console.flush();
  if (status == 0 && input_incomplete) status = 2;
  return status;
}

int carry_out(Arguments& arguments, Job& job, CommandLineJob& watcher) {
  switch (arguments.action) {
    case Arguments::Action::kHelp:
      console << usage();
      return 0;
    case Arguments::Action::kVersion:
      console << version_line();
      return 0;
    case Arguments::Action::kWrong:
      report_error(arguments.wrong + "\nTry 'stratumix --help'.");
      return 1;
    case Arguments::Action::kDialogue:
      opening();
      break;
    case Arguments::Action::kPaste:
      console.set_quiet(arguments.quiet);
      job = command_line_opening(arguments, *disk, f2, f6);
      watcher.set_up(job, *disk);
      paste(job, *disk, console, watcher, PastingLeft{f3, input_incomplete});
      return 0;
  }
  treatment();
  return 0;
}

}  // namespace

int run_stratumix(std::vector<std::string> arguments, Disk* stand_in, Answers* typed) {
  start_afresh();
  Arguments parsed = parse_arguments(std::move(arguments));
  // The dialogue composes Windows paths under c:\images; the command line
  // takes the system's own.
  SystemDisk system_disk(parsed.action == Arguments::Action::kDialogue);
  disk = stand_in != nullptr ? stand_in : &system_disk;
  Answers from_standard_input(stdin, platform::answers_typed_at_terminal());
  answers = typed != nullptr ? typed : &from_standard_input;
  int status = 1;
  std::string why;  // what stopped the job, for its report
  // The command line's job, kept to its end: its report names its inputs.
  Job job;
  CommandLineJob watcher(parsed);
  try {
    status = carry_out(parsed, job, watcher);
  } catch (const Failure& failure) {
    status = failure.status;
    why = failure.message;
    int signal = platform::interruption();
    // An interruption already said where it was noticed carries its own
    // status and message.
    if (signal != 0 && failure.status != 128 + signal) {
      // Whatever the interruption cut short, a read that waited, say.
      why = f2.is_open() ? "Interrupted: the result holds the points pasted so far, in whole "
                           "lines."
                         : "Interrupted.";
      status = 128 + signal;
    }
    if (!why.empty()) report_error(why);
  } catch (const std::bad_alloc&) {
    why = "Out of memory.";
    report_error(why);
  } catch (const std::exception& error) {  // a thread the system would not start, say
    why = std::string("Stopped: ") + error.what();
    report_error(why);
  }
  status = finish(status);
  if (parsed.action == Arguments::Action::kPaste) {
    bool done = status == 0 || status == 2;
    // A failure told where it happened (an input that would not open, the
    // result that would not close) says it there.
    if (!done && why.empty()) why = console.last_error();
    status = watcher.finish(status, done ? "" : why);
  }
  // A result whose write failed was kept open only to be cut back.
  if (f2.failed()) f2.abandon();
  // The dialogue's console stays as it always was; after a command line a
  // shell's prompt follows.
  if (parsed.action != Arguments::Action::kDialogue) {
    console.end_line();
    // The result is whole; the console's text (the summary, the help) that
    // a script may read is not.
    if (console.report_output_failure()) status = 1;
  }
  disk = nullptr;
  answers = nullptr;
  return status;
}
