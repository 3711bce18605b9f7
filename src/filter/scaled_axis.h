// A record's integer coordinate and the value it stands for, as the
// filters see it: the same value wherever a point is tested, so that a
// crop's edge falls on the same side for every tool that tests it.
#ifndef STRATUMIX_FILTER_SCALED_AXIS_H_
#define STRATUMIX_FILTER_SCALED_AXIS_H_

#include <cmath>
#include <cstdint>

class ScaledAxis {
 public:
  ScaledAxis() = default;
  ScaledAxis(double scale, double offset) : scale_(scale), offset_(offset) {
    // A scale of 0.01 stands for hundredths: 12345 / 100 is the double
    // nearest 123.45, which 12345 * 0.01 need not be, and the text the
    // result writes of it is 123.45.
    double power = 1;
    for (int k = 0; k <= 9; ++k, power *= 10) {
      if (scale == 1 / power) {
        divisor_ = power;
        break;
      }
    }
  }

  double value(std::int64_t whole) const {
    const auto w = static_cast<double>(whole);
    return (divisor_ != 0 ? w / divisor_ : w * scale_) + offset_;
  }

  // Whether value() grows with the integer, which the integer bounds need.
  bool increasing() const { return scale_ > 0 && std::isfinite(scale_) && std::isfinite(offset_); }

  // The least integer of 32 bits, or 2^31, whose value() is at least
  // `bound`; for an increasing axis alone.
  std::int64_t first_at_least(double bound) const {
    constexpr std::int64_t kLeast = INT32_MIN;
    constexpr std::int64_t kPast = std::int64_t{INT32_MAX} + 1;
    if (bound == -INFINITY) return kLeast;
    if (bound == INFINITY) return kPast;
    double guess = std::ceil((bound - offset_) / scale_);
    std::int64_t k = guess < static_cast<double>(kLeast)  ? kLeast
                     : guess > static_cast<double>(kPast) ? kPast
                                                          : static_cast<std::int64_t>(guess);
    // The guess was made in doubles: the test decides, a step at a time.
    while (k > kLeast && value(k - 1) >= bound) --k;
    while (k < kPast && value(k) < bound) ++k;
    return k;
  }

 private:
  double scale_ = 1;
  double offset_ = 0;
  double divisor_ = 0;  // 10^k where the scale is 10^-k, else none
};

#endif  // STRATUMIX_FILTER_SCALED_AXIS_H_
