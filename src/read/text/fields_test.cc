#include "read/text/fields.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// A sink that writes as the writer does, offering its quick way, and
// keeps what each point handed by value carried.
class CollectingSink : public PointSink {
 public:
  explicit CollectingSink(XyzWriter& writer) : writer_(writer) {}
  void point(const Point& point, Extents& extents, Axes measured) override {
    xyz.push_back({point.xyz[0].value, point.xyz[1].value, point.xyz[2].value});
    had_attributes.push_back(point.attributes != nullptr);
    attributes.push_back(point.attributes != nullptr ? *point.attributes : PointAttributes{});
    writer_.point(point, extents, measured);
  }
  void records(const ScaledRecords& records, Extents& extents, Axes measured) override {
    writer_.records(records, extents, measured);
  }
  PassThrough* pass_through() override { return writer_.pass_through(); }

  std::vector<std::vector<double>> xyz;
  std::vector<bool> had_attributes;
  std::vector<PointAttributes> attributes;

 private:
  XyzWriter& writer_;
};

struct Collected {
  std::string lines;
  std::string problem;
  std::string note;
  point::Schema schema;
  std::vector<std::vector<double>> xyz;
  std::vector<bool> had_attributes;
  std::vector<PointAttributes> attributes;
};

Collected collect(const std::string& text, const point::Wanted& wanted) {
  layout::Layout found = layout::detect(text, true);
  EXPECT_EQ(found.kind, layout::Kind::kFields) << text;
  TextSource source(text, 61);
  FieldReader reader(source, found, 200, true, Axes::kXYZ, wanted);
  Collected got;
  OutputFile out;
  out.open(std::make_unique<StringSink>(got.lines));
  XyzWriter writer(out, xyz::Format{});
  CollectingSink sink(writer);
  Extents extents;
  while (reader.copy_points(sink, extents, 5) == 5) {
  }
  out.close();
  got.problem = reader.problem();
  got.note = reader.note();
  got.schema = reader.schema();
  got.xyz = sink.xyz;
  got.had_attributes = sink.had_attributes;
  got.attributes = sink.attributes;
  return got;
}

using point::Dim;

double value(const PointAttributes& attributes, Dim dim) {
  return attributes.value[static_cast<int>(dim)];
}

// The attributes a job wants reach every point by value, beside X Y Z as
// the quick way writes them; those not wanted are not read.
TEST(FieldAttributes, WantedAttributesReachEachPoint) {
  const std::string text =
      "\"X\",\"Y\",\"Z\",\"Intensity\",\"Classification\",\"GpsTime\",\"Deviation\",\"Red\"\n"
      "637012.24,849028.31,431.66,143,1,245380.782544,0.25,68\n"
      "636896.33,849087.70,446.39,18,2,245381.5,-0.125,77\n"
      "636784.74,849106.66,426.71,118,5,245382.25,1e-3,88\n";
  point::Wanted wanted;
  wanted.dims = {Dim::kX, Dim::kY, Dim::kZ, Dim::kIntensity, Dim::kGpsTime, Dim::kInfrared};
  wanted.extra = {"deviation"};
  Collected got = collect(text, wanted);
  EXPECT_EQ(got.problem, "");
  EXPECT_EQ(got.schema.dims, (point::DimSet{Dim::kX, Dim::kY, Dim::kZ, Dim::kIntensity,
                                            Dim::kClassification, Dim::kGpsTime, Dim::kRed}));
  EXPECT_EQ(got.schema.extra, std::vector<std::string>{"Deviation"});
  ASSERT_EQ(got.attributes.size(), 3u);
  const double intensity[] = {143, 18, 118};
  const double time[] = {245380.782544, 245381.5, 245382.25};
  const double deviation[] = {0.25, -0.125, 1e-3};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(got.had_attributes[i]);
    const PointAttributes& a = got.attributes[i];
    EXPECT_EQ(value(a, Dim::kIntensity), intensity[i]);
    EXPECT_EQ(value(a, Dim::kGpsTime), time[i]);
    // Not wanted, or not in the file: not read.
    EXPECT_EQ(value(a, Dim::kClassification), 0);
    EXPECT_EQ(value(a, Dim::kRed), 0);
    ASSERT_EQ(a.extra.size(), 1u);
    EXPECT_EQ(a.extra[0], deviation[i]);
  }
  EXPECT_EQ(got.xyz[2], (std::vector<double>{636784.74, 849106.66, 426.71}));
  EXPECT_EQ(got.lines,
            "637012.240000 849028.310000 431.660000\r\n636896.330000 849087.700000 "
            "446.390000\r\n636784.740000 849106.660000 426.710000\r\n");
  EXPECT_NE(got.note.find("of 8, with Intensity, GpsTime and Deviation, 2 dropped"),
            std::string::npos)
      << got.note;
}

// With X, Y and Z alone wanted, or attributes the file does not carry,
// the points go as they always did: the quick way, nothing by value, the
// same text and note.
TEST(FieldAttributes, JobsOfXyzAloneAreAsBefore) {
  const std::string text = "x y z intensity classification\n1.5 2.5 3.5 100 2\n4.5 5.5 6.5 200 6\n";
  point::Wanted only_rgb;
  only_rgb.dims = {Dim::kX, Dim::kY, Dim::kZ, Dim::kRed};
  for (const point::Wanted& wanted : {point::Wanted{}, only_rgb}) {
    Collected got = collect(text, wanted);
    EXPECT_EQ(got.problem, "");
    EXPECT_TRUE(got.xyz.empty());  // the quick way took every line
    EXPECT_EQ(got.lines, "1.500000 2.500000 3.500000\r\n4.500000 5.500000 6.500000\r\n");
    EXPECT_NE(got.note.find("of 5, 2 dropped"), std::string::npos) << got.note;
  }
  point::Wanted intensity;
  intensity.dims = {Dim::kX, Dim::kY, Dim::kZ, Dim::kIntensity};
  Collected got = collect(text, intensity);
  EXPECT_EQ(got.lines, "1.500000 2.500000 3.500000\r\n4.500000 5.500000 6.500000\r\n");
  ASSERT_EQ(got.attributes.size(), 2u);
  EXPECT_EQ(value(got.attributes[1], Dim::kIntensity), 200);
}

// A PTS file's intensity and colour, and decimal commas in attributes.
TEST(FieldAttributes, PtsAndDecimalCommas) {
  point::Wanted wanted;
  wanted.dims = {Dim::kX, Dim::kY, Dim::kZ, Dim::kIntensity, Dim::kRed, Dim::kGreen, Dim::kBlue};
  Collected got = collect(
      "2\n636110.3 849345.05 512.13 -1613 52 70 64\n636102.84 849345.19 512.00 -1998 58 76 "
      "67\n",
      wanted);
  EXPECT_EQ(got.problem, "");
  ASSERT_EQ(got.attributes.size(), 2u);
  EXPECT_EQ(value(got.attributes[0], Dim::kIntensity), -1613);
  EXPECT_EQ(value(got.attributes[1], Dim::kRed), 58);
  EXPECT_EQ(value(got.attributes[1], Dim::kGreen), 76);
  EXPECT_EQ(value(got.attributes[1], Dim::kBlue), 67);
  got = collect("X;Y;Z;GPS time\n1,5;2,5;3,5;\" 245380,25\"\n", wanted);
  EXPECT_EQ(got.problem, "");
  ASSERT_EQ(got.attributes.size(), 1u);
  EXPECT_EQ(value(got.attributes[0], Dim::kGpsTime), 0);  // not wanted
  wanted.dims.add(Dim::kGpsTime);
  got = collect("X;Y;Z;GPS time\n1,5;2,5;3,5;\" 245380,25\"\n", wanted);
  ASSERT_EQ(got.attributes.size(), 1u);
  EXPECT_EQ(value(got.attributes[0], Dim::kGpsTime), 245380.25);
}

// A wanted field that is empty or no number stops the file where it is,
// as X, Y or Z would: no point is made up. Not wanted, it is not looked at.
TEST(FieldAttributes, AWantedFieldThatIsNoNumberStopsTheFile) {
  point::Wanted wanted;
  wanted.dims = {Dim::kX, Dim::kY, Dim::kZ, Dim::kClassification};
  wanted.extra = {"Code"};
  const std::string header = "X,Y,Z,Classification,Code\n1,2,3,2,7\n";
  Collected got = collect(header + "4,5,6,,8\n7,8,9,2,9\n", wanted);
  EXPECT_EQ(got.problem, "line 3: field 4 (Classification) is empty");
  EXPECT_EQ(got.lines, "1.000000 2.000000 3.000000\r\n");
  got = collect(header + "4,5,6,2,FIL\n", wanted);
  EXPECT_EQ(got.problem, "line 3: \"FIL\" in field 5 (Code) is not a number");
  EXPECT_EQ(got.attributes.size(), 1u);
  got = collect(header + "4,5,6,2,FIL\n", point::Wanted{});
  EXPECT_EQ(got.problem, "");
  EXPECT_EQ(got.lines, "1.000000 2.000000 3.000000\r\n4.000000 5.000000 6.000000\r\n");
}

}  // namespace
