#include "num/number.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

#include "num/bytes.h"

namespace number {
namespace {

constexpr std::uint32_t kMillion = 1000000;

// The powers of ten that are exact doubles, and those that fit 64 bits.
constexpr double kPowersOf10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t kIntPowersOf10[] = {1,      10,      100,      1000,      10000,
                                            100000, 1000000, 10000000, 100000000, 1000000000};

// "00" to "99": digits go out two at a time.
constexpr struct DigitPairs {
  char text[200] = {};
  constexpr DigitPairs() {
    for (std::size_t i = 0; i < 100; ++i) {
      text[2 * i] = static_cast<char>('0' + i / 10);
      text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
} kPairs;

// The two digits of `value`, below 100.
const char* pair(std::uint64_t value) { return kPairs.text + 2 * static_cast<std::size_t>(value); }

// Writes the last digits of `value` backwards, ending at `end`; returns
// their start. 32-bit arithmetic where it suffices: a 64-bit division is a
// library call on 32-bit systems.
char* write_backwards(std::uint64_t value, char* end) {
  while (value > 0xffffffffu) {
    std::uint64_t rest = value % 100;
    value /= 100;
    end -= 2;
    std::memcpy(end, pair(rest), 2);
  }
  auto small = static_cast<std::uint32_t>(value);
  while (small >= 100) {
    std::uint32_t rest = small % 100;
    small /= 100;
    end -= 2;
    std::memcpy(end, pair(rest), 2);
  }
  if (small >= 10) {
    end -= 2;
    std::memcpy(end, pair(small), 2);
  } else {
    *--end = static_cast<char>('0' + small);
  }
  return end;
}

char* write_u64(std::uint64_t value, char* out) {
  char digits[kMaxIntLength];
  char* p = write_backwards(value, digits + sizeof digits);
  std::size_t length = static_cast<std::size_t>(digits + sizeof digits - p);
  std::memcpy(out, p, length);
  return out + length;
}

// Writes exactly nine digits of `value` (below 10^9), with leading zeros.
char* write_nine(std::uint32_t value, char* out) {
  *out = static_cast<char>('0' + value / 100000000);
  value %= 100000000;
  for (int i = 7; i > 0; i -= 2) {
    std::memcpy(out + i, pair(value % 100), 2);
    value /= 100;
  }
  return out + 9;
}

// Writes exactly six digits of `value` (below 10^6), with leading zeros.
char* write_six(std::uint32_t value, char* out) {
  std::memcpy(out, pair(value / 10000), 2);
  std::memcpy(out + 2, pair(value / 100 % 100), 2);
  std::memcpy(out + 4, pair(value % 100), 2);
  return out + 6;
}

// Writes m * 2^e for e >= 0. Above 2^64 the value needs every digit of up
// to 309, so it goes through a little big integer of 32-bit limbs.
char* write_scaled_integer(std::uint64_t m, int e, char* out) {
  if (e <= 10) return write_u64(m << e, out);  // m < 2^53

  constexpr int kLimbs = 36;  // 2^1024 fits in 33
  std::uint32_t limb[kLimbs] = {};
  int word_shift = e / 32;
  int bit_shift = e % 32;
  std::uint64_t low = (m << bit_shift) & 0xffffffffu;
  std::uint64_t mid = bit_shift == 0 ? m >> 32 : (m >> (32 - bit_shift)) & 0xffffffffu;
  std::uint64_t high = bit_shift == 0 ? 0 : m >> (64 - bit_shift);
  limb[word_shift] = static_cast<std::uint32_t>(low);
  limb[word_shift + 1] = static_cast<std::uint32_t>(mid);
  limb[word_shift + 2] = static_cast<std::uint32_t>(high);
  int used = word_shift + 3;

  // Peel nine decimal digits at a time off the low end.
  std::uint32_t chunks[kLimbs + 2];
  int chunk_count = 0;
  while (used > 0) {
    std::uint64_t remainder = 0;
    for (int i = used - 1; i >= 0; --i) {
      std::uint64_t current = (remainder << 32) | limb[i];
      limb[i] = static_cast<std::uint32_t>(current / 1000000000u);
      remainder = current % 1000000000u;
    }
    chunks[chunk_count++] = static_cast<std::uint32_t>(remainder);
    while (used > 0 && limb[used - 1] == 0) --used;
  }
  out = write_u64(chunks[chunk_count - 1], out);
  for (int i = chunk_count - 2; i >= 0; --i) out = write_nine(chunks[i], out);
  return out;
}

// The 128-bit product of a and b, as two 64-bit halves: portable, for
// compilers with no 128-bit integer.
struct Wide {
  std::uint64_t hi;
  std::uint64_t lo;
};
Wide multiply(std::uint64_t a, std::uint64_t b) {
  std::uint64_t a_lo = a & 0xffffffffu, a_hi = a >> 32;
  std::uint64_t b_lo = b & 0xffffffffu, b_hi = b >> 32;
  std::uint64_t low = a_lo * b_lo;
  std::uint64_t cross1 = a_hi * b_lo;
  std::uint64_t cross2 = a_lo * b_hi;
  std::uint64_t middle = (low >> 32) + (cross1 & 0xffffffffu) + (cross2 & 0xffffffffu);
  return {a_hi * b_hi + (cross1 >> 32) + (cross2 >> 32) + (middle >> 32),
          (middle << 32) | (low & 0xffffffffu)};
}

// round(fraction * scale / 2^shift), halves to even, for fraction < 2^53,
// fraction < 2^shift and scale a power of ten up to 10^17: the product
// stays below 2^110.
std::uint64_t round_decimals(std::uint64_t fraction, int shift, std::uint64_t scale = kMillion) {
  if (shift >= 111) return 0;  // fraction * scale < 2^110 <= half a unit
  Wide product = multiply(fraction, scale);
  std::uint64_t quotient;
  std::uint64_t rest_hi;
  std::uint64_t rest_lo;
  std::uint64_t half_hi;
  std::uint64_t half_lo;
  if (shift < 64) {
    quotient = (product.lo >> shift) | (product.hi << (64 - shift));
    rest_hi = 0;
    rest_lo = product.lo & ((std::uint64_t{1} << shift) - 1);
    half_hi = 0;
    half_lo = std::uint64_t{1} << (shift - 1);
  } else {
    int high_shift = shift - 64;
    quotient = product.hi >> high_shift;
    rest_hi = product.hi & ((std::uint64_t{1} << high_shift) - 1);
    rest_lo = product.lo;
    half_hi = high_shift == 0 ? 0 : std::uint64_t{1} << (high_shift - 1);
    half_lo = high_shift == 0 ? std::uint64_t{1} << 63 : 0;
  }
  bool above = rest_hi != half_hi ? rest_hi > half_hi : rest_lo > half_lo;
  bool tie = rest_hi == half_hi && rest_lo == half_lo;
  if (above || (tie && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

using bytes::is_digit;

// Decimals of up to 19 significant digits whose mantissa fits in 53 bits
// and whose power of ten is at most 22 either way: both are exact doubles,
// so one correctly rounded multiplication or division gives the value
// (Clinger's fast path). Returns false for everything else.
bool parse_exact_operands(const char* p, const char* last, bool negative, double& value) {
  std::uint64_t mantissa = 0;
  int digits = 0;
  int exponent = 0;
  bool any_digit = false;
  for (; p != last && *p == '0'; ++p) any_digit = true;
  for (; p != last && is_digit(*p); ++p, ++digits) {
    if (digits == 19) return false;
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  if (p != last && *p == '.') {
    ++p;
    if (digits == 0) {
      for (; p != last && *p == '0'; ++p, --exponent) any_digit = true;
    }
    for (; p != last && is_digit(*p); ++p, ++digits, --exponent) {
      if (digits == 19) return false;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    }
  }
  if (digits == 0 && !any_digit) return false;
  if (p != last && (*p | 0x20) == 'e') {
    ++p;
    bool exponent_negative = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) ++p;
    if (p == last) return false;
    int written = 0;
    for (; p != last && is_digit(*p); ++p) {
      if (written > 9999) return false;
      written = written * 10 + (*p - '0');
    }
    exponent += exponent_negative ? -written : written;
  }
  if (p != last || mantissa > (std::uint64_t{1} << 53)) return false;
  double magnitude = 0;
  if (mantissa != 0) {
    if (exponent < -22 || exponent > 22) return false;
    magnitude = static_cast<double>(mantissa);
    magnitude =
        exponent < 0 ? magnitude / kPowersOf10[-exponent] : magnitude * kPowersOf10[exponent];
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

int digit_value(char c, bool hex) {
  if (is_digit(c)) return c - '0';
  char lower = static_cast<char>(c | 0x20);
  if (hex && lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// For a number known to be out of the range of double: whether it is too
// large (rather than too small). Its order of magnitude settles that; in
// powers of 10, or of 2 for hexadecimal.
bool overflows(const char* p, const char* last, bool hex) {
  while (p != last && *p == '0') ++p;
  long long digits_before_point = 0;
  for (; p != last && digit_value(*p, hex) >= 0; ++p) ++digits_before_point;
  long long zeros_after_point = 0;
  if (p != last && *p == '.') {
    ++p;
    if (digits_before_point == 0) {
      for (; p != last && *p == '0'; ++p) ++zeros_after_point;
    }
    while (p != last && digit_value(*p, hex) >= 0) ++p;
  }
  long long exponent = 0;
  bool exponent_negative = false;
  if (p != last) {
    ++p;  // 'e' or 'p'
    if (p != last && (*p == '+' || *p == '-')) exponent_negative = *p++ == '-';
    for (; p != last && is_digit(*p); ++p) {
      if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
    }
  }
  if (exponent_negative) exponent = -exponent;
  long long scale = hex ? 4 : 1;
  long long magnitude = digits_before_point > 0 ? exponent + scale * digits_before_point
                                                : exponent - scale * zeros_after_point;
  return magnitude > 0;
}

void parse_general(const char* p, const char* last, bool negative, Parsed& r) {
  bool hex = last - p >= 2 && p[0] == '0' && (p[1] | 0x20) == 'x';
  if (hex) {
    p += 2;
    // from_chars would take a sign, "inf" or "nan" here; strtod would not.
    if (p == last || (*p != '.' && digit_value(*p, true) < 0)) return;
  } else if (!is_digit(*p) && *p != '.' && (*p | 0x20) != 'i' && (*p | 0x20) != 'n') {
    return;
  }
  double value = 0;
  auto format = hex ? std::chars_format::hex : std::chars_format::general;
  auto [end, error] = std::from_chars(p, last, value, format);
  if (end != last) return;
  if (error == std::errc::result_out_of_range) {
    value = overflows(p, last, hex) ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (error != std::errc()) {
    return;
  }
  r.value = negative ? -value : value;
  r.ok = true;
}

}  // namespace

char* format_fixed6(double value, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bool negative = (bits >> 63) != 0;
  int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (negative) *out++ = '-';
  if (biased == 0x7ff) {
    return std::copy_n(fraction == 0 ? "inf" : "nan", 3, out);
  }
  std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  int e = biased == 0 ? -1074 : biased - 1075;

  if (m == 0 || e >= 0) {
    out = write_scaled_integer(m, e < 0 ? 0 : e, out);
    return std::copy_n(".000000", 7, out);
  }
  int shift = -e;
  std::uint64_t integer = shift < 64 ? m >> shift : 0;
  std::uint64_t rest = shift < 64 ? m & ((std::uint64_t{1} << shift) - 1) : m;
  auto decimals = static_cast<std::uint32_t>(round_decimals(rest, shift));
  if (decimals == kMillion) {
    ++integer;
    decimals = 0;
  }
  out = write_u64(integer, out);
  *out++ = '.';
  return write_six(decimals, out);
}

char* format_fixed(double value, int decimals, char* out) {
  decimals = std::clamp(decimals, 0, kMostDecimals);
  if (decimals == 6) return format_fixed6(value, out);
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  int e = biased == 0 ? -1074 : biased - 1075;
  if (biased == 0x7ff) return format_fixed6(value, out);
  if ((bits >> 63) != 0) *out++ = '-';
  std::uint64_t integer = 0;
  std::uint64_t kept = 0;
  if (m == 0 || e >= 0) {
    out = write_scaled_integer(m, e < 0 ? 0 : e, out);
  } else {
    std::uint64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    int shift = -e;
    integer = shift < 64 ? m >> shift : 0;
    std::uint64_t rest = shift < 64 ? m & ((std::uint64_t{1} << shift) - 1) : m;
    kept = round_decimals(rest, shift, scale);
    if (decimals == 0) {
      // A tie rounds to an even whole number, so it is the integer's parity
      // that counts here, not that of the decimals kept.
      kept = 0;
      if (shift < 64 && rest != 0) {
        std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (integer & 1) != 0)) kept = 1;
      }
    }
    if (kept == scale) {
      ++integer;
      kept = 0;
    }
    out = write_u64(integer, out);
  }
  if (decimals == 0) return out;
  *out++ = '.';
  // The decimals kept, with their leading zeros: below 10^17, so at most
  // seventeen digits, written backwards from the end of a field of zeros.
  char digits[kMostDecimals];
  std::memset(digits, '0', sizeof digits);
  if (kept != 0) write_backwards(kept, digits + sizeof digits);
  return std::copy_n(digits + sizeof digits - decimals, decimals, out);
}

char* format_int(std::int64_t value, char* out) {
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0 - magnitude;
  }
  return write_u64(magnitude, out);
}

double decimal_value(std::uint64_t integer, std::uint64_t fraction, int decimals) {
  // Below 10^15: the quotient of two exact doubles, rounded once.
  std::uint64_t mantissa = integer * kIntPowersOf10[decimals] + fraction;
  return static_cast<double>(mantissa) / kPowersOf10[decimals];
}

const char* read_decimal(const char* p, const char* last, double& value) {
  bool negative = *p == '-';
  if (negative || *p == '+') ++p;
  // Hexadecimal text reads as a 0 followed by an 'x', which is not white space.
  if (!is_digit(*p) && *p != '.') return nullptr;
  auto [end, error] = std::from_chars(p, last, value);
  if (error != std::errc() || end == last || !bytes::is_white(*end)) return nullptr;
  if (negative) value = -value;
  return end;
}

Parsed parse_token(const char* first, const char* last) {
  Parsed r;
  const char* p = first;
  bool negative = false;
  if (p != last && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == last) return r;
  if (parse_exact_operands(p, last, negative, r.value)) {
    r.ok = true;
    return r;
  }
  parse_general(p, last, negative, r);
  return r;
}

std::string int_text(std::int64_t value) {
  char digits[kMaxIntLength];
  return std::string(digits, format_int(value, digits));
}

std::string uint_text(std::uint64_t value) {
  char digits[kMaxIntLength];
  return std::string(digits, write_u64(value, digits));
}

std::string fixed_text(double value, int decimals) {
  char digits[kMaxFixed6Length];
  return std::string(digits, format_fixed(value, decimals, digits));
}

std::string fixed6_text(double value) {
  char digits[kMaxFixed6Length];
  return std::string(digits, format_fixed6(value, digits));
}

}  // namespace number

namespace number {

char* Fixed6Runs::write_other(double value, char* out) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  // value is m * 2^-q, m of 53 bits: its seconds m >> q, and its
  // fraction's millionths (m's low q bits * 10^6) / 2^q, rounded half to
  // even. 10^6 is 15625 * 2^6, and the low bits times 15625 fit 64 bits
  // for q up to 50 (a magnitude from 4).
  const int q = 1075 - static_cast<int>(bits >> 52 & 0x7ff);
  if (q < 10 || q > 50) return format_fixed6_quickly(value, led(out));
  const std::uint64_t m = (bits & kMantissa) | kHidden;
  std::uint64_t seconds = m >> q;
  const std::uint64_t fraction = (std::uint64_t{1} << q) - 1;
  const std::uint64_t scaled = (m & fraction) * 15625;
  const int shift = q - 6;
  auto millionths = static_cast<std::uint32_t>(scaled >> shift);
  const std::uint64_t rest_mask = (std::uint64_t{1} << shift) - 1;
  const std::uint64_t rest = scaled & rest_mask;
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  if (rest > half || (rest == half && (millionths & 1) != 0)) ++millionths;
  run_ = kNoRun;
  q_ = kNoRunShift;
  if (millionths == 1000000) {
    // The text of the next second, which no time of this run's seconds
    // may be given.
    ++seconds;
    millionths = 0;
  } else {
    run_ = bits >> q;
    q_ = q;
    shift_ = shift;
    fraction_ = fraction;
    rest_ = rest_mask;
    half_ = half;
  }
  const std::uint64_t key = seconds << 1 | bits >> 63;
  if (key != key_) remake(key);
  std::memcpy(out, text_, sizeof text_);
  return write_millionths(millionths, out + length_);
}

void Fixed6Runs::remake(std::uint64_t key) {
  key_ = key;
  char digits[kMaxIntLength + 8] = {};
  char* end = format_int(static_cast<std::int64_t>(key >> 1), digits);
  char* at = text_;
  if (lead_ != 0) *at++ = lead_;
  if ((key & 1) != 0) *at++ = '-';
  std::memcpy(at, digits, sizeof text_ - static_cast<std::size_t>(at - text_));
  length_ = static_cast<std::size_t>(at - text_) + static_cast<std::size_t>(end - digits);
}

}  // namespace number
