// The result's text: one point a line, X Y Z between single spaces, each
// number as printf's "%.Nf" writes it (six decimals unless the job asks
// for others), each line ended by CR LF unless the job asks for LF. What
// knows that form is here and in the writer (xyz_writer.h); the readers'
// quick loops take the pieces below as their `Out`, so that a number read
// as text is written from its own digits in the same pass.
#ifndef STRATUMIX_WRITE_XYZ_TEXT_H_
#define STRATUMIX_WRITE_XYZ_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "num/bytes.h"
#include "num/number.h"
#include "point/point.h"
#include "read/text/run_loop.h"

namespace xyz {

// What a job may choose of the result's text.
struct Format {
  static constexpr int kDefaultDecimals = 6;
  int decimals = kDefaultDecimals;  // 0 to number::kMostDecimals
  bool crlf = true;                 // else LF alone
};

// The longest line a point can take: three of the longest numbers, two
// spaces, CR LF.
constexpr std::size_t longest_line(int decimals) {
  return 3 * (number::max_fixed_length(decimals) + 1) + 1;
}

// The room a line is given: the longest, and the 8 bytes the quick ways
// may write past its end.
constexpr std::size_t room_of_line(int decimals) { return longest_line(decimals) + 8; }

namespace detail {

// How far, in billionths, the decimals after the sixth must stay from a
// half to round the text as "%.6f" rounds the double nearest to it: more
// than half a unit in the last place of a double below 10^(integer digits).
inline constexpr int kTieMargin[] = {1, 1, 1, 1, 1, 1, 1, 1, 8, 60};

// Adds one millionth to the six-decimal text [first, last). False when the
// carry would reach past the first digit (999.9999996), which needs a
// digit more.
inline bool round_up(char* first, char* last) {
  for (char* p = last - 1; p >= first; --p) {
    if (*p == '.') continue;
    if (*p != '9') {
      ++*p;
      return true;
    }
    *p = '0';
  }
  return false;
}

}  // namespace detail

// The six-decimal text, the default, as the quick loops write it. Most
// numbers in point files are plain decimals of at most six decimals, and
// their text here is their own digits, padded with zeros.
template <bool kCrlf>
struct SixDecimals {
  // Longest text copy_decimal writes: sign, nine integer digits, point, six
  // decimals; it writes up to 8 bytes past it.
  static constexpr std::size_t kLongestDecimal = 1 + 9 + 1 + 6;
  static constexpr std::size_t kLineRoom = room_of_line(6);
  // Every decimal the loops take (at most six decimals) is padded.
  static constexpr bool kPadsEveryShortDecimal = true;
  static std::size_t line_room() { return kLineRoom; }

  // A short number, one to eight integer digits at `digits` and at most
  // six decimals, in two steps: the sixteen bytes from its first digit, as
  // soon as the loop has found one, then, once it knows the number's
  // shape, the zeros that pad its decimals to six. The text as it stands
  // is its text but for them.
  [[gnu::always_inline]] static void copy16(char* o, const char* digits) {
    std::memcpy(o, digits, 16);
  }
  // A whole number of `integer_digits` digits: its point and zeros go in
  // one store.
  [[gnu::always_inline]] static char* pad_whole(char* o, int integer_digits) {
    bytes::store8(o + integer_digits, bytes::kPointZeros);
    return o + integer_digits + 7;
  }
  // A decimal whose text ends `end` bytes from its first digit.
  [[gnu::always_inline]] static char* pad_decimal(char* o, int integer_digits, int end) {
    bytes::store8(o + end, bytes::kZeros);
    return o + integer_digits + 7;
  }
  // The same where the decimal mark may be a comma: a point is written.
  [[gnu::always_inline]] static char* pad_marked_decimal(char* o, int integer_digits, int end) {
    o[integer_digits] = '.';
    bytes::store8(o + end, bytes::kZeros);
    return o + integer_digits + 7;
  }
  static char* minus(char* o) {
    *o = '-';
    return o + 1;
  }
  static char* between(char* o) {
    *o = ' ';
    return o + 1;
  }
  static char* line_end(char* o) {
    if constexpr (kCrlf) {
      o[0] = '\r';
      o[1] = '\n';
      return o + 2;
    } else {
      *o = '\n';
      return o + 1;
    }
  }
  static char* value(double v, char* o) { return number::format_fixed6(v, o); }

  // Writes the text of the plain decimal at `p` to `out` and moves `out`
  // past it: padded with zeros, or rounded as text when the seventh
  // decimal and on are far enough from a half that the double's own
  // rounding cannot tip it (otherwise the number is left to the exact
  // way). Returns the end of the number, which must be white space, or
  // null for anything else. The text follows the rule of kTextSlack; writes
  // up to 8 bytes past kLongestDecimal.
  static const char* copy_decimal(const char* p, char*& out, Decimal& number) {
    using bytes::is_digit;
    char* o = out;
    number.negative = false;
    if (*p < '0') {  // a sign, or a point
      if (*p == '-') {
        number.negative = true;
        *o++ = '-';
        ++p;
      } else if (*p == '+') {
        ++p;
      }
    }
    char* const first_digit = o;
    if (*p == '0' && is_digit(p[1])) {
      do ++p;
      while (*p == '0' && is_digit(p[1]));
    }
    number.digits = p;
    int integer_digits = bytes::leading_digits(bytes::load8(p));
    // The number as it stands is its text but for the zeros that pad the
    // decimals to six.
    std::memcpy(o, p, 16);
    if (integer_digits == 8 && is_digit(p[8])) {
      if (is_digit(p[9])) return nullptr;
      integer_digits = 9;
    }
    number.integer_digits = integer_digits;
    p += integer_digits;
    o += integer_digits;
    int decimals = 0;
    if (*p == '.') {
      std::uint64_t word = bytes::load8(p + 1);
      decimals = bytes::leading_digits(word);
      if (integer_digits == 0) {
        *o++ = '0';
        bytes::store8(o, bytes::load8(p));
      }
      ++p;
      if (decimals <= 6) {
        bytes::store8(o + 1 + decimals, bytes::kZeros);
        p += decimals;
      } else {
        // The seventh to ninth decimals, in billionths past the sixth.
        int rest = (static_cast<int>((word >> 48) & 0xff) - '0') * 100;
        const char* q = p + 7;
        if (decimals == 8) {
          rest += (static_cast<int>(word >> 56) - '0') * 10;
          q = p + 8;
          if (is_digit(*q)) rest += *q - '0';
          int more;
          while ((more = bytes::leading_digits(bytes::load8(q))) == 8) q += 8;
          q += more;
        }
        p = q;
        int margin = detail::kTieMargin[integer_digits];
        if (rest >= 500 + margin) {
          if (!detail::round_up(first_digit, o + 7)) return nullptr;
        } else if (rest + 1 + margin > 500) {
          return nullptr;
        }
      }
    } else {
      if (integer_digits == 0) return nullptr;
      *o = '.';
      bytes::store8(o + 1, bytes::kZeros);
    }
    if (integer_digits + decimals == 0 || !bytes::is_white(*p)) return nullptr;
    number.decimals = decimals;
    number.last = p;
    out = o + 7;
    return p;
  }
};

// The text in fewer decimals, or seven, `decimals` of them, as the quick
// loops write it. A plain decimal of no more decimals than that and at most
// eight integer digits is its own digits padded with zeros, as with six:
// the double nearest it lies within half a unit in its last place, below
// 2^-27 (for 10^8 < 2^27), of it, far less than the half of 10^-7 that
// would round it elsewhere. One of more decimals is rounded as text where
// that is sure to round as its value does (pad_decimal); any other number
// is written from its value.
template <bool kCrlf>
struct FewDecimals {
  static constexpr int kMost = 7;
  static constexpr std::size_t kLongestDecimal = 1 + 9 + 1 + kMost;
  static constexpr bool kPadsEveryShortDecimal = false;
  int decimals;  // 0 to kMost

  std::size_t line_room() const { return room_of_line(decimals); }
  [[gnu::always_inline]] static void copy16(char* o, const char* digits) {
    std::memcpy(o, digits, 16);
  }
  [[gnu::always_inline]] char* pad_whole(char* o, int integer_digits) const {
    if (decimals == 0) return o + integer_digits;
    bytes::store8(o + integer_digits, bytes::kPointZeros);
    return o + integer_digits + 1 + decimals;
  }
  // A decimal of more decimals than asked, up to six, is rounded as text:
  // its dropped digits are a multiple of 10^-6, so unless they are a half
  // exactly they lie at least 10^-6 from one, far more than the double
  // nearest the decimal can lie from it. Null for a half, a carry that
  // needs a digit more (9.96 in one decimal), or more than six decimals.
  [[gnu::always_inline]] char* pad_decimal(char* o, int integer_digits, int end) const {
    const int given = end - integer_digits - 1;
    if (given <= decimals) {
      if (decimals == 0) return o + integer_digits;
      bytes::store8(o + end, bytes::kZeros);
      return o + integer_digits + 1 + decimals;
    }
    return round_decimal(o, integer_digits, end, given);
  }
  char* round_decimal(char* o, int integer_digits, int end, int given) const {
    if (given > 6) return nullptr;
    char* const kept_end = o + integer_digits + (decimals == 0 ? 0 : 1 + decimals);
    const char* dropped = o + integer_digits + 1 + decimals;
    bool up = *dropped > '5';
    if (*dropped == '5') {
      for (const char* p = dropped + 1; p != o + end && !up; ++p) up = *p != '0';
      if (!up) return nullptr;
    }
    if (up && !detail::round_up(o, kept_end)) return nullptr;
    return kept_end;
  }
  [[gnu::always_inline]] char* pad_marked_decimal(char* o, int integer_digits, int end) const {
    o[integer_digits] = '.';
    return pad_decimal(o, integer_digits, end);
  }
  static char* minus(char* o) { return SixDecimals<kCrlf>::minus(o); }
  static char* between(char* o) { return SixDecimals<kCrlf>::between(o); }
  static char* line_end(char* o) { return SixDecimals<kCrlf>::line_end(o); }
  char* value(double v, char* o) const { return number::format_fixed(v, decimals, o); }

  // The plain decimal at `p`, as SixDecimals::copy_decimal reads it, when
  // it has no more decimals than asked (and, for seven, at most eight
  // integer digits); null otherwise, for its value to be written.
  const char* copy_decimal(const char* p, char*& out, Decimal& number) const {
    char scratch[SixDecimals<kCrlf>::kLongestDecimal + 8];
    char* o = scratch;
    const char* end = SixDecimals<kCrlf>::copy_decimal(p, o, number);
    if (end == nullptr || number.decimals > decimals ||
        (decimals == kMost && number.integer_digits > 8))
      return nullptr;
    char* w = out;
    if (number.negative) *w++ = '-';
    if (number.integer_digits == 0) {
      *w++ = '0';
    } else {
      std::memcpy(w, number.digits, static_cast<std::size_t>(number.integer_digits));
      w += number.integer_digits;
    }
    if (decimals > 0) {
      *w = '.';
      std::memcpy(w + 1, number.last - number.decimals, static_cast<std::size_t>(number.decimals));
      std::memset(w + 1 + number.decimals, '0',
                  static_cast<std::size_t>(decimals - number.decimals));
      w += 1 + decimals;
    }
    out = w;
    return end;
  }
};

// The six-decimal text of the whole token [first, last), when copy_decimal
// takes it, written to `out` (kLongestDecimal bytes): its length, or 0 for
// a token that is no plain decimal or whose text needs its value. Any
// text, no slack needed.
std::size_t six_decimal_text(const char* first, const char* last, char* out);

// A number of a point given by value, in `decimals`: six are made from
// the number's own text where it is a plain decimal, as the quick ways
// make them, the same text for less; otherwise from its value. `out` holds
// max_fixed_length(decimals) bytes and 8 more.
inline char* write_coordinate(const Coordinate& n, int decimals, char* out) {
  std::size_t length = 0;
  if (n.text_length != 0 && decimals == Format::kDefaultDecimals)
    length = six_decimal_text(n.text, n.text + n.text_length, out);
  return length != 0 ? out + length : number::format_fixed(n.value, decimals, out);
}

// Ends a line at `o` as `format` asks.
inline char* line_end(char* o, const Format& format) {
  return format.crlf ? SixDecimals<true>::line_end(o) : SixDecimals<false>::line_end(o);
}

// Reading back what was written, for the points a result holds after a
// failed write: the next whole line of `text` from `from`, as the offsets
// of its end and of the line after it, or false when no line is whole.
bool find_line(std::string_view text, std::size_t from, const Format& format, std::size_t& end,
               std::size_t& next);
// The point of a line so found, [first, last) without its line end, its X,
// Y and Z from the columns `at` gives (0, 1, 2 in the plain result); false
// for a line that does not read as one.
bool read_point(const char* first, const char* last, const int (&at)[3], double (&xyz)[3]);
// What the text of `value` in the result reads back as: the value rounded
// to the decimals `format` keeps. As the text is the value's "%.Nf", which
// never puts a smaller value after a larger, the extents of values so
// rounded are those of their lines.
double as_written(double value, const Format& format);

}  // namespace xyz

#endif  // STRATUMIX_WRITE_XYZ_TEXT_H_
