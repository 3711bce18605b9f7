#include "write/record_decimals.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace record_decimals {

// Whether, for every 32-bit X, X * scale + offset in double precision lies
// so near the decimal (X + units) * 10^-k that "%.6f" writes that decimal:
// then the integers are written as they are, not turned into doubles and
// back. It does when the scale is the double nearest 10^-k (k from 0 to 6)
// and the offset near a multiple of 10^-k, and the roundings on the way add
// up to less than half a millionth. With u = 2^-53, R = 2^31 * 10^-k, the
// most that |X| * 10^-k reaches, and t = offset * 10^k rounded (10^k is
// exact), the distance is at most
//   2.01 u R               the scale's rounding and the product's (none for k = 0)
// + u |offset| + |t - units| 10^-k   the offset's distance from units * 10^-k
// + u (1.01 R + |offset|)  the sum's rounding.
// A value within half a millionth of a nonzero multiple of 10^-k has its
// sign too; the one X that makes zero, if any, makes a value whose sign
// "%.6f" shows ("-0.000000"), the sign `negative_below` tells: a decimal
// below it is written with "-". Returns k, or -1 where it does not hold,
// or where some X makes an integer part of more than 8 digits.
int decimal_axis(double scale, double offset, std::int64_t& units, std::int64_t& negative_below) {
  static constexpr double kSteps[] = {1, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6};
  static constexpr double kPowers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  int k = 0;
  while (k < 7 && scale != kSteps[k]) ++k;
  // Below 2^32, t stays below 2^52, an integer of a double in reach.
  if (k == 7 || !(std::fabs(offset) < 0x1p32)) return -1;
  double t = offset * kPowers[k];
  double nearest = std::nearbyint(t);
  constexpr double u = 0x1p-53;
  double reach = 0x1p31 * kSteps[k];
  double distance = (k == 0 ? 0 : 2.01 * u * reach) + u * std::fabs(offset) +
                    std::fabs(t - nearest) * kSteps[k] + u * (1.01 * reach + std::fabs(offset));
  // Short of 5e-7 by more than the few roundings of the sum above; and
  // |X + units| below 10^(8 + k), the integer part below 10^8.
  if (!(distance < 4.9e-7) || !(std::fabs(nearest) + 0x1p31 < 1e8 * kPowers[k])) return -1;
  units = static_cast<std::int64_t>(nearest);
  negative_below = std::signbit(static_cast<double>(-units) * scale + offset) ? 1 : 0;
  return k;
}

// In thousandths where three decimals hold every axis's, else in
// millionths; none where an axis is no DecimalAxis.
void RecordText::know(const ScaledRecords& records) {
  // The same bits: an offset of -0 writes another sign than one of 0.
  auto same = [](const double* a, const double* b) {
    for (int axis = 0; axis < 3; ++axis) {
      if (std::bit_cast<std::uint64_t>(a[axis]) != std::bit_cast<std::uint64_t>(b[axis]))
        return false;
    }
    return true;
  };
  if (known && same(scale, records.scale) && same(offset, records.offset)) return;
  known = true;
  std::copy(records.scale, records.scale + 3, scale);
  std::copy(records.offset, records.offset + 3, offset);
  for (int axis = 0; axis < 3; ++axis) {
    DecimalAxis& a = axes[axis];
    steps[axis] = decimal_axis(scale[axis], offset[axis], a.units, a.negative_below);
  }
  decimals = *std::min_element(steps, steps + 3) < 0    ? 0
             : *std::max_element(steps, steps + 3) <= 3 ? 3
                                                        : 6;
  most_step = decimals == 0 ? -1 : *std::max_element(steps, steps + 3);
  for (int axis = 0; axis < 3 && decimals != 0; ++axis)
    axes[axis].to_units = kPowersOf10[decimals - steps[axis]];
}

}  // namespace record_decimals
