#include "filter/filtered_sink.h"

#include <algorithm>
#include <cstring>

#include "filter/crop_filter.h"

FilteredSink::FilteredSink(const std::vector<FilterMaker>& makers, PointSink& next)
    : left_out_(makers.size(), 0), next_(next) {
  for (const FilterMaker& make : makers) filters_.push_back(make());
  if (filters_.size() == 1) {
    if (const auto* crop = dynamic_cast<const CropFilter*>(filters_[0].get())) {
      boxed_ = true;
      for (int axis = 0; axis < 3; ++axis) {
        pass_.box.set_unbounded(axis);
        if (crop->bounded(axis)) pass_.box.set(axis, crop->box().from[axis], crop->box().to[axis]);
      }
    }
  }
}

PassThrough* FilteredSink::pass_through() {
  if (!boxed_) return nullptr;
  pass_.inner_ = next_.pass_through();
  return pass_.inner_ != nullptr ? &pass_ : nullptr;
}

void FilteredSink::BoxedPass::pass_runs(Run& run, const char* stop, const char* text_end,
                                        std::int64_t count, Extents& extents, Axes axes) {
  run.box = &box;
  inner_->pass_runs(run, stop, text_end, count, extents, axes);
  run.box = nullptr;
  sink_.left_out_[0] += box.left_out;
  box.left_out = 0;
}

void FilteredSink::point(const Point& point, Extents& extents, Axes measured) {
  for (std::size_t f = 0; f < filters_.size(); ++f) {
    if (!filters_[f]->keep(point)) {
      ++left_out_[f];
      left_extents_.add(point.xyz[0].value, point.xyz[1].value, point.xyz[2].value, measured);
      return;
    }
  }
  next_.point(point, extents, measured);
}

namespace {

// Widens `least` and `greatest` to the integers of the records from `first`
// to `last`: a loop of its own, whose bounds stay in registers.
void widen(const char* first, const char* last, std::size_t length, std::int32_t (&least)[3],
           std::int32_t (&greatest)[3]) {
  std::int32_t low_x = least[0], low_y = least[1], low_z = least[2];
  std::int32_t high_x = greatest[0], high_y = greatest[1], high_z = greatest[2];
  for (; first != last; first += length) {
    std::int32_t x, y, z;
    std::memcpy(&x, first, 4);
    std::memcpy(&y, first + 4, 4);
    std::memcpy(&z, first + 8, 4);
    low_x = x < low_x ? x : low_x;
    high_x = x > high_x ? x : high_x;
    low_y = y < low_y ? y : low_y;
    high_y = y > high_y ? y : high_y;
    low_z = z < low_z ? z : low_z;
    high_z = z > high_z ? z : high_z;
  }
  least[0] = low_x;
  least[1] = low_y;
  least[2] = low_z;
  greatest[0] = high_x;
  greatest[1] = high_y;
  greatest[2] = high_z;
}

}  // namespace

void FilteredSink::records(const ScaledRecords& records, Extents& extents, Axes measured) {
  // Runs of records kept go on whole, as they lie.
  for (const auto& filter : filters_) filter->begin_run(records);
  ScaledRecords run = records;
  run.count = 0;
  // The least and greatest integers of the records left out on each axis,
  // taken a stretch of them at a time: their values bound those of the
  // others.
  std::int32_t least[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
  std::int32_t greatest[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
  const char* left_from = nullptr;
  const char* record = records.first;
  for (std::int64_t i = 0; i < records.count; ++i, record += records.length) {
    bool kept = true;
    for (std::size_t f = 0; f < filters_.size() && kept; ++f) {
      kept = filters_[f]->keep(records, record);
      if (!kept) ++left_out_[f];
    }
    if (kept) {
      if (left_from != nullptr) {
        widen(left_from, record, records.length, least, greatest);
        left_from = nullptr;
      }
      if (run.count == 0) run.first = record;
      ++run.count;
    } else {
      if (left_from == nullptr) left_from = record;
      if (run.count != 0) {
        next_.records(run, extents, measured);
        run.count = 0;
      }
    }
  }
  if (run.count != 0) next_.records(run, extents, measured);
  if (left_from != nullptr) widen(left_from, record, records.length, least, greatest);
  if (least[0] > greatest[0]) return;
  // Both ends on every axis, whatever the sign of its scale.
  const double* scale = records.scale;
  const double* offset = records.offset;
  for (const std::int32_t* whole : {least, greatest}) {
    left_extents_.add(whole[0] * scale[0] + offset[0], whole[1] * scale[1] + offset[1],
                      whole[2] * scale[2] + offset[2], measured);
  }
}

Bounds FilteredSink::extents_read(const Extents& kept) const {
  Bounds read = Bounds::of(kept);
  read.merge(Bounds::of(left_extents_));
  read.merge(Bounds::of(pass_.box.outside));
  return read;
}
