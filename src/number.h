// The numeric core: reading a number as C's "%lf" does and writing a
// double as C's "%f" does, byte for byte, without the C runtime (whose
// output differs between platforms).
#ifndef STRATUMIX_NUMBER_H_
#define STRATUMIX_NUMBER_H_

#include <cstddef>
#include <cstdint>

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
