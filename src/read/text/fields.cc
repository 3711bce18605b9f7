#include "read/text/fields.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "io/paths.h"
#include "num/bytes.h"
#include "num/number.h"
#include "read/text/points.h"
#include "read/text/run_loop.h"

namespace {

using bytes::kCtrlZ;
// The longest line a point makes, and the bytes copy_decimal may write
// past the last number.
constexpr std::size_t kLongestLine = kMaxPointLine + 8;

// What a byte is to the quick way.
enum : unsigned char {
  kOrdinary = 0,
  kBlank = 1,      // white space within a line that is not the separator
  kSeparator = 2,  // with white space as separator, its bytes are blanks too
  kLineEnd = 4,
  kOther = 8,  // a quote, a NUL: the general way
};

// Where the quick way's copy of a number ends, in the text and in the
// output; a null `end` leaves the line to the general way.
struct Copied {
  char* end;
  char* out;
};

// What may come right after a number's text: anything else makes it no
// number, and the general way says so.
constexpr unsigned char kEndsField = kBlank | kSeparator | kLineEnd;

// The number the quick copy takes after one look at sixteen bytes: as many
// integer digits as a digit key holds (extent.h), a mark and six decimals,
// so that the byte after it is among the sixteen too.
constexpr int kKeyDigits = 8;
constexpr int kMostDecimals = 6;
static_assert(kKeyDigits + 1 + kMostDecimals < 16);

unsigned char class_of(const unsigned char* classes, const char* p) {
  return classes[static_cast<unsigned char>(*p)];
}

// The value of a plain decimal that might change an extent, which is rare:
// kept out of the loop so that its registers stay its own.
[[gnu::noinline]] double value_of(const char* digits, const char* last, int integer_digits,
                                  int decimals, bool negative) {
  return Decimal{digits, last, integer_digits, decimals, negative}.value();
}

// The numbers copy_number leaves: blanks before them, signs, leading zeros,
// longer ones. copy_decimal takes them where the text is made what it
// reads, for as long as it looks: white space after the number, a point for
// a decimal comma. Anything else (an exponent, a name) is the general
// way's, with nothing written. `value` gets the number where it might
// change `extent` (none for an axis not measured), and `pending` says so.
[[gnu::noinline]] Copied copy_other(char* p, char* o, char mark, const unsigned char* classes,
                                    const Extent* extent, bool& pending, double& value) {
  while (class_of(classes, p) & kBlank) ++p;
  char* digits = p + (*p == '-' || *p == '+');
  unsigned not_digits = bytes::not_digits_16(digits);
  char* point = digits + std::countr_zero(not_digits);
  // Where commas are decimal marks every comma is read as a point, so both
  // are.
  bool comma = mark == ',' && *point == ',';
  char* end = point;
  if (*point == '.' || comma) end = digits + std::countr_zero(not_digits & (not_digits - 1));
  if (end >= digits + 16) return {nullptr, o};
  char after = *end;
  if ((class_of(classes, end) & kEndsField) == 0) return {nullptr, o};
  *end = ' ';
  if (comma) *point = '.';
  char* out = o;
  Decimal decimal;
  const char* copied = copy_decimal(p, out, decimal);
  if (copied == end && extent != nullptr && extent->could_change_key(decimal.integer_key()) &&
      extent->could_change(decimal.floor_bound())) {
    pending = true;
    value = decimal.value();
  }
  *end = after;
  if (comma) *point = ',';
  if (copied != end) return {nullptr, o};
  return {end, out};
}

// Copies the number at `p` to `o` as "%f" writes it. Most numbers of point
// files, short plain decimals with no leading zero, are their own "%f" text
// but for the zeros that pad the decimals to six: copied after one look at
// sixteen bytes, as the run loop of plain files copies them. Where the
// axis is `kMeasured`, the integer part is checked against `extent`; a
// number that might change it sets `pending` and `value`. A minus goes this
// way on Z alone (`kSigned`), as the run loop takes it. Inlined, so that
// the loop's own variables stay in registers.
template <bool kSigned, bool kMeasured>
[[gnu::always_inline]] inline Copied copy_number(char* p, char* o, char mark,
                                                 const unsigned char* classes, const Extent& extent,
                                                 bool& pending, double& value) {
  char* digits = p;
  char* out = o;
  bool negative = false;
  if constexpr (kSigned) {
    if (*digits == '-') {
      *out++ = '-';
      ++digits;
      negative = true;
    }
  }
  if (static_cast<unsigned char>(*digits - '1') < 9) {
    unsigned not_digits = bytes::not_digits_16(digits);
    int integer_digits = std::countr_zero(not_digits);
    if (integer_digits <= kKeyDigits) {
      std::memcpy(out, digits, 16);
      char* end = digits + integer_digits;
      int decimals = 0;
      if (*end == mark) {
        int after = std::countr_zero(not_digits & (not_digits - 1));
        decimals = after - integer_digits - 1;
        end = digits + after;
        out[integer_digits] = '.';
        bytes::store8(out + after, bytes::kZeros);
      } else {
        bytes::store8(out + integer_digits, bytes::kPointZeros);
      }
      if (decimals <= kMostDecimals) {
        if constexpr (kMeasured) {
          if (extent.could_change_digits(digits, integer_digits, negative)) [[unlikely]] {
            pending = true;
            value = value_of(digits, end, integer_digits, decimals, negative);
          }
        }
        return {end, out + integer_digits + 1 + kMostDecimals};
      }
    }
  }
  if constexpr (kMeasured) {
    return copy_other(p, o, mark, classes, &extent, pending, value);
  } else {
    // The loop's own flag and value keep out of memory.
    bool unused;
    double scratch;
    return copy_other(p, o, mark, classes, nullptr, unused, scratch);
  }
}

// Passes the text of a field that is not X, Y or Z, up to what ends it.
// Between separators blanks are the field's own; a quote, a NUL are the
// general way's.
template <bool kWhite>
inline char* pass_field(char* p, const unsigned char* classes) {
  if constexpr (kWhite) {
    while (class_of(classes, p) == kOrdinary) ++p;
  } else {
    while (class_of(classes, p) <= kBlank) ++p;
  }
  return p;
}

// The start of the next field, after the gap at `p` that ends a field's
// text, or null unless the gap is one separator (with white space as
// separator, a run of it) and a field follows: a line end there means fewer
// fields, which the general way reports. One separator and a field's first
// byte, the usual gap, cost one look each; the longer way takes blanks
// around the separator and empty fields.
template <bool kWhite>
inline char* next_field(char* p, char separator, const unsigned char* classes) {
  if constexpr (kWhite) {
    if ((class_of(classes, p) & kBlank) == 0) return nullptr;
    ++p;
    if (class_of(classes, p) == kOrdinary) return p;
    while (class_of(classes, p) & kBlank) ++p;
    return class_of(classes, p) == kOrdinary ? p : nullptr;
  } else {
    if (*p == separator && class_of(classes, p + 1) == kOrdinary) return p + 1;
    while (class_of(classes, p) & kBlank) ++p;
    if (*p != separator) return nullptr;
    ++p;
    while (class_of(classes, p) & kBlank) ++p;
    // A field that is empty ends at the next separator.
    return (class_of(classes, p) & (kLineEnd | kOther)) == 0 ? p : nullptr;
  }
}

// Past the line end after the last field's text at `p`, or null unless
// only blanks come before it (and between separators, an empty last field
// after a separator, which some programs end every line with).
template <bool kWhite>
inline char* past_line_end(char* p, char separator, const unsigned char* classes) {
  if (p[0] == '\r' && p[1] == '\n') return p + 2;
  if (p[0] != '\n') {
    while (class_of(classes, p) & kBlank) ++p;
    if (!kWhite && *p == separator) {
      ++p;
      while (class_of(classes, p) & kBlank) ++p;
    }
    if (p[0] == '\r') return p + (p[1] == '\n' ? 2 : 1);
    if (p[0] != '\n') return nullptr;
  }
  return p + 1;
}
}  // namespace

FieldReader::FieldReader(ByteSource& source, const layout::Layout& layout, std::size_t buffer_size,
                         bool quickly, Axes axes)
    : layout_(layout),
      quickly_(quickly && layout.xyz[0] < layout.xyz[1] && layout.xyz[1] < layout.xyz[2]),
      measured_(axes),
      // Between commas a decimal comma can only be quoted: the general way.
      mark_(layout.decimal_comma && layout.separator != ',' ? ',' : '.'),
      buffer_(source, buffer_size, kTextSlack),
      to_skip_(layout.data_start),
      line_(layout.data_line) {
  std::copy(layout.xyz, layout.xyz + 3, want_);
  for (char c : {' ', '\t', '\v', '\f'}) classes_[static_cast<unsigned char>(c)] = kBlank;
  if (layout.separator == ' ') {
    for (char c : {' ', '\t', '\v', '\f'}) classes_[static_cast<unsigned char>(c)] |= kSeparator;
  } else {
    classes_[static_cast<unsigned char>(layout.separator)] = kSeparator;
  }
  classes_[static_cast<unsigned char>('\r')] = kLineEnd;
  classes_[static_cast<unsigned char>('\n')] = kLineEnd;
  classes_[static_cast<unsigned char>('"')] = kOther;
  classes_[0] = kOther;
  bool white = layout.separator == ' ';
  if (axes == Axes::kXYZ) {
    copy_lines_ = white ? &FieldReader::copy_lines<true, Axes::kXYZ>
                        : &FieldReader::copy_lines<false, Axes::kXYZ>;
  } else {
    copy_lines_ = white ? &FieldReader::copy_lines<true, Axes::kXY>
                        : &FieldReader::copy_lines<false, Axes::kXY>;
  }
  end_text(buffer_.data());
}

std::int64_t FieldReader::copy_points(OutputFile& file, Extents& extents, std::int64_t count) {
  std::int64_t copied = 0;
  while (copied < count && !stopped_) {
    if (position_ >= whole_ && !refill()) {
      stopped_ = true;
      break;
    }
    char* const data = buffer_.data();
    char* p = data + position_;
    const char* const whole = data + whole_;
    char* o = file.reserve(kLongestLine);
    const char* const room_end = file.room_end();
    while (copied < count && p < whole) {
      std::int64_t room = (room_end - o) / static_cast<std::ptrdiff_t>(kLongestLine);
      if (room == 0) break;
      if (quickly_) {
        std::int64_t lines = std::min(count - copied, room);
        std::int64_t got = (this->*copy_lines_)(p, o, whole, lines, extents);
        copied += got;
        points_ += got;
        // Short of both only at a line that the quick way leaves to the
        // general one.
        if (got == lines || p >= whole) continue;
      }
      Line line = copy_line(p, o, extents);
      if (line == Line::kPoint) {
        ++copied;
        ++points_;
      } else if (line == Line::kStopped) {
        stopped_ = true;
        break;
      }
    }
    file.commit(o);
    position_ = static_cast<std::size_t>(p - data);
  }
  return copied;
}

// Keeps the line begun, moved to the front, and reads on until at least
// one whole line is there. False at the end, or at a line longer than the
// buffer, which problem() then describes.
bool FieldReader::refill() {
  for (;;) {
    std::size_t skipped = std::min(to_skip_, end_ - position_);
    position_ += skipped;
    to_skip_ -= skipped;
    if (to_skip_ == 0) {
      find_whole_lines();
      if (whole_ > position_) return true;
    }
    if (source_ended_) return false;
    if (end_ - position_ == buffer_.capacity()) {
      set_problem("a line longer than " +
                  number::int_text(static_cast<std::int64_t>(buffer_.capacity())) + " bytes");
      return false;
    }
    const std::size_t kept = end_ - position_;
    InputBuffer::Refill more = buffer_.refill(position_, end_);
    position_ = whole_ = more.first;
    end_ = more.first + kept;
    if (more.got == 0) {
      end_text(buffer_.data() + end_);
      source_ended_ = true;
    } else {
      take_read(more.got);
    }
  }
}

// Adds the `got` bytes read at end_ to the text, as far as a Ctrl-Z.
void FieldReader::take_read(std::size_t got) {
  char* first = buffer_.data() + end_;
  if (void* stop = std::memchr(first, kCtrlZ, got); stop != nullptr) {
    got = static_cast<std::size_t>(static_cast<char*>(stop) - first);
    source_ended_ = true;
  }
  end_ += got;
  end_text(buffer_.data() + end_);
}

// Sets whole_ past the last line end read; a CR at the very end only ends
// a line once no LF can follow it.
void FieldReader::find_whole_lines() {
  if (source_ended_) {
    whole_ = end_;
    return;
  }
  const char* data = buffer_.data();
  std::size_t at = end_;
  while (at > position_) {
    char c = data[at - 1];
    if (c == '\n' || (c == '\r' && at != end_)) break;
    --at;
  }
  whole_ = at;
}

// The first line end at or after `p`, or the end of the whole lines.
const char* FieldReader::line_end(const char* p) const {
  const char* last = buffer_.data() + whole_;
  while (p != last && *p != '\n' && *p != '\r') ++p;
  return p;
}

void FieldReader::set_problem(const std::string& what) {
  problem_ = "line " + number::int_text(line_) + ": " + what;
}

// Up to `count` lines of points copied from `line` on, as long as the quick
// way takes them and they begin before `whole`; returns how many, with
// `line`, `out` and the line number moved on. A line is taken when it has
// the file's number of fields, its separators where they belong, and X Y Z
// are numbers copy_number takes; anything else (another number of fields,
// quotes, exponents, words) is left whole to the general way, which says
// what it is, with nothing of that line written or counted. Blank lines are
// passed over.
template <bool kWhite, Axes kAxes>
std::int64_t FieldReader::copy_lines(char*& line, char*& out, const char* whole, std::int64_t count,
                                     Extents& extents) {
  // The loop's own variables stay in registers: nothing takes their
  // address.
  const unsigned char* const classes = classes_;
  const char separator = layout_.separator;
  const char mark = mark_;
  const int fields = layout_.fields;
  const int want_x = want_[0];
  const int want_y = want_[1];
  const int want_z = want_[2];
  char* p = line;
  char* o = out;
  std::int64_t copied = 0;
  std::int64_t lines = 0;
  while (copied < count && p < whole) {
    char* q = p;
    if (class_of(classes, q) != kOrdinary) [[unlikely]] {
      while (class_of(classes, q) & kBlank) ++q;
      if (class_of(classes, q) & kLineEnd) {
        p = q + (q[0] == '\r' && q[1] == '\n' ? 2 : 1);
        ++lines;
        continue;
      }
    }
    // Passes the fields before `wanted`, or leaves the line.
    int field = 0;
    auto reach = [&](int wanted) {
      for (; field < wanted && q != nullptr; ++field) {
        q = next_field<kWhite>(pass_field<kWhite>(q, classes), separator, classes);
      }
      return q != nullptr;
    };
    // Nothing of a point counts until all of it is read: its extents are
    // applied once it is whole, which is seldom needed at all.
    bool x_pending = false;
    bool y_pending = false;
    bool z_pending = false;
    double x_value;
    double y_value;
    double z_value;
    if (!reach(want_x)) break;
    Copied c = copy_number<false, true>(q, o, mark, classes, extents.x, x_pending, x_value);
    if (c.end == nullptr) break;
    *c.out = ' ';
    ++field;
    q = next_field<kWhite>(c.end, separator, classes);
    if (!reach(want_y)) break;
    c = copy_number<false, true>(q, c.out + 1, mark, classes, extents.y, y_pending, y_value);
    if (c.end == nullptr) break;
    *c.out = ' ';
    ++field;
    q = next_field<kWhite>(c.end, separator, classes);
    if (!reach(want_z)) break;
    c = copy_number<true, kAxes == Axes::kXYZ>(q, c.out + 1, mark, classes, extents.z, z_pending,
                                               z_value);
    if (c.end == nullptr) break;
    // The fields after Z, if any.
    q = c.end;
    for (++field; field < fields && q != nullptr; ++field) {
      q = next_field<kWhite>(q, separator, classes);
      if (q != nullptr) q = pass_field<kWhite>(q, classes);
    }
    if (q == nullptr) break;
    q = past_line_end<kWhite>(q, separator, classes);
    if (q == nullptr) break;
    c.out[0] = '\r';
    c.out[1] = '\n';
    o = c.out + 2;
    p = q;
    ++copied;
    ++lines;
    if (x_pending) [[unlikely]]
      extents.x.add(x_value);
    if (y_pending) [[unlikely]]
      extents.y.add(y_value);
    if constexpr (kAxes == Axes::kXYZ) {
      if (z_pending) [[unlikely]]
        extents.z.add(z_value);
    }
  }
  line = p;
  out = o;
  line_ += lines;
  return copied;
}
// Any line: split into fields, each of X Y Z read as strtod reads it.
FieldReader::Line FieldReader::copy_line(char*& line, char*& out, Extents& extents) {
  const char* last = line_end(line);
  std::string_view text(line, static_cast<std::size_t>(last - line));
  layout::split_fields(text, layout_.separator, fields_);
  if (fields_.size() == 1 && !fields_[0].quoted && layout::is_end_line(fields_[0].text)) {
    // The points end here: the quick way, which would take any line of
    // numbers after it, is left for good.
    if (end_line_ == 0) end_line_ = line_;
    quickly_ = false;
    fields_.clear();
  } else if (end_line_ != 0 && !fields_.empty()) {
    set_problem(paths::quoted(text) + " comes after line " + number::int_text(end_line_) +
                ", which ends the points");
    return Line::kStopped;
  }
  if (!fields_.empty() && static_cast<int>(fields_.size()) != layout_.fields) {
    set_problem(paths::quoted(text) + " holds " +
                number::int_text(static_cast<std::int64_t>(fields_.size())) +
                " fields where the file's lines hold " + number::int_text(layout_.fields));
    return Line::kStopped;
  }
  // The fields of X Y Z, decimal commas turned into points.
  std::string tokens[3];
  number::Parsed xyz[3];
  for (int axis = 0; axis < 3 && !fields_.empty(); ++axis) {
    const layout::Field& field = fields_[static_cast<std::size_t>(want_[axis])];
    std::string& token = tokens[axis];
    token.assign(field.text);
    // White space inside quotes before the number is skipped, as strtod
    // skips it (a field outside quotes comes trimmed).
    std::size_t blanks = 0;
    while (blanks < token.size() && bytes::is_white(token[blanks])) ++blanks;
    token.erase(0, blanks);
    if (layout_.decimal_comma) std::replace(token.begin(), token.end(), ',', '.');
    xyz[axis] = number::parse_token(token.data(), token.data() + token.size());
    if (!xyz[axis].ok) {
      set_problem(paths::quoted(field.text) + " is not a number");
      return Line::kStopped;
    }
  }
  const char* next = last;
  if (next != buffer_.data() + end_) {
    next += next[0] == '\r' && next[1] == '\n' ? 2 : 1;
    ++line_;
  }
  line = const_cast<char*>(next);
  if (fields_.empty()) return Line::kBlank;
  char* o = out;
  for (int axis = 0; axis < 3; ++axis) {
    std::size_t length =
        copy_token(tokens[axis].data(), tokens[axis].data() + tokens[axis].size(), o);
    o = length != 0 ? o + length : number::format_fixed6(xyz[axis].value, o);
    *o++ = axis < 2 ? ' ' : '\r';
  }
  *o++ = '\n';
  out = o;
  extents.add(xyz[0].value, xyz[1].value, xyz[2].value, measured_);
  return Line::kPoint;
}
