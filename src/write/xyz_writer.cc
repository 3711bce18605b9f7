#include "write/xyz_writer.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

#include "num/number.h"

using record_decimals::add_extreme_records;
using record_decimals::DecimalAxis;
using record_decimals::kPowersOf10;
using record_decimals::little_endian_32;

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

void XyzWriter::records(const ScaledRecords& records, Extents& extents, Axes measured) {
  if (format_.decimals != xyz::Format::kDefaultDecimals) {
    write_records_in(records, extents, measured);
    return;
  }
  record_text_.know(records);
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
  record_decimals::write_lines<kCrlf, kDecimals, kAxes>(file_, xyz::SixDecimals<kCrlf>::kLineRoom,
                                                        record_text_.axes, records, extents,
                                                        [](const char*, char* out) { return out; });
}

// Any other number of decimals: from the integers where fewer decimals
// than six hold every axis's steps (the distance decimal_axis bounds is
// then far below half of their last place too), else each coordinate from
// its value.
void XyzWriter::write_records_in(const ScaledRecords& records, Extents& extents, Axes measured) {
  const int decimals = format_.decimals;
  const std::size_t room = xyz::room_of_line(decimals);
  const char* record = records.first;
  record_text_.know(records);
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
