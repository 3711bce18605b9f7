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

void FilteredSink::records(const ScaledRecords& records, Extents& extents, Axes measured) {
  // Runs of records kept go on whole, as they lie.
  for (const auto& filter : filters_) filter->begin_run(records);
  ScaledRecords run = records;
  run.count = 0;
  // The least and greatest integers of the records left out on each axis:
  // their values bound those of the others.
  std::int32_t least[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
  std::int32_t greatest[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
  const char* record = records.first;
  for (std::int64_t i = 0; i < records.count; ++i, record += records.length) {
    bool kept = true;
    for (std::size_t f = 0; f < filters_.size() && kept; ++f) {
      kept = filters_[f]->keep(records, record);
      if (!kept) ++left_out_[f];
    }
    if (!kept) {
      std::int32_t whole[3];
      std::memcpy(whole, record, sizeof whole);
      for (int axis = 0; axis < 3; ++axis) {
        least[axis] = std::min(least[axis], whole[axis]);
        greatest[axis] = std::max(greatest[axis], whole[axis]);
      }
    }
    if (kept) {
      if (run.count == 0) run.first = record;
      ++run.count;
    } else if (run.count != 0) {
      next_.records(run, extents, measured);
      run.count = 0;
    }
  }
  if (run.count != 0) next_.records(run, extents, measured);
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
