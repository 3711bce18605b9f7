#include "io/text_out.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "num/number.h"
#include "platform/platform.h"

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

void Console::put(std::string_view text) {
  if (!quiet_) pending_ += text;
}

void Console::flush() {
  if (pending_.empty()) return;
  at_line_start_ = pending_.back() == '\n';
  follow_column(pending_);
  StatusLine* in_the_way = status_shares_terminal_ ? status_line_ : nullptr;
  if (in_the_way != nullptr) in_the_way->erase();
  if (captured_out_ != nullptr) {
    *captured_out_ += pending_;
  } else {
    std::string shown = platform::for_console(stdout, pending_);
    errno = 0;
    bool written = std::fwrite(shown.data(), 1, shown.size(), stdout) == shown.size();
    written = std::fflush(stdout) == 0 && written;
    int error = errno != 0 ? errno : EIO;
    if (!written && !platform::nobody_reads(error) && output_error_ == 0) output_error_ = error;
  }
  pending_.clear();
  if (in_the_way != nullptr) {
    if (!at_line_start_) in_the_way->below_text(open_column_);
    in_the_way->redraw();
  }
}

void Console::follow_column(std::string_view text) {
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      open_column_ = 0;
    } else if (c == '\t') {
      open_column_ = (open_column_ / 8 + 1) * 8;  // the terminals' tab stops
    } else if ((static_cast<unsigned char>(c) & 0xc0) != 0x80) {
      ++open_column_;  // a character, whatever its UTF-8 bytes
    }
  }
}

void Console::end_line() {
  flush();
  if (at_line_start_ || quiet_) return;
  pending_.push_back('\n');
  flush();
}

void Console::error(std::string_view message) {
  flush();
  last_error_ = message;
  std::string line;
  // On a terminal a message must not go on from the end of a question.
  bool shared = captured_err_ == nullptr && platform::console_shared_with_errors();
  if (shared && !at_line_start_) line += '\n';
  if (shared) {
    at_line_start_ = true;
    open_column_ = 0;
  }
  line += "stratumix: ";
  line += message;
  line += '\n';
  if (status_line_ != nullptr) status_line_->erase();
  if (captured_err_ != nullptr) {
    *captured_err_ += line;
  } else {
    line = platform::for_console(stderr, line);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
  if (status_line_ != nullptr) status_line_->redraw();
}

bool Console::report_output_failure() {
  if (output_error_ == 0 || output_failure_reported_) return false;
  output_failure_reported_ = true;
  error(std::string("Cannot write standard output: ") + std::strerror(output_error_));
  return true;
}

void report_error(std::string_view message) { console.error(message); }
