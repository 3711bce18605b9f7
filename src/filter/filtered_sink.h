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
  // Text passes through a crop alone, to a writer that takes it: the quick
  // loops test each point against its box as they copy it. Every other
  // filter has each point by value or as a record.
  PassThrough* pass_through() override;

  // The points each filter left out, in the makers' order: a point is
  // counted against the first that left it out.
  const std::vector<std::int64_t>& left_out() const { return left_out_; }
  const std::vector<std::unique_ptr<PointFilter>>& filters() const { return filters_; }
  // The extents of every point read: `kept`, the writer's, and those of
  // the points the filters left out.
  Bounds extents_read(const Extents& kept) const;

 private:
  // The writer's pass-through with the crop's box.
  class BoxedPass : public PassThrough {
   public:
    explicit BoxedPass(FilteredSink& sink) : sink_(sink) {}
    const QuickText& text() const override { return inner_->text(); }
    void pass_runs(Run& run, const char* stop, const char* text_end, std::int64_t count,
                   Extents& extents, Axes axes) override;
    // Lines of fields go the general way.
    std::int64_t pass_lines(const field_lines::Scan& /*scan*/, bool /*white*/, Axes /*axes*/,
                            char*& /*line*/, const char* /*whole*/, std::int64_t /*count*/,
                            Extents& /*extents*/, std::int64_t& /*line_number*/) override {
      return 0;
    }
    void pass_block(std::unique_ptr<char[]>& block, std::size_t size, std::size_t room) override {
      inner_->pass_block(block, size, room);
    }
    RunBox box{};
    PassThrough* inner_ = nullptr;

   private:
    FilteredSink& sink_;
  };

  std::vector<std::unique_ptr<PointFilter>> filters_;
  std::vector<std::int64_t> left_out_;
  // Of the points left out here; the quick loops measure theirs in the box.
  Extents left_extents_;
  PointSink& next_;
  bool boxed_ = false;  // one crop alone
  BoxedPass pass_{*this};
};

#endif  // STRATUMIX_FILTER_FILTERED_SINK_H_
