#include "read/text/run_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "write/xyz_text.h"

namespace {

// The integer part's text as a key must never hide a change of extent that
// its value shows: at and around every kind of bound, before any value,
// for short and long integer parts, signs and no integer digits. Negative
// values have keys of their own, which Z takes.
TEST(RunLoop, DigitKeysMissNoChangeOfExtent) {
  std::vector<std::vector<double>> met = {{},
                                          {0.5},
                                          {-3.5, 0.25},
                                          {1, 2},
                                          {9.75, 10.5},
                                          {99, 1000.5},
                                          {12345.5, 99999999.5},
                                          {99999998.25, 100000001},
                                          {-1e12, 1e12},
                                          {-250.5, -12},
                                          {-99999999.5, -5}};
  std::mt19937 random(11);
  for (const std::vector<double>& values : met) {
    Extent extent;
    for (double v : values) extent.add(v);
    std::vector<std::string> integers = {"",   "0",   "1",    "9",        "10",
                                         "99", "100", "1000", "99999999", "100000000"};
    for (double v : values) {
      for (double k : {std::floor(v) - 1, std::floor(v), std::ceil(v), std::ceil(v) + 1}) {
        // Around the bounds of negative values too, whose digits follow a minus.
        if (std::fabs(k) < 1e9) integers.push_back(std::to_string(static_cast<long>(std::fabs(k))));
      }
    }
    for (int i = 0; i < 2000; ++i) {
      // Of every length up to eight digits.
      integers.push_back(std::to_string((random() % 100000000) >> (random() % 27)));
    }
    for (const std::string& integer : integers) {
      for (const char* sign : {"", "-", "+"}) {
        char text[64] = {};
        std::snprintf(text, sizeof text, "%s%s.5 ", sign, integer.c_str());
        char out[64];
        char* o = out;
        Decimal decimal{};
        ASSERT_NE(xyz::SixDecimals<true>::copy_decimal(text, o, decimal), nullptr) << text;
        if (extent.could_change(decimal.floor_bound())) {
          ASSERT_TRUE(extent.could_change_key(decimal.integer_key())) << text;
          // The same from the digits after the sign, as the loops take
          // them: integer parts of one to eight digits, no leading zero.
          if (!integer.empty() && integer[0] != '0' && integer.size() <= 8) {
            ASSERT_TRUE(extent.could_change_digits(text + std::strlen(sign),
                                                   static_cast<int>(integer.size()), *sign == '-'))
                << text;
          }
        }
      }
    }
  }
}

TEST(RunLoop, PlainDecimalsCarryTheirFixedText) {
  struct Case {
    const char* token;
    const char* fixed;
  };
  for (Case c : {Case{"-007.25", "-7.250000"}, Case{".5", "0.500000"}, Case{"5.", "5.000000"},
                 Case{"+0", "0.000000"}, Case{"-0.0", "-0.000000"},
                 Case{"123456789", "123456789.000000"}, Case{"1.1234567", "1.123457"},
                 Case{"1.12345648", "1.123456"}, Case{"0.9999996", "1.000000"},
                 Case{"-19.99999951", "-20.000000"}, Case{"12345678.0000005081", "12345678.000001"},
                 Case{"123456789.0000004", "123456789.000000"},
                 Case{"123456789.00000056", "123456789.000001"}}) {
    char text[xyz::SixDecimals<true>::kLongestDecimal];
    std::size_t length = xyz::six_decimal_text(c.token, c.token + std::strlen(c.token), text);
    ASSERT_NE(length, 0u) << c.token;
    EXPECT_EQ(std::string(text, length), c.fixed) << c.token;
  }
  // A carry into a new digit, or no plain decimal: these take the exact way.
  for (const char* token : {"999.9999996", "-9.99999951", "1234567890", "1e3", "0x10"}) {
    char text[xyz::SixDecimals<true>::kLongestDecimal];
    EXPECT_EQ(xyz::six_decimal_text(token, token + std::strlen(token), text), 0u) << token;
  }
}

}  // namespace
