// The live progress bar of a command-line job at a terminal: one line on
// standard error that says how far the job is, how fast it goes and how
// long it will take, redrawn at most ten times a second and erased when the
// job ends. The clock and the terminal are behind small interfaces, so that
// tests drive time and read what was drawn.
#ifndef STRATUMIX_REPORT_PROGRESS_H_
#define STRATUMIX_REPORT_PROGRESS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "io/text_out.h"

// Seconds since some fixed moment, never going back.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double seconds() = 0;
};

class SteadyClock : public Clock {
 public:
  double seconds() override;
};

// Where the bar is drawn.
class Terminal {
 public:
  virtual ~Terminal() = default;
  // Columns of the terminal's line.
  virtual int width() = 0;
  virtual void show(std::string_view text) = 0;
  // Whether the terminal takes the cursor up a line (ESC [ A) and right
  // (ESC [ n C), as every terminal of the VT100 family does.
  virtual bool moves_cursor() { return true; }
};

// Standard error, when it is a terminal.
class ErrorTerminal : public Terminal {
 public:
  // Whether standard error is a terminal the bar can be drawn on.
  static bool present();
  int width() override;
  void show(std::string_view text) override;
  bool moves_cursor() override;
};

// What the bar shows at one moment.
struct ProgressState {
  int file = 0;  // the number of the input being read, from 1
  int files = 0;
  std::string name;
  std::int64_t bytes = 0;         // read of all inputs so far
  std::int64_t total_bytes = -1;  // of all inputs; negative when not known
  std::int64_t points = 0;
  double seconds = 0;  // since the job began
};

// The bar's text for `state`, at most `width` characters (UTF-8 names
// count by their characters).
std::string progress_line(const ProgressState& state, int width);

class ProgressBar final : public StatusLine {
 public:
  // For a job of `files` inputs of `total_bytes` in all, negative when one
  // of them has a size not known beforehand (a pipe).
  ProgressBar(Clock& clock, Terminal& terminal, int files, std::int64_t total_bytes);
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void start_file(int number, std::string_view name);
  // Bytes read of all inputs and points pasted so far: drawn when a tenth
  // of a second has passed since the last drawing (or since the start, so
  // that a job shorter than that shows nothing).
  void update(std::int64_t bytes, std::int64_t points);

  void erase() override;
  void redraw() override;
  void below_text(std::size_t column) override {
    own_line_ = true;
    text_column_ = column;
  }

 private:
  void draw();

  Clock& clock_;
  Terminal& terminal_;
  ProgressState state_;
  double start_ = 0;
  double drawn_at_ = 0;
  std::size_t shown_ = 0;  // characters of the line on the terminal now
  bool own_line_ = false;  // the console's text ends mid-line: go below it
  bool below_ = false;     // drawn below that text, which ends at text_column_
  std::size_t text_column_ = 0;
};

#endif  // STRATUMIX_REPORT_PROGRESS_H_
