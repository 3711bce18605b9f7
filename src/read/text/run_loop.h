// The run loop: runs of points copied straight from the text of a point
// file to the result's buffer, each number's "%f" text made from its own
// digits, and each checked against its axis's extent by its integer
// part's text.
#ifndef STRATUMIX_READ_TEXT_RUN_LOOP_H_
#define STRATUMIX_READ_TEXT_RUN_LOOP_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "num/bytes.h"
#include "num/extent.h"
#include "num/number.h"

// What must follow the text in every buffer the loop reads: a NUL, which
// ends every number and every run of white space, then room to read on
// past it, as the loop and copy_decimal look at sixteen bytes at once
// (from at most the NUL itself: 16 bytes, rounded up to a round number).
// Whoever puts text in a buffer leaves kTextSlack bytes behind it and calls
// end_text where the text ends.
inline constexpr std::size_t kTextSlack = 32;
inline void end_text(char* text_end) { std::memset(text_end, 0, kTextSlack); }

// The longest line a point can take in the result: three of the longest
// numbers, two spaces, CR LF.
inline constexpr std::size_t kMaxPointLine = 3 * (number::kMaxFixed6Length + 1) + 1;

// Longest text copy_decimal can produce: sign, nine integer digits, point,
// six decimals.
inline constexpr std::size_t kMaxDecimalLength = 1 + 9 + 1 + 6;

// Whether the byte at `p` ends a line: a LF, or a CR but for the CR of a
// CR LF pair (old Mac files end their lines with a lone CR). Looks at the
// byte after `p`. Every count of lines, for the line numbers of messages,
// goes through here.
inline bool ends_line(const char* p) { return *p == '\n' || (*p == '\r' && p[1] != '\n'); }

// The number of line ends in [first, last); looks at the byte at `last`.
inline std::int64_t count_line_ends(const char* first, const char* last) {
  std::int64_t count = 0;
  for (; first != last; ++first) count += ends_line(first);
  return count;
}

// A plain decimal ([sign] digits [. digits], no exponent) of at most nine
// integer digits, as copy_decimal found it in the text.
struct Decimal {
  const char* digits;  // the integer digits, leading zeros skipped
  const char* last;    // the end of the number
  int integer_digits;
  int decimals;
  bool negative;

  std::uint64_t integer() const {
    std::uint64_t value =
        bytes::digits_value(bytes::load8(digits), integer_digits < 8 ? integer_digits : 8);
    return integer_digits == 9 ? value * 10 + static_cast<unsigned>(digits[8] - '0') : value;
  }
  // The integer part's digit key (extent.h), or kNoKey when it has none:
  // for negative numbers, no integer digits and nine of them. Cheaper than
  // integer().
  static constexpr std::int64_t kNoKey = INT64_MAX;
  std::int64_t integer_key() const {
    if (negative || static_cast<unsigned>(integer_digits - 1) >= 8) return kNoKey;
    return digit_key(digits, integer_digits);
  }
  // The value as strtod reads it. Costs more than the copy itself, so it is
  // worked out only on demand.
  double value() const;
  // The integer k with the value in [k, k + 1], from the integer part alone.
  std::int64_t floor_bound() const {
    auto whole = static_cast<std::int64_t>(integer());
    return negative ? -whole - 1 : whole;
  }
};

namespace detail {

// How far, in billionths, the decimals after the sixth must stay from a
// half to round the text as "%f" rounds the double nearest to it: more than
// half a unit in the last place of a double below 10^(integer digits).
inline constexpr int kTieMargin[] = {1, 1, 1, 1, 1, 1, 1, 1, 8, 60};

// Adds one millionth to the "%f" text [first, last). False when the carry
// would reach past the first digit (999.9999996), which needs a digit more.
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

// Writes the "%f" text of the plain decimal at `p` to `out` and moves `out`
// past it. Most numbers in point files are such decimals, and their "%f"
// text is their own digits: padded with zeros, or rounded as text when the
// seventh decimal and on are far enough from a half that the double's own
// rounding cannot tip it (otherwise the number is left to the exact way).
// Returns the end of the number, which must be white space, or null for
// anything else. The text follows the rule of kTextSlack; writes up to 8
// bytes past kMaxDecimalLength.
inline const char* copy_decimal(const char* p, char*& out, Decimal& number) {
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
  // The number as it stands is its "%f" text but for the zeros that pad
  // the decimals to six.
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

// The "%f" text of the whole token [first, last), when copy_decimal takes
// it, written to `out` (kMaxDecimalLength bytes): its length, or 0 for a
// token that is no plain decimal or whose text needs its value. Any text,
// no slack needed.
std::size_t copy_token(const char* first, const char* last, char* out);

// Where a run of points copied by copy_run has come to.
struct Run {
  const char* end;  // in the text: after the last point copied
  char* out;
  std::int64_t points;
  std::int64_t line_ends;
  bool stopped;  // at a point the loop does not take, or at the stop
};

// Up to `count` more whole points copied on from run.end to run.out, with
// their count and line ends added, each starting before `stop`; the caller
// has room for `count` lines of kMaxPointLine. The text ends at `text_end`
// as kTextSlack says. Stops (run.stopped) at a point the loop does not
// take, which is left as it is for the general way, or at `stop`. Adds
// the points to `extents` on the axes `axes` names.
void copy_run(Run& run, const char* stop, const char* text_end, std::int64_t count,
              Extents& extents, Axes axes);

#endif  // STRATUMIX_READ_TEXT_RUN_LOOP_H_
