#include "read/text/run_loop.h"

#include <charconv>

double Decimal::value() const {
  double magnitude;
  if (decimals <= 6) {
    magnitude = number::decimal_value(
        integer(), bytes::digits_value(bytes::load8(last - decimals), decimals), decimals);
  } else {
    // At most nine integer digits: the only way out of range is below the
    // smallest double, which strtod reads as 0.
    auto [end, error] = std::from_chars(digits, last, magnitude);
    if (error != std::errc() || end != last) magnitude = 0;
  }
  return negative ? -magnitude : magnitude;
}
