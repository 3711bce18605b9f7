#include "filter/crop_filter.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace {

std::int32_t int32_at(const char* p) {
  std::uint32_t raw = 0;
  for (int i = 3; i >= 0; --i) raw = raw << 8 | static_cast<unsigned char>(p[i]);
  return static_cast<std::int32_t>(raw);
}

}  // namespace

Box Box::everything() {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  return Box{{-kInf, -kInf, -kInf}, {kInf, kInf, kInf}};
}

void CropFilter::begin_run(const ScaledRecords& records) {
  if (records.scale == scale_ && records.offset == offset_) return;
  scale_ = records.scale;
  offset_ = records.offset;
  in_integers_ = true;
  for (int axis = 0; axis < 3; ++axis) {
    axis_[axis] = ScaledAxis(scale_[axis], offset_[axis]);
    if (!bounded_[axis]) continue;
    // A scale of 0 or below, which no sound file has, is tested in values.
    if (!axis_[axis].increasing()) {
      in_integers_ = false;
      continue;
    }
    first_[axis] = axis_[axis].first_at_least(box_.from[axis]);
    past_[axis] = axis_[axis].first_at_least(box_.to[axis]);
  }
}

bool CropFilter::keep(const Point& point) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!bounded_[axis]) continue;
    const double value = point.xyz[axis].value;
    // NaN is in no box.
    if (!(value >= box_.from[axis] && value < box_.to[axis])) return false;
  }
  return true;
}

bool CropFilter::keep(const ScaledRecords& /*records*/, const char* record) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!bounded_[axis]) continue;
    const std::int32_t whole = int32_at(record + std::ptrdiff_t{4} * axis);
    if (in_integers_) {
      if (whole < first_[axis] || whole >= past_[axis]) return false;
    } else {
      const double value = axis_[axis].value(whole);
      if (!(value >= box_.from[axis] && value < box_.to[axis])) return false;
    }
  }
  return true;
}
