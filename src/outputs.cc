#include "outputs.h"

#include <cstdint>
#include <memory>

#include "disk.h"
#include "failure.h"
#include "paths.h"
#include "platform.h"
#include "stratumix.h"
#include "text_out.h"

namespace {

// Pasting must never write over an input, nor read what it writes.
void refuse_output_over_input(const std::string& output, bool by_spelling) {
  for (std::int32_t i = 1; i <= numlay; ++i) {
    const std::string& input = files[static_cast<std::size_t>(i)].nombre;
    if ((by_spelling && disk->same_spelling(output, input)) || disk->same_file(output, input)) {
      throw Failure{1, "The output file " + output + " would overwrite input file " +
                           std::to_string(i) + " (" + input + "); nothing was created."};
    }
  }
}

std::unique_ptr<ClaimedFile> claim(const std::string& path, const std::string& other_output) {
  std::string reason;
  bool in_use = false;
  std::unique_ptr<ClaimedFile> file = disk->claim(path, reason, in_use);
  if (in_use && disk->same_file(path, other_output)) {
    throw Failure{1, "The result and the info report " + disk->describe(path) +
                         " are one file; nothing was created."};
  }
  if (in_use) {
    throw Failure{1, "Cannot create " + disk->describe(path) +
                         ": another job is writing it; nothing was changed."};
  }
  if (file == nullptr) throw Failure{1, "Cannot create " + disk->describe(path) + ": " + reason};
  return file;
}

// A result holds points only: no console text may go into an output.
void refuse_console_output_into(const std::string& output) {
  int stream = disk->standard_stream_writing(output);
  if (stream == 2 || (stream == 1 && !console.quiet())) {
    throw Failure{1, std::string(stream == 1 ? "Standard output" : "Standard error") +
                         " goes to the output file " + disk->describe(output) +
                         "; nothing was created."};
  }
}

void write_info_report() {
  f6 << "\n PROGRAM STRATUMIX \n";
  f6 << "\n\n\tNumber of files to paste = " << numlay << " ";
  for (std::int32_t i = 1; i <= numlay; ++i) {
    f6 << "\n\t\tFile " << i << " Name : " << files[static_cast<std::size_t>(i)].nombre << " ";
  }
  f6 << "\n\n";
}

}  // namespace

std::string info_report_for(const std::string& result) {
  std::string name = result;
  std::string_view extension = paths::kExtension;
  if (name.size() >= extension.size() &&
      paths::equal_ignoring_case(std::string_view(name).substr(name.size() - extension.size()),
                                 extension)) {
    name.resize(name.size() - extension.size());
  }
  return name + std::string(paths::kInfoSuffix);
}

void stop_if_interrupted_before_changes() {
  if (int signal = platform::interruption(); signal != 0) {
    throw Failure{128 + signal, "Interrupted; nothing was changed."};
  }
}

void create_output_files(const std::string& result, const std::string& info) {
  stop_if_interrupted_before_changes();
  refuse_output_over_input(result, true);
  refuse_output_over_input(info, true);

  // Neither output is emptied until both are open, and the result not until
  // the info report is written: a job that fails to set up leaves an
  // earlier result as it was. Both stay claimed until the job ends.
  std::unique_ptr<ClaimedFile> result_file = claim(result, info);
  std::unique_ptr<ClaimedFile> info_file;
  try {
    // A result that is a standard stream, a pipe or a device has nothing
    // beside it to put a report in (/dev/stdout_xyz_info.txt): it has none.
    if (result_file->plain()) info_file = claim(info, result);
    // Both exist now, so an input that names one of them through a link
    // that led nowhere before, or in another spelling, is found.
    refuse_output_over_input(result, false);
    refuse_console_output_into(result);
    // The last moment at which an interruption leaves everything as it was.
    stop_if_interrupted_before_changes();
    if (info_file != nullptr) {
      refuse_output_over_input(info, false);
      refuse_console_output_into(info);
      nom_info = info;
      f6.open(info_file->empty_for_writing());
      write_info_report();
      f6.flush();  // whole on disk, whatever becomes of the job
    }
    f2.open(result_file->empty_for_writing());
  } catch (...) {
    if (info_file != nullptr) info_file->give_up();
    result_file->give_up();
    f6.abandon();
    throw;
  }
}
