// Text composed piece by piece, as the program's C-style format strings
// would print it, with every number through the program's own formatter.
#ifndef STRATUMIX_IO_TEXT_OUT_H_
#define STRATUMIX_IO_TEXT_OUT_H_

#include <cstdint>
#include <string>
#include <string_view>

// A double printed as "%lf" prints it.
struct Fixed6 {
  double value;
};

class TextOut {
 public:
  TextOut& operator<<(std::string_view text) {
    put(text);
    return *this;
  }
  TextOut& operator<<(std::int64_t value);
  TextOut& operator<<(std::int32_t value) { return *this << static_cast<std::int64_t>(value); }
  TextOut& operator<<(Fixed6 value);

 protected:
  TextOut() = default;
  TextOut(const TextOut&) = default;
  TextOut& operator=(const TextOut&) = default;
  ~TextOut() = default;
  virtual void put(std::string_view text) = 0;
};

// A line kept at the foot of the terminal, the progress bar: the console's
// text and messages are written above it, never through it.
class StatusLine {
 public:
  virtual void erase() = 0;
  virtual void redraw() = 0;
  // The console's text ends mid-line, `column` columns in: the next drawing
  // goes below it, and the line's erasing comes back there.
  virtual void below_text(std::size_t column) = 0;

 protected:
  StatusLine() = default;
  StatusLine(const StatusLine&) = default;
  StatusLine& operator=(const StatusLine&) = default;
  ~StatusLine() = default;
};

// Standard output, kept until flush(): the program flushes before it waits
// for an answer or a key, when a file's report is complete, and when it
// ends. Standard error takes one message a call, prefixed with the
// program's name.
class Console : public TextOut {
 public:
  void flush();
  void error(std::string_view message);
  // The last message error() wrote, for the report of a job that stopped.
  const std::string& last_error() const { return last_error_; }
  void forget_errors() { last_error_.clear(); }
  // Flushes, then ends the last line shown if it is open, so that what
  // comes next (a shell's prompt) starts a line of its own.
  void end_line();

  // Standard output that could not be written is reported once, on
  // standard error; true when this call reported it. The dialogue's console
  // never reports it: its text has nowhere else to go, and its work is in
  // its files, whose errors are reported.
  bool report_output_failure();

  // Nothing goes to standard output.
  void set_quiet(bool quiet) { quiet_ = quiet; }
  bool quiet() const { return quiet_; }
  // Whether what was shown on standard output ends with a line break.
  bool at_line_start() const { return at_line_start_; }
  // The line drawn on standard error, if any; `shares_terminal` when
  // standard output shows on the same terminal.
  void set_status_line(StatusLine* line, bool shares_terminal) {
    status_line_ = line;
    status_shares_terminal_ = shares_terminal;
  }
  // For tests: what would go to standard output and standard error is
  // appended to these instead; null restores the streams.
  void capture(std::string* out, std::string* err) {
    captured_out_ = out;
    captured_err_ = err;
    at_line_start_ = true;
    open_column_ = 0;
    output_error_ = 0;
    output_failure_reported_ = false;
  }

 private:
  void put(std::string_view text) override;
  std::string pending_;
  bool quiet_ = false;
  bool at_line_start_ = true;  // what was shown ends with a line break
  // The columns of the last line shown, which a status line below it comes
  // back to.
  std::size_t open_column_ = 0;
  void follow_column(std::string_view text);
  std::string last_error_;
  int output_error_ = 0;  // the errno of the first failed write to standard output
  bool output_failure_reported_ = false;
  StatusLine* status_line_ = nullptr;
  bool status_shares_terminal_ = false;
  std::string* captured_out_ = nullptr;
  std::string* captured_err_ = nullptr;
};

void report_error(std::string_view message);

extern Console console;

#endif  // STRATUMIX_IO_TEXT_OUT_H_
