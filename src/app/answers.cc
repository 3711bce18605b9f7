#include "app/answers.h"

#include <cerrno>

#include "num/bytes.h"

namespace {

using bytes::is_digit;
using bytes::is_white;

constexpr std::int64_t kSaturated = std::int64_t{1} << 40;

}  // namespace

int Answers::next_char() {
  if (input_ != nullptr) {
    errno = 0;
    int c = std::getc(input_);
    if (c == EOF && std::ferror(input_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    return c;
  }
  if (typed_read_ == typed_.size()) return EOF;
  return static_cast<unsigned char>(typed_[typed_read_++]);
}

bool Answers::skip_white_space() {
  for (;;) {
    while (position_ < line_.size() && is_white(line_[position_])) ++position_;
    if (position_ < line_.size()) return true;
    line_.clear();
    position_ = 0;
    int c;
    while ((c = next_char()) != EOF) {
      line_ += static_cast<char>(c);
      if (c == '\n') break;
    }
    if (line_.empty()) return false;
  }
}

std::optional<std::string> Answers::word() {
  if (!skip_white_space()) return std::nullopt;
  std::size_t first = position_;
  while (position_ < line_.size() && !is_white(line_[position_])) ++position_;
  return line_.substr(first, position_ - first);
}

Answers::Count Answers::count() {
  Count count;
  if (!skip_white_space()) return count;
  std::size_t p = position_;
  bool negative = false;
  if (line_[p] == '+' || line_[p] == '-') negative = line_[p++] == '-';
  std::size_t digits = p;
  std::int64_t magnitude = 0;
  for (; p < line_.size() && is_digit(line_[p]); ++p) {
    if (magnitude < kSaturated) magnitude = magnitude * 10 + (line_[p] - '0');
  }
  std::size_t end = position_;
  while (end < line_.size() && !is_white(line_[end])) ++end;
  count.word = line_.substr(position_, end - position_);
  if (p == digits) {
    count.kind = Count::kNotANumber;
    count.text = count.word;
    return count;
  }
  count.kind = Count::kNumber;
  count.value = negative ? -magnitude : magnitude;
  count.fits_32_bits = count.value >= INT32_MIN && count.value <= INT32_MAX;
  count.text = line_.substr(position_, p - position_);
  position_ = p;
  return count;
}
