#include "tile_map.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace {

JobFacts grid_of_tiles(int side, double size) {
  // A job's records name the paths its job table holds: these stay too.
  static std::deque<std::string> paths;
  JobFacts job;
  job.result = "all.xyz";
  for (int row = 0; row < side; ++row) {
    for (int column = 0; column < side; ++column) {
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
    for (std::size_t i = 0; i < shown.size(); ++i) {
      for (std::size_t j = i + 1; j < shown.size(); ++j) {
        bool apart = std::abs(shown[i].x - shown[j].x) >= (shown[i].width + shown[j].width) / 2 ||
                     std::abs(shown[i].y - shown[j].y) >= 12;
        ASSERT_TRUE(apart) << side << ": labels " << i << " and " << j << " overlap";
      }
    }
  }
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
  EXPECT_NE(svg.find("<title>2: a&lt;b&gt;&amp;&quot;c&quot;??.xyz</title>"), std::string::npos);
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

}  // namespace
