#include "report/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class FakeClock : public Clock {
 public:
  double seconds() override { return now; }
  double now = 1000;
};

// A terminal of one or more lines of cells, as a real one shows the bytes:
// CR goes back to the first column, LF to the next line, a tab to the next
// stop of eight, ESC [ A up a line, ESC [ n C n columns right; a character
// takes one cell whatever its bytes, but a CJK ideograph (lead byte E3 to
// E9), a symbol of U+2300 to U+2BFF (E2 8C to E2 AF: the watch, the star)
// and a character past U+FFFF (F0: emoji) take two, as glibc counts the
// emoji among them.
class ScreenTerminal : public Terminal {
 public:
  explicit ScreenTerminal(int columns) : columns_(columns) {}
  int width() override { return columns_; }
  void show(std::string_view text) override {
    ++shows;
    written += text;
    for (std::size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\x1b') {
        std::size_t end = text.find_first_of("AC", i);
        ASSERT_NE(end, std::string_view::npos) << text;
        std::string_view count = text.substr(i + 2, end - i - 2);
        if (text[end] == 'A') {
          ASSERT_GT(row_, 0u) << "up from the first line";
          --row_;
        } else {
          column_ += static_cast<std::size_t>(std::stoi(std::string(count)));
        }
        i = end;
      } else if (c == '\r') {
        column_ = 0;
      } else if (c == '\n') {
        if (++row_ == lines.size()) lines.emplace_back();
        column_ = 0;
      } else if (c == '\t') {
        column_ = (column_ / 8 + 1) * 8;
      } else if ((static_cast<unsigned char>(c) & 0xc0) == 0x80) {
        lines[row_][column_ - 1] += c;
      } else {
        std::vector<std::string>& line = lines[row_];
        auto lead = static_cast<unsigned char>(c);
        auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        bool wide = (lead >= 0xe3 && lead <= 0xe9) || lead == 0xf0 ||
                    (lead == 0xe2 && next >= 0x8c && next <= 0xaf);
        if (line.size() <= column_ + wide) line.resize(column_ + wide + 1, " ");
        line[column_++] = std::string(1, c);
        if (wide) line[column_++] = "";
        ASSERT_LE(column_, static_cast<std::size_t>(columns_ - 1)) << "wrapped: " << text;
      }
    }
  }
  std::string line(std::size_t i) const {
    std::string text;
    for (const std::string& cell : lines.at(i)) text += cell;
    return text.erase(text.find_last_not_of(' ') + 1);
  }

  std::vector<std::vector<std::string>> lines{1};
  std::string written;
  int shows = 0;

 private:
  int columns_;
  std::size_t row_ = 0;
  std::size_t column_ = 0;
};

TEST(ProgressBar, RedrawsAtMostTenTimesASecond) {
  FakeClock clock;
  ScreenTerminal terminal(100);
  ProgressBar bar(clock, terminal, 3, 3000000);
  bar.start_file(1, "a.xyz");
  for (int ms = 1; ms <= 2000; ++ms) {
    clock.now += 0.001;
    bar.update(std::int64_t{ms} * 1000, std::int64_t{ms} * 30);
    if (ms == 700) bar.start_file(2, "b.xyz");
  }
  EXPECT_GE(terminal.shows, 19);
  EXPECT_LE(terminal.shows, 20);
  EXPECT_EQ(terminal.lines.size(), 1u);
  EXPECT_NE(terminal.line(0).find("2/3 b.xyz"), std::string::npos) << terminal.line(0);
}

TEST(ProgressBar, AJobShorterThanATenthShowsNothing) {
  FakeClock clock;
  ScreenTerminal terminal(80);
  ProgressBar bar(clock, terminal, 1, 100);
  bar.start_file(1, "a.xyz");
  clock.now += 0.05;
  bar.update(100, 3);
  bar.redraw();
  bar.erase();
  EXPECT_EQ(terminal.written, "");
}

TEST(ProgressBar, ErasedAtTheEndAndRedrawnAfterAMessage) {
  FakeClock clock;
  ScreenTerminal terminal(80);
  ProgressBar bar(clock, terminal, 2, 1000);
  bar.start_file(1, "a-much-longer-name-than-the-next.xyz");
  clock.now += 0.2;
  bar.update(100, 7);
  bar.start_file(2, "b.xyz");
  clock.now += 0.2;
  bar.update(500, 9);  // a shorter line: no rest of the first may stay
  EXPECT_EQ(terminal.line(0).find(".xyz") + 4, terminal.line(0).find(" ["));
  EXPECT_EQ(terminal.line(0).find("longer"), std::string::npos) << terminal.line(0);

  // A message goes above the bar, which comes back below it.
  Console console;
  std::size_t before = terminal.written.size();
  console.capture(nullptr, &terminal.written);
  console.set_status_line(&bar, false);
  console.error("warning: b.xyz, line 2");
  std::string after = terminal.written.substr(before);
  std::size_t message = after.find("stratumix: warning: b.xyz, line 2\n");
  ASSERT_NE(message, std::string::npos) << after;
  std::string erasure(message, ' ');  // CR, blanks over the bar, CR
  erasure.front() = erasure.back() = '\r';
  EXPECT_EQ(after.substr(0, message), erasure) << "the message would go through the bar";
  EXPECT_EQ(after.find("\r2/2 b.xyz"), after.find('\n') + 1) << "not redrawn below it";

  bar.erase();
  EXPECT_EQ(terminal.line(terminal.lines.size() - 1), "");
  EXPECT_EQ(terminal.written.back(), '\r');
  EXPECT_EQ(terminal.lines.size(), 1u);
}

TEST(ProgressBar, GoesBelowConsoleTextThatEndsMidLine) {
  FakeClock clock;
  ScreenTerminal terminal(80);
  ProgressBar bar(clock, terminal, 1, 1000);
  bar.start_file(1, "a.xyz");
  clock.now += 0.2;
  bar.update(10, 1);
  bar.erase();
  // The console's text, as the pasting shows its progress lines: each
  // overwrites the last, the bar staying on the line below.
  for (const char* record : {"100000", "200000"}) {
    bar.erase();
    terminal.show(std::string("\t\trecord ") + record + "            \r    ");
    bar.below_text(4);
    bar.redraw();
    ASSERT_EQ(terminal.lines.size(), 2u) << terminal.written;
    EXPECT_EQ(terminal.line(0), std::string("\t\trecord ").replace(0, 2, 16, ' ') + record);
    EXPECT_NE(terminal.line(1).find("1/1 a.xyz"), std::string::npos);
  }
  bar.erase();
  terminal.show("\n\n\tlayer 1 ");
  EXPECT_EQ(terminal.line(2), "        layer 1") << terminal.written;
}

// A name is the user's bytes: a line break, a tab or an escape in it would
// move the cursor, and bytes that are no UTF-8 take a cell each, so that
// the bar would wrap or leave lines behind it.
TEST(ProgressBar, NamesOfAnyBytesStayOnOneLine) {
  FakeClock clock;
  ScreenTerminal terminal(60);
  ProgressBar bar(clock, terminal, 1, 1000);
  bar.start_file(1, "evil\nname\t\x1b[2J" + std::string(80, '\x80') + ".xyz");
  clock.now += 0.2;
  bar.update(100, 7);
  EXPECT_EQ(terminal.lines.size(), 1u) << terminal.written;
  EXPECT_EQ(terminal.written.find_first_of("\n\t\x1b"), std::string::npos) << terminal.written;
  bar.erase();
  EXPECT_EQ(terminal.line(0), "");
}

TEST(ProgressLine, TheFiguresOfTheJob) {
  ProgressState state{2, 400, "tiles/t0002.xyz", 50000000, 200000000, 1234567, 10.0};
  std::string line = progress_line(state, 120);
  EXPECT_EQ(line.find("2/400 tiles/t0002.xyz ["), 0u) << line;
  for (const char* figure : {"25%", "1234567 points", "5.0 MB/s", "0:30 left"}) {
    EXPECT_NE(line.find(figure), std::string::npos) << figure << " in " << line;
  }
  state.bytes = 150000000;  // a third of the rest in a third of the time
  state.seconds = 3600 * 1.5;
  EXPECT_NE(progress_line(state, 120).find("30:00 left"), std::string::npos);
  state.seconds = 3 * 3600 * 3 + 1;
  EXPECT_NE(progress_line(state, 120).find("3:00:00 left"), std::string::npos);
  state.bytes = state.total_bytes + 10;  // an input that grew meanwhile
  line = progress_line(state, 120);
  EXPECT_NE(line.find("100%"), std::string::npos) << line;
  EXPECT_EQ(line.find("left"), std::string::npos) << line;
}

TEST(ProgressLine, InputsOfUnknownSizeShowWhatIsKnown) {
  ProgressState state{1, 1, "/dev/stdin", 2500000, -1, 100, 2.0};
  std::string line = progress_line(state, 100);
  EXPECT_NE(line.find("2.5 MB read"), std::string::npos) << line;
  EXPECT_NE(line.find("1.2 MB/s"), std::string::npos) << line;  // 1.25 ties to even
  EXPECT_EQ(line.find('%'), std::string::npos) << line;
  EXPECT_EQ(line.find('['), std::string::npos) << line;
  EXPECT_EQ(line.find("left"), std::string::npos) << line;
}

// However narrow the terminal and long the name, wide characters in it or
// not, one line that never reaches the last column, with the end of the
// name kept.
TEST(ProgressLine, FitsAnyWidth) {
  for (std::string name : {"/data/relev\u00e9s/\u00cele-de-France/block-7/tile_0001234.xyz",
                           "/data/\u6d4b\u7ed8\u6570\u636e\u5317\u533a/tile_0001234.xyz",
                           "/data/\u2705\u231a\u2b50\U0001f004\u2705\u231a\u2b50\U0001f004\u2705"
                           "\u231a\u2b50\U0001f004\u2705\u231a\u2b50\U0001f004/tile_0001234.xyz"})
    for (std::int64_t total : {std::int64_t{-1}, std::int64_t{987654321}}) {
      ProgressState state{1234, 10000, name, 123456789, total, 98765432, 3.5};
      for (int width = 1; width <= 160; ++width) {
        ScreenTerminal terminal(width + 1);  // which asserts the column
        std::string line = progress_line(state, width);
        terminal.show(line);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        if (width >= 60) {
          EXPECT_NE(line.find("1234.xyz"), std::string::npos) << width << ": " << line;
          EXPECT_NE(line.find(" points"), std::string::npos) << width << ": " << line;
        }
      }
    }
}

}  // namespace
