#include "job/outputs.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "io/failure.h"
#include "io/paths.h"
#include "io/text_out.h"
#include "platform/platform.h"
#include "write/info_report.h"

namespace {

// The checks and claims of one job's outputs.
class Setup {
 public:
  Setup(Disk& disk, const std::vector<std::string>& inputs) : disk_(disk), inputs_(inputs) {}

  // For each of `outputs`, the first input it is, as a file or by the name
  // `spelled` found for it before any file exists (from
  // first_same_spelling, if given), or inputs' count for none.
  std::vector<std::size_t> first_inputs(const std::vector<std::string>& outputs,
                                        const std::vector<std::size_t>& spelled = {}) {
    std::vector<std::size_t> first = disk_.first_same_file(outputs, inputs_);
    for (std::size_t k = 0; k < spelled.size(); ++k) first[k] = std::min(first[k], spelled[k]);
    return first;
  }

  // Pasting must never write over an input, nor read what it writes. The
  // null device keeps nothing: there is nothing to write over.
  // `first`: the first input that is the output, or inputs' count.
  void refuse_output_over_input(const std::string& output, std::size_t first) {
    if (first == inputs_.size() || disk_.is_null_device(output)) return;
    throw Failure{1, "The output file " + paths::for_message(output) +
                         " would overwrite input file " + std::to_string(first + 1) + " (" +
                         paths::for_message(inputs_[first]) + "); nothing was created."};
  }

  // A name the system would take for another file, or for none.
  void refuse_unfit_name(const std::string& output) {
    std::string why = platform::unfit_output_name(output);
    if (!why.empty()) {
      throw Failure{1, "The output file " + paths::for_message(output) + " " + why +
                           "; nothing was created."};
    }
  }

  std::unique_ptr<ClaimedFile> claim(const std::string& path, const std::string& other_output) {
    std::string reason;
    bool in_use = false;
    std::unique_ptr<ClaimedFile> file = disk_.claim(path, reason, in_use);
    if (in_use && disk_.first_same_file({path}, {other_output})[0] == 0) {
      throw Failure{1, "The result and the info report " + disk_.describe(path) +
                           " are one file; nothing was created."};
    }
    if (in_use) {
      throw Failure{1, "Cannot create " + disk_.describe(path) +
                           ": another job is writing it; nothing was changed."};
    }
    if (file == nullptr) throw Failure{1, "Cannot create " + disk_.describe(path) + ": " + reason};
    return file;
  }

  // A result holds points only: no console text may go into an output.
  void refuse_console_output_into(const std::string& output) {
    // Text sent to the null device, as points are, is lost to nobody.
    if (disk_.is_null_device(output)) return;
    int stream = disk_.standard_stream_writing(output);
    if (stream == 2 || (stream == 1 && !console.quiet())) {
      throw Failure{1, std::string(stream == 1 ? "Standard output" : "Standard error") +
                           " goes to the output file " + disk_.describe(output) +
                           "; nothing was created."};
    }
  }

 private:
  Disk& disk_;
  const std::vector<std::string>& inputs_;
};

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

void create_output_files(Disk& disk, std::int32_t count, const std::vector<std::string>& inputs,
                         const std::string& result, OutputFile& result_file,
                         OutputFile& info_file) {
  stop_if_interrupted_before_changes();
  const std::string info = info_report_for(result);
  Setup setup(disk, inputs);
  setup.refuse_unfit_name(result);
  setup.refuse_unfit_name(info);
  const std::vector<std::string> outputs = {result, info};
  std::vector<std::size_t> first =
      setup.first_inputs(outputs, disk.first_same_spelling(outputs, inputs));
  setup.refuse_output_over_input(result, first[0]);
  setup.refuse_output_over_input(info, first[1]);

  // Neither output is emptied until both are open, and the result not until
  // the info report is written: a job that fails to set up leaves an
  // earlier result as it was. Both stay claimed until the job ends.
  std::unique_ptr<ClaimedFile> result_claim = setup.claim(result, info);
  std::unique_ptr<ClaimedFile> info_claim;
  try {
    // A result that is a standard stream, a pipe or a device has nothing
    // beside it to put a report in (/dev/stdout_xyz_info.txt): it has none.
    if (result_claim->plain()) info_claim = setup.claim(info, result);
    // Both exist now, so an input that names one of them through a link
    // that led nowhere before, or in another spelling, is found.
    first = setup.first_inputs(info_claim != nullptr ? outputs : std::vector<std::string>{result});
    setup.refuse_output_over_input(result, first[0]);
    setup.refuse_console_output_into(result);
    // The last moment at which an interruption leaves everything as it was.
    stop_if_interrupted_before_changes();
    if (info_claim != nullptr) {
      setup.refuse_output_over_input(info, first[1]);
      setup.refuse_console_output_into(info);
      info_file.open(info_claim->empty_for_writing());
      write_info_report(info_file, count, inputs);
      info_file.flush();  // whole on disk, whatever becomes of the job
    }
    result_file.open(result_claim->empty_for_writing());
  } catch (...) {
    info_file.abandon();
    if (info_claim != nullptr) info_claim->give_up();
    result_claim->give_up();
    throw;
  }
}
