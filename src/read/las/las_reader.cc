#include "read/las/las_reader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "num/bytes.h"
#include "num/number.h"
#include "read/laz/chunk_decoder.h"
#include "read/laz/laz_points.h"
#include "read/text/points.h"

namespace {

std::string text(std::uint64_t value) {
  char digits[number::kMaxIntLength];
  char* end = number::format_int(static_cast<std::int64_t>(value), digits);
  return std::string(digits, end);
}

std::int32_t little_endian_32(const char* p) {
  auto byte = [p](int i) { return std::uint32_t{static_cast<unsigned char>(p[i])}; };
  return static_cast<std::int32_t>(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
}

// The room one line takes at most, and the 8 bytes the quick writer may
// write past its text.
constexpr std::size_t kLineRoom = kMaxPointLine + 8;

// Whether, for every 32-bit X, X * scale + offset in double precision lies
// so near the decimal (X + units) * 10^-k that "%f" writes that decimal:
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
// "%f" shows ("-0.000000"), the sign `negative_below` tells: a decimal
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

}  // namespace

LasReader::LasReader(ByteSource& source, std::size_t buffer_size, Axes axes)
    : source_(source),
      measured_(axes),
      buffer_(source, std::max(buffer_size, las::kLongestHeader), 0) {}

LasReader::LasReader(ReadAhead& ahead, Axes axes)
    : source_(ahead), measured_(axes), buffer_(ahead, ahead.storage_size(), 0) {}

LasReader::~LasReader() = default;

bool LasReader::fill(std::size_t needed) {
  while (end_ - position_ < needed) {
    InputBuffer::Refill more = buffer_.refill(position_, end_, needed);
    end_ = more.first + (end_ - position_) + more.got;
    position_ = more.first;
    if (more.got == 0) return false;
    bytes_read_ += more.got;
  }
  return true;
}

bool LasReader::start() {
  fill(las::kLongestHeader);
  problem_ = las::read_header(reinterpret_cast<const unsigned char*>(buffer_.data() + position_),
                              end_ - position_, header_);
  if (!problem_.empty()) return false;
  points_left_ = header_.point_count;
  if (points_left_ == 0) return false;
  int steps[3];
  for (int axis = 0; axis < 3; ++axis) {
    DecimalAxis& a = axes_[axis];
    steps[axis] =
        decimal_axis(header_.scale[axis], header_.offset[axis], a.units, a.negative_below);
  }
  // In thousandths where three decimals hold every axis's, else in
  // millionths.
  decimals_ = *std::min_element(steps, steps + 3) < 0    ? 0
              : *std::max_element(steps, steps + 3) <= 3 ? 3
                                                         : 6;
  static constexpr std::uint64_t kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  for (int axis = 0; axis < 3 && decimals_ != 0; ++axis)
    axes_[axis].to_units = kPowers[decimals_ - steps[axis]];
  // The records between the header and the points say the unit of X and Y
  // and, for LAZ, how the points are compressed: kept up to a bound that no
  // real file's records reach, passed over beyond it.
  constexpr std::size_t kMostRecordBytes = std::size_t{64} << 20;
  std::string records;
  std::uint64_t skip = header_.point_offset;
  while (skip > 0) {
    if (position_ == end_ && !fill(1)) {
      problem_ = "the LAS header puts the points at byte " + text(header_.point_offset) +
                 ", past the end of the file, at byte " + text(bytes_read_);
      points_left_ = 0;
      return false;
    }
    auto part = static_cast<std::size_t>(std::min<std::uint64_t>(skip, end_ - position_));
    if (records.size() < kMostRecordBytes)
      records.append(buffer_.data() + position_, std::min(part, kMostRecordBytes - records.size()));
    position_ += part;
    skip -= part;
  }
  std::size_t first = std::min<std::size_t>(header_.header_size, records.size());
  const auto* after_header = reinterpret_cast<const unsigned char*>(records.data()) + first;
  unit_ = las_linear_unit(after_header, records.size() - first, header_.records);
  if (header_.compressed) return start_laz(after_header, records.size() - first);
  return true;
}

bool LasReader::start_laz(const unsigned char* records, std::size_t size) {
  problem_ = laz::read_laszip(header_, records, size, header_.records, laszip_);
  if (!problem_.empty()) {
    points_left_ = 0;
    return false;
  }
  laz_ = std::make_unique<laz::LazPoints>(laszip_, header_.point_count,
                                          static_cast<laz::Refill&>(*this), source_,
                                          header_.point_offset, laz_workers_);
  return true;
}

bool LasReader::more(const unsigned char*& next, const unsigned char*& end) {
  if (position_ == end_ && !fill(1)) return false;
  next = reinterpret_cast<const unsigned char*>(buffer_.data() + position_);
  end = reinterpret_cast<const unsigned char*>(buffer_.data() + end_);
  position_ = end_;
  return true;
}

std::int64_t LasReader::copy_laz_points(OutputFile& file, Extents& extents, std::int64_t count) {
  std::int64_t copied = 0;
  while (copied < count) {
    const char* records = nullptr;
    auto batch =
        static_cast<std::int64_t>(laz_->next(records, static_cast<std::size_t>(count - copied)));
    if (batch == 0) {
      problem_ = laz_->problem();
      break;
    }
    write(file, extents, records, laz::kXyzSize, batch);
    copied += batch;
    pasted_ += batch;
  }
  return copied;
}

void LasReader::write(OutputFile& file, Extents& extents, const char* records, std::size_t length,
                      std::int64_t count) {
  bool z = measured_ == Axes::kXYZ;
  if (decimals_ == 3) {
    z ? write_decimal_records<3, Axes::kXYZ>(file, extents, records, length, count)
      : write_decimal_records<3, Axes::kXY>(file, extents, records, length, count);
  } else if (decimals_ == 6) {
    z ? write_decimal_records<6, Axes::kXYZ>(file, extents, records, length, count)
      : write_decimal_records<6, Axes::kXY>(file, extents, records, length, count);
  } else {
    write_records(file, extents, records, length, count);
  }
}

std::int64_t LasReader::copy_points(OutputFile& file, Extents& extents, std::int64_t count) {
  if (!started_) {
    started_ = true;
    if (!start()) return 0;
  }
  if (laz_ != nullptr) return copy_laz_points(file, extents, count);
  std::int64_t copied = 0;
  const std::size_t length = header_.record_length;
  while (copied < count && points_left_ > 0) {
    if (end_ - position_ < length && !fill(length)) {
      std::uint64_t pasted = header_.point_count - points_left_;
      problem_ = "the file ends after " + text(pasted) + " of the " + text(header_.point_count) +
                 " points its LAS header gives";
      points_left_ = 0;
      break;
    }
    std::uint64_t whole = (end_ - position_) / length;
    auto batch = static_cast<std::int64_t>(
        std::min({whole, points_left_, static_cast<std::uint64_t>(count - copied)}));
    write(file, extents, buffer_.data() + position_, length, batch);
    position_ += static_cast<std::size_t>(batch) * length;
    copied += batch;
    pasted_ += batch;
    points_left_ -= static_cast<std::uint64_t>(batch);
  }
  return copied;
}

void LasReader::write_records(OutputFile& file, Extents& extents, const char* record,
                              std::size_t length, std::int64_t count) {
  const double scale_x = header_.scale[0], scale_y = header_.scale[1], scale_z = header_.scale[2];
  const double offset_x = header_.offset[0], offset_y = header_.offset[1],
               offset_z = header_.offset[2];
  char* out = file.reserve(kLineRoom);
  char* room_end = file.room_end() - kLineRoom;
  for (std::int64_t i = 0; i < count; ++i, record += length) {
    if (out > room_end) {
      file.commit(out);
      out = file.reserve(kLineRoom);
      room_end = file.room_end() - kLineRoom;
    }
    // Multiplied, then added, each rounded once: the program is built
    // without contracting the two into one fused step.
    double value_x = little_endian_32(record) * scale_x + offset_x;
    double value_y = little_endian_32(record + 4) * scale_y + offset_y;
    double value_z = little_endian_32(record + 8) * scale_z + offset_z;
    out = number::format_fixed6_quickly(value_x, out);
    *out++ = ' ';
    out = number::format_fixed6_quickly(value_y, out);
    *out++ = ' ';
    out = number::format_fixed6_quickly(value_z, out);
    out[0] = '\r';
    out[1] = '\n';
    out += 2;
    extents.add(value_x, value_y, value_z, measured_);
  }
  file.commit(out);
}

template <int kDecimals>
inline char* LasReader::write_coordinate(std::int32_t integer, int axis, char* out) const {
  const DecimalAxis& a = axes_[axis];
  std::int64_t value = integer + a.units;
  auto magnitude = static_cast<std::uint64_t>(value < 0 ? -value : value);
  return write_decimal<kDecimals>(magnitude * a.to_units, value < a.negative_below, out);
}

// The same text as write_records, from the integers. The values grow with
// the integers (the scales are positive, and rounding keeps order), so the
// extents are those of the least and greatest.
template <int kDecimals, Axes kAxes>
void LasReader::write_decimal_records(OutputFile& file, Extents& extents, const char* record,
                                      std::size_t length, std::int64_t count) {
  const double* scale = header_.scale;
  const double* offset = header_.offset;
  std::int32_t least[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
  std::int32_t greatest[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
  char* out = file.reserve(kLineRoom);
  char* room_end = file.room_end() - kLineRoom;
  const char* const records_end = record + static_cast<std::size_t>(count) * length;
  for (; record != records_end; record += length) {
    if (out > room_end) {
      file.commit(out);
      out = file.reserve(kLineRoom);
      room_end = file.room_end() - kLineRoom;
    }
    std::int32_t integer_x = little_endian_32(record);
    std::int32_t integer_y = little_endian_32(record + 4);
    least[0] = std::min(least[0], integer_x);
    greatest[0] = std::max(greatest[0], integer_x);
    least[1] = std::min(least[1], integer_y);
    greatest[1] = std::max(greatest[1], integer_y);
    out = write_coordinate<kDecimals>(integer_x, 0, out);
    *out++ = ' ';
    out = write_coordinate<kDecimals>(integer_y, 1, out);
    *out++ = ' ';
    std::int32_t integer_z = little_endian_32(record + 8);
    if constexpr (kAxes == Axes::kXYZ) {
      least[2] = std::min(least[2], integer_z);
      greatest[2] = std::max(greatest[2], integer_z);
    }
    out = write_coordinate<kDecimals>(integer_z, 2, out);
    out[0] = '\r';
    out[1] = '\n';
    out += 2;
  }
  file.commit(out);
  if (count == 0) return;
  extents.add(least[0] * scale[0] + offset[0], least[1] * scale[1] + offset[1],
              least[2] * scale[2] + offset[2], kAxes);
  extents.add(greatest[0] * scale[0] + offset[0], greatest[1] * scale[1] + offset[1],
              greatest[2] * scale[2] + offset[2], kAxes);
}
