// The stages an input's points pass, wherever it is pasted: its reader,
// the job's filters, and the writer its columns call for; what the readers
// are asked to rebuild, and what an input that lacks a column is told. And
// the one loop that pastes an input's points through them.
#ifndef STRATUMIX_JOB_STAGES_H_
#define STRATUMIX_JOB_STAGES_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "filter/filtered_sink.h"
#include "io/disk.h"
#include "io/output_file.h"
#include "job/job.h"
#include "read/point_input.h"
#include "read/point_sink.h"

// The stages after the reader of one input, writing into `file`: the
// job's filters, if any, then the writer. The input's `path` tells a LAS
// result where its waveform data went.
class Stages {
 public:
  Stages(const Job& job, OutputFile& file, const std::string& path = {});
  Stages(const Stages&) = delete;
  Stages& operator=(const Stages&) = delete;
  // Where the reader gives its points.
  PointSink& first() { return filtered_ != nullptr ? *filtered_ : *writer_; }
  // Of the `read` points the reader gave, those that reached the writer.
  std::int64_t kept(std::int64_t read) const;
  // The points each of the job's filters left out, in its order; none
  // without filters.
  std::vector<std::int64_t> left_out() const;
  // The extents of the points the reader gave, those of `kept` (the
  // writer's) and those the filters left out.
  Bounds extents_read(const Extents& kept) const;

 private:
  std::unique_ptr<PointSink> writer_;
  std::unique_ptr<FilteredSink> filtered_;
};

// Who takes each run of points the loop pastes.
class RunTaker {
 public:
  virtual ~RunTaker() = default;
  // Before each run: false ends the pasting there, before any more of the
  // input is read or checked (a job that stops).
  virtual bool go_on() { return true; }
  // After each run: `copied` points kept of it, `pasted` in all; `last`
  // when the input gave fewer than the run asked for, so that no run
  // follows.
  // May throw, to stop the job.
  virtual void run_pasted(std::int64_t copied, std::int64_t pasted, bool last) = 0;
};

// The one loop of the pasting: the points of `input`, run by run, through
// `stages`, their extents added to `extents`; then, for an input that
// stopped at what is not points, its rest checked where only that can
// tell whether the text was whole (gzip data). The runs end where the next
// look for an interruption or progress line is due (runs.h), counted in
// the points the reader gives. Returns the points kept.
std::int64_t paste_points(PointInput& input, Stages& stages, Extents& extents, RunTaker& taker);
// The quick ways of that writer, for the readers: none but for the plain
// result.
const QuickText* quick_text_for(const Job& job);
// Tells a newly opened input what the job writes of each point.
void ask_for_columns(const Job& job, PointInput& input);
// The one note on an input once read: how it was read, and the columns
// it lacked, written as 0.
std::string note_of(const Job& job, const PointInput& input);

// What an input of `schema` lacks of what the job's filters test: "has no
// Classification, which --keep-class 2 tests", or nothing.
std::string lacking_for_filters(const Job& job, const point::Schema& schema);
// Throws Failure (status 1) for an input, once open, that lacks what the
// job's filters test.
void refuse_if_lacking(const Job& job, PointInput& input, const std::string& path);

// What the input at `path` carries, as its first bytes tell (its header,
// its records before the points): X, Y and Z alone for one that cannot be
// opened or read.
point::Schema input_schema(const Job& job, Disk& disk, const std::string& path);
// The same, none where it cannot be opened or read.
std::optional<point::Schema> known_schema(const Job& job, Disk& disk, const std::string& path);
// The coordinates of the first point of the input at `path`: false where
// it has none, or cannot be opened or read.
bool first_point(const Job& job, Disk& disk, const std::string& path, double xyz[3]);

#endif  // STRATUMIX_JOB_STAGES_H_
