#include "filter/filter_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/stratumix.h"
#include "fake_disk.h"
#include "io/text_out.h"
#include "read/laz/laz_encoder.h"
#include "tiles.h"

namespace {

// A point of a test tile, in hundredths, with what the filters test.
struct Sample {
  std::int32_t x, y, z;  // hundredths
  unsigned klass, return_number, returns;
};

// Points on and about the bounds the tests crop at: X and Y 1.00 and 3.00,
// Z 0.00 and 5.00.
std::vector<Sample> samples() {
  std::vector<Sample> all;
  int i = 0;
  for (std::int32_t x : {0, 99, 100, 150, 299, 300, 400}) {
    for (std::int32_t y : {99, 100, 250, 300}) {
      const std::int32_t z = std::array{-1, 0, 250, 499, 500}[static_cast<std::size_t>(i % 5)];
      const unsigned klass = std::array{1u, 2u, 7u, 18u, 2u, 6u}[static_cast<std::size_t>(i % 6)];
      const unsigned returns = 1 + static_cast<unsigned>(i % 3);
      all.push_back({x, y, z, klass, 1 + static_cast<unsigned>(i / 3) % returns, returns});
      ++i;
    }
  }
  return all;
}

std::string hundredths(std::int32_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%d.%02d", v < 0 ? "-" : "", std::abs(v) / 100,
                std::abs(v) % 100);
  return text;
}

// The result's line of a sample: six decimals, CR LF.
std::string line_of(const Sample& s) {
  char text[128];
  std::snprintf(text, sizeof text, "%.6f %.6f %.6f\r\n", s.x / 100.0, s.y / 100.0, s.z / 100.0);
  return text;
}

// The report's extents of points whose coordinates are `v`, as a plain
// model makes them: the least and greatest of each axis, six decimals.
std::string extents_json(const std::vector<std::array<double, 3>>& v) {
  std::string text = "{";
  for (std::size_t axis = 0; axis < 3; ++axis) {
    double least = HUGE_VAL;
    double greatest = -HUGE_VAL;
    for (const auto& point : v) {
      least = std::min(least, point[axis]);
      greatest = std::max(greatest, point[axis]);
    }
    char bound[128];
    std::snprintf(bound, sizeof bound, "%s\"%c\": {\"min\": %.6f, \"max\": %.6f}",
                  axis == 0 ? "" : ", ", "xyz"[axis], least, greatest);
    text += bound;
  }
  return text + "}";
}

// The samples as each form gives them: X Y Z text, CSV with the attributes,
// the same gzipped, LAS of format 1 and its LAZ.
struct Inputs {
  std::string text, csv, gz, las, laz;
};

Inputs inputs_of(const std::vector<Sample>& all) {
  Inputs inputs;
  inputs.csv = "X,Y,Z,Classification,ReturnNumber,NumberOfReturns\n";
  LasTile tile;
  for (const Sample& s : all) {
    inputs.text += hundredths(s.x) + " " + hundredths(s.y) + " " + hundredths(s.z) + "\n";
    inputs.csv += hundredths(s.x) + "," + hundredths(s.y) + "," + hundredths(s.z) + "," +
                  std::to_string(s.klass) + "," + std::to_string(s.return_number) + "," +
                  std::to_string(s.returns) + "\n";
    tile.points.push_back({s.x, s.y, s.z});
  }
  tile.scale[2] = 0.01;
  inputs.gz = gzip_member(inputs.csv);
  inputs.las = tile.bytes();
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::size_t at = 227 + 28 * i;
    inputs.las[at + 14] = static_cast<char>(all[i].return_number | all[i].returns << 3);
    inputs.las[at + 15] = static_cast<char>(all[i].klass);
  }
  inputs.laz = laz::compress_las(inputs.las, 7);
  return inputs;
}

class Filtering : public testing::Test {
 protected:
  void SetUp() override { console.capture(&out, &err); }
  void TearDown() override { console.capture(nullptr, nullptr); }
  int run(std::vector<std::string> arguments) {
    out.clear();
    err.clear();
    return run_stratumix(std::move(arguments), &disk);
  }
  MemoryDisk disk;
  std::string out;
  std::string err;
};

// Every filter, on every form of input, keeps the points its plain rule
// keeps, bounds and all, and no other.
TEST_F(Filtering, EveryFormKeepsWhatThePlainRuleKeeps) {
  const std::vector<Sample> all = samples();
  const Inputs inputs = inputs_of(all);
  disk.files = {{"t.xyz", inputs.text},
                {"c.csv", inputs.csv},
                {"g.csv.gz", inputs.gz},
                {"l.las", inputs.las},
                {"z.laz", inputs.laz}};
  disk.files["square.geojson"] = R"({"type": "MultiPolygon", "coordinates": [[
      [[1, 1], [3, 1], [3, 3], [1, 3], [1, 1]],
      [[1.5, 2], [1.5, 2.8], [2.9, 2.8], [2.9, 2], [1.5, 2]]]]})";
  using Rule = bool (*)(const Sample&, std::size_t);
  struct Case {
    std::vector<std::string> options;
    Rule rule;
    bool attributes;  // tests more than X, Y and Z
  };
  const std::vector<Case> cases = {
      {{"--crop", "1,1,3,3"},
       [](const Sample& s, std::size_t) {
         return s.x >= 100 && s.x < 300 && s.y >= 100 && s.y < 300;
       },
       false},
      {{"--z-range=0,5"},
       [](const Sample& s, std::size_t) { return s.z >= 0 && s.z < 500; },
       false},
      {{"--thin", "3"}, [](const Sample&, std::size_t i) { return i % 3 == 0; }, false},
      // A square with a hole: its west and south edges in, its east and
      // north out, and the hole's the other way round.
      {{"--crop-polygon", "square.geojson"},
       [](const Sample& s, std::size_t) {
         const bool square = s.x >= 100 && s.x < 300 && s.y >= 100 && s.y < 300;
         const bool hole = s.x >= 150 && s.x < 290 && s.y >= 200 && s.y < 280;
         return square && !hole;
       },
       false},
      {{"--keep-class", "ground"}, [](const Sample& s, std::size_t) { return s.klass == 2; }, true},
      {{"--drop-class", "noise,6"},
       [](const Sample& s, std::size_t) { return s.klass != 7 && s.klass != 18 && s.klass != 6; },
       true},
      {{"--first-returns"},
       [](const Sample& s, std::size_t) { return s.return_number == 1; },
       true},
      {{"--last-returns"},
       [](const Sample& s, std::size_t) { return s.return_number == s.returns; },
       true},
      {{"--single-returns"}, [](const Sample& s, std::size_t) { return s.returns == 1; }, true},
      {{"--drop-class", "2", "--thin", "2", "--crop", "0,0,3,3"},
       [](const Sample& s, std::size_t i) {
         return i % 2 == 0 && s.klass != 2 && s.x < 300 && s.y < 300 && s.x >= 0 && s.y >= 0;
       },
       true},
  };
  for (const Case& c : cases) {
    std::string expected;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (c.rule(all[i], i)) expected += line_of(all[i]);
    }
    ASSERT_FALSE(expected.empty()) << c.options[0];
    for (const char* input : {"t.xyz", "c.csv", "g.csv.gz", "l.las", "z.laz"}) {
      if (c.attributes && input[0] == 't') continue;
      std::vector<std::string> arguments = c.options;
      for (const char* more : {"-q", "-o", "r.xyz", input}) arguments.push_back(more);
      EXPECT_EQ(run(arguments), 0) << c.options[0] << " " << input << err;
      EXPECT_EQ(disk.files["r.xyz"], expected) << c.options[0] << " " << input;
    }
  }
}

// Text cropped by one box alone is tested in the quick loops, number by
// number as it is copied: numbers of every shape, near the bounds and on
// them, keep what strtod's values say.
TEST_F(Filtering, TextCroppedQuicklyKeepsWhatStrtodSays) {
  const std::vector<std::string> xs = {
      "1", "0.999999", "1.0000001", "0.99999999999", "1e0", "2.5", "3", "3.000000", "2.99999999",
      "-1", "123456789", ".5", "2", "0.5",
      // About bounds where the integer digits grow by one: 9.5 to 1000.
      "9", "9.4", "9.5", "10", "98.99", "99", "100", "999.999", "1000", "1234567", "99999",
      "100000"};
  const std::vector<std::string> zs = {"-0.5", "-0.5000001", "5", "4.9999999", "-1e-9", "0", "-7"};
  std::string text;
  std::vector<std::array<std::string, 3>> points;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    for (std::size_t j = 0; j < xs.size(); j += 3) {
      points.push_back({xs[i], xs[(i + j) % xs.size()], zs[(i + j) % zs.size()]});
      text += points.back()[0] + " " + points.back()[1] + "\t" + points.back()[2] + "\r\n";
    }
  }
  disk.files["t.xyz"] = text;
  disk.files["g.xyz.gz"] = gzip_member(text);
  struct Case {
    std::vector<std::string> options;
    double from[3], to[3];
  };
  for (const Case& c :
       {Case{{"--crop", "1,1,3,3"}, {1, 1, -HUGE_VAL}, {3, 3, HUGE_VAL}},
        Case{{"--crop", "9.5,99,1000,100000"}, {9.5, 99, -HUGE_VAL}, {1000, 100000, HUGE_VAL}},
        Case{{"--z-range", "-0.5,5"}, {-HUGE_VAL, -HUGE_VAL, -0.5}, {HUGE_VAL, HUGE_VAL, 5}}}) {
    std::string expected;
    std::vector<std::array<double, 3>> read;
    std::vector<std::array<double, 3>> kept_values;
    for (const auto& point : points) {
      std::array<double, 3> v;
      bool in = true;
      for (int axis = 0; axis < 3; ++axis) {
        const auto a = static_cast<std::size_t>(axis);
        v[a] = std::strtod(point[a].c_str(), nullptr);
        in = in && v[a] >= c.from[axis] && v[a] < c.to[axis];
      }
      char line[200];
      std::snprintf(line, sizeof line, "%.6f %.6f %.6f\r\n", v[0], v[1], v[2]);
      read.push_back(v);
      if (in) {
        expected += line;
        kept_values.push_back(v);
      }
    }
    for (const char* input : {"t.xyz", "g.xyz.gz"}) {
      std::vector<std::string> arguments = c.options;
      for (const char* more : {"--report", "r.json", "-o", "r.xyz", input})
        arguments.push_back(more);
      EXPECT_EQ(run(arguments), 0) << err;
      EXPECT_EQ(disk.files["r.xyz"], expected) << c.options[0] << " " << input;
      const std::string& report = disk.files["r.json"];
      const std::size_t kept =
          static_cast<std::size_t>(std::count(expected.begin(), expected.end(), '\n'));
      EXPECT_NE(report.find("\"points\": " + std::to_string(kept) +
                            ",\n  \"points_read\": " + std::to_string(points.size()) + ","),
                std::string::npos)
          << report;
      // The points left out are measured too, from numbers of every shape.
      EXPECT_NE(report.find("\"extents\": " + extents_json(kept_values) +
                            ",\n     \"extents_read\": " + extents_json(read)),
                std::string::npos)
          << c.options[0] << " " << input << report;
    }
  }
}

// With filters, the report gives the extents of the points read beside
// those of the points kept, per input and for the job, whichever way the
// points came: the quick loops, values, records. Without, it is as it was.
TEST_F(Filtering, TheReportGivesTheExtentsOfThePointsRead) {
  const std::vector<Sample> all = samples();
  const Inputs inputs = inputs_of(all);
  disk.files = {{"t.xyz", inputs.text},
                {"c.csv", inputs.csv},
                {"g.csv.gz", inputs.gz},
                {"l.las", inputs.las},
                {"z.laz", inputs.laz}};
  auto values = [](const Sample& s) {
    return std::array<double, 3>{s.x / 100.0, s.y / 100.0, s.z / 100.0};
  };
  // Another input far off, all of whose points the crop leaves out: the
  // job's extents read reach it, its kept ones do not.
  disk.files["far.csv"] = "X,Y,Z,Classification\n100.5,-20.25,7,2\n-3,1.5,-0.75,6\n";
  const std::vector<std::array<double, 3>> far = {{100.5, -20.25, 7}, {-3, 1.5, -0.75}};
  std::vector<std::array<double, 3>> read;
  std::vector<std::array<double, 3>> kept;
  for (const Sample& s : all) {
    read.push_back(values(s));
    if (s.x >= 100 && s.x < 300 && s.y >= 100 && s.y < 300 && s.klass != 2)
      kept.push_back(values(s));
  }
  std::vector<std::array<double, 3>> job_read = read;
  job_read.insert(job_read.end(), far.begin(), far.end());
  for (const char* input : {"t.xyz", "c.csv", "g.csv.gz", "l.las", "z.laz"}) {
    std::vector<std::vector<std::string>> filters = {{"--crop", "1,1,3,3", "--drop-class", "2"}};
    // Text without classes: the crop alone, in the quick loop and, with
    // --thin 1 before it, point by point.
    if (input[0] == 't') filters = {{"--crop", "1,1,3,3"}, {"--thin", "1", "--crop", "1,1,3,3"}};
    for (std::vector<std::string> arguments : filters) {
      for (const char* more : {"-q", "--report", "r.json", "-o", "r.xyz", input, "far.csv"})
        arguments.push_back(more);
      ASSERT_EQ(run(arguments), 0) << input << err;
      const std::string& report = disk.files["r.json"];
      std::vector<std::array<double, 3>> model_kept = kept;
      if (input[0] == 't') {
        model_kept.clear();
        for (const Sample& s : all)
          if (s.x >= 100 && s.x < 300 && s.y >= 100 && s.y < 300) model_kept.push_back(values(s));
      }
      EXPECT_NE(report.find("\"extents\": " + extents_json(model_kept) +
                            ",\n     \"extents_read\": " + extents_json(read)),
                std::string::npos)
          << arguments[0] << " " << input << report;
      EXPECT_NE(report.find("\"extents\": " + extents_json(model_kept) +
                            ",\n  \"extents_read\": " + extents_json(job_read) + ",\n"),
                std::string::npos)
          << arguments[0] << " " << input << report;
      EXPECT_NE(report.find("\"extents\": {\"x\": null, \"y\": null, \"z\": null},\n     "
                            "\"extents_read\": " +
                            extents_json(far)),
                std::string::npos)
          << arguments[0] << " " << input << report;
    }
  }
  ASSERT_EQ(run({"-q", "--report", "r.json", "-o", "r.xyz", "l.las"}), 0) << err;
  EXPECT_EQ(disk.files["r.json"].find("extents_read"), std::string::npos);
}

// Jobs cropped to boxes or polygons that touch give every point once.
TEST_F(Filtering, CropsThatTouchGiveEveryPointOnce) {
  const std::vector<Sample> all = samples();
  const Inputs inputs = inputs_of(all);
  disk.files = {{"t.xyz", inputs.text}, {"l.las", inputs.las}};
  // West and east of X = 1.50, and the same as polygons, the east one with
  // a hole that a third polygon fills.
  disk.files["west.geojson"] =
      R"({"type": "Polygon", "coordinates": [[[-9, -9], [1.5, -9], [1.5, 9], [-9, 9], [-9, -9]]]})";
  disk.files["east.geojson"] = R"({"type": "Feature", "geometry": {"type": "Polygon",
    "coordinates": [[[1.5, -9], [9, -9], [9, 9], [1.5, 9], [1.5, -9]],
                    [[3, 1], [3, 2.5], [4, 2.5], [4, 1], [3, 1]]]}})";
  disk.files["hole.geojson"] =
      R"({"type": "Polygon", "coordinates": [[[3, 1], [4, 1], [4, 2.5], [3, 2.5], [3, 1]]]})";
  std::string whole;
  for (const Sample& s : all) whole += line_of(s);
  for (const char* input : {"t.xyz", "l.las"}) {
    for (const auto& parts : std::vector<std::vector<std::vector<std::string>>>{
             {{"--crop", "-9,-9,1.5,9"}, {"--crop", "1.5,-9,9,9"}},
             {{"--crop-polygon", "west.geojson"},
              {"--crop-polygon", "east.geojson"},
              {"--crop-polygon", "hole.geojson"}}}) {
      std::vector<std::string> lines;
      for (const auto& part : parts) {
        std::vector<std::string> arguments = part;
        for (const char* more : {"-q", "-o", "r.xyz", input}) arguments.push_back(more);
        run(arguments);
        const std::string& result = disk.files["r.xyz"];
        for (std::size_t at = 0; at < result.size();) {
          const std::size_t end = result.find('\n', at) + 1;
          lines.push_back(result.substr(at, end - at));
          at = end;
        }
      }
      std::sort(lines.begin(), lines.end());
      std::vector<std::string> expected;
      for (const Sample& s : all) expected.push_back(line_of(s));
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(lines, expected) << input << " " << parts[0][0];
    }
  }
}

// Each input's line, the summary, the report and the index tell the points
// read and what each filter left out; extents are those of the points kept.
TEST_F(Filtering, TheReportsTellWhatEachFilterLeftOut) {
  disk.files["a.csv"] = "X,Y,Z,Classification\n0,0,0,2\n1,1,1,2\n2,2,2,7\n5,5,5,2\n";
  disk.files["b.csv"] = "X,Y,Z,Classification\n9,9,9,2\n";
  EXPECT_EQ(run({"--crop", "0,0,4,4", "--drop-class", "noise", "--report", "r.json", "--index",
                 "i.geojson", "-o", "r.xyz", "a.csv", "b.csv"}),
            0);
  EXPECT_EQ(out.substr(0, out.find("Time:")),
            "1/2 a.csv: 2 points kept of 4 read (--crop 0,0,4,4 left out 1, --drop-class noise "
            "left out 1), X_min = 0.000000 X_max = 1.000000 Y_min = 0.000000 Y_max = 1.000000\n"
            "2/2 b.csv: 0 points kept of 1 read (--crop 0,0,4,4 left out 1, --drop-class noise "
            "left out 0)\n"
            "\nFiles pasted: 2 of 2\nPoints: 2\n"
            "Points read: 5; --crop 0,0,4,4 left out 2, --drop-class noise left out 1\n"
            "Result: r.xyz, 56 bytes\nX_min = 0.000000 X_max = 1.000000\n"
            "Y_min = 0.000000 Y_max = 1.000000\nZ_min = 0.000000 Z_max = 1.000000\n");
  EXPECT_NE(err.find("b.csv: the filters kept none of its 1 point."), std::string::npos) << err;
  const std::string& report = disk.files["r.json"];
  EXPECT_NE(report.find("\"points_read\": 5,\n  \"filters\": [{\"filter\": \"--crop 0,0,4,4\", "
                        "\"left_out\": 2}, {\"filter\": \"--drop-class noise\", \"left_out\": 1}]"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("\"points\": 2, \"bytes\": 53, \"points_read\": 4, \"left_out\": [1, 1]"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find(", \"the filters kept none of its 1 point\"]"), std::string::npos);
  EXPECT_NE(disk.files["i.geojson"].find("\"points\": 0, \"bytes\": 29, \"points_read\": 1, "
                                         "\"left_out\": \"--crop 0,0,4,4 left out 1, "
                                         "--drop-class noise left out 0\""),
            std::string::npos)
      << disk.files["i.geojson"];

  // A job whose filters keep no point: a warning, status 0, an empty result.
  EXPECT_EQ(run({"--keep-class", "9", "-o", "r.xyz", "a.csv", "b.csv"}), 0);
  EXPECT_EQ(disk.files["r.xyz"], "");
  EXPECT_NE(err.find("warning: the filters kept none of the 5 points read"), std::string::npos)
      << err;
}

// What no input can make right is refused before anything is created, and
// so is an input that lacks what a filter tests, named with what it lacks.
TEST_F(Filtering, RefusalsCreateNothing) {
  disk.files["a.xyz"] = "1 2 3\n";
  disk.files["c.csv"] = "X,Y,Z,Intensity\n1,2,3,4\n";
  disk.files["bad.geojson"] = "{\"type\": \"Polygon\",\n \"coordinates\": [[[0, 0], [1, 0]]]}";
  struct Case {
    std::vector<std::string> options;
    const char* told;
  };
  for (const Case& c : std::vector<Case>{
           {{"--keep-class", "2"}, "a.xyz has no Classification, which --keep-class 2 tests"},
           {{"--crop", "0,0,9,9", "--first-returns"},
            "a.xyz has no ReturnNumber, which --first-returns tests"},
           {{"--drop-overlap"}, "a.xyz has no Overlap or Classification"},
           {{"--crop-polygon", "bad.geojson"},
            "The polygons bad.geojson, line 2: a polygon's ring needs at least four positions"},
           {{"--crop-polygon", "none.geojson"}, "Cannot read the polygons none.geojson"},
           {{"--crop", "0,0,0,9"}, "--crop takes XMIN,YMIN,XMAX,YMAX"},
           {{"--crop", "0,0,9"}, "--crop takes"},
           {{"--crop", "0,0,9,9,9"}, "--crop takes"},
           {{"--z-range", "nan,1"}, "--z-range takes"},
           {{"--keep-class", "grass"}, "--keep-class takes class numbers"},
           {{"--thin", "0"}, "--thin takes"},
           {{"--thin", "2", "--thin", "3"}, "--thin is given twice"},
       }) {
    std::vector<std::string> arguments = c.options;
    for (const char* more : {"-o", "r.xyz", "a.xyz", "c.csv"}) arguments.push_back(more);
    EXPECT_EQ(run(arguments), 1) << c.options[0];
    EXPECT_NE(err.find(c.told), std::string::npos) << err;
    EXPECT_EQ(disk.files.count("r.xyz"), 0u) << c.options[0];
  }
}

}  // namespace
