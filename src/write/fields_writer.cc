#include "write/fields_writer.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

#include "io/paths.h"
#include "num/bytes.h"
#include "num/number.h"

namespace columns {

std::string Column::title() const { return dim ? std::string(point::name_of(*dim)) : extra; }

std::string parse(std::string_view text, std::vector<Column>& columns) {
  columns.clear();
  // Counted first: the check for names given twice takes every pair.
  if (std::count(text.begin(), text.end(), ',') >= kMostColumns) {
    return "--fields takes at most " + std::to_string(kMostColumns) + " names";
  }
  std::size_t from = 0;
  for (;;) {
    std::size_t comma = text.find(',', from);
    std::string_view name =
        text.substr(from, comma == std::string_view::npos ? comma : comma - from);
    if (name.empty()) return "--fields takes names separated by commas, with none empty";
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
      return "--fields takes no control character in a name, as in " + paths::for_message(name);
    }
    Column column;
    column.dim = point::dim_named(name);
    if (!column.dim) column.extra = std::string(name);
    for (const Column& before : columns) {
      // Extra dimensions are found in any case: two names that differ in
      // case alone would be one column twice.
      if (column.dim ? before.dim == column.dim
                     : !before.dim && point::same_extra_name(before.extra, column.extra)) {
        return "--fields names " + paths::for_message(column.title()) + " twice";
      }
    }
    columns.push_back(std::move(column));
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }
  return {};
}

bool plain(const std::vector<Column>& columns) {
  return columns.size() == 3 && columns[0].dim == point::Dim::kX &&
         columns[1].dim == point::Dim::kY && columns[2].dim == point::Dim::kZ;
}

bool axis_columns(const std::vector<Column>& columns, int (&at)[3]) {
  if (columns.empty()) {
    for (int axis = 0; axis < 3; ++axis) at[axis] = axis;
    return true;
  }
  int found = 0;
  for (int axis = 0; axis < 3; ++axis) {
    at[axis] = -1;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (columns[c].dim == static_cast<point::Dim>(axis)) at[axis] = static_cast<int>(c);
    }
    found += at[axis] >= 0 ? 1 : 0;
  }
  return found == 3;
}

std::string titles_line(const std::vector<Column>& columns, bool crlf) {
  std::string line;
  for (const Column& column : columns) {
    if (!line.empty()) line += ' ';
    std::string title = column.title();
    std::replace(title.begin(), title.end(), ' ', '_');
    line += title;
  }
  if (columns.empty()) line = "X Y Z";
  return line + (crlf ? "\r\n" : "\n");
}

point::Wanted wanted(const std::vector<Column>& columns) {
  point::Wanted wanted;
  for (const Column& column : columns) {
    if (column.dim) {
      wanted.dims.add(*column.dim);
    } else {
      wanted.extra.push_back(column.extra);
    }
  }
  return wanted;
}

std::vector<std::string> lacking(const std::vector<Column>& columns, const point::Schema& schema) {
  std::vector<std::string> lacked;
  for (const Column& column : columns) {
    bool carried = false;
    if (column.dim) {
      carried = schema.dims.has(*column.dim);
    } else {
      for (const std::string& name : schema.extra) {
        carried = carried || point::same_extra_name(name, column.extra);
      }
    }
    if (!carried) lacked.push_back(column.title());
  }
  return lacked;
}

}  // namespace columns

namespace {

static_assert(columns::kMostColumns * (number::max_fixed_length(number::kMostDecimals) + 10) + 10 <=
                  OutputFile::kBufferSize,
              "a line of the most columns fits the output buffer");

// The room a column's text may take, and the 8 bytes past it that the
// quick formatting may write.
std::size_t room_of(const columns::Column& column, int decimals) {
  if (!column.dim) return number::max_fixed_length(number::kMostDecimals) + 9;
  switch (point::written_as(*column.dim)) {
    case point::Written::kCoordinate:
      return number::max_fixed_length(decimals) + 9;
    case point::Written::kWhole:
      // A whole number of text may be none (1e300): written as it is.
      return number::max_fixed_length(number::kMostDecimals) + 9;
    case point::Written::kTime:
      return number::max_fixed_length(6) + 9;
    case point::Written::kAngle:
      return number::max_fixed_length(3) + 9;
    case point::Written::kReal:
      return number::max_fixed_length(9) + 9;
  }
  return 0;
}

// A real as the fewest decimals that read back as the same value (as the
// same 32-bit float, for one of those): a wave packet's 2.0593415e-08 is
// 0.000000020593415, not a rounded 0.000000021. Fixed notation holds no
// more than 17 decimals; a value smaller still keeps those.
char* write_shortest(double value, bool single, char* out) {
  if (!std::isfinite(value)) return number::format_fixed(value, 0, out);
  for (int decimals = 0; decimals < number::kMostDecimals; ++decimals) {
    char* end = number::format_fixed(value, decimals, out);
    number::Parsed back = number::parse_token(out, end);
    if (single ? static_cast<float>(back.value) == static_cast<float>(value)
               : back.value == value) {
      return end;
    }
  }
  return number::format_fixed(value, number::kMostDecimals, out);
}

// A value that is no whole number is written as it is rather than
// rounded: a column of text that holds 12.5 where intensities are meant
// keeps its 12.5.
char* write_whole(double value, char* out) {
  if (std::nearbyint(value) == value && std::fabs(value) < 0x1p63) {
    return number::format_int(static_cast<std::int64_t>(value), out);
  }
  return write_shortest(value, false, out);
}

// A dimension's value, however it was written in the input.
char* write_value(point::Dim dim, double value, char* out) {
  switch (point::written_as(dim)) {
    case point::Written::kWhole:
      return write_whole(value, out);
    case point::Written::kTime:
      return number::format_fixed(value, 6, out);
    case point::Written::kAngle:
      return number::format_fixed(value, 3, out);
    default:
      return write_shortest(value, true, out);
  }
}

char* write_extra(const point::ExtraDim& extra, const char* record, char* out) {
  // Whole numbers as they lie, past 2^53 too.
  if (!extra.scaled && extra.type <= 8) {
    const char* p = record + extra.at;
    const int size = point::extra_type_size(extra.type);
    std::uint64_t raw = 0;
    for (int i = size - 1; i >= 0; --i) raw = raw << 8 | static_cast<unsigned char>(p[i]);
    if (extra.type % 2 == 1) {
      if (raw > std::uint64_t{INT64_MAX}) {
        const std::string text = number::uint_text(raw);
        return std::copy(text.begin(), text.end(), out);
      }
      return number::format_int(static_cast<std::int64_t>(raw), out);
    }
    const int unused = 64 - 8 * size;
    return number::format_int(static_cast<std::int64_t>(raw << unused) >> unused, out);
  }
  if (extra.decimals == point::kShortestDecimals) {
    return write_shortest(point::extra_value(extra, record), extra.type == 9, out);
  }
  return number::format_fixed(point::extra_value(extra, record), extra.decimals, out);
}

// A whole number below 2^16 (a LAS record's byte, bits or two bytes), as
// format_int writes it, in fewer steps. Writes 8 bytes.
inline char* write_small_whole(std::uint32_t value, char* out) {
  if (value < 1000) {
    // The three digits less the leading zeros, but for the last.
    const int zeros = (value < 100 ? 1 : 0) + (value < 10 ? 1 : 0);
    bytes::store8(out, number::kThreeDigits.of[value] >> (8 * zeros));
    return out + 3 - zeros;
  }
  const std::uint32_t thousands = value / 1000;
  return number::write_groups(0, thousands, value - thousands * 1000, out);
}

// The column of each whole number below 1000: a space, then its digits,
// leading zeros left out, in load8's order, and the column's length in
// the top byte. Such a column is written with one load and one store, the
// length in the eighth byte written past it.
struct ShortWholeColumns {
  std::uint64_t of[1000] = {};
  constexpr ShortWholeColumns() {
    for (std::uint32_t n = 0; n < 1000; ++n) {
      const std::uint32_t length = n < 10 ? 1 : n < 100 ? 2 : 3;
      const std::uint64_t digits = number::kThreeDigits.of[n] >> (8 * (3 - length));
      of[n] = ' ' | digits << 8 | std::uint64_t{length + 1} << 56;
    }
  }
};
inline constexpr ShortWholeColumns kShortWholeColumns;

// A small whole (an unsigned one of one or two bytes, or bits of one)
// where two bytes of the record can be read from its first: those two,
// whether or not the second is its own, then its bits.
struct SmallPlace {
  std::uint32_t at = 0;
  std::uint32_t shift = 0;
  std::uint32_t mask = 0;
};

// The whole's column: a space, then the whole; `kShifted` unless its
// bits begin with its first byte's, as the intensity's and the class's do.
// Writes 8 bytes.
template <bool kShifted>
[[gnu::always_inline]] inline char* write_small_column(const SmallPlace& place, const char* record,
                                                       char* out) {
  const char* p = record + place.at;
  const std::uint32_t two =
      static_cast<unsigned char>(p[0]) | std::uint32_t{static_cast<unsigned char>(p[1])} << 8;
  const std::uint32_t value = (kShifted ? two >> place.shift : two) & place.mask;
  if (value < 1000) {
    const std::uint64_t column = kShortWholeColumns.of[value];
    bytes::store8(out, column);
    return out + (column >> 56);
  }
  *out++ = ' ';
  return write_small_whole(value, out);
}

// The columns most often asked after X, Y and Z: two small wholes (the
// intensity and the class), then the time. A class of its own, for its
// call to be inlined in each of the loops that write lines.
template <bool kShifted>
struct TwoSmallsThenTime {
  SmallPlace one, two;
  std::size_t time_at = 0;
  number::Fixed6Runs& time_columns;  // with their spaces
  [[gnu::always_inline]] char* operator()(const char* record, char* out) const {
    out = write_small_column<kShifted>(one, record, out);
    out = write_small_column<kShifted>(two, record, out);
    return time_columns.write(std::bit_cast<double>(bytes::load8(record + time_at)), out);
  }
};

std::int32_t coordinate_at(const char* record, int axis) {
  const char* p = record + std::ptrdiff_t{4} * axis;
  if constexpr (std::endian::native == std::endian::little) {
    // One load: the compiler does not see the bytes below as one.
    std::int32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
  }
  auto byte = [p](int i) { return std::uint32_t{static_cast<unsigned char>(p[i])}; };
  return static_cast<std::int32_t>(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
}

}  // namespace

FieldsWriter::FieldsWriter(OutputFile& file, xyz::Format format,
                           const std::vector<columns::Column>& columns)
    : file_(file), format_(format), columns_(columns) {
  for (const columns::Column& column : columns_) line_room_ += room_of(column, format.decimals) + 1;
  line_room_ += 2 + 8;
}

void FieldsWriter::write_titles(OutputFile& file, xyz::Format format,
                                const std::vector<columns::Column>& columns) {
  const std::string line = columns::titles_line(columns, format.crlf);
  file.write_block(line.data(), line.size());
}

void FieldsWriter::know_layout(const point::RecordLayout* layout) {
  layout_ = layout;
  steps_.clear();
  for (const columns::Column& column : columns_) {
    Step step;
    if (!column.dim) {
      step.op = Step::Op::kExtra;
      step.extra = layout->extra_named(column.extra);
    } else {
      const point::Dim dim = *column.dim;
      step.place = point::place_of(*layout, dim);
      switch (point::written_as(dim)) {
        case point::Written::kCoordinate:
          step.op = Step::Op::kCoordinate;
          step.axis = static_cast<int>(dim);
          break;
        case point::Written::kWhole:
          step.op =
              dim == point::Dim::kWaveformDataOffset ? Step::Op::kUnsigned64 : Step::Op::kWhole;
          // Most attributes are a byte or two, or bits of one.
          if (step.place.kind == point::FieldPlace::Kind::kUnsigned && step.place.bytes <= 2) {
            step.op = Step::Op::kSmallWhole;
            step.mask = step.place.width < 16 ? (1u << step.place.width) - 1 : 0xffffu;
          }
          break;
        case point::Written::kTime:
          step.op = step.place.kind == point::FieldPlace::Kind::kDouble ? Step::Op::kTimeDouble
                                                                        : Step::Op::kTime;
          break;
        case point::Written::kAngle:
          step.op = Step::Op::kAngle;
          break;
        case point::Written::kReal:
          step.op = Step::Op::kReal;
          break;
      }
    }
    steps_.push_back(step);
  }
  plain_attributes_ =
      steps_.size() >= 3 &&
      std::all_of(steps_.begin(), steps_.begin() + 3,
                  [this](const Step& s) {
                    return s.op == Step::Op::kCoordinate && s.axis == &s - steps_.data();
                  }) &&
      std::all_of(steps_.begin() + 3, steps_.end(), [](const Step& s) {
        return s.op == Step::Op::kSmallWhole || s.op == Step::Op::kTimeDouble;
      });
}

void FieldsWriter::know_names(const std::vector<std::string>* names) {
  names_ = names;
  point_extra_.clear();
  for (const columns::Column& column : columns_) {
    int found = -1;
    if (!column.dim && names != nullptr) {
      for (std::size_t i = 0; i < names->size() && found < 0; ++i) {
        if (point::same_extra_name((*names)[i], column.extra)) found = static_cast<int>(i);
      }
    }
    point_extra_.push_back(found);
  }
}

void FieldsWriter::point(const Point& point, Extents& extents, Axes measured) {
  const PointAttributes* attributes = point.attributes;
  const std::vector<std::string>* names = attributes == nullptr ? nullptr : attributes->extra_names;
  if (names != names_ || point_extra_.empty()) know_names(names);
  char* out = file_.reserve(line_room_);
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    if (c > 0) *out++ = ' ';
    const columns::Column& column = columns_[c];
    if (!column.dim) {
      const int at = point_extra_[c];
      const bool held = at >= 0 && static_cast<std::size_t>(at) < attributes->extra.size();
      out = write_shortest(held ? attributes->extra[static_cast<std::size_t>(at)] : 0, false, out);
      continue;
    }
    const point::Dim dim = *column.dim;
    if (point::written_as(dim) == point::Written::kCoordinate) {
      out = xyz::write_coordinate(point.xyz[static_cast<int>(dim)], format_.decimals, out);
    } else {
      out = write_value(dim, attributes == nullptr ? 0 : attributes->value[static_cast<int>(dim)],
                        out);
    }
  }
  file_.commit(xyz::line_end(out, format_));
  extents.add(point.xyz[0].value, point.xyz[1].value, point.xyz[2].value, measured);
}

// A column other than a coordinate from a record, as its step says.
inline char* FieldsWriter::write_step(const Step& step, const char* record, char* out) {
  switch (step.op) {
    case Step::Op::kCoordinate:
      break;  // written by the loops, from the integers or the values
    case Step::Op::kWhole: {
      const std::int64_t whole = step.place.whole(record);
      // Below 10^8 the digits are written inline, the same as format_int's.
      if (whole >= 0 && whole < 100000000)
        return number::write_integer(static_cast<std::uint32_t>(whole), out);
      return number::format_int(whole, out);
    }
    case Step::Op::kUnsigned64: {
      const std::string text =
          number::uint_text(static_cast<std::uint64_t>(step.place.whole(record)));
      return std::copy(text.begin(), text.end(), out);
    }
    case Step::Op::kSmallWhole: {
      const char* p = record + step.place.at;
      std::uint32_t raw = static_cast<unsigned char>(p[0]);
      if (step.place.bytes == 2) raw |= std::uint32_t{static_cast<unsigned char>(p[1])} << 8;
      return write_small_whole((raw >> step.place.shift) & step.mask, out);
    }
    case Step::Op::kTime:
      return number::format_fixed6_quickly(step.place.value(record), out);
    case Step::Op::kTimeDouble:
      // A LAS record's GPS time is a double as it lies.
      return number::format_fixed6_quickly(
          std::bit_cast<double>(bytes::load8(record + step.place.at)), out);
    case Step::Op::kAngle:
      return number::format_fixed(step.place.value(record), 3, out);
    case Step::Op::kReal:
      return write_shortest(step.place.value(record), true, out);
    case Step::Op::kExtra:
      return step.extra != nullptr ? write_extra(*step.extra, record, out)
                                   : write_shortest(0, false, out);
  }
  return out;
}

void FieldsWriter::records(const ScaledRecords& records, Extents& extents, Axes measured) {
  static const point::RecordLayout kCoordinates = point::RecordLayout::coordinates_only();
  const point::RecordLayout& layout = records.layout != nullptr ? *records.layout : kCoordinates;
  if (&layout != layout_ || steps_.empty()) know_layout(&layout);
  if (format_.decimals == xyz::Format::kDefaultDecimals) {
    // The coordinates from their integers, as the plain result writes them.
    record_text_.know(records);
    // Most often X, Y and Z come first, and are written without a look at
    // their steps.
    const bool xyz_first = steps_.size() >= 3 && steps_[0].op == Step::Op::kCoordinate &&
                           steps_[0].axis == 0 && steps_[1].op == Step::Op::kCoordinate &&
                           steps_[1].axis == 1 && steps_[2].op == Step::Op::kCoordinate &&
                           steps_[2].axis == 2;
    if (plain_attributes_ && record_text_.decimals == 3) {
      return write_plain_attributes<3>(records, extents, measured);
    }
    if (plain_attributes_ && record_text_.decimals == 6) {
      return write_plain_attributes<6>(records, extents, measured);
    }
    if (record_text_.decimals == 3) {
      return xyz_first ? write_decimal_records<3, true>(records, extents, measured)
                       : write_decimal_records<3, false>(records, extents, measured);
    }
    if (record_text_.decimals == 6) {
      return xyz_first ? write_decimal_records<6, true>(records, extents, measured)
                       : write_decimal_records<6, false>(records, extents, measured);
    }
  }
  const char* record = records.first;
  const int decimals = format_.decimals;
  for (std::int64_t i = 0; i < records.count; ++i, record += records.length) {
    char* out = file_.reserve(line_room_);
    double value[3];
    for (int axis = 0; axis < 3; ++axis) {
      // Multiplied, then added, each rounded once, as the plain result's
      // records are.
      value[axis] = static_cast<double>(coordinate_at(record, axis)) * records.scale[axis] +
                    records.offset[axis];
    }
    bool first = true;
    for (const Step& step : steps_) {
      if (!first) *out++ = ' ';
      first = false;
      if (step.op == Step::Op::kCoordinate) {
        const double v = value[step.axis];
        out = decimals == 6 ? number::format_fixed6_quickly(v, out)
                            : number::format_fixed(v, decimals, out);
      } else {
        out = write_step(step, record, out);
      }
    }
    file_.commit(xyz::line_end(out, format_));
    extents.add(value[0], value[1], value[2], measured);
  }
}

template <int kDecimals, bool kXyzFirst>
void FieldsWriter::write_decimal_records(const ScaledRecords& records, Extents& extents,
                                         Axes measured) {
  const record_decimals::DecimalAxis* axes = record_text_.axes;
  std::int32_t least[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
  std::int32_t greatest[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
  const Step* const steps = steps_.data() + (kXyzFirst ? 3 : 0);
  const Step* const steps_end = steps_.data() + steps_.size();
  const bool crlf = format_.crlf;
  const char* record = records.first;
  // The room is checked for the longest line, and reserved for many.
  char* out = file_.reserve(line_room_);
  const char* room_end = file_.room_end() - line_room_;
  for (std::int64_t i = 0; i < records.count; ++i, record += records.length) {
    if (out > room_end) {
      file_.commit(out);
      out = file_.reserve(line_room_);
      room_end = file_.room_end() - line_room_;
    }
    std::int32_t integer[3];
    for (int axis = 0; axis < 3; ++axis) {
      integer[axis] = coordinate_at(record, axis);
      least[axis] = std::min(least[axis], integer[axis]);
      greatest[axis] = std::max(greatest[axis], integer[axis]);
    }
    // Each column then a space, the last space made the line's end.
    if constexpr (kXyzFirst) {
      for (int axis = 0; axis < 3; ++axis) {
        out = record_decimals::write_coordinate<kDecimals>(axes[axis], integer[axis], out);
        *out++ = ' ';
      }
    }
    for (const Step* step = steps; step != steps_end; ++step) {
      out = step->op == Step::Op::kCoordinate ? record_decimals::write_coordinate<kDecimals>(
                                                    axes[step->axis], integer[step->axis], out)
                                              : write_step(*step, record, out);
      *out++ = ' ';
    }
    --out;
    if (crlf) *out++ = '\r';
    *out++ = '\n';
  }
  file_.commit(out);
  record_decimals::add_extreme_records(least, greatest, records, extents, measured);
}

template <int kDecimals>
void FieldsWriter::write_plain_attributes(const ScaledRecords& records, Extents& extents,
                                          Axes measured) {
  const Step* const steps = steps_.data() + 3;
  const Step* const steps_end = steps_.data() + steps_.size();
  number::Fixed6Runs times;
  // A small whole as its step places it.
  auto write_small_step = [](const Step& step, const char* record, char* out) {
    const char* p = record + step.place.at;
    std::uint32_t raw = static_cast<unsigned char>(p[0]);
    if (step.place.bytes == 2) raw |= std::uint32_t{static_cast<unsigned char>(p[1])} << 8;
    return write_small_whole((raw >> step.place.shift) & step.mask, out);
  };
  auto small = [](const Step& s) { return s.op == Step::Op::kSmallWhole; };
  if (steps_end - steps == 3 && small(steps[0]) && small(steps[1]) &&
      steps[2].op == Step::Op::kTimeDouble) {
    // Two small wholes then the time, as intensity, class and time are
    // most often asked for: a plan of its own, with no step looked up.
    const Step first = steps[0], second = steps[1];
    const std::size_t time_at = steps[2].place.at;
    // Two bytes read from each small whole's first, within the record.
    auto two_bytes_in = [&records](const Step& step) {
      return step.place.at + std::size_t{2} <= records.length;
    };
    if (two_bytes_in(first) && two_bytes_in(second)) {
      const SmallPlace one{first.place.at, first.place.shift, first.mask};
      const SmallPlace two{second.place.at, second.place.shift, second.mask};
      number::Fixed6Runs time_columns(' ');
      if (one.shift == 0 && two.shift == 0) {
        return write_xyz_then<kDecimals>(records, extents, measured,
                                         TwoSmallsThenTime<false>{one, two, time_at, time_columns});
      }
      return write_xyz_then<kDecimals>(records, extents, measured,
                                       TwoSmallsThenTime<true>{one, two, time_at, time_columns});
    }
    return write_xyz_then<kDecimals>(
        records, extents, measured, [&](const char* record, char* out) {
          *out++ = ' ';
          out = write_small_step(first, record, out);
          *out++ = ' ';
          out = write_small_step(second, record, out);
          *out++ = ' ';
          return times.write(std::bit_cast<double>(bytes::load8(record + time_at)), out);
        });
  }
  // Small wholes and times in any order, step by step; a class for its
  // call to be inlined in each loop that writes lines.
  struct StepByStep {
    const Step* steps;
    const Step* steps_end;
    number::Fixed6Runs& times;
    decltype(write_small_step) small;
    [[gnu::always_inline]] char* operator()(const char* record, char* out) const {
      for (const Step* step = steps; step != steps_end; ++step) {
        *out++ = ' ';
        out = step->op == Step::Op::kTimeDouble
                  ? times.write(std::bit_cast<double>(bytes::load8(record + step->place.at)), out)
                  : small(*step, record, out);
      }
      return out;
    }
  };
  write_xyz_then<kDecimals>(records, extents, measured,
                            StepByStep{steps, steps_end, times, write_small_step});
}

template <int kDecimals, class Tail>
void FieldsWriter::write_xyz_then(const ScaledRecords& records, Extents& extents, Axes measured,
                                  Tail tail) {
  // The plain result's loop, the line's end and the axes measured its
  // constants.
  using record_decimals::write_lines;
  const record_decimals::DecimalAxis* axes = record_text_.axes;
  const bool z = measured == Axes::kXYZ;
  if (format_.crlf) {
    return z ? write_lines<true, kDecimals, Axes::kXYZ>(file_, line_room_, axes, records, extents,
                                                        tail)
             : write_lines<true, kDecimals, Axes::kXY>(file_, line_room_, axes, records, extents,
                                                       tail);
  }
  return z ? write_lines<false, kDecimals, Axes::kXYZ>(file_, line_room_, axes, records, extents,
                                                       tail)
           : write_lines<false, kDecimals, Axes::kXY>(file_, line_room_, axes, records, extents,
                                                      tail);
}
