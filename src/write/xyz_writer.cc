#include "write/xyz_writer.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

#include "num/bytes.h"
#include "num/number.h"

namespace {

constexpr std::uint64_t kPowersOf10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

std::int32_t little_endian_32(const char* p) {
  auto byte = [p](int i) { return std::uint32_t{static_cast<unsigned char>(p[i])}; };
  return static_cast<std::int32_t>(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
}

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

// The text of `units` thousandths or millionths (kDecimals 3 or 6), below
// 10^8 once whole, with "-" for a negative one.
template <int kDecimals>
inline char* write_decimal(std::uint64_t units, bool negative, char* out) {
  *out = '-';
  out += negative;
  auto high = static_cast<std::uint32_t>(units / 1000000);
  auto low = static_cast<std::uint32_t>(units - high * 1000000ull);
  if constexpr (kDecimals == 6) {
    out = number::write_integer(high, out);
    return number::write_millionths(low, out);
  } else {
    // high is the integer part less its last three digits, low those
    // digits then the decimals.
    std::uint32_t thousands = high / 1000;
    std::uint32_t hundreds = low / 1000;
    out = number::write_groups(thousands, high - thousands * 1000, hundreds, out);
    constexpr std::uint64_t kPointThenZeros = '.' | std::uint64_t{0x303030} << 32;
    bytes::store8(
        out, kPointThenZeros | std::uint64_t{number::kThreeDigits.of[low - hundreds * 1000]} << 8);
    return out + 7;
  }
}

// Adds to `extents` the points of the least and the greatest integers of
// `records` on each axis: the values grow with the integers (the scales
// are positive, and rounding keeps order), so these are their extents.
// Inlined, so that the loops' least and greatest stay in registers.
[[gnu::always_inline]] inline void add_extreme_records(const std::int32_t (&least)[3],
                                                       const std::int32_t (&greatest)[3],
                                                       const ScaledRecords& records,
                                                       Extents& extents, Axes axes) {
  if (records.count == 0) return;
  const double* scale = records.scale;
  const double* offset = records.offset;
  extents.add(least[0] * scale[0] + offset[0], least[1] * scale[1] + offset[1],
              least[2] * scale[2] + offset[2], axes);
  extents.add(greatest[0] * scale[0] + offset[0], greatest[1] * scale[1] + offset[1],
              greatest[2] * scale[2] + offset[2], axes);
}

}  // namespace

void TextPassThrough::pass_runs(Run& run, const char* stop, const char* text_end,
                                std::int64_t count, Extents& extents, Axes axes) {
  const std::size_t line_room = quick_.line_room();
  while (run.points < count && !run.stopped) {
    run.out = file_.reserve(line_room);
    // The room is checked for as many of the longest lines as it holds at
    // once, not line by line.
    std::int64_t room = (file_.room_end() - run.out) / static_cast<std::ptrdiff_t>(line_room);
    const std::int64_t most = std::min(count - run.points, room);
    if (run.box != nullptr) {
      quick_.copy_boxed_run(run, stop, text_end, most, extents, axes);
    } else {
      quick_.copy_run(run, stop, text_end, most, extents, axes);
    }
    file_.commit(run.out);
  }
}

std::int64_t TextPassThrough::pass_lines(const field_lines::Scan& scan, bool white, Axes axes,
                                         char*& line, const char* whole, std::int64_t count,
                                         Extents& extents, std::int64_t& line_number) {
  const std::size_t line_room = quick_.line_room();
  std::int64_t copied = 0;
  while (copied < count) {
    char* out = file_.reserve(line_room);
    std::int64_t room = (file_.room_end() - out) / static_cast<std::ptrdiff_t>(line_room);
    std::int64_t lines = std::min(count - copied, room);
    std::int64_t got =
        quick_.copy_lines(scan, white, axes, line, out, whole, lines, extents, line_number);
    file_.commit(out);
    copied += got;
    // Short only at a line the quick ways leave to the general one, or at
    // the end of the whole lines.
    if (got < lines) break;
  }
  return copied;
}

XyzWriter::XyzWriter(OutputFile& file, xyz::Format format) : file_(file), format_(format) {
  if (const QuickText* quick = quick_text_of(format)) pass_.emplace(file, *quick);
}

void XyzWriter::point(const Point& point, Extents& extents, Axes measured) {
  const int decimals = format_.decimals;
  char* out = file_.reserve(xyz::room_of_line(decimals));
  for (int axis = 0; axis < 3; ++axis) {
    out = xyz::write_coordinate(point.xyz[axis], decimals, out);
    if (axis < 2) *out++ = ' ';
  }
  out = xyz::line_end(out, format_);
  file_.commit(out);
  extents.add(point.xyz[0].value, point.xyz[1].value, point.xyz[2].value, measured);
}

// In thousandths where three decimals hold every axis's, else in
// millionths; none where an axis is no DecimalAxis.
void XyzWriter::know_records(const ScaledRecords& records) {
  RecordText& t = record_text_;
  // The same bits: an offset of -0 writes another sign than one of 0.
  auto same = [](const double* a, const double* b) {
    for (int axis = 0; axis < 3; ++axis) {
      if (std::bit_cast<std::uint64_t>(a[axis]) != std::bit_cast<std::uint64_t>(b[axis]))
        return false;
    }
    return true;
  };
  if (knows_records_ && same(t.scale, records.scale) && same(t.offset, records.offset)) return;
  knows_records_ = true;
  std::copy(records.scale, records.scale + 3, t.scale);
  std::copy(records.offset, records.offset + 3, t.offset);
  int* steps = t.steps;
  for (int axis = 0; axis < 3; ++axis) {
    DecimalAxis& a = t.axes[axis];
    steps[axis] = decimal_axis(t.scale[axis], t.offset[axis], a.units, a.negative_below);
  }
  t.decimals = *std::min_element(steps, steps + 3) < 0    ? 0
               : *std::max_element(steps, steps + 3) <= 3 ? 3
                                                          : 6;
  t.most_step = t.decimals == 0 ? -1 : *std::max_element(steps, steps + 3);
  for (int axis = 0; axis < 3 && t.decimals != 0; ++axis)
    t.axes[axis].to_units = kPowersOf10[t.decimals - steps[axis]];
}

void XyzWriter::records(const ScaledRecords& records, Extents& extents, Axes measured) {
  if (format_.decimals != xyz::Format::kDefaultDecimals) {
    write_records_in(records, extents, measured);
    return;
  }
  know_records(records);
  format_.crlf ? write_six_decimals<true>(records, extents, measured)
               : write_six_decimals<false>(records, extents, measured);
}

// From the integers where every axis is a DecimalAxis, else from the values.
template <bool kCrlf>
void XyzWriter::write_six_decimals(const ScaledRecords& records, Extents& extents, Axes measured) {
  const bool z = measured == Axes::kXYZ;
  switch (record_text_.decimals) {
    case 3:
      return z ? write_decimal_records<kCrlf, 3, Axes::kXYZ>(records, extents)
               : write_decimal_records<kCrlf, 3, Axes::kXY>(records, extents);
    case 6:
      return z ? write_decimal_records<kCrlf, 6, Axes::kXYZ>(records, extents)
               : write_decimal_records<kCrlf, 6, Axes::kXY>(records, extents);
    default:
      return write_records<kCrlf>(records, extents, measured);
  }
}

template <bool kCrlf>
void XyzWriter::write_records(const ScaledRecords& records, Extents& extents, Axes measured) {
  using Out = xyz::SixDecimals<kCrlf>;
  const double scale_x = records.scale[0], scale_y = records.scale[1], scale_z = records.scale[2];
  const double offset_x = records.offset[0], offset_y = records.offset[1],
               offset_z = records.offset[2];
  const char* record = records.first;
  char* out = file_.reserve(Out::kLineRoom);
  char* room_end = file_.room_end() - Out::kLineRoom;
  for (std::int64_t i = 0; i < records.count; ++i, record += records.length) {
    if (out > room_end) {
      file_.commit(out);
      out = file_.reserve(Out::kLineRoom);
      room_end = file_.room_end() - Out::kLineRoom;
    }
    // Multiplied, then added, each rounded once: the program is built
    // without contracting the two into one fused step.
    double value_x = little_endian_32(record) * scale_x + offset_x;
    double value_y = little_endian_32(record + 4) * scale_y + offset_y;
    double value_z = little_endian_32(record + 8) * scale_z + offset_z;
    out = Out::between(number::format_fixed6_quickly(value_x, out));
    out = Out::between(number::format_fixed6_quickly(value_y, out));
    out = Out::line_end(number::format_fixed6_quickly(value_z, out));
    extents.add(value_x, value_y, value_z, measured);
  }
  file_.commit(out);
}

// The same text as write_records, from the integers, and the extents from
// the least and greatest of them.
template <bool kCrlf, int kDecimals, Axes kAxes>
void XyzWriter::write_decimal_records(const ScaledRecords& records, Extents& extents) {
  using Out = xyz::SixDecimals<kCrlf>;
  const DecimalAxis* axes = record_text_.axes;
  auto coordinate = [axes](std::int32_t integer, int axis, char* out) {
    const DecimalAxis& a = axes[axis];
    std::int64_t value = integer + a.units;
    auto magnitude = static_cast<std::uint64_t>(value < 0 ? -value : value);
    return write_decimal<kDecimals>(magnitude * a.to_units, value < a.negative_below, out);
  };
  std::int32_t least[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
  std::int32_t greatest[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
  char* out = file_.reserve(Out::kLineRoom);
  char* room_end = file_.room_end() - Out::kLineRoom;
  const std::size_t length = records.length;
  const char* record = records.first;
  const char* const records_end = record + static_cast<std::size_t>(records.count) * length;
  for (; record != records_end; record += length) {
    if (out > room_end) {
      file_.commit(out);
      out = file_.reserve(Out::kLineRoom);
      room_end = file_.room_end() - Out::kLineRoom;
    }
    std::int32_t integer_x = little_endian_32(record);
    std::int32_t integer_y = little_endian_32(record + 4);
    least[0] = std::min(least[0], integer_x);
    greatest[0] = std::max(greatest[0], integer_x);
    least[1] = std::min(least[1], integer_y);
    greatest[1] = std::max(greatest[1], integer_y);
    out = Out::between(coordinate(integer_x, 0, out));
    out = Out::between(coordinate(integer_y, 1, out));
    std::int32_t integer_z = little_endian_32(record + 8);
    if constexpr (kAxes == Axes::kXYZ) {
      least[2] = std::min(least[2], integer_z);
      greatest[2] = std::max(greatest[2], integer_z);
    }
    out = Out::line_end(coordinate(integer_z, 2, out));
  }
  file_.commit(out);
  add_extreme_records(least, greatest, records, extents, kAxes);
}

// Any other number of decimals: from the integers where fewer decimals
// than six hold every axis's steps (the distance decimal_axis bounds is
// then far below half of their last place too), else each coordinate from
// its value.
void XyzWriter::write_records_in(const ScaledRecords& records, Extents& extents, Axes measured) {
  const int decimals = format_.decimals;
  const std::size_t room = xyz::room_of_line(decimals);
  const char* record = records.first;
  know_records(records);
  const RecordText& t = record_text_;
  if (decimals < 6 && t.most_step >= 0 && t.most_step <= decimals) {
    const std::uint64_t scale = kPowersOf10[decimals];
    std::int32_t least[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
    std::int32_t greatest[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
    for (std::int64_t i = 0; i < records.count; ++i, record += records.length) {
      char* out = file_.reserve(room);
      for (int axis = 0; axis < 3; ++axis) {
        std::int32_t integer =
            little_endian_32(record + std::size_t{4} * static_cast<std::size_t>(axis));
        least[axis] = std::min(least[axis], integer);
        greatest[axis] = std::max(greatest[axis], integer);
        const DecimalAxis& a = t.axes[axis];
        std::int64_t value = integer + a.units;
        auto magnitude = static_cast<std::uint64_t>(value < 0 ? -value : value) *
                         kPowersOf10[decimals - t.steps[axis]];
        *out = '-';
        out += value < a.negative_below;
        auto whole = static_cast<std::uint32_t>(magnitude / scale);
        out = number::write_integer(whole, out);
        if (decimals > 0) {
          *out++ = '.';
          auto part = static_cast<std::uint32_t>(magnitude - whole * scale);
          for (int d = decimals - 1; d >= 0; --d) {
            out[d] = static_cast<char>('0' + part % 10);
            part /= 10;
          }
          out += decimals;
        }
        if (axis < 2) *out++ = ' ';
      }
      file_.commit(xyz::line_end(out, format_));
    }
    add_extreme_records(least, greatest, records, extents, measured);
    return;
  }
  for (std::int64_t i = 0; i < records.count; ++i, record += records.length) {
    char* out = file_.reserve(room);
    double value[3];
    for (int axis = 0; axis < 3; ++axis) {
      value[axis] = little_endian_32(record + std::size_t{4} * static_cast<std::size_t>(axis)) *
                        records.scale[axis] +
                    records.offset[axis];
      out = number::format_fixed(value[axis], decimals, out);
      if (axis < 2) *out++ = ' ';
    }
    out = xyz::line_end(out, format_);
    file_.commit(out);
    extents.add(value[0], value[1], value[2], measured);
  }
}
