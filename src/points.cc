#include "points.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "bytes.h"

namespace {

using bytes::count_line_ends;
using bytes::load8;

constexpr char kCtrlZ = 0x1a;

// Which bytes separate numbers: the C library's white space.
struct WhiteSpace {
  bool table[256] = {};
  constexpr WhiteSpace() {
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[static_cast<unsigned char>(c)] = true;
  }
  bool operator()(char c) const { return table[static_cast<unsigned char>(c)]; }
};
constexpr WhiteSpace is_white;

// Text of the file for a message, in quotes: at most 40 bytes of it, white
// space as one space, unprintable bytes escaped.
std::string quoted(const char* first, const char* last) {
  constexpr std::ptrdiff_t kShown = 40;
  std::string text = "\"";
  while (last != first && is_white(last[-1])) --last;
  const char* shown_end = last - first > kShown ? first + kShown : last;
  for (const char* p = first; p != shown_end; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (is_white(*p)) {
      if (text.back() != ' ') text += ' ';
    } else if (c >= 0x20 && c < 0x7f) {
      text += *p;
    } else {
      static const char kHex[] = "0123456789abcdef";
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  if (shown_end != last) text += "...";
  text += '"';
  return text;
}

}  // namespace

constexpr std::size_t kSlack = 32;

PointReader::PointReader(ByteSource& source, std::size_t buffer_size)
    : source_(source),
      source_counts_lines_(source.line_ends_read() >= 0),
      capacity_(buffer_size),
      buffer_(buffer_size + kSlack) {}

// Keeps the current point's text, moved to the front, and reads more
// behind it. Returns false when nothing more can come.
bool PointReader::refill() {
  if (source_ended_) return false;
  std::size_t kept = end_ - point_first_;
  if (!source_counts_lines_) {
    lines_before_ += count_line_ends(buffer_.data(), buffer_.data() + point_first_);
  }
  std::memmove(buffer_.data(), buffer_.data() + point_first_, kept);
  position_ -= point_first_;
  word_first_ -= point_first_;
  point_first_ = 0;
  end_ = kept;
  buffer_[end_] = '\0';
  if (end_ == capacity_) return false;
  std::size_t got = source_.read(buffer_.data() + end_, capacity_ - end_);
  if (got == 0) {
    source_ended_ = true;
    return false;
  }
  if (void* stop = std::memchr(buffer_.data() + end_, kCtrlZ, got)) {
    const char* text_end = static_cast<char*>(stop);
    line_ends_after_text_ = count_line_ends(text_end, buffer_.data() + end_ + got);
    got = static_cast<std::size_t>(text_end - (buffer_.data() + end_));
    source_ended_ = true;
  }
  end_ += got;
  buffer_[end_] = '\0';
  return true;
}

PointReader::Word PointReader::next_word(bool starts_point) {
  for (;;) {
    const char* data = buffer_.data();
    while (position_ < end_ && is_white(data[position_])) {
      ++position_;
    }
    if (starts_point) point_first_ = position_;
    if (position_ < end_) break;
    if (!refill() && position_ == end_) return end_ == capacity_ ? Word::kTooLong : Word::kEnd;
  }
  word_first_ = position_;
  for (;;) {
    const char* data = buffer_.data();
    while (position_ < end_ && !is_white(data[position_])) ++position_;
    if (position_ < end_ || source_ended_) return Word::kFound;
    if (!refill()) return source_ended_ ? Word::kFound : Word::kTooLong;
  }
}

// Lines are counted only when a message needs one: the hot path never
// looks at line ends.
void PointReader::set_problem(std::size_t offset, const std::string& what) {
  const char* data = buffer_.data();
  std::int64_t line = source_counts_lines_
                          ? 1 + source_.line_ends_read() - line_ends_after_text_ -
                                count_line_ends(data + offset, data + end_)
                          : 1 + lines_before_ + count_line_ends(data, data + offset);
  problem_ = "line " + std::to_string(line) + ": " + what;
}

bool PointReader::next(Point& point) {
  for (int axis = 0; axis < 3; ++axis) {
    Word word = next_word(axis == 0);
    if (word == Word::kTooLong) {
      set_problem(point_first_, "a point longer than " + std::to_string(capacity_) + " bytes");
      return false;
    }
    if (word == Word::kEnd) {
      if (axis > 0) {
        const char* data = buffer_.data();
        set_problem(point_first_, quoted(data + point_first_, data + position_) +
                                      " is not a whole point (X Y Z)");
      }
      return false;
    }
    const char* data = buffer_.data();
    point.xyz[axis] = number::parse_token(data + word_first_, data + position_);
    if (!point.xyz[axis].ok) {
      set_problem(word_first_, quoted(data + word_first_, data + position_) + " is not a number");
      return false;
    }
  }
  return true;
}

namespace {

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

constexpr double kPowersOf10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
constexpr std::uint64_t kIntPowersOf10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// How many of the eight bytes of `word` are digits before the first that is
// not: a byte is a digit when its high nibble is 3 and adding 6 keeps it so.
int leading_digits(std::uint64_t word) {
  constexpr std::uint64_t kHigh = 0xf0f0f0f0f0f0f0f0;
  constexpr std::uint64_t kThrees = 0x3030303030303030;
  std::uint64_t not_digit =
      ((word & kHigh) ^ kThrees) | (((word + 0x0606060606060606) & kHigh) ^ kThrees);
  return not_digit == 0 ? 8 : std::countr_zero(not_digit) / 8;
}

// The value of the first `count` (at most 8) digits of `word`.
std::uint64_t digits_value(std::uint64_t word, int count) {
  if (count == 0) return 0;
  // Keep the digits as the low end of an eight-digit number: leading zeros.
  word = (word - 0x3030303030303030) << (8 * (8 - count));
  word = word * 10 + (word >> 8);
  return (((word & 0x000000ff000000ff) * 0x000f424000000064) +
          (((word >> 16) & 0x000000ff000000ff) * 0x0000271000000001)) >>
         32;
}

// A short plain decimal as it stands in the text.
struct ShortDecimal {
  bool negative;
  std::uint64_t integer_word;  // the first eight bytes of the integer digits
  int integer_length;          // up to 8 of them in integer_word
  int ninth_digit;             // or -1
  const char* fraction;
  int decimals;

  std::uint64_t integer() const {
    std::uint64_t value = digits_value(integer_word, integer_length);
    return ninth_digit < 0 ? value : value * 10 + static_cast<unsigned>(ninth_digit);
  }
};

// A short plain decimal (what parse_token calls short_decimal) at `p`,
// followed by white space: its "%f" text goes to `out`. Returns the end of
// the number, or null for anything else, which then takes the general way.
// Relies on a byte that is neither digit nor white space after the text and
// on room for 16-byte copies past both ends.
const char* copy_short_decimal(const char* p, char*& out, ShortDecimal& number) {
  char* o = out;
  number.negative = *p == '-';
  if (number.negative) *o++ = '-';
  if (number.negative || *p == '+') ++p;
  while (*p == '0' && is_digit(p[1])) ++p;
  std::memcpy(o, p, 16);
  number.integer_word = load8(p);
  number.integer_length = leading_digits(number.integer_word);
  number.ninth_digit = -1;
  p += number.integer_length;
  o += number.integer_length;
  if (number.integer_length == 8 && is_digit(*p)) {
    if (is_digit(p[1])) return nullptr;
    number.ninth_digit = *p++ - '0';
    ++o;
  }
  if (number.integer_length == 0) *o++ = '0';
  *o++ = '.';
  number.decimals = 0;
  if (*p == '.') {
    ++p;
    number.decimals = leading_digits(load8(p));
    if (number.decimals > 6) return nullptr;
    std::memcpy(o, p, 8);
  }
  number.fraction = p;
  p += number.decimals;
  if (number.integer_length + number.decimals == 0 || !is_white(*p)) return nullptr;
  std::memset(o + number.decimals, '0', 8);
  out = o + 6;
  return p;
}

// Adds a short decimal to an extent. Its integer part bounds it, and only
// when those bounds could change the extent is the exact value needed: the
// correctly rounded quotient of two exact doubles.
void add_to_extent(const ShortDecimal& number, Extent& extent) {
  std::uint64_t integer = number.integer();
  double whole = static_cast<double>(integer);
  double low = number.negative ? -(whole + 1) : whole;
  double high = number.negative ? -whole : whole + 1;
  if (!extent.could_change(low, high)) return;
  std::uint64_t mantissa = integer * kIntPowersOf10[number.decimals] +
                           digits_value(load8(number.fraction), number.decimals);
  double magnitude = static_cast<double>(mantissa) / kPowersOf10[number.decimals];
  extent.add(number.negative ? -magnitude : magnitude);
}

// Copies one point of short decimals at `p` to `out`, if that is what is
// there, and adds it to the extents; moves both on past it.
bool copy_short_point(const char*& p, char*& out, Extent& x, Extent& y) {
  const char* q = p;
  char* o = out;
  ShortDecimal numbers[3];
  for (int axis = 0; axis < 3; ++axis) {
    while (is_white(*q)) ++q;
    q = copy_short_decimal(q, o, numbers[axis]);
    if (q == nullptr) return false;
    *o++ = axis < 2 ? ' ' : '\r';
  }
  *o++ = '\n';
  add_to_extent(numbers[0], x);
  add_to_extent(numbers[1], y);
  p = q;
  out = o;
  return true;
}

}  // namespace

bool PointReader::copy_next(OutputFile& file, Extent& x, Extent& y) {
  char* o = file.reserve(kMaxPointLine);
  const char* p = buffer_.data() + position_;
  if (copy_short_point(p, o, x, y)) {
    file.commit(o);
    position_ = static_cast<std::size_t>(p - buffer_.data());
    return true;
  }
  Point point;
  if (!next(point)) return false;
  write_point(file, point);
  x.add(point.xyz[0].value);
  y.add(point.xyz[1].value);
  return true;
}

void write_point(OutputFile& file, const Point& point) {
  char* out = file.reserve(kMaxPointLine);
  for (int axis = 0; axis < 3; ++axis) {
    const number::Parsed& n = point.xyz[axis];
    if (n.short_decimal) {
      std::memcpy(out, n.text, n.text_length);
      out += n.text_length;
    } else {
      out = number::format_fixed6(n.value, out);
    }
    *out++ = axis < 2 ? ' ' : '\r';
  }
  *out++ = '\n';
  file.commit(out);
}
