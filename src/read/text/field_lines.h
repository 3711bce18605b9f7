// The quick way of the fields reader: lines of fields read straight from
// the text and written to the result's buffer by the writer's `Out` (see
// write/xyz_text.h), in one pass, as the run loop does for plain files.
// The writer instantiates it with its own text.
#ifndef STRATUMIX_READ_TEXT_FIELD_LINES_H_
#define STRATUMIX_READ_TEXT_FIELD_LINES_H_

#include <bit>
#include <cstddef>
#include <cstdint>

#include "num/bytes.h"
#include "num/extent.h"
#include "read/text/run_loop.h"

namespace field_lines {

// What the quick way needs of a file's layout.
struct Scan {
  const unsigned char* classes;  // what each byte is, as below
  char separator;
  char mark;    // the decimal mark taken at once
  int fields;   // in a line
  int want[3];  // the fields of X, Y, Z, in that order
};

// What a byte is to the quick way.
enum : unsigned char {
  kOrdinary = 0,
  kBlank = 1,      // white space within a line that is not the separator
  kSeparator = 2,  // with white space as separator, its bytes are blanks too
  kLineEnd = 4,
  kOther = 8,  // a quote, a NUL: the general way
};

// Where the quick way's copy of a number ends, in the text and in the
// output; a null `end` leaves the line to the general way.
struct Copied {
  char* end;
  char* out;
};

// What may come right after a number's text: anything else makes it no
// number, and the general way says so.
constexpr unsigned char kEndsField = kBlank | kSeparator | kLineEnd;

// The number the quick copy takes after one look at sixteen bytes: as many
// integer digits as a digit key holds (extent.h), a mark and six decimals,
// so that the byte after it is among the sixteen too.
constexpr int kKeyDigits = 8;
constexpr int kMostDecimals = 6;
static_assert(kKeyDigits + 1 + kMostDecimals < 16);

inline unsigned char class_of(const unsigned char* classes, const char* p) {
  return classes[static_cast<unsigned char>(*p)];
}

// The value of a plain decimal that might change an extent, which is rare:
// kept out of the loop so that its registers stay its own.
[[gnu::noinline]] inline double value_of(const char* digits, const char* last, int integer_digits,
                                         int decimals, bool negative) {
  return Decimal{digits, last, integer_digits, decimals, negative}.value();
}

// The numbers copy_number leaves: blanks before them, signs, leading zeros,
// longer ones. The text's copy_decimal takes them where the text is made what it
// reads, for as long as it looks: white space after the number, a point for
// a decimal comma. Anything else (an exponent, a name) is the general
// way's, with nothing written. `value` gets the number where it might
// change `extent` (none for an axis not measured), and `pending` says so.
template <class Out>
[[gnu::noinline]] Copied copy_other(Out text, char* p, char* o, char mark,
                                    const unsigned char* classes, const Extent* extent,
                                    bool& pending, double& value) {
  while (class_of(classes, p) & kBlank) ++p;
  char* digits = p + (*p == '-' || *p == '+');
  unsigned not_digits = bytes::not_digits_16(digits);
  char* point = digits + std::countr_zero(not_digits);
  // Where commas are decimal marks every comma is read as a point, so both
  // are.
  bool comma = mark == ',' && *point == ',';
  char* end = point;
  if (*point == '.' || comma) end = digits + std::countr_zero(not_digits & (not_digits - 1));
  if (end >= digits + 16) return {nullptr, o};
  char after = *end;
  if ((class_of(classes, end) & kEndsField) == 0) return {nullptr, o};
  *end = ' ';
  if (comma) *point = '.';
  char* out = o;
  Decimal decimal;
  const char* copied = text.copy_decimal(p, out, decimal);
  if (copied == end && extent != nullptr && extent->could_change_key(decimal.integer_key()) &&
      extent->could_change(decimal.floor_bound())) {
    pending = true;
    value = decimal.value();
  }
  *end = after;
  if (comma) *point = ',';
  if (copied != end) return {nullptr, o};
  return {end, out};
}

// Copies the number at `p` to `o`. Most numbers of point files, short
// plain decimals with no leading zero, are written from their own digits
// after one look at sixteen bytes, as the run loop of plain files takes
// them. Where the
// axis is `kMeasured`, the integer part is checked against `extent`; a
// number that might change it sets `pending` and `value`. A minus goes this
// way on Z alone (`kSigned`), as the run loop takes it. Inlined, so that
// the loop's own variables stay in registers.
template <class Out, bool kSigned, bool kMeasured>
[[gnu::always_inline]] inline Copied copy_number(Out text, char* p, char* o, char mark,
                                                 const unsigned char* classes, const Extent& extent,
                                                 bool& pending, double& value) {
  char* digits = p;
  char* out = o;
  bool negative = false;
  if constexpr (kSigned) {
    if (*digits == '-') {
      out = text.minus(out);
      ++digits;
      negative = true;
    }
  }
  if (static_cast<unsigned char>(*digits - '1') < 9) {
    unsigned not_digits = bytes::not_digits_16(digits);
    int integer_digits = std::countr_zero(not_digits);
    if (integer_digits <= kKeyDigits) {
      text.copy16(out, digits);
      char* end = digits + integer_digits;
      int decimals = 0;
      char* written;
      if (*end == mark) {
        int after = std::countr_zero(not_digits & (not_digits - 1));
        decimals = after - integer_digits - 1;
        end = digits + after;
        written = text.pad_marked_decimal(out, integer_digits, after);
      } else {
        written = text.pad_whole(out, integer_digits);
      }
      bool padded = decimals <= kMostDecimals;
      if constexpr (!Out::kPadsEveryShortDecimal) padded = padded && written != nullptr;
      if (padded) {
        if constexpr (kMeasured) {
          if (extent.could_change_digits(digits, integer_digits, negative)) [[unlikely]] {
            pending = true;
            value = value_of(digits, end, integer_digits, decimals, negative);
          }
        }
        return {end, written};
      }
    }
  }
  if constexpr (kMeasured) {
    return copy_other(text, p, o, mark, classes, &extent, pending, value);
  } else {
    // The loop's own flag and value keep out of memory.
    bool unused;
    double scratch;
    return copy_other(text, p, o, mark, classes, nullptr, unused, scratch);
  }
}

// Passes the text of a field that is not X, Y or Z, up to what ends it.
// Between separators blanks are the field's own; a quote, a NUL are the
// general way's.
template <bool kWhite>
inline char* pass_field(char* p, const unsigned char* classes) {
  if constexpr (kWhite) {
    while (class_of(classes, p) == kOrdinary) ++p;
  } else {
    while (class_of(classes, p) <= kBlank) ++p;
  }
  return p;
}

// The start of the next field, after the gap at `p` that ends a field's
// text, or null unless the gap is one separator (with white space as
// separator, a run of it) and a field follows: a line end there means fewer
// fields, which the general way reports. One separator and a field's first
// byte, the usual gap, cost one look each; the longer way takes blanks
// around the separator and empty fields.
template <bool kWhite>
inline char* next_field(char* p, char separator, const unsigned char* classes) {
  if constexpr (kWhite) {
    if ((class_of(classes, p) & kBlank) == 0) return nullptr;
    ++p;
    if (class_of(classes, p) == kOrdinary) return p;
    while (class_of(classes, p) & kBlank) ++p;
    return class_of(classes, p) == kOrdinary ? p : nullptr;
  } else {
    if (*p == separator && class_of(classes, p + 1) == kOrdinary) return p + 1;
    while (class_of(classes, p) & kBlank) ++p;
    if (*p != separator) return nullptr;
    ++p;
    while (class_of(classes, p) & kBlank) ++p;
    // A field that is empty ends at the next separator.
    return (class_of(classes, p) & (kLineEnd | kOther)) == 0 ? p : nullptr;
  }
}

// Past the line end after the last field's text at `p`, or null unless
// only blanks come before it (and between separators, an empty last field
// after a separator, which some programs end every line with).
template <bool kWhite>
inline char* past_line_end(char* p, char separator, const unsigned char* classes) {
  if (p[0] == '\r' && p[1] == '\n') return p + 2;
  if (p[0] != '\n') {
    while (class_of(classes, p) & kBlank) ++p;
    if (!kWhite && *p == separator) {
      ++p;
      while (class_of(classes, p) & kBlank) ++p;
    }
    if (p[0] == '\r') return p + (p[1] == '\n' ? 2 : 1);
    if (p[0] != '\n') return nullptr;
  }
  return p + 1;
}
// Up to `count` lines of points copied from `line` on, as long as the quick
// way takes them and they begin before `whole`; returns how many, with
// `line`, `out` and the line number moved on. A line is taken when it has
// the file's number of fields, its separators where they belong, and X Y Z
// are numbers copy_number takes; anything else (another number of fields,
// quotes, exponents, words) is left whole to the general way, which says
// what it is, with nothing of that line written or counted. Blank lines are
// passed over.
template <class Out, bool kWhite, Axes kAxes>
std::int64_t copy_lines(Out text, const Scan& scan, char*& line, char*& out, const char* whole,
                        std::int64_t count, Extents& extents, std::int64_t& line_number) {
  // The loop's own variables stay in registers: nothing takes their
  // address.
  const unsigned char* const classes = scan.classes;
  const char separator = scan.separator;
  const char mark = scan.mark;
  const int fields = scan.fields;
  const int want_x = scan.want[0];
  const int want_y = scan.want[1];
  const int want_z = scan.want[2];
  char* p = line;
  char* o = out;
  std::int64_t copied = 0;
  std::int64_t lines = 0;
  while (copied < count && p < whole) {
    char* q = p;
    if (class_of(classes, q) != kOrdinary) [[unlikely]] {
      while (class_of(classes, q) & kBlank) ++q;
      if (class_of(classes, q) & kLineEnd) {
        p = q + (q[0] == '\r' && q[1] == '\n' ? 2 : 1);
        ++lines;
        continue;
      }
    }
    // Passes the fields before `wanted`, or leaves the line.
    int field = 0;
    auto reach = [&](int wanted) {
      for (; field < wanted && q != nullptr; ++field) {
        q = next_field<kWhite>(pass_field<kWhite>(q, classes), separator, classes);
      }
      return q != nullptr;
    };
    // Nothing of a point counts until all of it is read: its extents are
    // applied once it is whole, which is seldom needed at all.
    bool x_pending = false;
    bool y_pending = false;
    bool z_pending = false;
    double x_value;
    double y_value;
    double z_value;
    if (!reach(want_x)) break;
    Copied c =
        copy_number<Out, false, true>(text, q, o, mark, classes, extents.x, x_pending, x_value);
    if (c.end == nullptr) break;
    ++field;
    q = next_field<kWhite>(c.end, separator, classes);
    if (!reach(want_y)) break;
    c = copy_number<Out, false, true>(text, q, text.between(c.out), mark, classes, extents.y,
                                      y_pending, y_value);
    if (c.end == nullptr) break;
    ++field;
    q = next_field<kWhite>(c.end, separator, classes);
    if (!reach(want_z)) break;
    c = copy_number<Out, true, kAxes == Axes::kXYZ>(text, q, text.between(c.out), mark, classes,
                                                    extents.z, z_pending, z_value);
    if (c.end == nullptr) break;
    // The fields after Z, if any.
    q = c.end;
    for (++field; field < fields && q != nullptr; ++field) {
      q = next_field<kWhite>(q, separator, classes);
      if (q != nullptr) q = pass_field<kWhite>(q, classes);
    }
    if (q == nullptr) break;
    q = past_line_end<kWhite>(q, separator, classes);
    if (q == nullptr) break;
    o = text.line_end(c.out);
    p = q;
    ++copied;
    ++lines;
    if (x_pending) [[unlikely]]
      extents.x.add(x_value);
    if (y_pending) [[unlikely]]
      extents.y.add(y_value);
    if constexpr (kAxes == Axes::kXYZ) {
      if (z_pending) [[unlikely]]
        extents.z.add(z_value);
    }
  }
  line = p;
  out = o;
  line_number += lines;
  return copied;
}

}  // namespace field_lines

#endif  // STRATUMIX_READ_TEXT_FIELD_LINES_H_
