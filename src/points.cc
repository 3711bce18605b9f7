#include "points.h"

#include <cstring>

namespace {

constexpr char kCtrlZ = 0x1a;

// Which bytes separate numbers: the C library's white space.
struct WhiteSpace {
  bool table[256] = {};
  constexpr WhiteSpace() {
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[static_cast<unsigned char>(c)] = true;
  }
  bool operator()(char c) const { return table[static_cast<unsigned char>(c)]; }
};
constexpr WhiteSpace is_white;

// Text of the file for a message, in quotes: at most 40 bytes of it, white
// space as one space, unprintable bytes escaped.
std::string quoted(const char* first, const char* last) {
  constexpr std::ptrdiff_t kShown = 40;
  std::string text = "\"";
  while (last != first && is_white(last[-1])) --last;
  const char* shown_end = last - first > kShown ? first + kShown : last;
  for (const char* p = first; p != shown_end; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (is_white(*p)) {
      if (text.back() != ' ') text += ' ';
    } else if (c >= 0x20 && c < 0x7f) {
      text += *p;
    } else {
      static const char kHex[] = "0123456789abcdef";
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  if (shown_end != last) text += "...";
  text += '"';
  return text;
}

}  // namespace

PointReader::PointReader(ByteSource& source, std::size_t buffer_size)
    : source_(source), buffer_(buffer_size) {}

// Keeps the current point's text, moved to the front, and reads more
// behind it. Returns false when nothing more can come.
bool PointReader::refill() {
  if (source_ended_) return false;
  std::size_t kept = end_ - point_first_;
  std::memmove(buffer_.data(), buffer_.data() + point_first_, kept);
  position_ -= point_first_;
  word_first_ -= point_first_;
  point_first_ = 0;
  end_ = kept;
  if (end_ == buffer_.size()) return false;
  std::size_t got = source_.read(buffer_.data() + end_, buffer_.size() - end_);
  if (got == 0) {
    source_ended_ = true;
    return false;
  }
  if (void* stop = std::memchr(buffer_.data() + end_, kCtrlZ, got)) {
    got = static_cast<std::size_t>(static_cast<char*>(stop) - (buffer_.data() + end_));
    source_ended_ = true;
  }
  end_ += got;
  return true;
}

PointReader::Word PointReader::next_word(bool starts_point) {
  for (;;) {
    const char* data = buffer_.data();
    while (position_ < end_ && is_white(data[position_])) {
      if (data[position_] == '\n') ++line_;
      ++position_;
    }
    if (starts_point) point_first_ = position_;
    if (position_ < end_) break;
    if (!refill() && position_ == end_) return end_ == buffer_.size() ? Word::kTooLong : Word::kEnd;
  }
  word_first_ = position_;
  if (starts_point) point_line_ = line_;
  for (;;) {
    const char* data = buffer_.data();
    while (position_ < end_ && !is_white(data[position_])) ++position_;
    if (position_ < end_ || source_ended_) return Word::kFound;
    if (!refill()) return source_ended_ ? Word::kFound : Word::kTooLong;
  }
}

void PointReader::set_problem(std::int64_t line, const std::string& what) {
  problem_ = "line " + std::to_string(line) + ": " + what;
}

bool PointReader::next(Point& point) {
  for (int axis = 0; axis < 3; ++axis) {
    Word word = next_word(axis == 0);
    if (word == Word::kTooLong) {
      set_problem(point_line_, "a point longer than " + std::to_string(buffer_.size()) + " bytes");
      return false;
    }
    if (word == Word::kEnd) {
      if (axis > 0) {
        const char* data = buffer_.data();
        set_problem(point_line_,
                    quoted(data + point_first_, data + position_) + " is not a whole point (X Y Z)");
      }
      return false;
    }
    const char* data = buffer_.data();
    point.xyz[axis] = number::parse_token(data + word_first_, data + position_);
    if (!point.xyz[axis].ok) {
      set_problem(line_, quoted(data + word_first_, data + position_) + " is not a number");
      return false;
    }
  }
  return true;
}

void write_point(OutputFile& file, const Point& point) {
  char* out = file.reserve(kMaxPointLine);
  for (int axis = 0; axis < 3; ++axis) {
    const number::Parsed& n = point.xyz[axis];
    if (n.short_decimal) {
      std::memcpy(out, n.text, n.text_length);
      out += n.text_length;
    } else {
      out = number::format_fixed6(n.value, out);
    }
    *out++ = axis < 2 ? ' ' : '\r';
  }
  *out++ = '\n';
  file.commit(out);
}
