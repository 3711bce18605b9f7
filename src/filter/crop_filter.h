// --crop and --z-range: the points within a box, each bound half open
// (from <= value < to), so that boxes that touch never share a point.
#ifndef STRATUMIX_FILTER_CROP_FILTER_H_
#define STRATUMIX_FILTER_CROP_FILTER_H_

#include <cmath>
#include <cstdint>
#include <string>

#include "filter/point_filter.h"
#include "filter/scaled_axis.h"

// The box, per axis X, Y and Z: unbounded where from is -inf and to +inf.
struct Box {
  double from[3];
  double to[3];
  static Box everything();
};

class CropFilter : public PointFilter {
 public:
  CropFilter(std::string name, const Box& box) : name_(std::move(name)), box_(box) {
    for (int axis = 0; axis < 3; ++axis)
      bounded_[axis] = box.from[axis] != -INFINITY || box.to[axis] != INFINITY;
  }

  std::string name() const override { return name_; }
  const Box& box() const { return box_; }
  bool bounded(int axis) const { return bounded_[axis]; }
  void begin_run(const ScaledRecords& records) override;
  bool keep(const Point& point) override;
  bool keep(const ScaledRecords& records, const char* record) override;

 private:
  std::string name_;
  Box box_;
  // The box in the integers of the records of the last run: an integer
  // kept on an axis lies in [first_, past_). Found again only when the
  // scales or offsets change.
  const double* scale_ = nullptr;
  const double* offset_ = nullptr;
  bool in_integers_ = false;
  ScaledAxis axis_[3];
  std::int64_t first_[3] = {};
  std::int64_t past_[3] = {};
  bool bounded_[3];  // an axis without bounds keeps every value, NaN too
};

#endif  // STRATUMIX_FILTER_CROP_FILTER_H_
