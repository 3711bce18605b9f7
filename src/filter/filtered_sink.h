// The filters of one input, standing between its reader and the writer:
// what every filter keeps goes on to the writer, as the reader gave it
// (runs of records kept stay records, handed on without a copy), and what
// one leaves out is counted against it.
#ifndef STRATUMIX_FILTER_FILTERED_SINK_H_
#define STRATUMIX_FILTER_FILTERED_SINK_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "filter/point_filter.h"
#include "read/point_sink.h"

class FilteredSink : public PointSink {
 public:
  FilteredSink(const std::vector<FilterMaker>& makers, PointSink& next);

  void point(const Point& point, Extents& extents, Axes measured) override;
  void records(const ScaledRecords& records, Extents& extents, Axes measured) override;
  // No text passes through a filter: every point comes by value or as a
  // record (no pass_through()).

  // The points each filter left out, in the makers' order: a point is
  // counted against the first that left it out.
  const std::vector<std::int64_t>& left_out() const { return left_out_; }
  const std::vector<std::unique_ptr<PointFilter>>& filters() const { return filters_; }

 private:
  std::vector<std::unique_ptr<PointFilter>> filters_;
  std::vector<std::int64_t> left_out_;
  PointSink& next_;
};

#endif  // STRATUMIX_FILTER_FILTERED_SINK_H_
