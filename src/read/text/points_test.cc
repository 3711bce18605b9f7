#include "read/text/points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fake_disk.h"
#include "io/failure.h"
#include "io/read_ahead.h"
#include "write/xyz_writer.h"

namespace {

// Hands out `text` a few bytes at a time, so that words straddle reads.
struct Pasted {
  std::string lines;  // as written to the result
  std::string problem;
  int runs_passed = 0;  // runs that ended beyond the points asked for
};

// Pastes `text` point by point through the general way, next() and
// the writer, or through copy_points() and its fast path.
// With `ahead`, the text comes through a ReadAhead of blocks of `ahead`
// bytes, which the reader takes over whole while the point it keeps fits in
// front of them (16 bytes), and copies otherwise.
// The fast path goes in runs of `run` points, or of every length for 0.
// The extents kept are those of `axes`; the result is in `format`.
Pasted paste(const std::string& text, std::size_t chunk = 1 << 20, std::size_t buffer = 64,
             bool fast = false, Extents* extents = nullptr, std::size_t ahead = 0,
             std::int64_t run_length = 0, Axes axes = Axes::kXYZ, xyz::Format format = {}) {
  TextSource text_source(text, chunk);
  std::unique_ptr<ReadAhead> read_ahead;
  std::unique_ptr<PointReader> made;
  if (ahead != 0) {
    read_ahead = std::make_unique<ReadAhead>(std::make_unique<TextSource>(text, chunk), ahead, 16);
    made =
        std::make_unique<PointReader>(*read_ahead, buffer, axes, XyzWriter::quick_text_of(format));
  } else {
    made = std::make_unique<PointReader>(text_source, buffer, axes);
  }
  PointReader& reader = *made;
  Pasted pasted;
  OutputFile file;
  file.open(std::make_unique<StringSink>(pasted.lines));
  XyzWriter writer(file, format);
  Extents ignored;
  Extents& e = extents != nullptr ? *extents : ignored;
  Point point;
  if (fast) {
    // Runs of every length, which must stop only at the end of the text.
    for (std::int64_t run = 1;; run = run_length != 0 ? run_length : run < 1024 ? run * 4 : 1) {
      std::int64_t copied = reader.copy_points(writer, e, run);
      pasted.runs_passed += copied > run;
      if (copied < run) {
        EXPECT_EQ(reader.copy_points(writer, e, run), 0);
        break;
      }
    }
  } else {
    while (reader.next(point)) {
      writer.point(point, e, axes);
    }
  }
  file.close();
  pasted.problem = reader.problem();
  return pasted;
}

// Numbers of every shape the fast path takes or must refuse. The minus
// forms last have their minus written by the lean copy of Z before it finds
// that the rest is not its kind.
std::string random_number(std::mt19937& random) {
  static const char* const kOdd[] = {"5.",
                                     ".5",
                                     "-.5",
                                     "+.5",
                                     "-0",
                                     "+0",
                                     "0",
                                     "00",
                                     "000.000",
                                     "-0.000",
                                     "1e3",
                                     "1E-2",
                                     "inf",
                                     "-nan",
                                     "0x1p3",
                                     ".",
                                     "-",
                                     "+",
                                     "1.2.3",
                                     "12a",
                                     "007",
                                     "0.0000001",
                                     "123456789",
                                     "1234567890",
                                     "999999999.999999",
                                     "-999999999.999999",
                                     "-1e3",
                                     "-12a",
                                     "-1.2.3",
                                     "-12345678",
                                     "-1.9999999",
                                     "-5."};
  std::uint32_t kind = random() % 10;
  if (kind == 0) return kOdd[random() % (sizeof kOdd / sizeof *kOdd)];
  std::string text;
  if (kind == 1) text += random() % 2 ? "-" : "+";
  int int_digits = static_cast<int>(random() % 11);
  for (int i = 0; i < int_digits; ++i) text += static_cast<char>('0' + random() % 10);
  if (random() % 4 != 0) {
    text += '.';
    int decimals = static_cast<int>(random() % 9);
    for (int i = 0; i < decimals; ++i) text += static_cast<char>('0' + random() % 10);
  }
  return text;
}

std::string extents_text(const Extents& extents) {
  std::string text;
  for (int axis = 0; axis < 3; ++axis) {
    const Extent& e = extents.axis(axis);
    char min[number::kMaxFixed6Length];
    char max[number::kMaxFixed6Length];
    text += std::string(min, number::format_fixed6(e.min, min)) + " " +
            std::string(max, number::format_fixed6(e.max, max)) + (e.met ? " met; " : "; ");
  }
  return text;
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
  EXPECT_EQ(paste("1 2 3\n\x1a"
                  "4 5 6\n")
                .lines,
            "1.000000 2.000000 3.000000\r\n");
  EXPECT_EQ(paste("1 2 3\x1a"
                  "4 5 6\n")
                .lines,
            "1.000000 2.000000 3.000000\r\n");
  // What follows the Ctrl-Z does not count, its line ends included.
  for (bool fast : {false, true}) {
    Pasted cut = paste("1 2 3\n4 5\x1a\n6\n\n", 3, 64, fast, nullptr, fast ? 5 : 0);
    EXPECT_EQ(cut.lines, "1.000000 2.000000 3.000000\r\n");
    EXPECT_EQ(cut.problem, "line 2: \"4 5\" is not a whole point (X Y Z)");
  }
}

TEST(Points, EmptyAndBlankTextsHoldNoPoint) {
  for (const char* text : {"", "\n", " \r\n\t ",
                           "\x1a"
                           "1 2 3"}) {
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

TEST(Points, LinesAreCountedAcrossTheWholeFile) {
  // LF, CR LF and lone CR lines; a CR LF pair split between two reads
  // still ends one line. Tabs and LF are taken apart from other white
  // space, so they are mixed with it and with each other.
  std::string lf;
  std::string cr;
  std::string tabs;
  for (int i = 0; i < 1000; ++i) {
    lf += i % 2 ? "1 2 3\n" : "\n1.5 -2 +3.25\r\n";
    cr += i % 2 ? "1 2 3\r" : "\r1.5 -2 +3.25\r\n";
    tabs += i % 2 ? "1\t2\t3\n" : "\t1.5\t \t2\n\t\n3 \n";
  }
  const std::pair<std::string, int> texts[] = {
      {lf + "4 5 x\n", 1501}, {cr + "4 5 x\r", 1501}, {tabs + "\n\v4\t5 x\n", 2002}};
  for (const auto& [text, line] : texts) {
    for (bool fast : {false, true}) {
      for (std::size_t buffer : {64, 100, 4096}) {
        for (std::size_t ahead : {0, 10, 100}) {
          EXPECT_EQ(paste(text, 7, buffer, fast, nullptr, ahead).problem,
                    "line " + std::to_string(line) + ": \"x\" is not a number");
        }
      }
      // Whole reads, which leave the fast path many lines to count.
      EXPECT_EQ(paste(text, 1 << 20, 1 << 20, fast).problem,
                "line " + std::to_string(line) + ": \"x\" is not a number");
    }
  }
}

TEST(Points, AnIncompleteLastPointIsNamed) {
  Pasted pasted = paste("1 2 3\n4\n5");
  EXPECT_EQ(pasted.lines, "1.000000 2.000000 3.000000\r\n");
  EXPECT_EQ(pasted.problem, "line 2: \"4 5\" is not a whole point (X Y Z)");
  EXPECT_EQ(paste("1 2 3 4").problem, "line 1: \"4\" is not a whole point (X Y Z)");
  // However long the white space between, and whatever the buffer held.
  EXPECT_EQ(paste("4" + std::string(100, ' ') + "5").problem,
            "line 1: \"4 5\" is not a whole point (X Y Z)");
}

TEST(Points, AWordLongerThanTheBufferIsNotANumber) {
  // Reads of a few bytes, and whole blocks larger than the buffer: a word
  // that starts near the end of one block and fills the next.
  for (std::size_t chunk : {16, 1 << 20}) {
    for (std::size_t ahead : {0, 10, 100}) {
      Pasted pasted = paste("1 2 3\n" + std::string(90, ' ') + std::string(200, '1') + " 2 3\n",
                            chunk, 64, true, nullptr, ahead);
      EXPECT_EQ(pasted.lines, "1.000000 2.000000 3.000000\r\n");
      EXPECT_EQ(pasted.problem, "line 2: a point of 64 bytes or more");
      // The limit is the point's numbers one byte apart, however its white
      // space ran; the lines after it are counted as they came.
      for (std::string gap :
           std::vector<std::string>{" ", " \r\n\t", "\r\n", "\n\n\n", std::string(40, ' ')}) {
        std::string numbers = "2" + gap + "3\n";
        std::int64_t line = 3 + 2 * std::count(gap.begin(), gap.end(), '\n');
        pasted = paste("1 2 3\n" + std::string(59, '1') + gap + numbers + "4 5\n", chunk, 64, true,
                       nullptr, ahead);
        EXPECT_EQ(pasted.problem,
                  "line " + std::to_string(line) + ": \"4 5\" is not a whole point (X Y Z)")
            << chunk << " " << ahead << " " << gap.size();
        pasted = paste("1 2 3\n" + std::string(130, '1') + gap + numbers, chunk, 64, true, nullptr,
                       ahead);
        EXPECT_EQ(pasted.problem, "line 2: a point of 64 bytes or more") << gap.size();
      }
      // White space is no word: however long, it does not count; nor does a
      // CR LF pair that a read splits.
      std::string gap = std::string(100, ' ') + "\r\n" + std::string(100, '\t');
      for (std::size_t shift = 0; shift < 16; ++shift) {
        pasted = paste(std::string(shift, ' ') + "1" + gap + "2" + gap + "3\n4 5" + gap, chunk, 64,
                       true, nullptr, ahead);
        EXPECT_EQ(pasted.lines, "1.000000 2.000000 3.000000\r\n");
        EXPECT_EQ(pasted.problem, "line 4: \"4 5\" is not a whole point (X Y Z)")
            << chunk << " " << ahead << " " << shift;
      }
    }
  }
}

TEST(Points, AReadErrorIsAFailureNotAnEnd) {
  TextSource source("1 2 3\n4 5 6\n", 4);
  source.failing_at_end();
  PointReader reader(source, 64);
  Point point;
  ASSERT_TRUE(reader.next(point));
  EXPECT_THROW(while (reader.next(point)){}, Failure);
}

TEST(Points, EveryReadAndBufferSizeGivesTheSameResult) {
  std::mt19937 random(99);
  std::string text;
  for (int i = 0; i < 400; ++i) {
    text += std::to_string(random() % 1000000) + "." + std::to_string(random() % 1000) +
            (i % 3 == 2   ? (i % 7 == 0 ? "\r\n" : "\n")
             : i % 5 == 0 ? "\t "
                          : " ");
  }
  Pasted whole = paste(text, 1 << 20, 1 << 20);
  EXPECT_EQ(std::count(whole.lines.begin(), whole.lines.end(), '\n'), 400 / 3);
  for (std::size_t chunk : {1, 2, 3, 7, 64}) {
    for (std::size_t buffer : {64, 65, 100, 4096}) {
      for (std::size_t ahead : {0, 17, 100}) {
        for (bool fast : {false, true}) {
          Pasted pasted = paste(text, chunk, buffer, fast, nullptr, ahead);
          ASSERT_EQ(pasted.lines, whole.lines) << chunk << " " << buffer << " " << ahead;
          ASSERT_EQ(pasted.problem, whole.problem);
        }
      }
    }
  }
}

TEST(Points, TheTextEndsCleanlyWhateverTheSizeOfItsLastBlock) {
  // A last block taken whole can end beyond the reader's own buffer size,
  // which is no point too long when nothing more comes.
  std::string text;
  for (int points = 1; points <= 40; ++points) {
    text += "1 2 3\n";
    for (std::size_t buffer : {64, 100}) {
      for (bool fast : {false, true}) {
        Pasted pasted = paste(text, 1 << 20, buffer, fast, nullptr, 100);
        ASSERT_EQ(pasted.problem, "") << points << " " << buffer;
        ASSERT_EQ(std::count(pasted.lines.begin(), pasted.lines.end(), '\n'), points);
      }
    }
  }
}

TEST(Points, TheFastPathWritesAndMeasuresExactlyAsTheGeneralWay) {
  std::mt19937 random(2024);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int count = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      text += random_number(random);
      static const char* const kGaps[] = {"\r\n", " ", "\t", "\n", " \t", "\t\n "};
      text += kGaps[random() % 6];
    }
    Extents general_extents;
    Extents fast_extents;
    Axes axes = round % 3 == 0 ? Axes::kXY : Axes::kXYZ;
    // The default text, or another number of decimals, which the fast
    // path takes from the digits while there are no more than asked.
    xyz::Format format;
    if (round % 2 == 1) format = {static_cast<int>(random() % 9), random() % 2 == 0};
    Pasted general = paste(text, 1 << 20, 4096, false, &general_extents, 0, 0, axes, format);
    Pasted fast = paste(text, 1 << 20, 4096, true, &fast_extents, 0, 0, axes, format);
    ASSERT_EQ(fast.lines, general.lines) << text;
    ASSERT_EQ(fast.problem, general.problem) << text;
    ASSERT_EQ(extents_text(fast_extents), extents_text(general_extents)) << text;
  }
}

// The reading thread copies the tail of each block on the chance that a
// point begins at its first line: the reader takes that copy only where it
// finds one beginning there, and it must then write, measure and count
// lines exactly as if it had copied those points itself.
TEST(Points, ABlockCopiedAheadCountsOnlyWhereAPointBeginsThere) {
  std::mt19937 random(77);
  int runs_passed = 0;
  for (int round = 0; round < 300; ++round) {
    // Mostly a point a line, as in most files; now and then lines of two,
    // four or six numbers, blank lines and lone CR line ends, which put
    // points out of step with lines; and text that is not a number.
    std::string text;
    int lines = 20 + static_cast<int>(random() % 200);
    for (int line = 0; line < lines; ++line) {
      std::uint32_t shape = random() % 20;
      int numbers = shape == 0 ? 2 : shape == 1 ? 4 : shape == 2 ? 6 : 3;
      for (int i = 0; i < numbers; ++i) {
        text += (i == 0 ? "" : random() % 8 == 0 ? "\t " : " ");
        text += random() % 4 == 0 ? random_number(random) : std::to_string(random() % 100000);
      }
      if (random() % 500 == 0) text += " x";
      text += shape == 3 ? "\r" : shape == 4 ? "\n\n" : random() % 2 ? "\r\n" : "\n";
    }
    Extents general_extents;
    // Z too, as the command line keeps it, or not, as the dialogue.
    Axes axes = round % 3 == 0 ? Axes::kXY : Axes::kXYZ;
    Pasted general = paste(text, 1 << 20, 4096, false, &general_extents, 0, 0, axes);
    for (std::size_t block : {100, 300, 1000}) {
      Extents extents;
      Pasted ahead = paste(text, 1 << 20, 128, true, &extents, block, round % 2 + 1, axes);
      ASSERT_EQ(ahead.lines, general.lines) << block << "\n" << text;
      ASSERT_EQ(ahead.problem, general.problem) << block << "\n" << text;
      ASSERT_EQ(extents_text(extents), extents_text(general_extents)) << block << "\n" << text;
      runs_passed += ahead.runs_passed;
    }
  }
  // The copies ahead were taken, many times.
  EXPECT_GT(runs_passed, 500);
}

TEST(Points, TheFastPathMatchesTheCLibraryOnLidarLines) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> x(600000, 1200000);
  std::uniform_real_distribution<double> y(6100000, 7100000);
  std::uniform_real_distribution<double> z(-100, 500);
  std::string text;
  std::string expected;
  char line[128];
  for (int i = 0; i < 200000; ++i) {
    std::snprintf(line, sizeof line, "%.2f %.2f %.3f\r\n", x(random), y(random), z(random));
    text += line;
    double values[3];
    std::sscanf(line, "%lf%lf%lf", &values[0], &values[1], &values[2]);
    std::snprintf(line, sizeof line, "%f %f %f\r\n", values[0], values[1], values[2]);
    expected += line;
  }
  EXPECT_EQ(paste(text, 1000, 4096, true).lines, expected);
}

}  // namespace
