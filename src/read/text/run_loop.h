// The run loop: runs of points read straight from the text of a point
// file and written to the result's buffer by the writer's `Out` (see
// write/xyz_text.h for what it offers), each number's text made from its
// own digits, and each checked against its axis's extent by its integer
// part's text. The writer instantiates the loop with its own text.
#ifndef STRATUMIX_READ_TEXT_RUN_LOOP_H_
#define STRATUMIX_READ_TEXT_RUN_LOOP_H_

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "num/bytes.h"
#include "num/extent.h"
#include "num/number.h"

// What must follow the text in every buffer the loop reads: a NUL, which
// ends every number and every run of white space, then room to read on
// past it, as the loop and copy_decimal look at sixteen bytes at once
// (from at most the NUL itself: 16 bytes, rounded up to a round number).
// Whoever puts text in a buffer leaves kTextSlack bytes behind it and calls
// end_text where the text ends.
inline constexpr std::size_t kTextSlack = 32;
inline void end_text(char* text_end) { std::memset(text_end, 0, kTextSlack); }

// Whether the byte at `p` ends a line: a LF, or a CR but for the CR of a
// CR LF pair (old Mac files end their lines with a lone CR). Looks at the
// byte after `p`. Every count of lines, for the line numbers of messages,
// goes through here.
inline bool ends_line(const char* p) { return *p == '\n' || (*p == '\r' && p[1] != '\n'); }

// The number of line ends in [first, last); looks at the byte at `last`.
inline std::int64_t count_line_ends(const char* first, const char* last) {
  std::int64_t count = 0;
  for (; first != last; ++first) count += ends_line(first);
  return count;
}

// A plain decimal ([sign] digits [. digits], no exponent) of at most nine
// integer digits, as the writer's copy_decimal found it in the text.
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
  // The integer part's digit key (extent.h), or kNoKey when it has none:
  // for negative numbers, no integer digits and nine of them. Cheaper than
  // integer().
  static constexpr std::int64_t kNoKey = INT64_MAX;
  std::int64_t integer_key() const {
    if (negative || static_cast<unsigned>(integer_digits - 1) >= 8) return kNoKey;
    return digit_key(digits, integer_digits);
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

// A box the loop keeps points within, for a crop: on each axis it bounds,
// from <= value < to, the value as strtod reads the number. The points it
// leaves out are counted and measured apart, and not written.
struct RunBox {
  double from[3];
  double to[3];
  bool bounded[3];
  std::int64_t left_out = 0;
  Extents outside;  // of the points left out
  // For a number whose value lies in [k, k + 1], k a whole number: in the
  // box for k in [inside_from, inside_to], out of it for k below out_below
  // or from out_from on; between, its value decides.
  std::int64_t inside_from[3];
  std::int64_t inside_to[3];
  std::int64_t out_below[3];
  std::int64_t out_from[3];
  // The integer parts k of [inside_from, inside_to], and of [out_below,
  // out_from - 1], as an extent's digit keys: the loop tells most numbers in
  // or out by the same look at their integer digits that tells whether
  // they change an extent.
  Extent inside[3];
  Extent not_out[3];

  void set(int axis, double from_value, double to_value) {
    from[axis] = from_value;
    to[axis] = to_value;
    bounded[axis] = true;
    // Bounds past 2^62 are as far as any number of the quick way.
    auto whole = [](double v) {
      constexpr double kFar = 4.0e18;
      return static_cast<std::int64_t>(v < -kFar ? -kFar : v > kFar ? kFar : std::ceil(v));
    };
    inside_from[axis] = whole(from_value);
    inside_to[axis] = whole(to_value) - 2;
    out_below[axis] = whole(from_value) - 1;
    out_from[axis] = whole(to_value);
    // An extent from k to k' + 1 has the k of [k, k'] within it.
    inside[axis] = Extent{};
    if (inside_from[axis] <= inside_to[axis]) {
      inside[axis].add(static_cast<double>(inside_from[axis]));
      inside[axis].add(static_cast<double>(inside_to[axis] + 1));
    }
    not_out[axis] = Extent{};
    if (out_below[axis] < out_from[axis]) {
      not_out[axis].add(static_cast<double>(out_below[axis]));
      not_out[axis].add(static_cast<double>(out_from[axis]));
    } else {
      not_out[axis].add(-0x1p62);
      not_out[axis].add(0x1p62);
    }
  }
  // An axis the box does not bound: every number is in.
  void set_unbounded(int axis) {
    bounded[axis] = false;
    inside[axis] = Extent{};
    inside[axis].add(-0x1p62);
    inside[axis].add(0x1p62);
    not_out[axis] = inside[axis];
  }
};

// Where a run of points copied by copy_run has come to.
struct Run {
  const char* end;  // in the text: after the last point copied
  char* out;
  std::int64_t points;  // read, those a box left out included
  std::int64_t line_ends;
  bool stopped;           // at a point the loop does not take, or at the stop
  RunBox* box = nullptr;  // none: every point is copied
};

namespace run_loop {

using bytes::is_white;

// Where a number copied by copy_axis ends, in the text and in the output;
// a null `end` leaves the number to the general way.
struct Copied {
  const char* end;
  char* out;
};

// Where copy_axis found a number, for a box to test: its first byte (a
// minus included), and for a plain decimal of the quick way, its integer
// digits, whose value bounds the number's to within one.
struct Seen {
  const char* begin = nullptr;
  int integer_digits = -1;  // -1 for a number of the longer way
  // Its integer part's digit key (extent.h) and sign; for the longer way a
  // key past every extent's, so that its value is always looked at.
  std::int64_t key = INT64_MAX;
  bool negative = false;
};

// digit_key, its byte swap (bytes::first_high) always inlined: a box's loop
// is large enough that the compiler would otherwise call out for that one
// instruction. The other loops are left to compile as they did.
[[gnu::always_inline]] inline std::int64_t inlined_digit_key(const char* digits, int count) {
  return static_cast<std::int64_t>(__builtin_bswap64(bytes::load8(digits)) >> (64 - 8 * count));
}

// The value of the number [first, last) as strtod reads it: wanted only for
// numbers near a box's bounds, or of the longer way.
[[gnu::noinline]] inline double exact_value(const char* first, const char* last) {
  return number::parse_token(first, last).value;
}

// Whether the number `seen`, ending at `last`, is in the box on `axis`:
// most are told by their integer digits alone.
inline bool in_box(const RunBox& box, int axis, const Seen& seen, const char* last) {
  if (seen.integer_digits >= 0) {
    const bool negative = *seen.begin == '-';
    const auto whole = static_cast<std::int64_t>(
        bytes::digits_value(bytes::load8(seen.begin + negative), seen.integer_digits));
    // The value lies in [low, low + 1].
    const std::int64_t low = negative ? -whole - 1 : whole;
    if (low >= box.inside_from[axis] && low <= box.inside_to[axis]) return true;
    if (low < box.out_below[axis] || low >= box.out_from[axis]) return false;
  }
  const double value = exact_value(seen.begin, last);
  return value >= box.from[axis] && value < box.to[axis];
}

// Passes over white space, adding its line ends to `line_ends`. Spaces and
// tabs, most of it, end no line.
inline const char* skip_white(const char* p, std::int64_t& line_ends) {
  for (;; ++p) {
    char c = *p;
    if (c == ' ' || c == '\t') continue;
    // A LF always ends a line, so it needs no look at the byte after it.
    if (c == '\n') {
      line_ends += ends_line(p);
      continue;
    }
    if (!is_white(c)) return p;
    line_ends += ends_line(p);
  }
}

// The value of a plain decimal that might change an extent, which is rare:
// kept out of the loop so that its registers stay its own.
template <class Out>
[[gnu::noinline]] double value_of(Out text, const char* p) {
  char scratch[Out::kLongestDecimal + 8];
  char* o = scratch;
  Decimal decimal{};
  text.copy_decimal(p, o, decimal);
  return decimal.value();
}

// The numbers copy_axis leaves: plain decimals of other shapes are copied as
// text, other decimal forms read and written from their value. `value`
// gets the number when it might change `extent` (none for an axis not
// measured), and `measured` says so; otherwise `value` may be used as
// scratch.
template <class Out>
[[gnu::noinline]] Copied copy_other(Out text, const char* p, const char* text_end, char* o,
                                    const Extent* extent, bool& measured, double& value) {
  Decimal decimal;
  const char* end = text.copy_decimal(p, o, decimal);
  if (end != nullptr) {
    // Most points change no extent, and a plain decimal's integer part
    // shows it: its value is worked out only when it might.
    if (extent != nullptr && extent->could_change_key(decimal.integer_key()) &&
        extent->could_change(decimal.floor_bound())) {
      measured = true;
      value = decimal.value();
    }
    return {end, o};
  }
  end = number::read_decimal(p, text_end, value);
  if (end == nullptr) return {nullptr, o};
  measured = extent != nullptr;
  return {end, text.value(value, o)};
}

// Copies the number after the white space at `p` to `o`. The bulk of
// survey data, one to seven integer digits, then at most six decimals, is
// taken here after one look at sixteen bytes, with no branch per digit.
// Where the axis is `kMeasured`, its integer part is checked against
// `extent`; a number that might change it sets `pending` and `value`. A
// minus goes this way on Z alone (`kSigned`), where it is common below sea
// level; on X and Y it is rare and goes the longer way. Inlined, so that
// the loop's own variables stay in registers: only the out-of-line copy
// gets addresses, of its own. In a box (`kSeen`), where the number is and
// its digit key (`seen`); on an axis the box bounds (`kTested`), `doubt`
// where its integer digits do not show it within the box (`inside`), and
// `outside` where they show it out of it (beyond `not_out`). A number of the
// longer way is always in doubt there.
template <class Out, bool kSigned, bool kMeasured, bool kSeen, bool kTested = false>
[[gnu::always_inline]] inline Copied copy_axis(Out text, const char* p, const char* text_end,
                                               char* o, std::int64_t& line_ends,
                                               const Extent& extent, bool& pending, double& value,
                                               Seen& seen, const Extent& inside,
                                               const Extent& not_out, bool& doubt, bool& outside) {
  // The usual separators, a space or CR LF, first; then LF and a tab,
  // which cost those nothing. Longer runs of white space are rarer and go
  // the longer way below.
  if (*p == ' ') {
    ++p;
  } else if (*p == '\r' && p[1] == '\n') {
    p += 2;
    ++line_ends;
  } else if (*p == '\n') {
    ++p;
    ++line_ends;
  } else {
    p += *p == '\t';
  }
  bool negative = false;
  for (;;) {
    if (static_cast<unsigned char>(*p - '1') < 9) {
      unsigned not_digits = bytes::not_digits_16(p);
      int integer_digits = std::countr_zero(not_digits);
      if (integer_digits > 7) break;
      if constexpr (kSeen) {
        seen.begin = p - (kSigned && negative);
        seen.integer_digits = integer_digits;
      }
      text.copy16(o, p);
      const char* end = p + integer_digits;
      char* out;
      if (*end == '.') {
        int after = std::countr_zero(not_digits & (not_digits - 1));
        if (after > integer_digits + 7) break;  // more than six decimals
        end = p + after;
        if (!is_white(*end)) break;
        out = text.pad_decimal(o, integer_digits, after);
        if constexpr (!Out::kPadsEveryShortDecimal) {
          if (out == nullptr) break;
        }
      } else {
        // A whole number, short and so dear per byte.
        if (!is_white(*end)) break;
        out = text.pad_whole(o, integer_digits);
      }
      if constexpr (kSeen) {
        const bool sign = kSigned && negative;
        seen.key = inlined_digit_key(p, integer_digits);
        if constexpr (kSigned) seen.negative = sign;
        if constexpr (kTested) {
          // Most numbers are within the box's bounds on each axis.
          if (inside.could_change_key(seen.key, sign)) [[unlikely]] {
            doubt = true;
            outside |= not_out.could_change_key(seen.key, sign);
          }
        }
      }
      if constexpr (kMeasured) {
        if (extent.could_change_digits(p, integer_digits, kSigned && negative)) [[unlikely]] {
          pending = true;
          value = value_of(text, p - (kSigned && negative));
        }
      }
      return {end, out};
    }
    if constexpr (kSigned) {
      // A minus is written as it is, then the number's own text.
      if (*p == '-' && static_cast<unsigned char>(p[1] - '1') < 9) {
        o = text.minus(o);
        ++p;
        negative = true;
        continue;
      }
    }
    if (!is_white(*p)) break;
    p = skip_white(p, line_ends);
  }
  bool measured = false;
  if constexpr (kSeen) {
    seen.begin = p - negative;
    seen.integer_digits = -1;
    seen.key = INT64_MAX;
    if constexpr (kTested) doubt = true;
  }
  if constexpr (kMeasured) {
    if (negative) {
      // The longer way reads the number from its sign, for its value.
      --p;
      --o;
    }
    Copied copied = copy_other(text, p, text_end, o, &extent, measured, value);
    if (measured) pending = true;
    return copied;
  } else {
    // Past a minus written already, the longer way copies the digits. The
    // loop's own value keeps out of memory.
    double scratch;
    return copy_other(text, p, text_end, o, nullptr, measured, scratch);
  }
}

// The value of a number copy_axis copied in a box, where it might change an
// extent: most are plain decimals of the quick way.
template <class Out>
[[gnu::noinline]] double seen_value(Out text, const Seen& seen, const char* last) {
  return seen.integer_digits < 0 ? exact_value(seen.begin, last) : value_of(text, seen.begin);
}

// Adds a number copy_axis copied in a box to `extent`, when it might change
// it: most are told by their digit key.
template <class Out, bool kSigned>
[[gnu::always_inline]] inline void add_seen(Out text, Extent& extent, const Seen& seen,
                                            const char* last) {
  if (extent.could_change_key(seen.key, kSigned && seen.negative)) [[unlikely]]
    extent.add(seen_value(text, seen, last));
}

// Where a box bounds a run: none; X and Y alone, for a crop; or any axis.
enum class Boxed { kNone, kXY, kAny };

template <class Out, Axes kAxes, Boxed kBox>
void run_points(Out text, Run& run, const char* stop, const char* text_end, std::int64_t count,
                Extents& extents) {
  constexpr bool kBoxed = kBox != Boxed::kNone;
  constexpr bool kTestsZ = kBox == Boxed::kAny;
  // The loop's own variables stay in registers: nothing takes their
  // address.
  const char* p = run.end;
  char* o = run.out;
  std::int64_t line_ends = 0;
  std::int64_t copied = 0;
  bool stopped = false;
  // Without a box, nothing is tested: the extents stand in for the box's.
  const Extent* inside = kBoxed ? run.box->inside : &extents.x;
  const Extent* not_out = kBoxed ? run.box->not_out : &extents.x;
  for (; copied < count; ++copied) {
    if (p >= stop) {
      stopped = true;
      break;
    }
    // Nothing of a point counts until all of it is read: its extents are
    // applied once it is whole, which is seldom needed at all.
    std::int64_t point_line_ends = 0;
    bool x_pending = false;
    bool y_pending = false;
    bool z_pending = false;
    double x_value;
    double y_value;
    double z_value;
    // In a box, most points are told in or out by their integer digits as
    // they are copied; those within one of a bound, in doubt, by their
    // values once whole. Each is then measured in the extents of the points
    // kept or of those left out, by the digit keys already read.
    Seen seen[3];
    const char* ends[3] = {};
    bool doubt = false;
    bool out = false;
    constexpr bool kMeasureXY = !kBoxed;
    constexpr bool kMeasureZ = kAxes == Axes::kXYZ && !kBoxed;
    Copied c = copy_axis<Out, false, kMeasureXY, kBoxed, kBoxed>(
        text, p, text_end, o, point_line_ends, extents.x, x_pending, x_value, seen[0], inside[0],
        not_out[0], doubt, out);
    if constexpr (kBoxed) ends[0] = c.end;
    if (c.end != nullptr) {
      c = copy_axis<Out, false, kMeasureXY, kBoxed, kBoxed>(
          text, c.end, text_end, text.between(c.out), point_line_ends, extents.y, y_pending,
          y_value, seen[1], inside[kBoxed ? 1 : 0], not_out[kBoxed ? 1 : 0], doubt, out);
      if constexpr (kBoxed) ends[1] = c.end;
    }
    if (c.end != nullptr) {
      c = copy_axis<Out, true, kMeasureZ, kBoxed, kTestsZ>(
          text, c.end, text_end, text.between(c.out), point_line_ends, extents.z, z_pending,
          z_value, seen[2], inside[kBoxed ? 2 : 0], not_out[kBoxed ? 2 : 0], doubt, out);
      if constexpr (kBoxed) ends[2] = c.end;
    }
    if (c.end == nullptr) {
      stopped = true;
      break;
    }
    p = c.end;
    line_ends += point_line_ends;
    if constexpr (kBoxed) {
      RunBox& box = *run.box;
      if (doubt && !out) [[unlikely]] {
        out = (box.bounded[0] && !in_box(box, 0, seen[0], ends[0])) ||
              (box.bounded[1] && !in_box(box, 1, seen[1], ends[1])) ||
              (kTestsZ && box.bounded[2] && !in_box(box, 2, seen[2], ends[2]));
      }
      if (out) {
        // A point outside is read, and its line taken back.
        ++box.left_out;
        add_seen<Out, false>(text, box.outside.x, seen[0], ends[0]);
        add_seen<Out, false>(text, box.outside.y, seen[1], ends[1]);
        if constexpr (kAxes == Axes::kXYZ)
          add_seen<Out, true>(text, box.outside.z, seen[2], ends[2]);
        continue;
      }
      add_seen<Out, false>(text, extents.x, seen[0], ends[0]);
      add_seen<Out, false>(text, extents.y, seen[1], ends[1]);
      if constexpr (kAxes == Axes::kXYZ) add_seen<Out, true>(text, extents.z, seen[2], ends[2]);
    }
    o = text.line_end(c.out);
    if (x_pending) [[unlikely]]
      extents.x.add(x_value);
    if (y_pending) [[unlikely]]
      extents.y.add(y_value);
    if (z_pending) [[unlikely]]
      extents.z.add(z_value);
  }
  run.end = p;
  run.out = o;
  run.points += copied;
  run.line_ends += line_ends;
  run.stopped = stopped;
}

}  // namespace run_loop

// Up to `count` more whole points copied on from run.end to run.out by
// `text`, with their count and line ends added, each starting before
// `stop`; the caller has room for `count` lines of text.line_room(). The text
// ends at `text_end` as kTextSlack says. Stops (run.stopped) at a point the
// loop does not take, which is left as it is for the general way, or at
// `stop`. Adds the points to `extents` on the axes `axes` names.
template <class Out>
void copy_run(Out text, Run& run, const char* stop, const char* text_end, std::int64_t count,
              Extents& extents, Axes axes) {
  if (axes == Axes::kXYZ) {
    run_loop::run_points<Out, Axes::kXYZ, run_loop::Boxed::kNone>(text, run, stop, text_end, count,
                                                                  extents);
  } else {
    run_loop::run_points<Out, Axes::kXY, run_loop::Boxed::kNone>(text, run, stop, text_end, count,
                                                                 extents);
  }
}

// As copy_run, for a run with a box (run.box): only the points within it
// are copied and measured. Instantiated apart from copy_run, so that the
// loops without a box are compiled as they were.
template <class Out>
void copy_boxed_run(Out text, Run& run, const char* stop, const char* text_end, std::int64_t count,
                    Extents& extents, Axes axes) {
  if (axes == Axes::kXYZ) {
    if (run.box->bounded[2]) {
      run_loop::run_points<Out, Axes::kXYZ, run_loop::Boxed::kAny>(text, run, stop, text_end, count,
                                                                   extents);
    } else {
      run_loop::run_points<Out, Axes::kXYZ, run_loop::Boxed::kXY>(text, run, stop, text_end, count,
                                                                  extents);
    }
  } else if (run.box->bounded[2]) {
    run_loop::run_points<Out, Axes::kXY, run_loop::Boxed::kAny>(text, run, stop, text_end, count,
                                                                extents);
  } else {
    run_loop::run_points<Out, Axes::kXY, run_loop::Boxed::kXY>(text, run, stop, text_end, count,
                                                               extents);
  }
}

#endif  // STRATUMIX_READ_TEXT_RUN_LOOP_H_
