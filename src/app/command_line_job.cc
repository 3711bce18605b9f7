#include "app/command_line_job.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "io/paths.h"
#include "io/text_out.h"
#include "job/outputs.h"
#include "num/number.h"
#include "platform/platform.h"
#include "report/tile_index.h"
#include "report/tile_map.h"
#include "write/fields_writer.h"
#include "write/xyz_text.h"

std::string no_point(const InputFacts& input) {
  // Points the filters left out, every one, are noted apart.
  if (input.points != 0 || input.cut_short || input.read != 0) return "";
  return input.bytes == 0 ? "no point: the file is empty" : "no point: none of its text is a point";
}

void warn_of_no_point(const InputFacts& input, const std::string& path) {
  std::string why = no_point(input);
  if (!why.empty()) report_error("warning: " + paths::for_message(path) + " gives " + why + ".");
}

CommandLineJob::CommandLineJob(const Arguments& arguments, Clock* clock, Terminal* terminal)
    : arguments_(arguments), clock_(clock), terminal_(terminal) {
  if (clock_ == nullptr) clock_ = (own_clock_ = std::make_unique<SteadyClock>()).get();
  if (terminal_ == nullptr) terminal_ = (own_terminal_ = std::make_unique<ErrorTerminal>()).get();
  start_ = clock_->seconds();
}

CommandLineJob::~CommandLineJob() { console.set_status_line(nullptr, false); }

void CommandLineJob::set_up(const Job& job, Disk& disk) {
  set_up_ = true;
  job_ = &job;
  disk_ = &disk;
  const auto count = static_cast<std::int32_t>(job.inputs.size());
  facts_.result = arguments_.result;
  // A result that is no plain file has none.
  if (job.info_report->is_open()) facts_.info_report = info_report_for(arguments_.result);
  facts_.files_given = count;
  for (const FilterMaker& make : job.filters) facts_.filters.push_back(make()->name());
  // As many records as inputs, made once: a vector that grows by doubling
  // would hold up to three times as many while it moves them.
  facts_.inputs.reserve(job.inputs.size());
  on_disk_ = Mark{};
  on_disk_.position = job_->result->position();
  using Progress = Arguments::Progress;
  bool wanted = arguments_.progress == Progress::kOn ||
                (arguments_.progress == Progress::kAtTerminal && !arguments_.quiet &&
                 (own_terminal_ == nullptr || ErrorTerminal::present()));
  if (wanted) {
    // A size looked up, never a file opened: a named pipe opened here would
    // lose its data, or keep the job waiting for a writer.
    std::int64_t total = 0;
    for (std::size_t i = 0; i < job.inputs.size() && total >= 0; ++i) {
      std::int64_t size = disk.size_of(job.inputs[i]);
      // Sparse files can claim exabytes: a sum past 64 bits is not known.
      total = size < 0 || size > INT64_MAX - total ? -1 : total + size;
    }
    bar_ = std::make_unique<ProgressBar>(*clock_, *terminal_, count, total);
    console.set_status_line(bar_.get(),
                            own_terminal_ == nullptr || platform::console_shared_with_errors());
  }
  // The reports of each file give way to the summary.
  if (arguments_.brief) console.set_quiet(true);
}

InputFacts& CommandLineJob::input_begun(std::int32_t m, const std::string& path) {
  facts_.inputs.push_back(InputFacts{});
  facts_.inputs.back().path = path;
  facts_.inputs.back().begin = job_->result->position();
  if (bar_ != nullptr) bar_->start_file(m, path);
  mark();
  return facts_.inputs.back();
}

void CommandLineJob::points_pasted() {
  const InputFacts& input = facts_.inputs.back();
  if (bar_ != nullptr) bar_->update(bytes_before_ + input.bytes, points_before_ + input.points);
  mark();
}

// "2/5 tiles/b.xyz: 8 points, X_min = ... X_max = ... Y_min = ... Y_max =
// ...", in the dialogue's words for the extents, so that what looks for
// them finds them; `end` says what cut the input short, if anything.
void CommandLineJob::print_input_line(const std::string& end) {
  lines_printed_ = true;
  // A thousand tiles' lines cost as much as their points: not made where
  // nobody would see them.
  if (console.quiet()) return;
  const InputFacts& input = facts_.inputs.back();
  std::string line = number::int_text(static_cast<std::int64_t>(facts_.inputs.size())) + "/" +
                     number::int_text(facts_.files_given) + " " + paths::for_message(input.path) +
                     ": " + number::int_text(input.points) +
                     (input.points == 1 ? " point" : " points");
  if (!facts_.filters.empty()) {
    line += " kept of " + number::int_text(input.read) + " read (" +
            left_out_text(facts_, input.left_out) + ")";
  }
  const char* names[] = {"X", "Y"};
  for (int axis = 0; axis < 2; ++axis) {
    const Bound& extent = input.extents.axis(axis);
    if (!extent.met) continue;
    line += std::string(axis == 0 ? ", " : " ") + names[axis] +
            "_min = " + number::fixed6_text(extent.min) + " " + names[axis] +
            "_max = " + number::fixed6_text(extent.max);
  }
  console << line << end << "\n";
  console.flush();
}

void CommandLineJob::input_ended(const Extents& /*extents*/) {
  InputFacts& input = facts_.inputs.back();
  warn_of_no_point(input, std::string(input.path));
  if (std::string why = no_point(input); !why.empty()) input.notes.push_back(why);
  if (input.points == 0 && input.read > 0) {
    const std::string note = "the filters kept none of its " + number::int_text(input.read) +
                             (input.read == 1 ? " point" : " points");
    input.notes.push_back(note);
    report_error("note: " + paths::for_message(input.path) + ": " + note + ".");
  }
  print_input_line(input.damaged       ? "; damaged (see the warning)"
                   : !input.cut_short  ? ""
                   : input.points == 0 ? "; not pasted (see the warning)"
                                       : "; the rest not pasted (see the warning)");
  points_before_ += input.points;
  bytes_before_ += input.bytes;
  if (!input.cut_short) ++facts_.files_pasted;
  ++ended_;
  if (bar_ != nullptr) bar_->update(bytes_before_, points_before_);
  mark();
}

void CommandLineJob::mark() {
  Mark now{job_->result->position(), facts_.inputs.size(), 0, {}, facts_.files_pasted};
  if (!facts_.inputs.empty()) {
    now.points = facts_.inputs.back().points;
    now.extents = facts_.inputs.back().extents;
  }
  const std::int64_t written = job_->result->written();
  std::size_t landed = 0;
  while (landed < pending_.size() && pending_[landed].position <= written) ++landed;
  if (landed > 0) {
    on_disk_ = pending_[landed - 1];
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(landed));
  }
  if (now.position <= written) {
    on_disk_ = now;
    return;
  }
  // Nothing written since the last mark: this one says more.
  if (!pending_.empty() && pending_.back().position == now.position) {
    pending_.back() = now;
    return;
  }
  // Every other one goes, the last kept: those left still lie at most a
  // few runs apart.
  constexpr std::size_t kMostPending = 64;
  if (pending_.size() == kMostPending) {
    std::size_t kept = 0;
    for (std::size_t i = 1; i < pending_.size(); i += 2) pending_[kept++] = pending_[i];
    pending_.resize(kept);
  }
  pending_.push_back(now);
}

void CommandLineJob::keep_what_the_result_holds() {
  if (job_->las != nullptr) {
    // The points the LAS or LAZ result's header tells, counted to the
    // inputs in their order.
    auto left = static_cast<std::int64_t>(job_->las->points());
    facts_.files_pasted = 0;
    for (std::size_t i = 0; i < facts_.inputs.size(); ++i) {
      InputFacts& input = facts_.inputs[i];
      const bool whole = i < ended_ && input.points <= left && !input.cut_short;
      input.points = std::min(input.points, left);
      left -= input.points;
      if (input.points == 0) input.extents = {};
      if (whole) ++facts_.files_pasted;
    }
    return;
  }
  const std::int64_t held = job_->result->written();
  Mark last = on_disk_;
  for (const Mark& later : pending_) {
    if (later.position > held) break;
    last = later;
  }
  pending_.clear();
  facts_.files_pasted = last.files_pasted;
  for (std::size_t i = last.inputs; i < facts_.inputs.size(); ++i) {
    facts_.inputs[i].points = 0;
    facts_.inputs[i].extents = {};
  }
  if (last.inputs > 0) {
    facts_.inputs[last.inputs - 1].points = last.points;
    facts_.inputs[last.inputs - 1].extents = last.extents;
  }
  // The extents up to the mark are of the inputs' values, those of the
  // lines after it of the result's numbers, in fewer decimals than the
  // input's, rounded: the values too are taken as the result holds them,
  // so that every figure is of its lines.
  for (std::size_t i = 0; i < last.inputs; ++i) {
    for (Bound* axis :
         {&facts_.inputs[i].extents.x, &facts_.inputs[i].extents.y, &facts_.inputs[i].extents.z}) {
      if (!axis->met) continue;
      axis->min = xyz::as_written(axis->min, job_->format);
      axis->max = xyz::as_written(axis->max, job_->format);
    }
  }
  // The whole lines after the mark are read back and counted to the inputs
  // they belong to; where they cannot be read (a pipe, a device), or do
  // not read as the points written, the result is cut back to the mark.
  // Their extents are those of the numbers as the result holds them.
  std::vector<InputFacts> after(
      facts_.inputs.begin() + static_cast<std::ptrdiff_t>(last.inputs > 0 ? last.inputs - 1 : 0),
      facts_.inputs.end());
  // The header line is no point: the lines read back begin after it, and
  // a result that holds only part of it keeps none of it.
  const std::int64_t titles_end =
      job_->titles
          ? static_cast<std::int64_t>(columns::titles_line(job_->columns, job_->format.crlf).size())
          : 0;
  const std::int64_t from = std::max(last.position, titles_end);
  if (from < held && measure_lines(from, held, after)) {
    std::copy(after.begin(), after.end(),
              facts_.inputs.end() - static_cast<std::ptrdiff_t>(after.size()));
  } else if (from != held && last.position < held) {
    job_->result->cut_to(last.position);
  }
  on_disk_ = Mark{};
  on_disk_.position = job_->result->written();
}

bool CommandLineJob::measure_lines(std::int64_t from, std::int64_t to,
                                   std::vector<InputFacts>& inputs) const {
  // X, Y and Z where the columns put them; lines without all three give
  // no extents to read back.
  int at[3];
  if (!columns::axis_columns(job_->columns, at)) return false;
  constexpr std::size_t kPiece = std::size_t{64} << 10;
  std::string text;
  std::size_t input = 0;
  for (std::int64_t offset = from; offset < to;) {
    std::size_t start = text.size();
    text.resize(start + kPiece);
    std::size_t got = job_->result->read_back(
        offset, text.data() + start,
        static_cast<std::size_t>(std::min<std::int64_t>(to - offset, kPiece)));
    if (got == 0) return false;
    text.resize(start + got);
    std::int64_t text_at = offset - static_cast<std::int64_t>(start);  // of text[0]
    offset += static_cast<std::int64_t>(got);
    std::size_t line = 0;
    for (std::size_t end, next; xyz::find_line(text, line, job_->format, end, next); line = next) {
      std::int64_t line_at = text_at + static_cast<std::int64_t>(line);
      while (input + 1 < inputs.size() && inputs[input + 1].begin <= line_at) ++input;
      double value[3];
      if (!xyz::read_point(text.data() + line, text.data() + end, at, value)) return false;
      ++inputs[input].points;
      inputs[input].extents.add(value[0], value[1], value[2]);
    }
    // Only whole lines count; one cut off by the end of a piece comes whole
    // with the next.
    text.erase(0, line);
  }
  return text.empty();
}

void CommandLineJob::end_progress() {
  console.set_status_line(nullptr, false);
  if (bar_ != nullptr) bar_->erase();
}

int CommandLineJob::finish(int status, const std::string& why) {
  end_progress();
  if (!set_up_) return status;
  // The figures are those of the points the result holds.
  if (job_->result->failed()) keep_what_the_result_holds();
  // An input the job stopped in: what it gave, and that it stopped there.
  if (!why.empty() && facts_.inputs.size() > ended_) print_input_line("; stopped here");
  facts_.result_bytes = job_->result->written();
  if (job_->las != nullptr) {
    const lasout::Plan& plan = job_->las->plan();
    ResultForm& form = facts_.form;
    form.las = true;
    form.format = std::string(plan.form == lasout::Form::kLaz ? "LAZ" : "LAS") + " 1." +
                  number::int_text(plan.version_minor) + ", point format " +
                  number::int_text(plan.format);
    for (int axis = 0; axis < 3; ++axis) {
      form.scale[axis] = plan.scale[axis];
      form.offset[axis] = plan.offset[axis];
    }
    form.system = plan.system;
    form.rounded_points = static_cast<std::int64_t>(job_->las->rounded_points());
    form.most_rounded = job_->las->most_rounded();
    form.notes = job_->las->notes();
    // What the points turned out to need is told as the plan's notes were.
    for (std::size_t n = plan.notes.size(); n < form.notes.size(); ++n)
      report_error("note: the result: " + form.notes[n] + ".");
  }
  facts_.seconds = clock_->seconds() - start_;
  facts_.status = status;
  facts_.why = why;
  if (!facts_.filters.empty() && facts_.points() == 0 && facts_.points_read() > 0)
    report_error("warning: the filters kept none of the " + number::int_text(facts_.points_read()) +
                 " points read: the result is empty.");
  if (!arguments_.quiet) {
    console.set_quiet(false);
    // Below the inputs' lines, after a blank line.
    if (!arguments_.brief && lines_printed_) console << "\n";
    console << summary_text(facts_);
    console.flush();
  }
  // Before the report, which tells the status the program ends with.
  if (console.report_output_failure()) status = 1;
  // Made only when asked for: for thousands of inputs, each text takes a
  // few hundred bytes an input.
  auto write = [this, &status](const std::string& path, const std::string& what, auto make_text) {
    std::string reason;
    if (path.empty() || disk_->write_whole(path, make_text(), reason)) return;
    report_error("Cannot write the " + what + " " + disk_->describe(path) + ": " + reason);
    status = 1;
  };
  // The map and the index first: one that cannot be written makes the
  // job's status 1, and the report must tell the status the program ends
  // with.
  write(arguments_.map, "map", [this] { return tile_map_svg(facts_); });
  write(arguments_.index, "tile index", [this] { return tile_index_geojson(facts_); });
  facts_.status = status;
  write(arguments_.report, "report", [this] { return summary_json(facts_); });
  return status;
}
