#include "num/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "read/text/run_loop.h"
#include "write/xyz_text.h"

namespace {

std::string fixed6(double value) {
  char buffer[number::kMaxFixed6Length];
  return std::string(buffer, number::format_fixed6(value, buffer));
}

std::string c_fixed6(double value) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%f", value);
  return buffer;
}

number::Parsed parse(const std::string& text) {
  return number::parse_token(text.data(), text.data() + text.size());
}

double from_bits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::uint64_t to_bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The reference: strtod accepts the token only if it consumes all of it.
void expect_reads_like_strtod(const std::string& text) {
  char* end = nullptr;
  double expected = std::strtod(text.c_str(), &end);
  bool expected_ok = !text.empty() && end == text.c_str() + text.size();
  number::Parsed got = parse(text);
  ASSERT_EQ(got.ok, expected_ok) << '"' << text << '"';
  if (!expected_ok) return;
  if (std::isnan(expected)) {
    ASSERT_TRUE(std::isnan(got.value)) << text;
    ASSERT_EQ(std::signbit(got.value), std::signbit(expected)) << text;
  } else {
    ASSERT_EQ(to_bits(got.value), to_bits(expected)) << text;
  }
  // The general way writes a plain decimal from its own digits.
  char fixed[xyz::SixDecimals<true>::kLongestDecimal];
  if (std::size_t length = xyz::six_decimal_text(text.data(), text.data() + text.size(), fixed)) {
    ASSERT_EQ(std::string(fixed, length), c_fixed6(expected)) << text;
  }
}

// The word-at-a-time digit scans against a byte at a time: every byte value
// at every place after a run of digits, then random mixes. The sixteen-byte
// marks are checked both ways, the one this build uses and the portable one.
TEST(Bytes, LeadingDigitsAndTheirValue) {
  auto check = [](const char* text) {
    int expected = 0;
    while (expected < 8 && bytes::is_digit(text[expected])) ++expected;
    std::uint64_t word = bytes::load8(text);
    ASSERT_EQ(bytes::leading_digits(word), expected) << std::string(text, 8);
    std::uint64_t value = 0;
    for (int i = 0; i < expected; ++i) value = value * 10 + static_cast<unsigned>(text[i] - '0');
    ASSERT_EQ(bytes::digits_value(word, expected), value) << std::string(text, 8);
    unsigned marks = bytes::kPastSixteen;
    for (int i = 0; i < 16; ++i) marks |= bytes::is_digit(text[i]) ? 0 : 1u << i;
    ASSERT_EQ(bytes::not_digits_16(text), marks) << std::string(text, 16);
    ASSERT_EQ(bytes::not_digits_16_by_words(text), marks) << std::string(text, 16);
  };
  for (int place = 0; place < 16; ++place) {
    for (int byte = 0; byte < 256; ++byte) {
      char text[16];
      for (int i = 0; i < 16; ++i) text[i] = static_cast<char>('0' + (i * 7 + byte) % 10);
      text[place] = static_cast<char>(byte);
      text[(place + 5) % 16] = static_cast<char>(byte ^ 0x80);
      check(text);
      if (HasFatalFailure()) return;
    }
  }
  std::mt19937_64 random(5);
  for (int i = 0; i < 200000; ++i) {
    char text[16];
    for (char& c : text) {
      c = random() % 4 == 0 ? static_cast<char>(random()) : static_cast<char>('0' + random() % 10);
    }
    check(text);
    if (HasFatalFailure()) return;
  }
}

// The first CR or LF, sixteen bytes a look, against a byte at a time: at
// every place of texts of every length to 40, with the bytes the compare
// could take for them (CR and LF with their high bit set) around.
TEST(Bytes, TheFirstLineEnd) {
  std::mt19937_64 random(11);
  const char kBytes[] = {'\r', '\n', '\x8d', '\x8a', '1', ' ', '\x0c', '\x0b'};
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 41, 'x');
    for (char& c : text) c = random() % 3 == 0 ? kBytes[random() % 8] : '7';
    for (std::size_t from = 0; from <= text.size(); ++from) {
      std::size_t expected = text.find_first_of("\r\n", from);
      if (expected == std::string::npos) expected = text.size();
      const char* found = bytes::find_line_end(text.data() + from, text.data() + text.size());
      ASSERT_EQ(static_cast<std::size_t>(found - text.data()), expected) << text << " " << from;
    }
  }
}

TEST(FormatFixed6, EdgeValuesMatchTheCLibrary) {
  const double values[] = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.5,
                           1e-7,
                           -1e-7,
                           4e-7,
                           5e-7,
                           6e-7,
                           -5e-7,
                           0.0000005,
                           0.0000015,
                           0.0000025,
                           2.5e-6,
                           0.1,
                           0.123456789,
                           1e300,
                           -1e300,
                           1.7976931348623157e308,
                           4.9406564584124654e-324,
                           2.2250738585072014e-308,
                           9007199254740993.0,
                           4503599627370495.5,
                           123456789.0000005,
                           6500000.125,
                           1e15 + 0.3,
                           1e22,
                           1e23,
                           0.9999995,
                           0.99999949999999,
                           999999.9999995,
                           HUGE_VAL,
                           -HUGE_VAL};
  for (double value : values) EXPECT_EQ(fixed6(value), c_fixed6(value)) << value;
}

TEST(FormatFixed6, ExactTiesRoundToEven) {
  // Only odd multiples of 1/128 lie exactly halfway between two millionths.
  EXPECT_EQ(fixed6(1.0 / 128), "0.007812");
  EXPECT_EQ(fixed6(3.0 / 128), "0.023438");
  EXPECT_EQ(fixed6(5.0 / 128), "0.039062");
  EXPECT_EQ(fixed6(-1.0 / 128), "-0.007812");
  EXPECT_EQ(fixed6(1e6 + 3.0 / 128), "1000000.023438");
  EXPECT_EQ(fixed6(0.9999995), c_fixed6(0.9999995));  // not a tie in binary
}

TEST(FormatFixed6, SignsInfinitiesAndNans) {
  EXPECT_EQ(fixed6(-0.0), "-0.000000");
  EXPECT_EQ(fixed6(-1e-300), "-0.000000");
  EXPECT_EQ(fixed6(HUGE_VAL), "inf");
  EXPECT_EQ(fixed6(-HUGE_VAL), "-inf");
  EXPECT_EQ(fixed6(std::nan("")), "nan");
  EXPECT_EQ(fixed6(-std::nan("")), "-nan");
  EXPECT_EQ(fixed6(1e300).size(), 301u + 7u);
  // The same in every number of decimals.
  for (int decimals : {0, 2, 17}) {
    char text[number::max_fixed_length(17)];
    auto in = [&](double v) { return std::string(text, number::format_fixed(v, decimals, text)); };
    EXPECT_EQ(in(-HUGE_VAL), "-inf");
    EXPECT_EQ(in(-std::nan("")), "-nan");
    EXPECT_EQ(in(std::nan("")), "nan");
  }
}

TEST(FormatFixed6, RandomBitPatternsMatchTheCLibrary) {
  std::mt19937_64 random(20181);
  for (int i = 0; i < 2000000; ++i) {
    double value = from_bits(random());
    if (std::isnan(value)) continue;  // the C library's NaN text varies
    ASSERT_EQ(fixed6(value), c_fixed6(value)) << std::hexfloat << value;
  }
}

TEST(FormatFixed6, RandomCoordinatesMatchTheCLibrary) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> magnitude(-7.0, 10.0);
  for (int i = 0; i < 1000000; ++i) {
    double value = std::pow(10.0, magnitude(random)) * (random() & 1 ? 1 : -1);
    ASSERT_EQ(fixed6(value), c_fixed6(value)) << std::hexfloat << value;
    // Neighbours of values with few decimals hold the near-ties.
    double rounded = std::round(value * 1e7) / 1e7;
    ASSERT_EQ(fixed6(rounded), c_fixed6(rounded)) << std::hexfloat << rounded;
  }
}

std::string fixed6_quickly(double value) {
  char buffer[number::kMaxFixed6Length + 8];
  return std::string(buffer, number::format_fixed6_quickly(value, buffer));
}

// The values of LAS records, X * scale + offset, over millions of records
// of every scale and offset readers meet, and the doubles nearest to ties
// and to where the quick way hands over to the exact one.
TEST(FormatFixed6, QuicklyWritesWhatTheExactWayWrites) {
  for (double value : {0.0, -0.0, 1e-7, -1e-7, 0.0000005, 0.9999995, 9.9999995, 999999.9999995,
                       16777215.999999, 17592186.044415, 17592186.044416, 17592186.5, -17592186.0,
                       99999999.0, 4294967296.0, 1e300, -1e-300}) {
    for (double near : {value, std::nextafter(value, 1e308), std::nextafter(value, -1e308)}) {
      ASSERT_EQ(fixed6_quickly(near), fixed6(near)) << std::hexfloat << near;
    }
  }
  std::mt19937_64 random(19);
  const double kScales[] = {0.01, 0.001, 0.0001, 1e-7, 0.5, 0.025, 1.0};
  const double kOffsets[] = {0.0, 600000.0, -4.5e6, 6862000.25, 1e7};
  for (int i = 0; i < 3000000; ++i) {
    auto record = static_cast<std::int32_t>(random());
    if (i % 2 == 0) record %= 100000000;  // coordinates as tiles hold them
    double scale =
        i % 8 == 7 ? std::ldexp(static_cast<double>(random() >> 11), -60) : kScales[random() % 7];
    double offset = kOffsets[random() % 5];
    double value = record * scale + offset;
    ASSERT_EQ(fixed6_quickly(value), fixed6(value)) << std::hexfloat << value;
    // Neighbours of ties of the seventh decimal.
    double tie = (std::round(value * 1e6) + 0.5) / 1e6;
    ASSERT_EQ(fixed6_quickly(tie), fixed6(tie)) << std::hexfloat << tie;
  }
}

// Times in runs of one second, and every change that must make the
// seconds' text again: the next second, a sign (-0 too), a value whose
// integer part is one more once rounded; exact ties (an odd number of
// 128ths), which round to even; values at both ends of the integer way
// and past them; GPS times of the week and adjusted standard ones.
// Each time is written by runs of their own and, after a space (as a
// column), by runs that keep the space with the seconds.
TEST(FormatFixed6, TimesInRunsOfASecondAsTheExactWayWritesThem) {
  number::Fixed6Runs runs;
  number::Fixed6Runs columns(' ');
  auto check = [&runs, &columns](double value) {
    char buffer[number::kMaxFixed6Length + 16];
    const std::string text = fixed6(value);
    ASSERT_EQ(std::string(buffer, runs.write(value, buffer)), text) << std::hexfloat << value;
    ASSERT_EQ(std::string(buffer, columns.write(value, buffer)), std::string(1, ' ').append(text))
        << std::hexfloat << value;
  };
  for (double value : {245372.25,
                       245372.5,
                       245373.0,
                       -245373.0,
                       -0.0,
                       0.0,
                       0.9999996,
                       1.0,
                       -0.9999996,
                       3.9999999,
                       4.0,
                       4.0000005,
                       7.9999999995,
                       12.0000005,
                       5.0078125,
                       5.0234375,
                       -5.0078125,
                       1e9 + 0.0078125,
                       17592186.044416,
                       99999999.5,
                       0x1p43 - 0x1p-9,
                       0x1p43,
                       -0x1p43,
                       1e300,
                       5.5,
                       1e-9,
                       -1e-9}) {
    check(value);
    check(std::nextafter(value, 0.0));
    check(std::nextafter(value, 1e308));
  }
  // A run's own seconds after one of its times rounded up to the next
  // second, and the other way: the run's text is made again each time.
  for (double value : {245372.25, 245372.9999996, 245372.5, 245373.0, 245372.9999996, 245372.75,
                       -245372.5, 245372.5}) {
    check(value);
  }
  std::mt19937_64 random(36);
  for (double start : {245370.0, 3.3e8, 1.4e9, 4.5}) {
    double time = start;
    for (int i = 0; i < 300000; ++i) {
      const std::uint64_t pick = random();
      // Mostly small steps forward, as a scanner's pulses come; now and
      // then a sign, or an odd number of 128ths.
      if (pick % 1000 == 0) {
        time = -time;
      } else if (pick % 1000 == 1) {
        time = std::floor(time) + static_cast<double>(((pick >> 20) & 127) | 1) / 128;
      } else {
        time += static_cast<double>(pick >> 44) * 1e-9;
      }
      check(time);
    }
  }
  // Doubles of every exponent about the integer way's.
  for (int i = 0; i < 1000000; ++i) {
    const std::uint64_t pick = random();
    check(std::ldexp(static_cast<double>(pick >> 11), -60 + static_cast<int>(pick % 64)));
  }
}

// Every number of decimals a result may ask for, and those of speeds,
// shares and sizes shown to people: "%.0f" to "%.17f", with the ties of
// few decimals (0.125, 2.5), the neighbours of both, and values whose
// digits run far past the seventeenth (tiny ones, and the largest).
TEST(FormatFixed, EveryNumberOfDecimalsMatchesTheCLibrary) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> magnitude(-20.0, 20.0);
  for (int i = 0; i < 300000; ++i) {
    double value = std::pow(10.0, magnitude(random)) * (random() & 1 ? 1 : -1);
    int decimals = static_cast<int>(random() % (number::kMostDecimals + 1));
    double tie = std::round(value * 8) / 8;
    double bits = std::bit_cast<double>(random());
    // The C library's NaN text varies (SignsInfinitiesAndNans has ours).
    if (std::isnan(bits)) bits = 1.0;
    for (double v : {value, tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300), -0.0, bits,
                     5e-324, 1.7976931348623157e308}) {
      char ours[number::max_fixed_length(number::kMostDecimals)];
      char theirs[400];
      std::snprintf(theirs, sizeof theirs, "%.*f", decimals, v);
      ASSERT_EQ(std::string(ours, number::format_fixed(v, decimals, ours)), theirs)
          << std::hexfloat << v << " with " << decimals;
    }
  }
}

TEST(FormatInt, Extremes) {
  char buffer[number::kMaxIntLength + 1];
  EXPECT_EQ(std::string(buffer, number::format_int(0, buffer)), "0");
  EXPECT_EQ(std::string(buffer, number::format_int(-2147483648LL, buffer)), "-2147483648");
  EXPECT_EQ(std::string(buffer, number::format_int(INT64_MIN, buffer)), "-9223372036854775808");
  EXPECT_EQ(std::string(buffer, number::format_int(INT64_MAX, buffer)), "9223372036854775807");
}

TEST(ParseToken, EveryFormOfNumber) {
  for (const char* text : {"7",
                           "-12.5",
                           "1e3",
                           "2.5E-1",
                           "+5",
                           "+.5",
                           "-.5",
                           "5.",
                           "-0",
                           "+0.0",
                           "007.5",
                           ".000001",
                           "0.0000001",
                           "1234567890.5",
                           "999999999.999999",
                           "1e+3",
                           "1E-3",
                           "0x1A",
                           "0X1.8p1",
                           "0x.8",
                           "-0x1p-1074",
                           "0x1p-1080",
                           "0x1p1024",
                           "inf",
                           "-INF",
                           "Infinity",
                           "nan",
                           "-NaN",
                           "nan(123)",
                           "nan()",
                           "1e999999",
                           "-1e999999",
                           "1e-999999",
                           "4.9e-324",
                           "2e-324",
                           "1e-310",
                           "1.7976931348623159e308",
                           "2.4703282292062328e-324",
                           "00000000000000000000001.5"}) {
    expect_reads_like_strtod(text);
    EXPECT_TRUE(parse(text).ok) << text;
  }
}

TEST(ParseToken, TextThatIsNotOneNumber) {
  for (const char* text :
       {"",     "-",   "+",   ".",      "1e",    "1e+",  "0x",    "0xg",     "1,5",
        "+-5",  "-+5", "--5", "0x-1",   "0xinf", "nan(", "nan(1", "infinit", "1.2.3",
        "1e5x", "abc", "e5",  "12\x1a", "0x1p",  "in",   "+inf-"}) {
    expect_reads_like_strtod(text);
    EXPECT_FALSE(parse(text).ok) << text;
  }
}

TEST(ParseToken, LongDigitStrings) {
  std::string big(5001, '0');
  big[0] = '1';
  expect_reads_like_strtod(big);
  expect_reads_like_strtod(big + "e-5000");
  expect_reads_like_strtod("0." + std::string(5000, '0') + "1e5000");
  expect_reads_like_strtod(std::string(400, '9') + "." + std::string(400, '9'));
}

// Storage a value would be left in if it were never set, filled with a
// value from an earlier number first.
[[gnu::noinline]] void leave_an_earlier_value() {
  volatile double earlier[256];
  for (auto& value : earlier) value = 0.123457;
}
[[gnu::noinline]] double value_of(const char* text) {
  char out[64];
  char* o = out;
  Decimal decimal;
  if (xyz::SixDecimals<true>::copy_decimal(text, o, decimal) == nullptr) return -1;
  return decimal.value();
}

TEST(ParseToken, DecimalsTooSmallForADoubleReadAsZero) {
  std::string tiny = "0." + std::string(350, '0') + "1 ";
  std::string text = tiny + std::string(32, '\0');
  leave_an_earlier_value();
  EXPECT_EQ(value_of(text.c_str()), 0.0);
  leave_an_earlier_value();
  EXPECT_EQ(value_of(("-" + text).c_str()), 0.0);
  EXPECT_TRUE(std::signbit(value_of(("-" + text).c_str())));
  expect_reads_like_strtod(tiny.substr(0, tiny.size() - 1));
  expect_reads_like_strtod(".12345678");
  expect_reads_like_strtod("-.000000001");
}

TEST(ParseToken, RandomDoublesInEveryNotationMatchStrtod) {
  std::mt19937_64 random(42);
  const char* formats[] = {"%.17g", "%.15g", "%.6f", "%.3f", "%a", "%.2e", "%.20e", "%.1f"};
  char text[512];
  for (int i = 0; i < 1000000; ++i) {
    double value = from_bits(random());
    if (std::isnan(value)) continue;
    std::snprintf(text, sizeof text, formats[i % 8], value);
    expect_reads_like_strtod(text);
    if (HasFatalFailure()) return;
  }
}

TEST(ParseToken, RandomShortDecimalsMatchStrtod) {
  std::mt19937_64 random(4242);
  const char alphabet[] = "0123456789.-+eEx";
  for (int i = 0; i < 1000000; ++i) {
    std::string text;
    std::uint64_t bits = random();
    int length = 1 + static_cast<int>(bits % 18);
    bits >>= 5;
    for (int k = 0; k < length; ++k) {
      // Mostly digits, now and then a point, sign, exponent mark.
      std::uint64_t pick = random() % 40;
      text += pick < 10   ? alphabet[pick]
              : pick < 30 ? alphabet[pick % 10]
                          : alphabet[10 + pick % 6];
    }
    expect_reads_like_strtod(text);
    if (HasFatalFailure()) return;
  }
}

// Rounded as text, a decimal goes wrong when the double nearest to it lies
// on the other side of a half millionth: try every integer length against
// tails on both sides of a half, near and far.
TEST(ParseToken, DecimalsNearAHalfMillionthMatchTheCLibrary) {
  std::mt19937_64 random(77);
  const char* tails[] = {"5",   "50",  "500000001", "4999999999", "49",  "51",  "499", "501",
                         "439", "440", "560",       "561",        "491", "509", "492", "508",
                         "4",   "6",   "500000000", "499999999",  "0",   "9",   "99",  "999999"};
  for (int i = 0; i < 300000; ++i) {
    std::string text = random() % 4 == 0 ? "-" : "";
    int integer_digits = static_cast<int>(random() % 10);
    for (int k = 0; k < integer_digits; ++k) text += static_cast<char>('0' + random() % 10);
    text += '.';
    for (int k = 0; k < 6; ++k) {
      // Runs of nines, so that rounding up carries.
      text += random() % 3 == 0 ? '9' : static_cast<char>('0' + random() % 10);
    }
    if (random() % 2 == 0) {
      text += tails[random() % (sizeof tails / sizeof *tails)];
    } else {
      for (int k = 1 + static_cast<int>(random() % 14); k > 0; --k) {
        text += static_cast<char>('0' + random() % 10);
      }
    }
    expect_reads_like_strtod(text);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
