#include "app/stratumix.h"

#include <exception>
#include <new>
#include <string>
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
#include "write/info_report.h"

namespace {

void start_afresh() {
  console.set_quiet(false);
  console.forget_errors();
}

// What stopped the run that is no Failure of its own: memory that ran out,
// or a thread the system would not start, say.
std::string stopped_by(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "Out of memory.";
  return std::string("Stopped: ") + error.what();
}

// Ends the run as normal termination does: every file still open is
// written out and closed, and only then is the run's status known. Closing
// a LAS or LAZ result still compresses and writes, and may run out of
// memory too.
int finish(DialogueJob& job, int status) {
  job.f3.reset();
  for (OutputFile* file : {&job.f2, &job.f6}) {
    try {
      file->close();
    } catch (const Failure& failure) {
      report_error(failure.message);
      status = 1;
    } catch (const std::exception& error) {
      // Memory that ran out during the job may run out again here: told
      // once.
      const std::string message = stopped_by(error);
      if (message != console.last_error()) report_error(message);
      status = 1;
    }
  }
  console.flush();
  if (status == 0 && job.input_incomplete) status = 2;
  return status;
}

// The info report of an interrupted job says how far it went: it was
// written whole before the first point, for every file asked for.
void tell_interruption(DialogueJob& job, const Arguments& parsed, const CommandLineJob& watcher) {
  if (!job.f6.is_open()) return;
  const bool command_line = parsed.action == Arguments::Action::kPaste;
  const auto begun = static_cast<std::int64_t>(
      command_line ? watcher.inputs_begun() : static_cast<std::size_t>(job.files_begun));
  const auto ended = static_cast<std::int64_t>(
      command_line ? watcher.inputs_ended() : static_cast<std::size_t>(job.files_ended));
  try {
    write_interruption(job.f6, ended, begun > ended);
  } catch (const Failure&) {
    // The report stays as it was written; closing it tells the error.
  }
}

int carry_out(Arguments& arguments, DialogueJob& dialogue, Job& job, CommandLineJob& watcher) {
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
      opening(dialogue);
      break;
    case Arguments::Action::kPaste:
      console.set_quiet(arguments.quiet);
      job = command_line_opening(arguments, *dialogue.disk, dialogue.f2, dialogue.f6);
      watcher.set_up(job, *dialogue.disk);
      paste(job, *dialogue.disk, console, watcher,
            PastingLeft{dialogue.f3, dialogue.input_incomplete});
      return 0;
  }
  treatment(dialogue);
  return 0;
}

}  // namespace

int run_stratumix(std::vector<std::string> arguments, Disk* stand_in, Answers* typed) {
  start_afresh();
  Arguments parsed = parse_arguments(std::move(arguments));
  // The dialogue composes Windows paths under c:\images; the command line
  // takes the system's own.
  SystemDisk system_disk(parsed.action == Arguments::Action::kDialogue);
  Answers from_standard_input(stdin, platform::answers_typed_at_terminal());
  // A run starts with no answer read, whatever an earlier run left.
  DialogueJob dialogue(stand_in != nullptr ? *stand_in : system_disk,
                       typed != nullptr ? *typed : from_standard_input);
  int status = 1;
  std::string why;  // what stopped the job, for its report
  // The command line's job, kept to its end: its report names its inputs.
  Job job;
  CommandLineJob watcher(parsed);
  try {
    status = carry_out(parsed, dialogue, job, watcher);
  } catch (const Failure& failure) {
    status = failure.status;
    why = failure.message;
    int signal = platform::interruption();
    // An interruption already said where it was noticed carries its own
    // status and message.
    if (signal != 0 && failure.status != 128 + signal) {
      // Whatever the interruption cut short, a read that waited, say.
      why = !dialogue.f2.is_open() ? "Interrupted."
            : job.las != nullptr
                ? "Interrupted: the result holds the points pasted so far, as its header says."
                : "Interrupted: the result holds the points pasted so far, in whole lines.";
      status = 128 + signal;
    }
    const bool interrupted = signal != 0 && status == 128 + signal;
    watcher.end_progress();
    // Where the summary goes to the terminal that shows the messages, its
    // "Stopped:" tells the interruption: said once.
    const bool in_summary = parsed.action == Arguments::Action::kPaste && watcher.began() &&
                            !parsed.quiet && platform::console_shared_with_errors();
    if (!why.empty() && !(interrupted && in_summary)) report_error(why);
    if (interrupted) tell_interruption(dialogue, parsed, watcher);
  } catch (const std::exception& error) {
    why = stopped_by(error);
    report_error(why);
  }
  status = finish(dialogue, status);
  // A LAS or LAZ result whose write failed is cut back to the points its
  // header can tell, before the figures are taken from it. Without the
  // memory to do so, its header still tells no more than it holds.
  try {
    dialogue.f2.settle();
  } catch (const std::exception& error) {
    report_error(stopped_by(error));
    status = 1;
  }
  if (parsed.action == Arguments::Action::kPaste) {
    bool done = status == 0 || status == 2;
    // A failure told where it happened (an input that would not open, the
    // result that would not close) says it there.
    if (!done && why.empty()) why = console.last_error();
    status = watcher.finish(status, done ? "" : why);
  }
  // A result whose write failed was kept open only to be cut back.
  if (dialogue.f2.failed()) dialogue.f2.abandon();
  // The dialogue's console stays as it always was; after a command line a
  // shell's prompt follows.
  if (parsed.action != Arguments::Action::kDialogue) {
    console.end_line();
    // The result is whole; the console's text (the summary, the help) that
    // a script may read is not.
    if (console.report_output_failure()) status = 1;
  }
  return status;
}
