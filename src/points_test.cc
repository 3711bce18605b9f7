#include "points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "failure.h"

namespace {

// Hands out `text` a few bytes at a time, so that words straddle reads.
class TextSource : public ByteSource {
 public:
  TextSource(std::string text, std::size_t chunk, bool fail_at_end = false)
      : text_(std::move(text)), chunk_(chunk), fail_at_end_(fail_at_end) {}
  std::size_t read(char* buffer, std::size_t size) override {
    std::size_t n = std::min({size, chunk_, text_.size() - offset_});
    if (n == 0 && fail_at_end_) throw Failure{1, "Cannot read: I/O error"};
    std::copy_n(text_.data() + offset_, n, buffer);
    offset_ += n;
    return n;
  }

 private:
  std::string text_;
  std::size_t chunk_;
  std::size_t offset_ = 0;
  bool fail_at_end_;
};

class StringSink : public ByteSink {
 public:
  explicit StringSink(std::string& bytes) : bytes_(bytes) {}
  void write(const char* data, std::size_t size) override { bytes_.append(data, size); }
  void close() override {}

 private:
  std::string& bytes_;
};

struct Pasted {
  std::string lines;  // as written to the result
  std::string problem;
};

Pasted paste(const std::string& text, std::size_t chunk = 1 << 20, std::size_t buffer = 64) {
  TextSource source(text, chunk);
  PointReader reader(source, buffer);
  Pasted pasted;
  OutputFile file;
  file.open(std::make_unique<StringSink>(pasted.lines));
  Point point;
  while (reader.next(point)) write_point(file, point);
  file.close();
  pasted.problem = reader.problem();
  return pasted;
}

TEST(Points, AreWrittenAsPercentLfWithCrLf) {
  EXPECT_EQ(paste("1 2 3\n").lines, "1.000000 2.000000 3.000000\r\n");
  EXPECT_EQ(paste("1e3 -2.5E-1 7.1234567").lines, "1000.000000 -0.250000 7.123457\r\n");
  EXPECT_EQ(paste("-0 nan -inf\n").lines, "-0.000000 nan -inf\r\n");
}

TEST(Points, LineStructureDoesNotMatter) {
  std::string expected = "1.000000 2.000000 3.000000\r\n4.000000 5.000000 6.000000\r\n";
  for (const char* text : {"1 2 3\n4 5 6\n", "1 2 3\n4 5 6", "1\n2\n3 4\n5\n6\n", "1 2 3 4 5 6",
                           "1 2 3\r\n4 5 6\r\n", "1 2 3\r4 5 6", "\t1\v2\f3  4 5 6 \n\n"}) {
    Pasted pasted = paste(text);
    EXPECT_EQ(pasted.lines, expected) << text;
    EXPECT_EQ(pasted.problem, "") << text;
  }
}

TEST(Points, CtrlZEndsTheText) {
  EXPECT_EQ(paste("1 2 3\n\x1a" "4 5 6\n").lines, "1.000000 2.000000 3.000000\r\n");
  EXPECT_EQ(paste("1 2 3\x1a" "4 5 6\n").lines, "1.000000 2.000000 3.000000\r\n");
  Pasted cut = paste("1 2 3\n4 5\x1a" "6\n");
  EXPECT_EQ(cut.lines, "1.000000 2.000000 3.000000\r\n");
  EXPECT_EQ(cut.problem, "line 2: \"4 5\" is not a whole point (X Y Z)");
}

TEST(Points, EmptyAndBlankTextsHoldNoPoint) {
  for (const char* text : {"", "\n", " \r\n\t ", "\x1a" "1 2 3"}) {
    Pasted pasted = paste(text);
    EXPECT_EQ(pasted.lines, "");
    EXPECT_EQ(pasted.problem, "");
  }
}

TEST(Points, TextThatIsNotANumberStopsTheReadingWithItsLine) {
  Pasted pasted = paste("1 2 3\n4 5 6\n7 8 abc\n10 11 12\n");
  EXPECT_EQ(pasted.lines, "1.000000 2.000000 3.000000\r\n4.000000 5.000000 6.000000\r\n");
  EXPECT_EQ(pasted.problem, "line 3: \"abc\" is not a number");

  EXPECT_EQ(paste("X Y Z\n1 2 3\n").problem, "line 1: \"X\" is not a number");
  EXPECT_EQ(paste("1,5 2,5 3,5\n").problem, "line 1: \"1,5\" is not a number");
  EXPECT_EQ(paste("1 2\n\n3x\n").problem, "line 3: \"3x\" is not a number");
  EXPECT_EQ(paste("1 2 \x01\xff").problem, "line 1: \"\\x01\\xff\" is not a number");
  EXPECT_EQ(paste(std::string(50, 'w'), 7, 128).problem,
            "line 1: \"" + std::string(40, 'w') + "...\" is not a number");
}

TEST(Points, AnIncompleteLastPointIsNamed) {
  Pasted pasted = paste("1 2 3\n4\n5");
  EXPECT_EQ(pasted.lines, "1.000000 2.000000 3.000000\r\n");
  EXPECT_EQ(pasted.problem, "line 2: \"4 5\" is not a whole point (X Y Z)");
  EXPECT_EQ(paste("1 2 3 4").problem, "line 1: \"4\" is not a whole point (X Y Z)");
}

TEST(Points, AWordLongerThanTheBufferIsNotANumber) {
  Pasted pasted = paste("1 2 3\n" + std::string(200, '1') + " 2 3\n", 16, 64);
  EXPECT_EQ(pasted.lines, "1.000000 2.000000 3.000000\r\n");
  EXPECT_EQ(pasted.problem, "line 2: a point longer than 64 bytes");
}

TEST(Points, AReadErrorIsAFailureNotAnEnd) {
  TextSource source("1 2 3\n4 5 6\n", 4, true);
  PointReader reader(source, 64);
  Point point;
  ASSERT_TRUE(reader.next(point));
  EXPECT_THROW(while (reader.next(point)) {}, Failure);
}

TEST(Points, EveryReadAndBufferSizeGivesTheSameResult) {
  std::mt19937 random(99);
  std::string text;
  for (int i = 0; i < 400; ++i) {
    text += std::to_string(random() % 1000000) + "." + std::to_string(random() % 1000) +
            (i % 3 == 2 ? (i % 7 == 0 ? "\r\n" : "\n") : i % 5 == 0 ? "\t " : " ");
  }
  Pasted whole = paste(text, 1 << 20, 1 << 20);
  EXPECT_EQ(std::count(whole.lines.begin(), whole.lines.end(), '\n'), 400 / 3);
  for (std::size_t chunk : {1, 2, 3, 7, 64}) {
    for (std::size_t buffer : {64, 65, 100, 4096}) {
      Pasted pasted = paste(text, chunk, buffer);
      ASSERT_EQ(pasted.lines, whole.lines) << chunk << " " << buffer;
      ASSERT_EQ(pasted.problem, whole.problem);
    }
  }
}

}  // namespace
