#include "job/stages.h"

#include <cstring>

#include "io/failure.h"
#include "io/paths.h"
#include "job/runs.h"
#include "read/detect.h"
#include "write/fields_writer.h"
#include "write/xyz_writer.h"

namespace {

bool plain(const Job& job) {
  return job.las == nullptr && (job.columns.empty() || columns::plain(job.columns));
}

}  // namespace

Stages::Stages(const Job& job, OutputFile& file, const std::string& path) {
  if (job.las != nullptr) {
    writer_ = std::make_unique<lasout::LasSink>(*job.las, path);
  } else if (plain(job)) {
    writer_ = std::make_unique<XyzWriter>(file, job.format);
  } else {
    writer_ = std::make_unique<FieldsWriter>(file, job.format, job.columns);
  }
  if (!job.filters.empty()) filtered_ = std::make_unique<FilteredSink>(job.filters, *writer_);
}

std::int64_t Stages::kept(std::int64_t read) const {
  if (filtered_ == nullptr) return read;
  for (std::int64_t left_out : filtered_->left_out()) read -= left_out;
  return read;
}

std::vector<std::int64_t> Stages::left_out() const {
  return filtered_ == nullptr ? std::vector<std::int64_t>{} : filtered_->left_out();
}

Bounds Stages::extents_read(const Extents& kept) const {
  return filtered_ == nullptr ? Bounds::of(kept) : filtered_->extents_read(kept);
}

std::int64_t paste_points(PointInput& input, Stages& stages, Extents& extents, RunTaker& taker) {
  std::int64_t read = 0;
  std::int64_t kept = 0;
  for (;;) {
    if (!taker.go_on()) return kept;
    const std::int64_t run = points_in_run(read);
    const std::int64_t copied = input.copy_points(stages.first(), extents, run);
    if (copied == 0) break;
    read += copied;
    const std::int64_t before = kept;
    kept = stages.kept(read);
    taker.run_pasted(kept - before, kept, copied < run);
    if (copied < run) break;
  }
  // Text that is not points may be gzip data garbled before its check.
  if (!input.problem().empty()) input.check_rest();
  return kept;
}

const QuickText* quick_text_for(const Job& job) {
  return plain(job) && job.filters.empty() ? XyzWriter::quick_text_of(job.format) : nullptr;
}

void ask_for_columns(const Job& job, PointInput& input) {
  point::Wanted wanted;
  if (job.las != nullptr) {
    // Whole records: every dimension the input has, and the extra bytes
    // the result keeps.
    for (int d = 0; d < point::kDimCount; ++d) wanted.dims.add(static_cast<point::Dim>(d));
    for (const lasout::KeptExtra& kept : job.las->plan().extra) wanted.extra.push_back(kept.name);
  } else if (!plain(job)) {
    wanted = columns::wanted(job.columns);
  }
  for (const FilterMaker& make : job.filters) wanted.dims.add(make()->tests());
  if (!wanted.only_xyz()) input.want(wanted);
}

std::string note_of(const Job& job, const PointInput& input) {
  std::string note = input.note();
  // A file refused, or found empty, lacks nothing worth a word more.
  if (plain(job) || job.las != nullptr || input.points() == 0) return note;
  std::vector<std::string> lacked = columns::lacking(job.columns, input.schema());
  if (lacked.empty()) return note;
  std::string names;
  for (const std::string& name : lacked)
    names += (names.empty() ? "" : ", ") + paths::for_message(name);
  if (!note.empty()) note += "; ";
  return note + "it has no " + names + ", written as 0";
}

namespace {

// Takes no point: what an input is asked for to read its header alone.
class NoPoints : public PointSink {
 public:
  void point(const Point& /*point*/, Extents& /*extents*/, Axes /*measured*/) override {}
  void records(const ScaledRecords& /*records*/, Extents& /*extents*/, Axes /*measured*/) override {
  }
};

}  // namespace

std::string lacking_for_filters(const Job& job, const point::Schema& schema) {
  for (const FilterMaker& make : job.filters) {
    const std::unique_ptr<PointFilter> filter = make();
    if (std::string lacked = filter->lacks(schema); !lacked.empty())
      return "has no " + lacked + ", which " + filter->name() + " tests";
  }
  return "";
}

void refuse_if_lacking(const Job& job, PointInput& input, const std::string& path) {
  if (lacking_for_filters(job, point::Schema{}).empty()) return;
  // A LAS file's header, read before any point, tells what it carries.
  NoPoints none;
  Extents extents;
  input.copy_points(none, extents, 0);
  if (std::string why = lacking_for_filters(job, input.schema()); !why.empty())
    throw Failure{1, paths::for_message(path) + " " + why + "; the job stops here"};
}

point::Schema input_schema(const Job& job, Disk& disk, const std::string& path) {
  return known_schema(job, disk, path).value_or(point::Schema{});
}

std::optional<point::Schema> known_schema(const Job& job, Disk& disk, const std::string& path) {
  std::string reason;
  std::unique_ptr<ByteSource> source = disk.open_for_reading(path, reason);
  if (source == nullptr) return std::nullopt;
  try {
    std::unique_ptr<PointInput> input = open_points(std::move(source), path, disk.describe(path),
                                                    job.reading, Axes::kXY, Reading::kInPlace);
    NoPoints none;
    Extents extents;
    input->copy_points(none, extents, 0);
    return input->schema();
  } catch (const Failure&) {
    // Damaged data is told when the input's turn comes.
    return std::nullopt;
  }
}

namespace {

// Keeps the coordinates of the one point it is given.
class FirstPoint : public PointSink {
 public:
  explicit FirstPoint(double* xyz) : xyz_(xyz) {}
  void point(const Point& point, Extents& /*extents*/, Axes /*measured*/) override {
    for (int axis = 0; axis < 3; ++axis) xyz_[axis] = point.xyz[axis].value;
    given_ = true;
  }
  void records(const ScaledRecords& records, Extents& /*extents*/, Axes /*measured*/) override {
    if (records.count == 0) return;
    for (int axis = 0; axis < 3; ++axis) {
      std::int32_t whole = 0;
      std::memcpy(&whole, records.first + std::ptrdiff_t{4} * axis, 4);
      xyz_[axis] = whole * records.scale[axis] + records.offset[axis];
    }
    given_ = true;
  }
  bool given() const { return given_; }

 private:
  double* xyz_;
  bool given_ = false;
};

}  // namespace

bool first_point(const Job& job, Disk& disk, const std::string& path, double xyz[3]) {
  std::string reason;
  std::unique_ptr<ByteSource> source = disk.open_for_reading(path, reason);
  if (source == nullptr) return false;
  try {
    std::unique_ptr<PointInput> input = open_points(std::move(source), path, disk.describe(path),
                                                    job.reading, Axes::kXY, Reading::kInPlace);
    FirstPoint first(xyz);
    Extents extents;
    input->copy_points(first, extents, 1);
    return first.given();
  } catch (const Failure&) {
    return false;
  }
}
