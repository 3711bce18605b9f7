#include "read/text/run_loop.h"

#include <bit>
#include <charconv>

namespace {

using bytes::is_white;

// Where a number copied by copy_axis ends, in the text and in the output;
// a null `end` leaves the number to the general way.
struct Copied {
  const char* end;
  char* out;
};

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
[[gnu::noinline]] double value_of(const char* p) {
  char scratch[kMaxDecimalLength + 8];
  char* o = scratch;
  Decimal decimal{};
  copy_decimal(p, o, decimal);
  return decimal.value();
}

// The numbers copy_axis leaves: plain decimals of other shapes are copied as
// text, other decimal forms read and formatted. `value` gets the number
// when it might change `extent` (none for an axis not measured), and
// `measured` says so; otherwise `value` may be used as scratch.
[[gnu::noinline]] Copied copy_other(const char* p, const char* text_end, char* o,
                                    const Extent* extent, bool& measured, double& value) {
  Decimal decimal;
  const char* end = copy_decimal(p, o, decimal);
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
  return {end, number::format_fixed6(value, o)};
}

// Copies the number after the white space at `p` to `o` as "%f" writes it.
// The bulk of survey data, one to seven integer digits, then at most six
// decimals, is copied here after one look at sixteen bytes, with no branch
// per digit. Where the axis is `kMeasured`, its integer part is checked
// against `extent`; a number that might change it sets `pending` and
// `value`. A minus goes this way on Z alone (`kSigned`), where it is common
// below sea level; on X and Y it is rare and goes the longer way. Inlined,
// so that the loop's own variables stay in registers: only the out-of-line
// copy gets addresses, of its own.
template <bool kSigned, bool kMeasured>
[[gnu::always_inline]] inline Copied copy_axis(const char* p, const char* text_end, char* o,
                                               std::int64_t& line_ends, const Extent& extent,
                                               bool& pending, double& value) {
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
      // The text as it stands is its "%f" text but for the zeros that pad
      // the decimals to six.
      std::memcpy(o, p, 16);
      const char* end = p + integer_digits;
      if (*end == '.') {
        int after = std::countr_zero(not_digits & (not_digits - 1));
        if (after > integer_digits + 7) break;  // more than six decimals
        end = p + after;
        if (!is_white(*end)) break;
        bytes::store8(o + after, bytes::kZeros);
      } else {
        // A whole number, short and so dear per byte: its point and zeros
        // go in one store.
        if (!is_white(*end)) break;
        bytes::store8(o + integer_digits, bytes::kPointZeros);
      }
      if constexpr (kMeasured) {
        if (extent.could_change_digits(p, integer_digits, kSigned && negative)) [[unlikely]] {
          pending = true;
          value = value_of(p - (kSigned && negative));
        }
      }
      return {end, o + integer_digits + 7};
    }
    if constexpr (kSigned) {
      // "%f" writes a minus as it is, then the number's own text.
      if (*p == '-' && static_cast<unsigned char>(p[1] - '1') < 9) {
        *o++ = '-';
        ++p;
        negative = true;
        continue;
      }
    }
    if (!is_white(*p)) break;
    p = skip_white(p, line_ends);
  }
  bool measured = false;
  if constexpr (kMeasured) {
    if (negative) {
      // The longer way reads the number from its sign, for its value.
      --p;
      --o;
    }
    Copied copied = copy_other(p, text_end, o, &extent, measured, value);
    if (measured) pending = true;
    return copied;
  } else {
    // Past a minus written already, the longer way copies the digits. The
    // loop's own value keeps out of memory.
    double scratch;
    return copy_other(p, text_end, o, nullptr, measured, scratch);
  }
}

}  // namespace

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

std::size_t copy_token(const char* first, const char* last, char* out) {
  constexpr std::ptrdiff_t kLongestCopied = 40;
  if (last - first > kLongestCopied) return 0;
  // White space after the token, and the slack behind it.
  char padded[kLongestCopied + 1 + kTextSlack] = {};
  std::memcpy(padded, first, static_cast<std::size_t>(last - first));
  padded[last - first] = ' ';
  char text[kMaxDecimalLength + 8];
  char* o = text;
  Decimal decimal;
  if (copy_decimal(padded, o, decimal) != padded + (last - first)) return 0;
  auto length = static_cast<std::size_t>(o - text);
  std::memcpy(out, text, length);
  return length;
}

namespace {

template <Axes kAxes>
void run_points(Run& run, const char* stop, const char* text_end, std::int64_t count,
                Extents& extents) {
  // The loop's own variables stay in registers: nothing takes their
  // address.
  const char* p = run.end;
  char* o = run.out;
  std::int64_t line_ends = 0;
  std::int64_t copied = 0;
  bool stopped = false;
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
    Copied c =
        copy_axis<false, true>(p, text_end, o, point_line_ends, extents.x, x_pending, x_value);
    if (c.end != nullptr) {
      *c.out = ' ';
      c = copy_axis<false, true>(c.end, text_end, c.out + 1, point_line_ends, extents.y, y_pending,
                                 y_value);
    }
    if (c.end != nullptr) {
      *c.out = ' ';
      c = copy_axis<true, kAxes == Axes::kXYZ>(c.end, text_end, c.out + 1, point_line_ends,
                                               extents.z, z_pending, z_value);
    }
    if (c.end == nullptr) {
      stopped = true;
      break;
    }
    c.out[0] = '\r';
    c.out[1] = '\n';
    o = c.out + 2;
    p = c.end;
    line_ends += point_line_ends;
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

}  // namespace

void copy_run(Run& run, const char* stop, const char* text_end, std::int64_t count,
              Extents& extents, Axes axes) {
  if (axes == Axes::kXYZ) {
    run_points<Axes::kXYZ>(run, stop, text_end, count, extents);
  } else {
    run_points<Axes::kXY>(run, stop, text_end, count, extents);
  }
}
