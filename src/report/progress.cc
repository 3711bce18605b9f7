#include "report/progress.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "io/paths.h"
#include "num/number.h"
#include "platform/platform.h"
#include "report/job_summary.h"

namespace {

// A tenth of a second: the eye sees it move, the terminal is not flooded.
constexpr double kRedrawInterval = 0.1;
// Never the last column: a terminal that wraps there would start a second
// line, which no carriage return would take back.
constexpr int kMargin = 1;
constexpr int kMinBar = 10;
constexpr int kMaxBar = 30;
constexpr std::size_t kMinName = 12;

std::string two_digits(std::int64_t value) {
  std::string text(value < 10 ? "0" : "");
  return text += number::int_text(value);
}

// 0:07, 12:30, 1:02:03.
std::string duration(double seconds) {
  auto whole = static_cast<std::int64_t>(std::llround(seconds));
  std::int64_t hours = whole / 3600;
  std::int64_t minutes = whole / 60 % 60;
  std::string text =
      hours > 0 ? number::int_text(hours) + ":" + two_digits(minutes) : number::int_text(minutes);
  return text + ":" + two_digits(whole % 60);
}

bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

// Characters that take one column of a terminal, whatever its fonts and
// its age: letters of the alphabets, punctuation, currency. Any other takes
// two here, whether it is wide (East Asian scripts, emoji), wide in some
// terminals only (symbols and pictographs, drawn wide since Unicode 9 gave
// many of them emoji forms), or unknown: a name counted too wide is only
// cut shorter, one counted too narrow wraps the bar. A variation selector
// takes one, for the character before it that it may widen.
bool narrow(char32_t c) {
  static constexpr std::pair<char32_t, char32_t> kNarrow[] = {
      {0x20, 0x7e},     {0xa0, 0x10ff},   {0x1160, 0x20cf}, {0x2c00, 0x2e7f},
      {0xa4d0, 0xa95f}, {0xa980, 0xabff}, {0xd7b0, 0xd7ff}, {0xfb00, 0xfe0f},
      {0xfe20, 0xfe2f}, {0xfe70, 0xfeff}, {0xff61, 0xffdc}, {0xffe8, 0xffee}};
  return std::any_of(std::begin(kNarrow), std::end(kNarrow),
                     [c](auto range) { return c >= range.first && c <= range.second; });
}

// Columns, not bytes: the continuation bytes of UTF-8 take none, a
// character one or two.
std::size_t columns(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (continuation(text[i])) continue;
    char32_t c = byte < 0x80   ? byte
                 : byte < 0xe0 ? byte & 0x1f
                 : byte < 0xf0 ? byte & 0x0f
                               : byte & 0x07;
    for (std::size_t j = i + 1; byte >= 0x80 && j < text.size() && continuation(text[j]); ++j)
      c = c << 6 | (static_cast<unsigned char>(text[j]) & 0x3f);
    count += narrow(c) ? 1 : 2;
  }
  return count;
}

// The end of `name` in `room` columns, "..." in front of what is left out:
// the end of a path is what tells tiles apart.
std::string name_end(const std::string& name, std::size_t room) {
  if (columns(name) <= room) return name;
  if (room <= 3) return std::string(room, '.');
  std::size_t first = name.size();
  for (std::size_t kept = 0; first > 0;) {
    std::size_t lead = first - 1;
    while (lead > 0 && continuation(name[lead])) --lead;
    std::size_t width = columns(std::string_view(name).substr(lead, first - lead));
    if (kept + width > room - 3) break;
    kept += width;
    first = lead;
  }
  std::string text = "...";
  return text.append(name, first);
}

std::string bar(std::int64_t bytes, std::int64_t total, int width) {
  auto filled = static_cast<int>(std::min<std::int64_t>(width, bytes * width / total));
  std::string text = "[";
  text.append(static_cast<std::size_t>(filled), '#');
  text.append(static_cast<std::size_t>(width - filled), '.');
  return text += ']';
}

}  // namespace

double SteadyClock::seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool ErrorTerminal::present() { return platform::error_terminal_width() > 0; }

int ErrorTerminal::width() {
  // Forced on where standard error is no terminal, the bar takes the usual
  // width.
  int columns = platform::error_terminal_width();
  return columns > 0 ? columns : 80;
}

bool ErrorTerminal::moves_cursor() {
  static const bool moves = platform::error_terminal_moves_cursor();
  return moves;
}

void ErrorTerminal::show(std::string_view text) {
  std::string shown = platform::for_console(stderr, std::string(text));
  std::fwrite(shown.data(), 1, shown.size(), stderr);
  std::fflush(stderr);
}

std::string progress_line(const ProgressState& state, int width) {
  auto room = static_cast<std::size_t>(std::max(width - kMargin, 0));
  bool sized = state.total_bytes > 0;
  std::string head = number::int_text(state.file) + "/" + number::int_text(state.files) + " ";
  std::vector<std::string> tail;
  if (sized) {
    std::int64_t share = std::min<std::int64_t>(100, state.bytes * 100 / state.total_bytes);
    tail.push_back(number::int_text(share) + "%");
  } else {
    tail.push_back(number::fixed_text(static_cast<double>(state.bytes) / 1e6, 1) + " MB read");
  }
  tail.push_back(number::int_text(state.points) + " points");
  if (state.seconds > 0 && state.bytes > 0) {
    double rate = static_cast<double>(state.bytes) / state.seconds;
    tail.push_back(number::fixed_text(rate / 1e6, 1) + " MB/s");
    if (sized && state.bytes < state.total_bytes) {
      tail.push_back(duration(static_cast<double>(state.total_bytes - state.bytes) / rate) +
                     " left");
    }
  }
  // What goes first when the line is short: time left, speed, points.
  auto joined = [&tail]() {
    std::string text;
    for (const std::string& piece : tail) text += "  " + piece;
    return text;
  };
  while (tail.size() > 1 && head.size() + kMinName + joined().size() > room) tail.pop_back();
  std::string rest = joined();
  std::size_t fixed = head.size() + rest.size();
  std::size_t name_room = fixed < room ? room - fixed : 0;
  int bar_width = 0;
  if (sized && name_room >= columns(state.name) + 1 + kMinBar + 2) {
    bar_width =
        static_cast<int>(std::min<std::size_t>(kMaxBar, name_room - columns(state.name) - 1 - 2));
  } else if (sized && name_room >= kMinName + 1 + kMinBar + 2) {
    bar_width = kMinBar;
  }
  if (bar_width > 0) name_room -= static_cast<std::size_t>(bar_width) + 2 + 1;
  std::string line = head + name_end(state.name, name_room);
  if (bar_width > 0) {
    line += ' ';
    line += bar(state.bytes, state.total_bytes, bar_width);
  }
  line += rest;
  // A terminal narrower than anything useful gets what fits.
  while (columns(line) > room) {
    std::size_t cut = line.size() - 1;
    while (cut > 0 && continuation(line[cut])) --cut;
    line.resize(cut);
  }
  return line;
}

ProgressBar::ProgressBar(Clock& clock, Terminal& terminal, int files, std::int64_t total_bytes)
    : clock_(clock), terminal_(terminal) {
  state_.files = files;
  state_.total_bytes = total_bytes;
  start_ = drawn_at_ = clock_.seconds();
}

void ProgressBar::start_file(int number, std::string_view name) {
  state_.file = number;
  // Shown as messages show it: a control byte in a name would move the
  // cursor, and a byte that is no UTF-8 would take a cell that the line's
  // length does not count, so that the bar would wrap and not be erased.
  state_.name = paths::for_message(valid_utf8(name));
  update(state_.bytes, state_.points);
}

void ProgressBar::update(std::int64_t bytes, std::int64_t points) {
  state_.bytes = bytes;
  state_.points = points;
  double now = clock_.seconds();
  if (now - drawn_at_ < kRedrawInterval) return;
  drawn_at_ = now;
  state_.seconds = now - start_;
  draw();
}

void ProgressBar::draw() {
  std::string line = progress_line(state_, terminal_.width());
  std::size_t length = columns(line);
  // Below console text that ends mid-line, the bar takes the next line and
  // its erasing comes back; a terminal that cannot go back up gets no bar
  // until the console's line is ended.
  if (own_line_ && !terminal_.moves_cursor()) return;
  std::string text = own_line_ ? "\n" : "\r";
  below_ = below_ || own_line_;
  own_line_ = false;
  text += line;
  // What the last line showed beyond this one's end is blanked out.
  if (length < shown_) text += std::string(shown_ - length, ' ');
  shown_ = std::max(shown_, length);
  terminal_.show(text);
}

void ProgressBar::erase() {
  if (shown_ == 0) return;
  std::string blanks(shown_ + 2, ' ');
  blanks.front() = blanks.back() = '\r';
  if (below_) {
    blanks += "\x1b[A";
    if (text_column_ > 0)
      blanks += "\x1b[" + number::int_text(static_cast<std::int64_t>(text_column_)) + "C";
    below_ = false;
  }
  terminal_.show(blanks);
  shown_ = 0;
}

void ProgressBar::redraw() {
  if (state_.file > 0 && drawn_at_ > start_) draw();
}
