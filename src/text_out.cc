#include "text_out.h"

#include <cstdio>

#include "number.h"

Console console;

TextOut& TextOut::operator<<(std::int64_t value) {
  char digits[number::kMaxIntLength];
  put(std::string_view(digits,
                       static_cast<std::size_t>(number::format_int(value, digits) - digits)));
  return *this;
}

TextOut& TextOut::operator<<(Fixed6 value) {
  char digits[number::kMaxFixed6Length];
  char* end = number::format_fixed6(value.value, digits);
  put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  return *this;
}

void Console::put(std::string_view text) { pending_ += text; }

void Console::flush() {
  // Console output that cannot be written has nowhere else to go: the
  // program's work is in its files, whose errors are reported.
  std::fwrite(pending_.data(), 1, pending_.size(), stdout);
  std::fflush(stdout);
  pending_.clear();
}

void report_error(std::string_view message) {
  console.flush();
  std::string line = "stratumix: ";
  line += message;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}
