#include "filter/polygon_filter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "filter/json.h"

namespace {

// A 4 x 4 square from (0, 0) with a 2 x 2 hole from (1, 1), and beside it
// on the east a square of 4 x 4 cut along its diagonal into two triangles.
constexpr const char* kSite = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "properties": {"name": "yard"},
   "geometry": {"type": "Polygon", "coordinates": [
     [[0, 0], [4, 0], [4, 4], [0, 4], [0, 0]],
     [[1, 1], [1, 3], [3, 3], [3, 1], [1, 1]]]}},
  {"type": "Feature", "properties": null,
   "geometry": {"type": "MultiPolygon", "coordinates": [
     [[[4, 0], [8, 0], [8, 4], [4, 0]]],
     [[[4, 0], [8, 4], [4, 4], [4, 0]]]]}}
]})";

// A point inside a polygon's ring by the plain rule, for points on no
// edge: the ring crossed an odd number of times on the way to the right.
bool strictly_within(const std::vector<std::array<double, 2>>& ring, double x, double y) {
  bool inside = false;
  for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    const auto& a = ring[i];
    const auto& b = ring[j];
    if ((a[1] > y) != (b[1] > y) && x < (b[0] - a[0]) * (y - a[1]) / (b[1] - a[1]) + a[0])
      inside = !inside;
  }
  return inside;
}

TEST(CropPolygon, EdgesVerticesAndHoles) {
  const Polygons site = read_polygons(kSite);
  ASSERT_EQ(site.polygons.size(), 3u);
  struct Case {
    double x, y;
    bool in;
  };
  for (const Case& c :
       {Case{0.5, 0.5, true}, Case{2, 2, false},      // in the yard, in its hole
        Case{0, 2, true}, Case{0, 0, true},           // its west edge, its south-west corner
        Case{2, 0, true}, Case{8, 2, false},          // its south edge; the east's east edge
        Case{2, 4, false}, Case{8, 4, false},         // the north edges and a corner
        Case{1, 2, false}, Case{3, 2, true},          // the hole's west edge, its east edge
        Case{2, 1, false}, Case{2, 3, true},          // the hole's south edge, its north edge
        Case{1, 1, false}, Case{3, 3, true},          // the hole's corners
        Case{4, 2, true}, Case{6, 2, true},           // the edge the yard shares, the diagonal
        Case{-1, -1, false}, Case{8.5, 2, false}}) {  // outside
    EXPECT_EQ(site.contains(c.x, c.y), c.in) << c.x << " " << c.y;
  }
}

// Neighbouring polygons share no point of their edges and leave none out:
// every point of the plane within them lies in exactly one.
TEST(CropPolygon, NeighboursShareNoPoint) {
  const Polygons site = read_polygons(kSite);
  const Polygons hole = read_polygons(
      R"({"type": "Polygon", "coordinates": [[[1, 1], [3, 1], [3, 3], [1, 3], [1, 1]]]})");
  for (double x = -0.5; x <= 8.5; x += 0.125) {
    for (double y = -0.5; y <= 4.5; y += 0.125) {
      int in = hole.contains(x, y);
      for (const Polygon& polygon : site.polygons) in += polygon.contains(x, y);
      const bool covered = x >= 0 && x < 8 && y >= 0 && y < 4;
      EXPECT_EQ(in, covered ? 1 : 0) << x << " " << y;
      // Off the edges, the plain rule agrees.
      if (x != std::floor(x) && y != std::floor(y) && x - 4 != y) {
        const bool plain = strictly_within({{0, 0}, {8, 0}, {8, 4}, {0, 4}}, x, y);
        EXPECT_EQ(in == 1, plain) << x << " " << y;
      }
    }
  }
}

TEST(CropPolygon, RecordsAreTestedAtTheirValues) {
  PolygonFilter filter("--crop-polygon", std::make_shared<const Polygons>(read_polygons(kSite)));
  const double scale[3] = {0.01, 0.01, 0.01};
  const double offset[3] = {0, 0, 0};
  std::vector<char> bytes(std::size_t{12} * 3, 0);
  const std::int32_t xy[3][2] = {{100, 200}, {300, 200}, {50, 50}};  // hole edges, inside
  for (std::size_t r = 0; r < 3; ++r) {
    for (std::size_t axis = 0; axis < 2; ++axis) {
      for (std::size_t b = 0; b < 4; ++b)
        bytes[12 * r + 4 * axis + b] =
            static_cast<char>(static_cast<std::uint32_t>(xy[r][axis]) >> (8 * b));
    }
  }
  const ScaledRecords records{bytes.data(), 12, 3, scale, offset};
  filter.begin_run(records);
  EXPECT_FALSE(filter.keep(records, bytes.data()));
  EXPECT_TRUE(filter.keep(records, bytes.data() + 12));
  EXPECT_TRUE(filter.keep(records, bytes.data() + 24));
}

// What is wrong with a file is told with its line.
TEST(CropPolygon, BadGeoJsonIsToldWithItsLine) {
  struct Case {
    const char* text;
    int line;
    const char* what;
  };
  for (const Case& c : {
           Case{"{\"type\": \"Polygon\",\n \"coordinates\": [[[0, 0], [1, 0], [1, 1], [0, 0]]]\n,}",
                3, "a member's name was expected"},
           Case{"{\"type\": \"Polygon\", \"coordinates\":\n [[[0, 0], [1, 0], [1, 1], [0, 1]]]}", 2,
                "must end at the position it begins with"},
           Case{"{\"type\": \"Polygon\", \"coordinates\": [[[0, 0], [1, 0], [0, 0]]]}", 1,
                "at least four positions"},
           Case{"\n\n{\"type\": \"LineString\", \"coordinates\": [[0, 0], [1, 1]]}", 3,
                "encloses no area"},
           Case{"{\"type\": \"Feature\", \"geometry\": null}", 1, "no geometry"},
           Case{"{\"type\": \"FeatureCollection\", \"features\": []}", 1, "holds no polygon"},
           Case{"{\"type\": \"Polygon\", \"coordinates\": [[[0, 0], [1, \"0\"], [1, 1], [0, 0]]]}",
                1, "a string"},
           Case{"{\"type\": \"Polygon\", \"coordinates\": [[[0, 0], [1, 01]]]}", 1,
                "begins with 0"},
           Case{"{\"type\": \"Polygon\"}\n{}", 2, "more text"},
           Case{"{\"type\": \"Polygon\",\n\n \"coordinates\": [[[0, 0], [1, 0]", 3,
                "end of the file"},
           Case{"", 1, "a value was expected"},
       }) {
    try {
      read_polygons(c.text);
      ADD_FAILURE() << c.text;
    } catch (const JsonError& error) {
      EXPECT_EQ(error.line, c.line) << c.text;
      EXPECT_NE(error.what.find(c.what), std::string::npos) << error.what;
    }
  }
}

TEST(Json, ValuesAndEscapes) {
  const Json json =
      parse_json("\xef\xbb\xbf{\"a\": [1.5e2, -0.25, true, null, \"x\\u0041\\\"\"], \"b\": {}}");
  ASSERT_EQ(json.kind, Json::Kind::kObject);
  const Json* a = json.member("a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->items.size(), 5u);
  EXPECT_EQ(a->items[0].number, 150);
  EXPECT_EQ(a->items[1].number, -0.25);
  EXPECT_TRUE(a->items[2].flag);
  EXPECT_EQ(a->items[3].kind, Json::Kind::kNull);
  EXPECT_EQ(a->items[4].text, "xA\"");
  EXPECT_EQ(json.member("c"), nullptr);
  // Nesting deep enough to run out of stack is refused.
  EXPECT_THROW(parse_json(std::string(100000, '[')), JsonError);
}

}  // namespace
