#include "filter/filtered_sink.h"

#include "filter/crop_filter.h"

FilteredSink::FilteredSink(const std::vector<FilterMaker>& makers, PointSink& next)
    : left_out_(makers.size(), 0), next_(next) {
  for (const FilterMaker& make : makers) filters_.push_back(make());
  if (filters_.size() == 1) {
    if (const auto* crop = dynamic_cast<const CropFilter*>(filters_[0].get())) {
      boxed_ = true;
      for (int axis = 0; axis < 3; ++axis) {
        pass_.box.bounded[axis] = false;
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
  const char* record = records.first;
  for (std::int64_t i = 0; i < records.count; ++i, record += records.length) {
    bool kept = true;
    for (std::size_t f = 0; f < filters_.size() && kept; ++f) {
      kept = filters_[f]->keep(records, record);
      if (!kept) ++left_out_[f];
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
}
