#include "command_line_job.h"

#include <cstdint>

#include "number.h"
#include "outputs.h"
#include "paths.h"
#include "platform.h"
#include "stratumix.h"
#include "text_out.h"
#include "tile_index.h"
#include "tile_map.h"

CommandLineJob::CommandLineJob(const Arguments& arguments, Clock* clock, Terminal* terminal)
    : arguments_(arguments), clock_(clock), terminal_(terminal) {
  if (clock_ == nullptr) clock_ = (own_clock_ = std::make_unique<SteadyClock>()).get();
  if (terminal_ == nullptr) terminal_ = (own_terminal_ = std::make_unique<ErrorTerminal>()).get();
  start_ = clock_->seconds();
}

CommandLineJob::~CommandLineJob() { console.set_status_line(nullptr, false); }

void CommandLineJob::set_up() {
  set_up_ = true;
  facts_.result = arguments_.result;
  // A result that is no plain file has none.
  if (f6.is_open()) facts_.info_report = info_report_for(arguments_.result);
  facts_.files_given = numlay;
  using Progress = Arguments::Progress;
  bool wanted = arguments_.progress == Progress::kOn ||
                (arguments_.progress == Progress::kAtTerminal && !arguments_.quiet &&
                 (own_terminal_ == nullptr || ErrorTerminal::present()));
  if (wanted) {
    // A size looked up, never a file opened: a named pipe opened here would
    // lose its data, or keep the job waiting for a writer.
    std::int64_t total = 0;
    for (std::int32_t m = 1; m <= numlay && total >= 0; ++m) {
      std::int64_t size = disk->size_of(files[static_cast<std::size_t>(m)].nombre);
      // Sparse files can claim exabytes: a sum past 64 bits is not known.
      total = size < 0 || size > INT64_MAX - total ? -1 : total + size;
    }
    bar_ = std::make_unique<ProgressBar>(*clock_, *terminal_, numlay, total);
    console.set_status_line(bar_.get(),
                            own_terminal_ == nullptr || platform::console_shared_with_errors());
  }
  // The reports of each file give way to the summary.
  if (arguments_.brief) console.set_quiet(true);
}

InputFacts& CommandLineJob::input_begun(std::int32_t m, const std::string& path) {
  facts_.inputs.push_back(InputFacts{});
  facts_.inputs.back().path = path;
  if (bar_ != nullptr) bar_->start_file(m, path);
  return facts_.inputs.back();
}

void CommandLineJob::points_pasted() {
  const InputFacts& input = facts_.inputs.back();
  if (bar_ != nullptr) bar_->update(bytes_before_ + input.bytes, points_before_ + input.points);
}

// "2/5 tiles/b.xyz: 8 points, X_min = ... X_max = ... Y_min = ... Y_max =
// ...", in the dialogue's words for the extents, so that what looks for
// them finds them; `end` says what cut the input short, if anything.
void CommandLineJob::print_input_line(const std::string& end) {
  const InputFacts& input = facts_.inputs.back();
  std::string line = number::int_text(static_cast<std::int64_t>(facts_.inputs.size())) + "/" +
                     number::int_text(facts_.files_given) + " " + paths::for_message(input.path) +
                     ": " + number::int_text(input.points) +
                     (input.points == 1 ? " point" : " points");
  const char* names[] = {"X", "Y"};
  for (int axis = 0; axis < 2; ++axis) {
    const Extent& extent = input.extents.axis(axis);
    if (!extent.met) continue;
    line += std::string(axis == 0 ? ", " : " ") + names[axis] +
            "_min = " + number::fixed6_text(extent.min) + " " + names[axis] +
            "_max = " + number::fixed6_text(extent.max);
  }
  console << line << end << "\n";
  console.flush();
  lines_printed_ = true;
}

void CommandLineJob::input_ended() {
  const InputFacts& input = facts_.inputs.back();
  print_input_line(!input.cut_short    ? ""
                   : input.points == 0 ? "; not pasted (see the warning)"
                                       : "; the rest not pasted (see the warning)");
  points_before_ += input.points;
  bytes_before_ += input.bytes;
  if (!input.cut_short) ++facts_.files_pasted;
  ++ended_;
  if (bar_ != nullptr) bar_->update(bytes_before_, points_before_);
}

int CommandLineJob::finish(int status, const std::string& why) {
  console.set_status_line(nullptr, false);
  if (bar_ != nullptr) bar_->erase();
  if (!set_up_) return status;
  // An input the job stopped in: what it gave, and that it stopped there.
  if (!why.empty() && facts_.inputs.size() > ended_) print_input_line("; stopped here");
  facts_.result_bytes = f2.written();
  facts_.seconds = clock_->seconds() - start_;
  facts_.status = status;
  facts_.why = why;
  if (!arguments_.quiet) {
    console.set_quiet(false);
    // Below the inputs' lines, after a blank line.
    if (!arguments_.brief && lines_printed_) console << "\n";
    console << summary_text(facts_);
    console.flush();
  }
  // Before the report, which tells the status the program ends with.
  if (console.report_output_failure()) status = 1;
  auto write = [&status](const std::string& path, const std::string& what,
                         const std::string& text) {
    std::string reason;
    if (path.empty() || disk->write_whole(path, text, reason)) return;
    report_error("Cannot write the " + what + " " + disk->describe(path) + ": " + reason);
    status = 1;
  };
  // The map and the index first: one that cannot be written makes the
  // job's status 1, and the report must tell the status the program ends
  // with.
  write(arguments_.map, "map", tile_map_svg(facts_));
  write(arguments_.index, "tile index", tile_index_geojson(facts_));
  facts_.status = status;
  write(arguments_.report, "report", summary_json(facts_));
  return status;
}
