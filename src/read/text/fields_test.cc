#include "read/text/fields.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fake_disk.h"
#include "read/text/layout.h"
#include "write/xyz_writer.h"

namespace {

struct Read {
  std::string lines;
  std::string problem;
  Extents extents;
};

Read read_fields(const std::string& text, const layout::Layout& found, bool quickly, Axes axes,
                 xyz::Format format = {}) {
  TextSource source(text, 61);
  FieldReader reader(source, found, 200, quickly, axes);
  Read read;
  OutputFile out;
  out.open(std::make_unique<StringSink>(read.lines));
  XyzWriter writer(out, format);
  for (std::int64_t run = 1; reader.copy_points(writer, read.extents, run) >= run;
       run = run == 1 ? 7 : 1) {
  }
  out.close();
  read.problem = reader.problem();
  return read;
}

std::string extents_text(const Extents& extents) {
  std::string text;
  for (int axis = 0; axis < 3; ++axis) {
    const Extent& e = extents.axis(axis);
    text += e.met ? std::to_string(e.min) + " " + std::to_string(e.max) + "; " : "none; ";
  }
  return text;
}

// The quick way measures as the general way, which takes each value as
// strtod reads it: Z with its minus too, which the quick way copies as it
// goes, and none of Z where the extents kept are X and Y alone.
TEST(Fields, TheQuickWayMeasuresAsTheGeneralWay) {
  std::mt19937 random(5);
  auto number = [&random] {
    static const char* const kOdd[] = {"-0.5", "-0", "0.25", "-12345678.5", "1e3", "-7.1234567"};
    if (random() % 8 == 0) return std::string(kOdd[random() % 6]);
    std::string text = random() % 3 == 0 ? "-" : "";
    text += std::to_string(1 + random() % (random() % 2 ? 500 : 9999999));
    if (random() % 4 != 0) {
      text += '.';
      text += std::to_string(random() % 1000);
    }
    return text;
  };
  for (int round = 0; round < 400; ++round) {
    const char* separator = round % 2 ? "," : ";";
    std::string text = std::string("X") + separator + "Y" + separator + "Z\r\n";
    int lines = 5 + static_cast<int>(random() % 60);
    for (int line = 0; line < lines; ++line) {
      text += number() + separator + number() + separator + number() + "\r\n";
    }
    layout::Layout found = layout::detect(text, true);
    ASSERT_EQ(found.kind, layout::Kind::kFields) << text;
    // The default text, or another number of decimals, which the quick
    // way takes from the digits while there are no more than asked.
    xyz::Format format;
    if (round % 2 == 1) format = {static_cast<int>(random() % 9), random() % 2 == 0};
    for (Axes axes : {Axes::kXY, Axes::kXYZ}) {
      Read general = read_fields(text, found, false, axes, format);
      Read quick = read_fields(text, found, true, axes, format);
      ASSERT_EQ(general.problem, "") << text;
      ASSERT_EQ(quick.lines, general.lines) << text;
      ASSERT_EQ(extents_text(quick.extents), extents_text(general.extents)) << text;
      ASSERT_EQ(general.extents.z.met, axes == Axes::kXYZ);
    }
  }
}

// A line of END or EOD ends the points, quietly when only blank lines and
// end lines follow it; a point after it is not taken, by either way.
TEST(Fields, AnEndLineEndsThePoints) {
  const std::string points = "1 10.5 20.5 30.5\n2 11.5 21.5 31.5\nEND\n\n";
  layout::Layout found = layout::detect(points, true);
  ASSERT_EQ(found.kind, layout::Kind::kFields);
  for (bool quickly : {false, true}) {
    Read read = read_fields(points + "end\n", found, quickly, Axes::kXYZ);
    EXPECT_EQ(read.problem, "");
    EXPECT_EQ(read.lines, "10.500000 20.500000 30.500000\r\n11.500000 21.500000 31.500000\r\n");
    read = read_fields(points + "3 12.5 22.5 32.5\n", found, quickly, Axes::kXYZ);
    EXPECT_EQ(read.problem,
              "line 5: \"3 12.5 22.5 32.5\" comes after line 3, which ends the points");
    EXPECT_EQ(read.lines, "10.500000 20.500000 30.500000\r\n11.500000 21.500000 31.500000\r\n");
  }
}

// A quoted field is read as strtod reads it: white space before the
// number is passed over, after it the field is no number.
TEST(Fields, AQuotedFieldIsReadAsStrtodReadsIt) {
  const std::string header = "\"X\",\"Y\",\"Z\"\n\"372497.26\",\"5812645.38\",\"36.102\"\n";
  layout::Layout found = layout::detect(header + "\" 44996.26\",\"5812646.38\",\"\t36.2\"\n", true);
  ASSERT_EQ(found.kind, layout::Kind::kFields);
  for (bool quickly : {false, true}) {
    Read read = read_fields(header + "\" 44996.26\",\"5812646.38\",\"\t36.2\"\n", found, quickly,
                            Axes::kXYZ);
    EXPECT_EQ(read.problem, "");
    EXPECT_EQ(
        read.lines,
        "372497.260000 5812645.380000 36.102000\r\n44996.260000 5812646.380000 36.200000\r\n");
    read =
        read_fields(header + "\"44996.26 \",\"5812646.38\",\"36.2\"\n", found, quickly, Axes::kXYZ);
    // (Messages show a text without the white space that ends it.)
    EXPECT_EQ(read.problem, "line 3: \"44996.26\" is not a number");
    EXPECT_EQ(read.lines, "372497.260000 5812645.380000 36.102000\r\n");
  }
}

}  // namespace
