// The numeric core: reading a number as C's "%lf" does and writing a
// double as C's "%f" does, byte for byte, without the C runtime (whose
// output differs between platforms).
#ifndef STRATUMIX_NUMBER_H_
#define STRATUMIX_NUMBER_H_

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bytes.h"

namespace number {

// Longest text format_fixed6 can produce: sign, 309 integer digits, point,
// six decimals.
constexpr std::size_t kMaxFixed6Length = 1 + 309 + 1 + 6;

// Longest text format_int can produce.
constexpr std::size_t kMaxIntLength = 20;

// Longest text copy_decimal can produce: sign, nine integer digits, point,
// six decimals.
constexpr std::size_t kMaxDecimalLength = 1 + 9 + 1 + 6;

// Writes `value` as printf("%f") does in the C locale: fixed notation,
// six decimals rounded half to even on exact binary ties, "-" for a set
// sign bit (so "-0.000000"), "inf", "-inf", "nan", "-nan". Returns the end
// of the text written at `out`, which must hold kMaxFixed6Length bytes.
char* format_fixed6(double value, char* out);

// The eight digits of `value` (below 10^8), leading zeros included, as one
// word in load8's order: each step splits every lane of the word in two,
// its quotient by 10^4, 10^2 then 10 first, with one multiplication by a
// reciprocal for all lanes (exact for lanes below 10^4 and 10^2: 10486 is
// 2^20 / 100 rounded up, 103 is 2^10 / 10 rounded up).
inline std::uint64_t eight_digits(std::uint32_t value) {
  std::uint64_t lanes = value / 10000 | static_cast<std::uint64_t>(value % 10000) << 32;
  std::uint64_t high = ((lanes * 10486) >> 20) & 0x0000007f0000007f;
  lanes = high | (lanes - high * 100) << 16;
  high = ((lanes * 103) >> 10) & 0x000f000f000f000f;
  lanes = high | (lanes - high * 10) << 8;
  return lanes + bytes::kZeros;
}

// The same text as format_fixed6, at a fraction of its cost for the values
// of survey data: below 1.7 * 10^7, and not within a hundredth of a half
// millionth of a tie. Writes up to 8 bytes past the text, and needs as much
// room as format_fixed6.
inline char* format_fixed6_quickly(double value, char* out) {
  // The millionths, rounded once: below 2^44 a double is a multiple of at
  // most 2^-8, so the product is within 2^-9 of value * 10^6, and its
  // distance from the nearest integer tells the rounding of the true
  // product whenever it is below 0.49. Adding 0.5 is exact there too.
  double magnitude = std::fabs(value);
  double millionths = magnitude * 1e6;
  if (!(millionths < 0x1p44)) return format_fixed6(value, out);
  // Signed conversions: one instruction each way, unsigned ones a few.
  auto rounded = static_cast<std::int64_t>(millionths + 0.5);
  double off = millionths - static_cast<double>(rounded);  // in [-0.5, 0.5)
  if (off < -0.49 || off > 0.49) return format_fixed6(value, out);
  if (std::signbit(value)) *out++ = '-';  // "-0.000000" too, as C writes it
  // The integer part is the magnitude's, or one more when the decimals
  // round up to a whole; the magnitude's is never more.
  auto integer = static_cast<std::uint32_t>(static_cast<std::int32_t>(magnitude));
  auto decimals = static_cast<std::uint32_t>(rounded - std::int64_t{integer} * 1000000);
  if (decimals >= 1000000) {
    ++integer;
    decimals -= 1000000;
  }
  std::uint64_t digits = eight_digits(integer);
  // The leading zeros, the last digit but kept.
  int zeros = std::countr_zero((digits - bytes::kZeros) | std::uint64_t{1} << 56) / 8;
  bytes::store8(out, digits >> (8 * zeros));
  out += 8 - zeros;
  // "00dddddd" less its zeros, with the point before it.
  bytes::store8(out, (eight_digits(decimals) >> 8 & ~std::uint64_t{0xff}) | '.');
  return out + 7;
}

// Writes `value` in plain decimal as printf("%lld") does.
char* format_int(std::int64_t value, char* out);

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
  // The integer part as bytes::digits_key writes it, or kNoKey when it has
  // none: for negative numbers and nine integer digits. Cheaper than
  // integer().
  static constexpr std::int64_t kNoKey = INT64_MAX;
  std::int64_t integer_key() const {
    if (negative || integer_digits > 8) return kNoKey;
    // Two shifts, as one of 64 bits is undefined; no digits give 0.
    int shift = 32 - 4 * integer_digits;
    return static_cast<std::int64_t>((bytes::load8_first_high(digits) >> shift) >> shift);
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
// anything else. Reads up to 16 bytes past any byte of the text, which must
// end with a byte that is neither digit nor white space; writes up to 8
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

// For a number at `p` (the text ends at `last`) in the forms of decimal
// floating constants and followed by white space: its value, and its end.
// Null for any other text, even a number, which the general way then reads.
const char* read_decimal(const char* p, const char* last, double& value);

// What a whole token of text reads as.
struct Parsed {
  bool ok = false;  // the whole token is one number
  double value = 0;
  // Set when the token is a plain decimal whose "%f" text copy_decimal
  // took from its digits. Then `text` holds that text and `text_length`
  // its size.
  bool plain_decimal = false;
  std::size_t text_length = 0;
  char text[kMaxDecimalLength] = {};
};

// Reads the token [first, last) as strtod() would and says whether all of
// it is one number: an optional sign, then a decimal or hexadecimal
// floating constant, "inf", "infinity" or "nan" with an optional
// "(n-char-sequence)", letters in any case.
Parsed parse_token(const char* first, const char* last);

}  // namespace number

#endif  // STRATUMIX_NUMBER_H_
