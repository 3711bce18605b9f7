// How far the points of one file reach on one axis.
#ifndef STRATUMIX_NUM_EXTENT_H_
#define STRATUMIX_NUM_EXTENT_H_

#include <cmath>
#include <cstdint>

#include "num/bytes.h"
#include "num/number.h"

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
  // The same as digit keys, for text that has not been turned into numbers:
  // [0] of the integer parts k >= 0 of values >= 0, [1] of the integer
  // parts w of negative values, which lie in [-w - 1, -w]. Kept as the
  // first key and the span to the last, so that one unsigned comparison
  // tells a key outside; none at first.
  std::int64_t key_first[2] = {kNoKeys, kNoKeys};
  std::uint64_t key_span[2] = {0, 0};

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
    set_keys(inner_first, inner_last, 0);
    // -w - 1 from inner_first to inner_last.
    set_keys(-inner_last - 1, -inner_first - 1, 1);
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
  bool could_change_key(std::int64_t key) const { return outside_keys(key, 0); }
  // The same for the integer part of digit key `key` of a number with a
  // minus before it or not.
  bool could_change_key(std::int64_t key, bool negative) const {
    return outside_keys(key, negative ? 1 : 0);
  }

  // The same for a number whose integer part is the `count` digits at
  // `digits` (1 to 8, the first not 0), with a minus before them or not.
  // Reads eight bytes at `digits`.
  bool could_change_digits(const char* digits, int count, bool negative) const {
    return outside_keys(digit_key(digits, count), negative ? 1 : 0);
  }

 private:
  // The keys [sign] of the integers from `first` to `last` that have keys,
  // those from 0 to 10^8 - 1: any key is at least the first key below 0,
  // none reaches the last key at or above 10^8.
  void set_keys(std::int64_t first, std::int64_t last, int sign) {
    constexpr std::int64_t kKeyed = 100000000;
    std::int64_t from = first <= 0 ? 0 : first >= kKeyed ? kAboveKeys : key_of(first);
    std::int64_t to = last < 0 ? -1 : last >= kKeyed ? kAboveKeys - 1 : key_of(last);
    key_first[sign] = to < from ? kNoKeys : from;
    key_span[sign] = to < from ? 0 : static_cast<std::uint64_t>(to - from);
  }
  // Keys are at least 0 and below kAboveKeys, or kAboveKeys and more for any
  // k: a first key of kNoKeys, span 0, leaves every key outside (but
  // kNoKeys itself, which no caller asks about).
  static constexpr std::int64_t kNoKeys = kAboveKeys;
  bool outside_keys(std::int64_t key, int sign) const {
    return static_cast<std::uint64_t>(key) - static_cast<std::uint64_t>(key_first[sign]) >
           key_span[sign];
  }
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

// How far values reach on one axis, kept once the pasting is done: an
// Extent's bounds without what speeds up comparing text with them, so that
// a record per input of a job of thousands stays small.
struct Bound {
  double min = 6000000.0;
  double max = 0.0;
  bool met = false;

  void add(double value) {
    if (value != value) return;  // a NaN has no place on an axis
    if (!met) {
      min = max = value;
      met = true;
    } else if (value < min) {
      min = value;
    } else if (value > max) {
      max = value;
    }
  }
  // As Extent::merge: the first of equal values (0 and -0) stays.
  void merge(const Bound& other) {
    if (!other.met) return;
    add(other.min);
    add(other.max);
  }
  static Bound of(const Extent& extent) { return {extent.min, extent.max, extent.met}; }
  // Met, and within the doubles: a place a map or an index can draw.
  bool finite() const { return met && std::isfinite(min) && std::isfinite(max); }
};

// The axes whose extents a reader keeps. The dialogue reports X and Y; Z,
// which only the command line's summary and report show, costs the plain
// text's run loop a tenth more instructions a point.
enum class Axes { kXY, kXYZ };

// How far the points of one file reach on each axis.
struct Extents {
  Extent x;
  Extent y;
  Extent z;

  // Z only where `axes` names it, so that an extent is whole or not met.
  void add(double value_x, double value_y, double value_z, Axes axes = Axes::kXYZ) {
    x.add(value_x);
    y.add(value_y);
    if (axes == Axes::kXYZ) z.add(value_z);
  }
  void merge(const Extents& other) {
    x.merge(other.x);
    y.merge(other.y);
    z.merge(other.z);
  }
  const Extent& axis(int number) const { return number == 0 ? x : number == 1 ? y : z; }
};

// The same, as kept once the pasting is done.
struct Bounds {
  Bound x;
  Bound y;
  Bound z;

  void add(double value_x, double value_y, double value_z) {
    x.add(value_x);
    y.add(value_y);
    z.add(value_z);
  }
  void merge(const Bounds& other) {
    x.merge(other.x);
    y.merge(other.y);
    z.merge(other.z);
  }
  const Bound& axis(int number) const { return number == 0 ? x : number == 1 ? y : z; }
  static Bounds of(const Extents& extents) {
    return {Bound::of(extents.x), Bound::of(extents.y), Bound::of(extents.z)};
  }
};

#endif  // STRATUMIX_NUM_EXTENT_H_
