// The numeric core: reading a number as C's "%lf" does and writing a
// double as C's "%.6f" does, byte for byte, without the C runtime (whose
// output differs between platforms).
#ifndef STRATUMIX_NUM_NUMBER_H_
#define STRATUMIX_NUM_NUMBER_H_

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "num/bytes.h"

namespace number {

// Longest text format_fixed6 can produce: sign, 309 integer digits, point,
// six decimals.
constexpr std::size_t kMaxFixed6Length = 1 + 309 + 1 + 6;

// Longest text format_int can produce.
constexpr std::size_t kMaxIntLength = 20;

// Writes `value` as printf("%.6f") does in the C locale: fixed notation,
// six decimals rounded half to even on exact binary ties, "-" for a set
// sign bit (so "-0.000000"), "inf", "-inf", "nan", "-nan". Returns the end
// of the text written at `out`, which must hold kMaxFixed6Length bytes.
char* format_fixed6(double value, char* out);

// The most decimals format_fixed writes, and the longest text it writes
// with `decimals` of them.
constexpr int kMostDecimals = 17;
constexpr std::size_t max_fixed_length(int decimals) {
  return 1 + 309 + 1 + static_cast<std::size_t>(decimals);
}

// Writes `value` as printf("%.Nf") does for N = `decimals`, 0 to
// kMostDecimals (nearer of those for any other), exact as format_fixed6
// is: for figures people read, and for coordinates in another number of
// decimals than six. `out` holds max_fixed_length(decimals) bytes.
char* format_fixed(double value, int decimals, char* out);

// The texts of format_int and format_fixed, for messages and reports.
std::string int_text(std::int64_t value);
// An unsigned count as it is, past the largest signed one too.
std::string uint_text(std::uint64_t value);
std::string fixed_text(double value, int decimals);
// The text of format_fixed6: a coordinate as the result has it.
std::string fixed6_text(double value);

// The three digits of each number below 1000, leading zeros included, in
// load8's order (the first digit lowest): a table of 4 KB, which stays in
// the processor's cache, turns three digits into text with one load.
struct ThreeDigits {
  std::uint32_t of[1000] = {};
  constexpr ThreeDigits() {
    for (std::uint32_t n = 0; n < 1000; ++n)
      of[n] = ('0' + n / 100) | ('0' + n / 10 % 10) << 8 | ('0' + n % 10) << 16;
  }
};
inline constexpr ThreeDigits kThreeDigits;

// The number of the digit groups high (below 100), middle and low (each
// below 1000) in decimal, with no leading zero but "0". Writes 8 bytes,
// whatever its length.
inline char* write_groups(std::uint32_t high, std::uint32_t middle, std::uint32_t low, char* out) {
  std::uint64_t digits = kThreeDigits.of[high] >> 8 | std::uint64_t{kThreeDigits.of[middle]} << 16 |
                         std::uint64_t{kThreeDigits.of[low]} << 40;
  // The bits of the leading zeros, the last digit but kept.
  auto zero_bits =
      static_cast<unsigned>(std::countr_zero((digits - bytes::kZeros) | std::uint64_t{1} << 56)) &
      ~7u;
  bytes::store8(out, digits >> zero_bits);
  return out + 8 - zero_bits / 8;
}

// `integer` (below 10^8) the same way.
inline char* write_integer(std::uint32_t integer, char* out) {
  std::uint32_t high = integer / 1000000;
  std::uint32_t rest = integer - high * 1000000;
  std::uint32_t middle = rest / 1000;
  return write_groups(high, middle, rest - middle * 1000, out);
}

// The point and six decimals of `millionths` (below 10^6). Writes 8 bytes.
inline char* write_millionths(std::uint32_t millionths, char* out) {
  std::uint32_t thousandths = millionths / 1000;
  bytes::store8(out, '.' | std::uint64_t{kThreeDigits.of[thousandths]} << 8 |
                         std::uint64_t{kThreeDigits.of[millionths - thousandths * 1000]} << 32);
  return out + 7;
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
  return write_millionths(decimals, write_integer(integer, out));
}

// format_fixed6's text of times, which come in runs of the same second (a
// scanner fires thousands of pulses a second): the text of the whole
// seconds is made once a run, and copied for the points that share it.
// The millionths are found from the double's bits in integers, exactly,
// for magnitudes from 4 to 2^43: GPS times of the week and adjusted
// standard GPS times (about 10^9) alike, which format_fixed6_quickly
// leaves to the slow way past 1.7 * 10^7. Other values go to
// format_fixed6_quickly. Writes up to 8 bytes past the text.
class Fixed6Runs {
 public:
  Fixed6Runs() = default;
  // Each time after `lead`: the space before a column, kept with the
  // seconds' text rather than written for each time.
  explicit Fixed6Runs(char lead) : lead_(lead) {}

  [[gnu::always_inline]] char* write(double value, char* out) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    // In the run: the same sign and exponent, so the same scale, and the
    // same seconds, which the bits above the fraction's say at once (q_
    // is at most 50: the exponent's bits are among them). What the scale
    // gives is kept for the run, not worked out again for each time.
    if ((bits >> q_) == run_) {
      // The fraction's bits are below the hidden one.
      const std::uint64_t scaled = (bits & fraction_) * 15625;
      auto millionths = static_cast<std::uint32_t>(scaled >> shift_);
      const std::uint64_t rest = scaled & rest_;
      if (rest > half_ || (rest == half_ && (millionths & 1) != 0)) ++millionths;
      if (millionths != 1000000) {
        std::memcpy(out, text_, sizeof text_);
        return write_millionths(millionths, out + length_);
      }
    }
    // Zero (the time of files that keep none) and the other values the
    // exact way does not take, without a call.
    const int q = 1075 - static_cast<int>(bits >> 52 & 0x7ff);
    if (q < 10 || q > 50) return format_fixed6_quickly(value, led(out));
    return write_other(value, out);
  }

 private:
  static constexpr std::uint64_t kMantissa = (std::uint64_t{1} << 52) - 1;
  static constexpr std::uint64_t kHidden = std::uint64_t{1} << 52;
  // No run: no double's top bit shifted down is 2.
  static constexpr int kNoRunShift = 63;
  static constexpr std::uint64_t kNoRun = 2;

  // A time out of the run that the exact way takes: a run begun, or the
  // next second's text.
  char* write_other(double value, char* out);
  void remake(std::uint64_t key);
  char* led(char* out) const {
    if (lead_ != 0) *out++ = lead_;
    return out;
  }

  std::uint64_t key_ = ~std::uint64_t{0};  // no key: the seconds are below 2^43
  std::size_t length_ = 0;
  char text_[16] = {};  // the lead, a sign and at most 13 digits
  char lead_ = 0;
  // The run whose seconds text_ holds: the bits of its doubles above
  // their fraction of q_ bits (sign, exponent and seconds), and what its
  // scale of 2^-q_ gives (see write_other).
  std::uint64_t run_ = kNoRun;
  int q_ = kNoRunShift;
  int shift_ = 0;
  std::uint64_t fraction_ = 0, rest_ = 0, half_ = 0;
};

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

#endif  // STRATUMIX_NUM_NUMBER_H_
