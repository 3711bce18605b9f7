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

// Writes `value` as printf("%f") does in the C locale: fixed notation,
// six decimals rounded half to even on exact binary ties, "-" for a set
// sign bit (so "-0.000000"), "inf", "-inf", "nan", "-nan". Returns the end
// of the text written at `out`, which must hold kMaxFixed6Length bytes.
char* format_fixed6(double value, char* out);

// Writes `value` as printf("%.Nf") does for N = `decimals`, 0 to 6: for
// figures people read (speeds, shares, sizes) rather than for points.
char* format_fixed(double value, int decimals, char* out);

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

// The value of integer + fraction / 10^decimals, for at most six decimals,
// a fraction below 10^decimals and an integer below 10^9, rounded once as
// strtod rounds it.
double decimal_value(std::uint64_t integer, std::uint64_t fraction, int decimals);

// For a number at `p` (the text ends at `last`) in the forms of decimal
// floating constants and followed by white space: its value, and its end.
// Null for any other text, even a number, which the general way then reads.
const char* read_decimal(const char* p, const char* last, double& value);

// What a whole token of text reads as.
struct Parsed {
  bool ok = false;  // the whole token is one number
  double value = 0;
};

// Reads the token [first, last) as strtod() would and says whether all of
// it is one number: an optional sign, then a decimal or hexadecimal
// floating constant, "inf", "infinity" or "nan" with an optional
// "(n-char-sequence)", letters in any case.
Parsed parse_token(const char* first, const char* last);

}  // namespace number

#endif  // STRATUMIX_NUMBER_H_
