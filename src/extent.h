// How far the points of one file reach on one axis.
#ifndef STRATUMIX_EXTENT_H_
#define STRATUMIX_EXTENT_H_

#include <cmath>
#include <cstdint>

#include "bytes.h"
#include "number.h"

// The digit key of an integer part: its first `count` digits (1 to 8, no
// leading zero but "0") read as one word, first digit highest. Such words
// order as the integers do, so the run loop compares the text of an integer
// part with an extent's bounds without turning it into a number. Reads
// eight bytes at `digits`.
inline std::int64_t digit_key(const char* digits, int count) {
  return static_cast<std::int64_t>(bytes::load8_first_high(digits) >> (64 - 8 * count));
}

// The smallest and largest value met. Until a value is met the report shows
// the traditional starting values.
struct Extent {
  double min = 6000000.0;
  double max = 0.0;
  bool met = false;
  // The integers k whose whole [k, k + 1] lies within [min, max]; none until
  // a value is met. Most points of a file lie well inside its extents, and
  // their integer part alone shows that they change nothing.
  std::int64_t inner_first = 1;
  std::int64_t inner_last = 0;
  // The same as digit keys, for text that has not been turned into numbers.
  std::int64_t key_first = key_of(1);
  std::int64_t key_last = key_of(0);

  void add(double value) {
    if (value != value) return;  // a NaN has no place on an axis
    if (!met) {
      min = max = value;
      met = true;
    } else if (value < min) {
      min = value;
    } else if (value > max) {
      max = value;
    } else {
      return;
    }
    inner_first = clamped(std::ceil(min));
    inner_last = clamped(std::floor(max) - 1);
    // Keys of integers from 0 to 10^8 - 1; any k >= 0 is at least the first
    // key below 0, none at or above 10^8 reaches the last.
    constexpr std::int64_t kKeyed = 100000000;
    key_first = inner_first <= 0 ? 0 : inner_first >= kKeyed ? kAboveKeys : key_of(inner_first);
    key_last = inner_last < 0 ? -1 : inner_last >= kKeyed ? kAboveKeys - 1 : key_of(inner_last);
  }

  // Adds what another part of the same file met, as if its values had come
  // after this part's: the first of equal values (0 and -0) stays.
  void merge(const Extent& other) {
    if (!other.met) return;
    add(other.min);
    add(other.max);
  }

  // Whether a value known to lie in [k, k + 1] could change the extent.
  bool could_change(std::int64_t k) const { return k < inner_first || k > inner_last; }

  // The same for k >= 0 with a digit_key of `key`, or for any k when
  // `key` is at least kAboveKeys.
  static constexpr std::int64_t kAboveKeys = std::int64_t{1} << 62;
  bool could_change_key(std::int64_t key) const { return key < key_first || key > key_last; }

 private:
  // The digit key of k, from 0 to 10^8 - 1: of its text.
  static std::int64_t key_of(std::int64_t k) {
    char text[number::kMaxIntLength + 8] = {};
    auto count = static_cast<int>(number::format_int(k, text) - text);
    return digit_key(text, count);
  }
  // Far beyond any k asked about, and safe to convert.
  static std::int64_t clamped(double value) {
    constexpr double kLimit = 0x1p62;
    if (value < -kLimit) return -(std::int64_t{1} << 62);
    if (value > kLimit) return std::int64_t{1} << 62;
    return static_cast<std::int64_t>(value);
  }
};

#endif  // STRATUMIX_EXTENT_H_
