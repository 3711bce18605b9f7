// LAS records' coordinates written from their integers. Where an axis's
// scale is 10^-k and its offset lies near a multiple of that, X * scale +
// offset lies so near the decimal (X + units) * 10^-k that "%.6f" writes
// that decimal: the integer plus the offset's units is then the text, and
// no double is made or formatted. The plain writer and the fields writer
// write records this way, so that a coordinate has one text whichever
// writes it.
#ifndef STRATUMIX_WRITE_RECORD_DECIMALS_H_
#define STRATUMIX_WRITE_RECORD_DECIMALS_H_

#include <cstdint>

#include "io/output_file.h"
#include "num/bytes.h"
#include "num/extent.h"
#include "num/number.h"
#include "point/point.h"
#include "write/xyz_text.h"

namespace record_decimals {

// One axis written from its integers.
struct DecimalAxis {
  std::int64_t units = 0;           // the offset, in steps of the scale
  std::uint64_t to_units = 0;       // a step's thousandths or millionths
  std::int64_t negative_below = 0;  // integer + units below it is written with "-"
};

// How LAS records of one scale and offset are written.
struct RecordText {
  double scale[3] = {};
  double offset[3] = {};
  // The decimals the coordinates are written in from their integers (3
  // or 6), or 0 when not every axis is a DecimalAxis.
  int decimals = 0;
  // The most decimals of an axis's steps (0 for steps of 1, 6 for steps of
  // a millionth), or -1 when not every axis is a DecimalAxis.
  int most_step = -1;
  int steps[3] = {};
  DecimalAxis axes[3];
  bool known = false;

  // Settles the above for the scales and offsets of `records`, unless they
  // are those already known.
  void know(const ScaledRecords& records);
};

// Whether, for every 32-bit X, X * scale + offset is written as the
// decimal (X + units) * 10^-k: returns k, or -1 where it is not (see
// record_decimals.cc).
int decimal_axis(double scale, double offset, std::int64_t& units, std::int64_t& negative_below);

inline constexpr std::uint64_t kPowersOf10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

inline std::int32_t little_endian_32(const char* p) {
  auto byte = [p](int i) { return std::uint32_t{static_cast<unsigned char>(p[i])}; };
  return static_cast<std::int32_t>(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
}

// The text of `units` thousandths or millionths (kDecimals 3 or 6), below
// 10^8 once whole, with "-" for a negative one, in six decimals.
template <int kDecimals>
[[gnu::always_inline]] inline char* write_decimal(std::uint64_t units, bool negative, char* out) {
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

// A coordinate's `integer` on axis `a` in six decimals.
template <int kDecimals>
[[gnu::always_inline]] inline char* write_coordinate(const DecimalAxis& a, std::int32_t integer,
                                                     char* out) {
  std::int64_t value = integer + a.units;
  auto magnitude = static_cast<std::uint64_t>(value < 0 ? -value : value);
  return write_decimal<kDecimals>(magnitude * a.to_units, value < a.negative_below, out);
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

// A line for each of `records`: X, Y and Z from their integers, then what
// `tail(record, out)` writes after Z (the plain result writes nothing
// there), then the line's end; and the extents of the axes kAxes. The one
// loop of the plain writer and of the fields writer, so that a coordinate
// has one text whichever writes it. `line_room` holds the longest line.
template <bool kCrlf, int kDecimals, Axes kAxes, class Tail>
[[gnu::always_inline]] inline void write_lines(OutputFile& file, std::size_t line_room,
                                               const DecimalAxis* axes,
                                               const ScaledRecords& records, Extents& extents,
                                               Tail tail) {
  using Out = xyz::SixDecimals<kCrlf>;
  std::int32_t least[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
  std::int32_t greatest[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
  // The room is checked for the longest line, and reserved for many.
  char* out = file.reserve(line_room);
  const char* room_end = file.room_end() - line_room;
  const std::size_t length = records.length;
  const char* record = records.first;
  const char* const records_end = record + static_cast<std::size_t>(records.count) * length;
  for (; record != records_end; record += length) {
    if (out > room_end) {
      file.commit(out);
      out = file.reserve(line_room);
      room_end = file.room_end() - line_room;
    }
    const std::int32_t x = little_endian_32(record);
    const std::int32_t y = little_endian_32(record + 4);
    least[0] = std::min(least[0], x);
    greatest[0] = std::max(greatest[0], x);
    least[1] = std::min(least[1], y);
    greatest[1] = std::max(greatest[1], y);
    out = Out::between(write_coordinate<kDecimals>(axes[0], x, out));
    out = Out::between(write_coordinate<kDecimals>(axes[1], y, out));
    const std::int32_t z = little_endian_32(record + 8);
    if constexpr (kAxes == Axes::kXYZ) {
      least[2] = std::min(least[2], z);
      greatest[2] = std::max(greatest[2], z);
    }
    out = Out::line_end(tail(record, write_coordinate<kDecimals>(axes[2], z, out)));
  }
  file.commit(out);
  add_extreme_records(least, greatest, records, extents, kAxes);
}

}  // namespace record_decimals

#endif  // STRATUMIX_WRITE_RECORD_DECIMALS_H_
