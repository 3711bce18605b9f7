#include "report/tile_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "report/tile_index.h"

namespace {

JobFacts grid_of_tiles(int side, double size) {
  JobFacts job;
  job.result = "all.xyz";
  for (int row = 0; row < side; ++row) {
    for (int column = 0; column < side; ++column) {
      // A job's records name the paths its job table holds: these stay too.
      static std::deque<std::string> paths;
      InputFacts tile;
      tile.path = paths.emplace_back("tiles/t" + std::to_string(row) + "_" +
                                     std::to_string(column) + ".xyz");
      tile.points = 1;
      tile.extents.x.add(651000 + column * size);
      tile.extents.x.add(651000 + (column + 1) * size);
      tile.extents.y.add(6862000 + row * size);
      tile.extents.y.add(6862000 + (row + 1) * size);
      job.inputs.push_back(tile);
    }
  }
  return job;
}

struct Box {
  double x, y, width;
};

std::vector<Box> labels(const std::string& svg) {
  std::vector<Box> found;
  const std::string label = "<text class=\"label\" x=\"";
  for (std::size_t at = svg.find(label); at != std::string::npos; at = svg.find(label, at + 1)) {
    std::size_t x = at + label.size();
    std::size_t y = svg.find("y=\"", x) + 3;
    std::size_t number = svg.find('>', y) + 1;
    found.push_back({std::stod(svg.substr(x)), std::stod(svg.substr(y)),
                     7.0 * static_cast<double>(svg.find('<', number) - number)});
  }
  return found;
}

// No label over another: 12 pixels high, its digits' width across.
void expect_apart(const std::vector<Box>& shown) {
  for (std::size_t i = 0; i < shown.size(); ++i) {
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      bool apart = std::abs(shown[i].x - shown[j].x) >= (shown[i].width + shown[j].width) / 2 ||
                   std::abs(shown[i].y - shown[j].y) >= 12;
      ASSERT_TRUE(apart) << "labels " << i << " and " << j << " overlap";
    }
  }
}

// Thousands of tiles: every one drawn, the file small, and no label over
// another one.
TEST(TileMap, ManyTilesStayReadable) {
  for (int side : {3, 30, 100}) {
    std::string svg = tile_map_svg(grid_of_tiles(side, 250));
    std::size_t tiles = 0;
    for (std::size_t at = svg.find("class=\"tile\""); at != std::string::npos;
         at = svg.find("class=\"tile\"", at + 1)) {
      ++tiles;
    }
    EXPECT_EQ(tiles, static_cast<std::size_t>(side * side));
    EXPECT_LT(svg.size(), 3000000u);
    std::vector<Box> shown = labels(svg);
    // All labels where they fit, some where they would crowd, none on
    // tiles narrower than a number.
    std::size_t most = side == 100 ? 0 : side == 30 ? 899 : 9;
    std::size_t least = side == 30 ? 20 : most;
    EXPECT_LE(shown.size(), most) << side;
    EXPECT_GE(shown.size(), least) << side;
    expect_apart(shown);
  }
}

// Tiles whose centres are two pixels apart, on either side of where the
// grid that keeps labels apart divides, get one label.
TEST(TileMap, LabelsOfNeighboursAcrossTheGridsLinesAreApart) {
  // One point at each corner makes the map 800 by 560 units, a pixel each.
  JobFacts job;
  for (auto [x, y] : {std::pair{0.0, 0.0}, {800.0, 560.0}, {57.0, 260.0}, {59.0, 262.0}}) {
    InputFacts tile;
    tile.path = "t.xyz";
    tile.points = 2;
    tile.extents.x.add(x);
    tile.extents.y.add(y);
    if (x > 0 && x < 800) {
      tile.extents.x.add(x + 40);  // centres at 77 and 79: 167 and 169 pixels, 168 divides
      tile.extents.y.add(y + 40);
    }
    job.inputs.push_back(tile);
  }
  std::vector<Box> shown = labels(tile_map_svg(job));
  EXPECT_EQ(shown.size(), 1u);
  expect_apart(shown);
}

// Names are text in XML: what would end an attribute or an element is
// escaped, what XML has no place for replaced, and inputs without a place
// (no points, infinite values) are left out rather than drawn somewhere.
TEST(TileMap, TilesWithoutAPlaceAndNamesWithMarkup) {
  JobFacts job = grid_of_tiles(2, 100);
  job.inputs[1].path = "a<b>&\"c\"\xef\xbf\xbe\xef\xbf\xbf.xyz";
  job.inputs.push_back(InputFacts{"empty.xyz", 0, 0, {}, {}});
  job.inputs.push_back(job.inputs[0]);
  job.inputs.back().extents.x.add(INFINITY);
  std::string svg = tile_map_svg(job);
  EXPECT_NE(svg.find("<title>2: a&lt;b&gt;&amp;&quot;c&quot;??.xyz, 1 point</title>"),
            std::string::npos);
  EXPECT_EQ(svg.find("id=\"tile-5\""), std::string::npos);
  EXPECT_EQ(svg.find("id=\"tile-6\""), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
}

// Coordinates near the largest doubles, whose span no double holds, far
// from zero, where a round step is finer than the doubles there, and a span
// too small for any scale: the map stays finite, and its axes end.
TEST(TileMap, CoordinatesAtTheEndsOfTheDoubles) {
  for (auto [low, high] :
       {std::pair{-1e308, 1e308}, {1e17, 1e17 + 16}, {-1e308, -1e308}, {0.0, 4e-320}}) {
    JobFacts job;
    job.inputs.push_back(InputFacts{"far.xyz", 2, 0, {}, {}});
    job.inputs[0].extents.x.add(low);
    job.inputs[0].extents.x.add(high);
    job.inputs[0].extents.y.add(5);
    std::string svg = tile_map_svg(job);
    EXPECT_EQ(svg.find("nan"), std::string::npos) << low;
    EXPECT_EQ(svg.find("inf"), std::string::npos) << low;
    EXPECT_NE(svg.find("id=\"tile-1\""), std::string::npos) << low;
    EXPECT_LT(svg.size(), 10000u) << low;
  }
}

// What a person needs to read the map: a title with the job's figures,
// names on the tiles where they fit and a legend for the numbers, a thin
// tile lighter than its neighbours, ticks on both axes, a scale in map
// units, and a picture that scales to its window.
TEST(TileMap, ItTellsWhatItShows) {
  JobFacts job = grid_of_tiles(2, 100);  // tiles of 100 units: names fit
  job.inputs[3].points = 1;
  job.inputs[0].points = 30;
  job.inputs[1].points = 30;
  job.inputs[2].points = 30;
  InputFacts small;  // a tile too small for its name
  small.path = "far/a-rather-long-name.xyz";
  small.points = 5;
  for (double v : {0.0, 6.0}) {
    small.extents.x.add(651000 + 200 + v);
    small.extents.y.add(6862000 + 200 + v);
  }
  job.inputs.push_back(small);
  std::string svg = tile_map_svg(job);

  EXPECT_NE(svg.find(">all.xyz</text>"), std::string::npos);
  EXPECT_NE(svg.find(">5 files, 96 points; X 651000"), std::string::npos) << svg;
  EXPECT_NE(svg.find(">t0_0.xyz</text>"), std::string::npos);
  EXPECT_NE(svg.find(">5: far/a-rather-long-name.xyz</text>"), std::string::npos) << svg;
  EXPECT_NE(svg.find(" map units</text>"), std::string::npos);
  EXPECT_EQ(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\" width"), std::string::npos);
  EXPECT_NE(svg.find("viewBox=\"0 0 "), std::string::npos);

  auto fill_of = [&svg](int number) {
    std::size_t at = svg.find("id=\"tile-" + std::to_string(number) + "\"");
    std::size_t fill = svg.find("fill=\"", at) + 6;
    return svg.substr(fill, 7);
  };
  EXPECT_EQ(fill_of(4), "#ffffcc");  // the thin one, lightest
  EXPECT_EQ(fill_of(1), fill_of(2));
  EXPECT_NE(fill_of(1), fill_of(4));

  std::size_t ticks = 0;
  for (std::size_t at = svg.find("<line"); at != std::string::npos; at = svg.find("<line", at + 1))
    ++ticks;
  EXPECT_GE(ticks, 4u);
}

// The width of the picture, from its viewBox.
double picture_width(const std::string& svg) {
  return std::stod(svg.substr(svg.find("viewBox=\"0 0 ") + 13));
}

// Tiles `columns` by `rows` of `size` units from (`x`, `y`), each of
// `points` points and named with `prefix`: a grid's figures, in its order.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void add_tiles(JobFacts& job, int columns, int rows, double size, double x, double y,
               const std::string& prefix, std::int64_t points = 3) {
  static std::deque<std::string> paths;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      InputFacts tile;
      const double left = x + column * size;
      const double bottom = y + row * size;
      tile.path =
          paths.emplace_back(prefix + std::to_string(static_cast<std::int64_t>(left)) + "_" +
                             std::to_string(static_cast<std::int64_t>(bottom)) + ".laz");
      tile.points = points;
      tile.extents.x.add(left + 0.25);
      tile.extents.x.add(left + size - 0.25);
      tile.extents.y.add(bottom + 0.25);
      tile.extents.y.add(bottom + size - 0.25);
      job.inputs.push_back(tile);
    }
  }
}

// Many tiles, a map taller than wide, long names, and tiles that lie far
// apart: the text stays within the picture, the legend of numbers within
// half the map's height, a name keeps its start and its end, and a map
// whose tiles are too small to see says why.
TEST(TileMap, ManyMixedOrLongNamedTilesStayReadable) {
  JobFacts narrow;
  narrow.result = "all.xyz";
  add_tiles(narrow, 10, 30, 1000, 6360000.125, 8480000.5, "deliveries/pdal-autzen_trim_",
            123456789);
  std::string svg = tile_map_svg(narrow);
  const std::size_t subtitle = svg.find("<text x=\"90.00\" y=\"40.00\"");
  ASSERT_NE(subtitle, std::string::npos) << svg.substr(0, 2000);
  const std::size_t from = svg.find('>', subtitle) + 1;
  const double length = static_cast<double>(svg.find('<', from) - from);
  EXPECT_GT(length, 60);
  EXPECT_LE(90 + 6.5 * length + 20, picture_width(svg)) << svg.substr(from, 120);
  // Names of the set and the tile, not their ends alone.
  EXPECT_NE(svg.find("pdal-autzen_trim_6360000_8480000.laz</text>"), std::string::npos);
  EXPECT_EQ(svg.find(">1: ..."), std::string::npos);

  JobFacts many;
  many.result = "all.xyz";
  add_tiles(many, 25, 20, 500, 636000, 848000, "t500/tile_");
  svg = tile_map_svg(many);
  const std::size_t extent = svg.find("<rect class=\"extent\"");
  const double map_height = std::stod(svg.substr(svg.find("height=\"", extent) + 8));
  const std::size_t numbers = svg.find("<g class=\"numbers\">");
  ASSERT_NE(numbers, std::string::npos);
  std::set<std::string> rows;
  std::size_t entries = 0;
  for (std::size_t at = svg.find("<text", numbers); at < svg.find("</g>", numbers);
       at = svg.find("<text", at + 1)) {
    rows.insert(svg.substr(svg.find("y=\"", at), 12));
    ++entries;
  }
  EXPECT_LE(static_cast<double>(rows.size()) * 14, map_height / 2 + 3 * 14) << rows.size();
  EXPECT_NE(svg.find("more, from "), std::string::npos);
  EXPECT_GT(entries, 20u);
  EXPECT_EQ(svg.find("too small to see"), std::string::npos);

  // A name longer than a line: its start and its end.
  JobFacts long_name = many;
  long_name.inputs.resize(2);
  static const std::string path =
      std::string(200, 'a') + "/survey-block-7-" + std::string(200, 'x') + "-636000_848800.laz";
  long_name.inputs[0].path = path;
  long_name.inputs[0].extents = {};
  long_name.inputs[0].extents.x.add(636000);
  long_name.inputs[0].extents.x.add(636020);
  long_name.inputs[0].extents.y.add(848000);
  long_name.inputs[0].extents.y.add(848020);
  svg = tile_map_svg(long_name);
  const std::size_t entry = svg.find(">1: survey-bloc...");
  ASSERT_NE(entry, std::string::npos) << svg;
  EXPECT_NE(svg.find("-636000_848800.laz</text>", entry), std::string::npos);
  EXPECT_LE(90 + 6.5 * static_cast<double>(svg.find('<', entry) - entry - 1) + 20,
            picture_width(svg));

  // Two groups of tiles in different reference systems.
  JobFacts mixed;
  mixed.result = "all.xyz";
  add_tiles(mixed, 3, 3, 1000, 636000, 848000, "feet_");
  add_tiles(mixed, 3, 3, 1000, 500000, 5000000, "utm_");
  svg = tile_map_svg(mixed);
  EXPECT_NE(svg.find(">Tiles too small to see: they lie far apart for their size,</text>"),
            std::string::npos);
  EXPECT_NE(svg.find(">as tiles in different reference systems do.</text>"), std::string::npos);
  EXPECT_NE(svg.find("width=\"3.00\" height=\"3.00\""), std::string::npos);
  // Tiles of one point each, however far apart, are no such map.
  JobFacts spots;
  for (double v : {0.0, 1e6, 2e6}) {
    InputFacts spot{"spot.xyz", 1, 0, {}, {}};
    spot.extents.x.add(v);
    spot.extents.y.add(v);
    spots.inputs.push_back(spot);
  }
  EXPECT_EQ(tile_map_svg(spots).find("too small to see"), std::string::npos);
}

// The scale in the unit every tile states; in map units where one states
// none or another.
TEST(TileMap, TheScaleIsInTheUnitTheTilesState) {
  JobFacts job = grid_of_tiles(2, 100);
  for (InputFacts& tile : job.inputs) tile.unit = LinearUnit::kMetre;
  std::string svg = tile_map_svg(job);
  EXPECT_NE(svg.find(" metres</text>"), std::string::npos) << svg;
  EXPECT_NE(svg.find(">Points per square metre:<"), std::string::npos);
  EXPECT_EQ(svg.find("map unit"), std::string::npos);
  job.inputs[2].unit = LinearUnit::kUsSurveyFoot;
  svg = tile_map_svg(job);
  EXPECT_EQ(svg.find("metre"), std::string::npos);
  EXPECT_NE(svg.find(" map units</text>"), std::string::npos);
}

// JSON has no number for infinity: a tile reaching it has no polygon, and
// null for that bound, so that each extent field stays a number (or null)
// in every tile of the layer a GIS makes of it.
TEST(TileIndex, AnInfiniteExtentGivesNoGeometryAndNoBareInfinity) {
  JobFacts job = grid_of_tiles(2, 100);
  job.inputs[0].extents.x.add(-HUGE_VAL);
  job.inputs[1].extents.y.add(HUGE_VAL);
  std::string index = tile_index_geojson(job);
  EXPECT_NE(index.find("\"geometry\": null"), std::string::npos) << index;
  EXPECT_NE(index.find("\"x_min\": null"), std::string::npos) << index;
  EXPECT_NE(index.find("\"y_max\": null"), std::string::npos) << index;
  EXPECT_EQ(index.find("inf"), std::string::npos) << index;
  EXPECT_NE(index.find("\"y_min\": 6862000.000000"), std::string::npos) << index;
  int bounds = 0;
  for (std::size_t at = index.find("_m"); at != std::string::npos; at = index.find("_m", at + 1)) {
    const std::size_t value = index.find(": ", at) + 2;
    ++bounds;
    EXPECT_TRUE(index.compare(value, 4, "null") == 0 || index[value] == '-' ||
                (index[value] >= '0' && index[value] <= '9'))
        << index.substr(at, 30);
  }
  EXPECT_EQ(bounds, 4 * 6);
}

// Where every tile on the map states the same EPSG code, the collection
// names it as GDAL reads it, so that a GIS places the tiles; each tile
// tells its own system where any states one.
TEST(TileIndex, TheSystemEveryTileStatesIsNamedForAGis) {
  JobFacts job = grid_of_tiles(2, 100);
  const std::string none = tile_index_geojson(job);
  EXPECT_EQ(none.find("crs"), std::string::npos) << none;
  EXPECT_EQ(none.find("epsg"), std::string::npos) << none;

  auto utm = std::make_shared<las::Crs>();
  utm->wkt = "PROJCS[\"NAD83 / UTM zone 10N\",AUTHORITY[\"EPSG\",\"26910\"]]";
  las::settle_codes(*utm, true);
  auto with_height = std::make_shared<las::Crs>(*utm);
  with_height->vertical_epsg = 5703;
  for (InputFacts& tile : job.inputs) tile.crs = utm;
  job.inputs[3].crs = with_height;
  // A tile without points is on no map: it takes no part.
  job.inputs.push_back(InputFacts{"empty.xyz", 0, 0, {}, {}});
  const std::string shared =
      "{\"type\": \"FeatureCollection\", \"crs\": {\"type\": \"name\", \"properties\": "
      "{\"name\": \"urn:ogc:def:crs:EPSG::26910\"}},\n \"features\": [";
  std::string index = tile_index_geojson(job);
  EXPECT_EQ(index.compare(0, shared.size(), shared), 0) << index;
  EXPECT_NE(index.find("\"z_max\": null, \"crs\": \"EPSG:26910\", \"epsg\": 26910, "
                       "\"vertical_epsg\": null, \"notes\": \"\"}}"),
            std::string::npos)
      << index;
  EXPECT_NE(index.find("\"crs\": \"EPSG:26910+5703\", \"epsg\": 26910, \"vertical_epsg\": 5703"),
            std::string::npos)
      << index;
  EXPECT_NE(index.find("\"path\": \"empty.xyz\", \"points\": 0, \"bytes\": 0, \"x_min\": null, "
                       "\"x_max\": null, \"y_min\": null, \"y_max\": null, \"z_min\": null, "
                       "\"z_max\": null, \"crs\": null, \"epsg\": null, \"vertical_epsg\": null"),
            std::string::npos)
      << index;

  // A tile on the map in no system, in another, or in one without a code:
  // the tiles are not placed.
  auto other = std::make_shared<las::Crs>(*utm);
  other->horizontal_epsg = 32617;
  auto uncoded = std::make_shared<las::Crs>();
  uncoded->wkt = "PROJCS[\"local \"\"grid\"\"\"]";
  las::settle_codes(*uncoded, true);
  for (const auto& odd : {std::shared_ptr<las::Crs>(), other, uncoded}) {
    job.inputs[1].crs = odd;
    index = tile_index_geojson(job);
    EXPECT_EQ(index.find("urn:ogc"), std::string::npos) << index;
    EXPECT_NE(index.find("\"epsg\": 26910"), std::string::npos);
  }
  EXPECT_NE(index.find("\"crs\": \"local \\\"grid\\\"\", \"epsg\": null"), std::string::npos)
      << index;
}

}  // namespace
