// --thin N: one point in N of each input, always the same ones: its 1st,
// its N+1th, and so on. It stands first among the filters, so that it
// counts every point of its input whatever the others keep.
#ifndef STRATUMIX_FILTER_THIN_FILTER_H_
#define STRATUMIX_FILTER_THIN_FILTER_H_

#include <cstdint>
#include <string>

#include "filter/point_filter.h"

class ThinFilter : public PointFilter {
 public:
  ThinFilter(std::string name, std::int64_t every) : name_(std::move(name)), every_(every) {}
  std::string name() const override { return name_; }
  bool keep(const Point& /*point*/) override { return next(); }
  bool keep(const ScaledRecords& /*records*/, const char* /*record*/) override { return next(); }

 private:
  bool next() {
    const bool kept = left_ == 0;
    left_ = kept ? every_ - 1 : left_ - 1;
    return kept;
  }
  std::string name_;
  std::int64_t every_;
  std::int64_t left_ = 0;  // points to leave out before the next kept
};

#endif  // STRATUMIX_FILTER_THIN_FILTER_H_
