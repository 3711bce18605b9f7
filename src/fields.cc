#include "fields.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "bytes.h"
#include "number.h"
#include "points.h"
#include "run_loop.h"

namespace {

constexpr char kCtrlZ = 0x1a;
// The longest line a point makes, and the bytes copy_decimal may write
// past the last number.
constexpr std::size_t kLongestLine = kMaxPointLine + 8;

// What a byte is to the quick way.
enum : unsigned char {
  kOrdinary = 0,
  kBlank = 1,      // white space within a line that is not the separator
  kSeparator = 2,  // with white space as separator, its bytes are blanks too
  kLineEnd = 4,
  kOther = 8,  // a quote, a NUL: the general way
};

std::string text_of(std::int64_t value) { return std::to_string(value); }

std::string quoted(std::string_view text) {
  return ::quoted(text.data(), text.data() + text.size());
}

}  // namespace

FieldReader::FieldReader(ByteSource& source, const layout::Layout& layout, std::size_t buffer_size,
                         bool quickly)
    : source_(source),
      layout_(layout),
      quickly_(quickly),
      in_order_(layout.xyz[0] < layout.xyz[1] && layout.xyz[1] < layout.xyz[2]),
      capacity_(buffer_size),
      buffer_(new char[buffer_size + kTextSlack]),
      to_skip_(layout.data_start),
      line_(layout.data_line) {
  std::copy(layout.xyz, layout.xyz + 3, want_);
  for (char c : {' ', '\t', '\v', '\f'}) classes_[static_cast<unsigned char>(c)] = kBlank;
  if (layout.separator == ' ') {
    for (char c : {' ', '\t', '\v', '\f'}) classes_[static_cast<unsigned char>(c)] |= kSeparator;
  } else {
    classes_[static_cast<unsigned char>(layout.separator)] = kSeparator;
  }
  classes_[static_cast<unsigned char>('\r')] = kLineEnd;
  classes_[static_cast<unsigned char>('\n')] = kLineEnd;
  classes_[static_cast<unsigned char>('"')] = kOther;
  classes_[0] = kOther;
  end_text(buffer_.get());
}

std::int64_t FieldReader::copy_points(OutputFile& file, Extent& x, Extent& y, std::int64_t count) {
  std::int64_t copied = 0;
  while (copied < count && !stopped_) {
    if (position_ >= whole_ && !refill()) {
      stopped_ = true;
      break;
    }
    char* const data = buffer_.get();
    char* p = data + position_;
    const char* const whole = data + whole_;
    char* o = file.reserve(kLongestLine);
    const char* const room_end = file.room_end();
    while (copied < count && p < whole &&
           room_end - o >= static_cast<std::ptrdiff_t>(kLongestLine)) {
      Line line = quickly_ && in_order_ ? copy_line_quickly(p, o, x, y) : Line::kGeneral;
      if (line == Line::kGeneral) line = copy_line(p, o, x, y);
      if (line == Line::kPoint) {
        ++copied;
        ++points_;
      } else if (line == Line::kStopped) {
        stopped_ = true;
        break;
      }
    }
    file.commit(o);
    position_ = static_cast<std::size_t>(p - data);
  }
  return copied;
}

// Keeps the line begun, moved to the front, and reads on until at least
// one whole line is there. False at the end, or at a line longer than the
// buffer, which problem() then describes.
bool FieldReader::refill() {
  char* data = buffer_.get();
  std::size_t kept = end_ - position_;
  std::memmove(data, data + position_, kept);
  end_ = kept;
  position_ = 0;
  whole_ = 0;
  end_text(data + end_);
  for (;;) {
    std::size_t skipped = std::min(to_skip_, end_ - position_);
    position_ += skipped;
    to_skip_ -= skipped;
    if (to_skip_ == 0) {
      find_whole_lines();
      if (whole_ > position_) return true;
    } else {
      end_ = position_ = 0;
    }
    if (source_ended_) return false;
    if (end_ == capacity_) {
      set_problem("a line longer than " + text_of(static_cast<std::int64_t>(capacity_)) + " bytes");
      return false;
    }
    std::size_t got = source_.read(data + end_, capacity_ - end_);
    if (got == 0) {
      source_ended_ = true;
    } else {
      take_read(got);
    }
  }
}

// Adds the `got` bytes read at end_ to the text, as far as a Ctrl-Z.
void FieldReader::take_read(std::size_t got) {
  char* first = buffer_.get() + end_;
  if (void* stop = std::memchr(first, kCtrlZ, got); stop != nullptr) {
    got = static_cast<std::size_t>(static_cast<char*>(stop) - first);
    source_ended_ = true;
  }
  end_ += got;
  end_text(buffer_.get() + end_);
}

// Sets whole_ past the last line end read; a CR at the very end only ends
// a line once no LF can follow it.
void FieldReader::find_whole_lines() {
  if (source_ended_) {
    whole_ = end_;
    return;
  }
  const char* data = buffer_.get();
  std::size_t at = end_;
  while (at > position_) {
    char c = data[at - 1];
    if (c == '\n' || (c == '\r' && at != end_)) break;
    --at;
  }
  whole_ = at;
}

// The first line end at or after `p`, or the end of the whole lines.
const char* FieldReader::line_end(const char* p) const {
  const char* last = buffer_.get() + whole_;
  while (p != last && *p != '\n' && *p != '\r') ++p;
  return p;
}

void FieldReader::set_problem(const std::string& what) {
  problem_ = "line " + text_of(line_) + ": " + what;
}

// The usual line, unquoted, of short plain decimals: each number of X Y Z
// is found in one look at sixteen bytes and copied by copy_decimal, the
// separator after it lent the white space that copy_decimal wants (and a
// decimal comma lent a point) for as long as it looks. Anything else is
// left to the general way, with nothing written or changed.
FieldReader::Line FieldReader::copy_line_quickly(char*& line, char*& out, Extent& x, Extent& y) {
  const unsigned char* const classes = classes_;
  auto class_of = [classes](char c) { return classes[static_cast<unsigned char>(c)]; };
  const bool white = layout_.separator == ' ';
  // Between commas a decimal comma can only be quoted: the general way.
  const bool decimal_comma = layout_.decimal_comma;
  const bool comma_separated = layout_.separator == ',';
  char* p = line;
  char* o = out;
  bool pending[2] = {false, false};
  double values[2] = {0, 0};
  int field = 0;
  int axis = 0;
  int wanted = want_[0];
  while (class_of(*p) & kBlank) ++p;
  if (class_of(*p) & kLineEnd) {
    p += p[0] == '\r' && p[1] == '\n' ? 2 : 1;
    ++line_;
    line = p;
    return Line::kBlank;
  }
  for (;;) {
    if (field == wanted) {
      char* digits = p + (*p == '-' || *p == '+');
      unsigned not_digits = bytes::not_digits_16(digits);
      char* mark = digits + std::countr_zero(not_digits);
      char* end = mark;
      bool comma = decimal_comma && !comma_separated && *mark == ',';
      if (*mark == '.' || comma) end = digits + std::countr_zero(not_digits & (not_digits - 1));
      if (end >= digits + 16) return Line::kGeneral;
      char after = *end;
      if ((class_of(after) & (kBlank | kSeparator | kLineEnd)) == 0) return Line::kGeneral;
      *end = ' ';
      if (comma) *mark = '.';
      Decimal decimal;
      const char* copied = copy_decimal(p, o, decimal);
      if (copied == end && axis < 2) {
        Extent& extent = axis == 0 ? x : y;
        if (extent.could_change_key(decimal.integer_key()) &&
            extent.could_change(decimal.floor_bound())) {
          pending[axis] = true;
          values[axis] = decimal.value();
        }
      }
      *end = after;
      if (comma) *mark = ',';
      if (copied != end) return Line::kGeneral;
      p = end;
      *o++ = ' ';
      ++axis;
      wanted = axis < 3 ? want_[axis] : -1;
    } else if (white) {
      while (class_of(*p) == kOrdinary) ++p;
    } else {
      while (class_of(*p) <= kBlank) ++p;
    }
    ++field;
    while (class_of(*p) & kBlank) ++p;
    unsigned char next = class_of(*p);
    if (next & kLineEnd) break;
    if (white) {
      if (next != kOrdinary) return Line::kGeneral;
      continue;
    }
    if (next != kSeparator) return Line::kGeneral;
    ++p;
    while (class_of(*p) & kBlank) ++p;
    if (class_of(*p) & kLineEnd) break;  // the empty field after a last separator
  }
  if (field != layout_.fields || axis != 3) return Line::kGeneral;
  o[-1] = '\r';
  *o++ = '\n';
  p += p[0] == '\r' && p[1] == '\n' ? 2 : 1;
  ++line_;
  if (pending[0]) x.add(values[0]);
  if (pending[1]) y.add(values[1]);
  line = p;
  out = o;
  return Line::kPoint;
}

// Any line: split into fields, each of X Y Z read as strtod reads it.
FieldReader::Line FieldReader::copy_line(char*& line, char*& out, Extent& x, Extent& y) {
  const char* last = line_end(line);
  std::string_view text(line, static_cast<std::size_t>(last - line));
  layout::split_fields(text, layout_.separator, fields_);
  if (!fields_.empty() && static_cast<int>(fields_.size()) != layout_.fields) {
    set_problem(quoted(text) + " holds " + text_of(static_cast<std::int64_t>(fields_.size())) +
                " fields where the file's lines hold " + text_of(layout_.fields));
    return Line::kStopped;
  }
  // The fields of X Y Z, decimal commas turned into points.
  std::string tokens[3];
  number::Parsed xyz[3];
  for (int axis = 0; axis < 3 && !fields_.empty(); ++axis) {
    const layout::Field& field = fields_[static_cast<std::size_t>(want_[axis])];
    std::string& token = tokens[axis];
    token.assign(field.text);
    if (layout_.decimal_comma) std::replace(token.begin(), token.end(), ',', '.');
    xyz[axis] = number::parse_token(token.data(), token.data() + token.size());
    if (!xyz[axis].ok) {
      set_problem(quoted(field.text) + " is not a number");
      return Line::kStopped;
    }
  }
  const char* next = last;
  if (next != buffer_.get() + end_) {
    next += next[0] == '\r' && next[1] == '\n' ? 2 : 1;
    ++line_;
  }
  line = const_cast<char*>(next);
  if (fields_.empty()) return Line::kBlank;
  char* o = out;
  for (int axis = 0; axis < 3; ++axis) {
    std::size_t length =
        copy_token(tokens[axis].data(), tokens[axis].data() + tokens[axis].size(), o);
    o = length != 0 ? o + length : number::format_fixed6(xyz[axis].value, o);
    *o++ = axis < 2 ? ' ' : '\r';
  }
  *o++ = '\n';
  out = o;
  x.add(xyz[0].value);
  y.add(xyz[1].value);
  return Line::kPoint;
}
