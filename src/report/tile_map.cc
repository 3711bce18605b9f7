#include "report/tile_map.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "num/number.h"

namespace {

// The drawing in pixels: the map fits kMapWidth by kMapHeight, with the
// title above it, room for the axis values on the left, and below it the
// axis values, the scale bar and the legends.
constexpr double kMapWidth = 800;
constexpr double kMapHeight = 560;
constexpr double kLeft = 90;
constexpr double kRight = 20;
constexpr double kTop = 56;
constexpr double kBelow = 90;  // axis values and scale bar, above the legends
// A label's room: 11-pixel sans-serif averages under 6.5 pixels a
// character, digits 7 at most.
constexpr double kCharWidth = 6.5;
constexpr double kDigitWidth = 7;
constexpr double kLabelHeight = 12;
constexpr std::size_t kLongestName = 24;
// The title's 15-pixel bold letters.
constexpr double kTitleCharWidth = 9.5;
// A tile smaller than this, in pixels, both ways, is a speck.
constexpr double kSpeck = 3;
// The legends' lines.
constexpr double kLegendRow = 14;

// Tiles shaded by points per unit of area, light for thin, in five classes
// (ColorBrewer's YlGnBu, five classes).
constexpr const char* kShades[] = {"#ffffcc", "#a1dab4", "#41b6c4", "#2c7fb8", "#253494"};
constexpr int kClasses = 5;

// Pixels, to a hundredth.
std::string px(double value) { return number::fixed_text(value, 2); }

std::string xml_text(std::string_view text) {
  std::string escaped;
  std::string valid = valid_utf8(text);
  // XML 1.0 has no place for U+FFFE and U+FFFF, which UTF-8 holds like any
  // other character: a browser would show no map at all.
  for (std::size_t at = valid.find("\xef\xbf"); at != std::string::npos;
       at = valid.find("\xef\xbf", at + 1)) {
    if (at + 2 < valid.size() && (valid[at + 2] == '\xbe' || valid[at + 2] == '\xbf')) {
      valid[at] = '?';
      valid.erase(at + 1, 2);
    }
  }
  for (char c : valid) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        // XML 1.0 has no place for control characters but tab and line ends.
        escaped += static_cast<unsigned char>(c) < 0x20 && c != '\t' ? '?' : c;
    }
  }
  return escaped;
}

bool drawable(const InputFacts& input) {
  return input.extents.x.finite() && input.extents.y.finite();
}

// 1, 2 or 5 times a power of ten, the nearest to `length` at or below it.
double round_length(double length) {
  double power = std::pow(10.0, std::floor(std::log10(length)));
  for (double step : {5.0, 2.0, 1.0}) {
    if (step * power <= length) return step * power;
  }
  return power;
}

// The same at or above it.
double round_length_up(double length) {
  double power = std::pow(10.0, std::floor(std::log10(length)));
  for (double step : {1.0, 2.0, 5.0}) {
    if (step * power >= length) return step * power;
  }
  return 10 * power;
}

// Decimals enough to tell values `step` apart.
int decimals_for(double step) {
  return std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6);
}

// Halves throughout: the span of coordinates near the largest doubles
// (-1e308 to 1e308) is itself too large for a double, half of it never.
double half_span(double min, double max) { return max / 2 - min / 2; }

class Drawing {
 public:
  // `least_width`: the picture's, at least, for the lines of text above
  // and below the map.
  Drawing(double x_min, double x_max, double y_min, double y_max, double least_width)
      : x_min_(x_min), y_max_(y_max), least_width_(least_width) {
    double width = half_span(x_min, x_max);
    double height = half_span(y_min, y_max);
    // A span so small that no scale would draw it (below about 1e-305) is
    // none.
    if (!std::isfinite(kMapWidth / width)) width = 0;
    if (!std::isfinite(kMapHeight / height)) height = 0;
    if (width <= 0 && height <= 0) width = height = 0.5;  // points on one spot
    half_scale_ = std::min(width > 0 ? kMapWidth / width : HUGE_VAL,
                           height > 0 ? kMapHeight / height : HUGE_VAL);
    map_width_ = std::max(width * half_scale_, 1.0);
    map_height_ = std::max(height * half_scale_, 1.0);
  }
  double x(double value) const { return kLeft + half_span(x_min_, value) * half_scale_; }
  double y(double value) const { return kTop + half_span(value, y_max_) * half_scale_; }
  // Pixels for a length of `length` / 2.
  double half_scale() const { return half_scale_; }
  double width() const {
    return std::max(kLeft + std::max(map_width_, kMapWidth / 2) + kRight, least_width_);
  }
  double map_width() const { return map_width_; }
  double map_height() const { return map_height_; }
  double bottom() const { return kTop + map_height_; }

 private:
  double x_min_;
  double y_max_;
  double least_width_;
  double half_scale_;
  double map_width_;
  double map_height_;
};

std::string rect(double x, double y, double width, double height) {
  return "x=\"" + px(x) + "\" y=\"" + px(y) + "\" width=\"" + px(width) + "\" height=\"" +
         px(height) + "\"";
}

std::string text_at(double x, double y, const std::string& anchor, const std::string& text) {
  return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" + anchor + "\">" + text +
         "</text>\n";
}

// Round values along an extent, at least `spacing` pixels apart over
// `pixels`, and the decimals that tell them apart.
std::pair<std::vector<double>, int> round_values(const Bound& extent, double pixels,
                                                 double spacing) {
  double step =
      round_length_up(std::max(half_span(extent.min, extent.max), 5e-7) * (2 * spacing / pixels));
  std::vector<double> found;
  // Counted, not stepped: far from zero, a step smaller than the spacing of
  // doubles there adds nothing, and the same value would come again.
  double first = std::ceil(extent.min / step);
  for (int k = 0; k <= static_cast<int>(pixels / spacing) + 1; ++k) {
    double value = (first + k) * step;
    if (!std::isfinite(value) || value > extent.max + step * 1e-9) break;
    if (found.empty() || value > found.back()) found.push_back(value);
  }
  return {found, decimals_for(step)};
}

// Values along both axes, at round steps, with a tick each: across, as far
// apart as the longest value's text; up, a line of text apart.
std::string axes(const Drawing& drawing, const Bound& x, const Bound& y) {
  std::string svg = "<g class=\"axis\">\n";
  double bottom = drawing.bottom();
  // The values' width depends on their decimals, which depend on the step:
  // the whole digits first, then the decimals the step asks for.
  double digits = 0;
  for (double end : {x.min, x.max})
    digits = std::max(digits, static_cast<double>(number::fixed_text(end, 0).size()));
  auto spacing = [](double characters) { return std::max(characters * kDigitWidth + 14, 40.0); };
  auto [x_values, x_decimals] = round_values(x, drawing.map_width(), spacing(digits));
  if (x_decimals > 0) {
    std::tie(x_values, x_decimals) =
        round_values(x, drawing.map_width(), spacing(digits + 1 + x_decimals));
  }
  for (double value : x_values) {
    double at = drawing.x(value);
    svg += "<line x1=\"" + px(at) + "\" y1=\"" + px(bottom) + "\" x2=\"" + px(at) + "\" y2=\"" +
           px(bottom + 5) + "\"/>\n";
    svg += text_at(at, bottom + 18, "middle", number::fixed_text(value, x_decimals));
  }
  auto [y_values, y_decimals] = round_values(y, drawing.map_height(), 32);
  for (double value : y_values) {
    double at = drawing.y(value);
    svg += "<line x1=\"" + px(kLeft - 5) + "\" y1=\"" + px(at) + "\" x2=\"" + px(kLeft) +
           "\" y2=\"" + px(at) + "\"/>\n";
    svg += text_at(kLeft - 8, at + 4, "end", number::fixed_text(value, y_decimals));
  }
  return svg + "</g>\n";
}

// In the unit every tile states (LAS georeferencing), else in "map units":
// text states none, and a guess could be off by a factor of 3.28.
std::string scale_bar(const Drawing& drawing, LinearUnit unit) {
  double length = round_length(drawing.map_width() / 4 / drawing.half_scale() * 2);
  double pixels = length / 2 * drawing.half_scale();
  double y = drawing.bottom() + 50;
  std::string svg = "<g class=\"scale\">\n";
  svg += "<path d=\"M" + px(kLeft) + " " + px(y - 5) + "V" + px(y) + "H" + px(kLeft + pixels) +
         "V" + px(y - 5) + "\"/>\n";
  svg += text_at(kLeft + pixels + 6, y + 4, "start",
                 number::fixed_text(length, decimals_for(length)) + " " +
                     std::string(unit_name(unit, length != 1)));
  return svg + "</g>\n";
}

// A figure to three significant digits, for the density legend.
std::string figure(double value) {
  if (value >= 1000 || value == 0) return number::fixed_text(value, 0);
  return number::fixed_text(value,
                            std::clamp(2 - static_cast<int>(std::floor(std::log10(value))), 0, 6));
}

// Points per square map unit of a tile, infinite where it has no area (a
// line or one spot of points).
double density(const InputFacts& input) {
  double area =
      (input.extents.x.max - input.extents.x.min) * (input.extents.y.max - input.extents.y.min);
  return area > 0 ? static_cast<double>(input.points) / area : HUGE_VAL;
}

// Five classes of equal ratio between the thinnest and the densest tile
// that has an area, so that a tile with a fraction of its neighbours'
// points shows lighter than they do.
class Shading {
 public:
  explicit Shading(const std::vector<const InputFacts*>& tiles) {
    for (const InputFacts* tile : tiles) {
      double d = density(*tile);
      if (!std::isfinite(d) || d <= 0) continue;
      low_ = std::min(low_, d);
      high_ = std::max(high_, d);
    }
    if (low_ > high_) low_ = high_ = 1;
    // Within a fifth of each other, densities are one class.
    classes_ = high_ > low_ * 1.2 ? kClasses : 1;
  }
  int shade(double d) const {
    if (!std::isfinite(d)) return kClasses - 1;
    if (classes_ == 1 || d <= low_) return classes_ == 1 ? 2 : 0;
    int k = static_cast<int>(std::log(d / low_) / std::log(high_ / low_) * classes_);
    return std::clamp(k, 0, kClasses - 1);
  }
  // The legend below `top`, within `width`: a swatch and a range for each
  // class, in as many rows as it takes; `top` is moved below it.
  std::string legend(double& top, double width, LinearUnit unit) const {
    std::string svg = "<g class=\"legend\">\n";
    const std::string heading = "Points per square " + std::string(unit_name(unit, false)) + ":";
    svg += text_at(kLeft, top, "start", heading);
    const double first = kLeft + kCharWidth * static_cast<double>(heading.size()) + 12;
    double left = first;
    for (int k = 0; k < classes_; ++k) {
      int shade = classes_ == 1 ? 2 : k;
      double from = low_ * std::pow(high_ / low_, static_cast<double>(k) / classes_);
      double to = low_ * std::pow(high_ / low_, static_cast<double>(k + 1) / classes_);
      std::string range =
          classes_ == 1 ? "about " + figure(from) : figure(from) + " to " + figure(to);
      double room = 18 + kCharWidth * static_cast<double>(range.size()) + 14;
      if (left + room > width && left > first) {
        left = first;
        top += kLegendRow + 4;
      }
      svg += "<rect class=\"shade\" " + rect(left, top - 10, 14, 12) + " fill=\"" + kShades[shade] +
             "\"/>\n";
      svg += text_at(left + 18, top, "start", range);
      left += room;
    }
    top += kLegendRow;
    return svg + "</g>\n";
  }

 private:
  double low_ = HUGE_VAL;
  double high_ = 0;
  int classes_ = 1;
};

// The name a label shows: the file's, without its folders, when it is short
// enough to read.
std::string label_name(std::string_view path) {
  std::size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return name.empty() || name.size() > kLongestName ? "" : std::string(name);
}

// The start of `text` of at most `most` bytes, cut between characters.
std::string_view head_of(std::string_view text, std::size_t most) {
  std::size_t end = std::min(most, text.size());
  while (end > 0 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
    --end;
  return text.substr(0, end);
}

// The same of the end of `text`.
std::string_view tail_of(std::string_view text, std::size_t most) {
  std::size_t from = text.size() - std::min(most, text.size());
  while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xc0) == 0x80) ++from;
  return text.substr(from);
}

// A path of at most `most` bytes (at least kShortestInLegend), for the
// legend: whole where it is short enough, else the file's name, and of a
// name still longer its start and its end, which tell a set and a tile in
// it (pdal-autzen...636000_848800.laz).
constexpr std::size_t kShortestInLegend = 28;
std::string legend_name(std::string_view path, std::size_t most) {
  most = std::max(most, kShortestInLegend);
  if (path.size() <= most) return std::string(path);
  std::size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.size() <= most) return std::string(name);
  constexpr std::size_t kStart = 11;
  return std::string(head_of(name, kStart)) + "..." + std::string(tail_of(name, most - kStart - 3));
}

// Labels in pixels, kept apart: one is placed only where it covers no label
// already placed. Boxes are kept in a grid of cells as wide as the widest
// label and as high as one, so that only the neighbouring cells can hold a
// box that overlaps.
class LabelPlaces {
 public:
  bool place(double cx, double cy, double width) {
    auto column = static_cast<std::int64_t>(std::floor(cx / kCellWidth));
    auto row = static_cast<std::int64_t>(std::floor(cy / kCellHeight));
    for (std::int64_t across = column - 1; across <= column + 1; ++across) {
      for (std::int64_t down = row - 1; down <= row + 1; ++down) {
        auto near = placed_.find({across, down});
        if (near == placed_.end()) continue;
        for (const auto& [x, y, w] : near->second) {
          if (std::fabs(x - cx) < (w + width) / 2 + kGap && std::fabs(y - cy) < kCellHeight)
            return false;
        }
      }
    }
    placed_[{column, row}].push_back({cx, cy, width});
    return true;
  }

 private:
  // Room kept between two labels, so that their halos do not touch.
  static constexpr double kGap = 6;
  static constexpr double kCellWidth = kCharWidth * kLongestName + 4 + kGap;
  static constexpr double kCellHeight = kLabelHeight + 2;
  std::map<std::pair<std::int64_t, std::int64_t>, std::vector<std::tuple<double, double, double>>>
      placed_;
};

// The legend of the tiles shown by number, in columns as wide as their
// longest line and as many as the picture holds, below `top`, which is
// moved below it. However many tiles, it takes at most half the map's
// height (and a dozen rows): the rest are counted, and each tile's
// tooltip names it.
std::string numbers_legend(const std::vector<std::pair<std::string, const InputFacts*>>& numbered,
                           const Drawing& drawing, double& top) {
  if (numbered.empty()) return "";
  // A name may take a line of the picture's width, less its number.
  const auto most = static_cast<std::size_t>((drawing.width() - kLeft - kRight) / kCharWidth -
                                             static_cast<double>(numbered.back().first.size()) - 2);
  std::vector<std::string> lines;
  std::size_t longest = 0;
  for (const auto& [number, input] : numbered) {
    lines.push_back(number + ": " + legend_name(input->path, most));
    longest = std::max(longest, lines.back().size());
  }
  const double column_width = kCharWidth * static_cast<double>(longest) + 16;
  const auto columns = static_cast<std::size_t>(
      std::max(1.0, std::floor((drawing.width() - kLeft - kRight + 16) / column_width)));
  const auto most_rows =
      static_cast<std::size_t>(std::max(12.0, std::floor(drawing.map_height() / 2 / kLegendRow)));
  std::size_t shown = std::min(lines.size(), columns * most_rows);
  // The line that counts the rest takes the place of one.
  if (shown < lines.size()) --shown;
  const std::size_t rows = (shown + columns - 1) / columns;
  std::string svg = "<g class=\"numbers\">\n";
  svg += text_at(kLeft, top + 10, "start", "Tiles shown by number:");
  for (std::size_t k = 0; k < shown; ++k) {
    std::size_t column = k / rows;  // the legend's columns fill one after the other
    double left = kLeft + column_width * static_cast<double>(column);
    double y = top + 10 + kLegendRow * static_cast<double>(k % rows + 1);
    svg += text_at(left, y, "start", xml_text(lines[k]));
  }
  double height = 10 + kLegendRow * static_cast<double>(rows);
  if (shown < lines.size()) {
    height += kLegendRow;
    svg += text_at(kLeft, top + height, "start",
                   "and " + number::int_text(static_cast<std::int64_t>(lines.size() - shown)) +
                       " more, from " + numbered[shown].first + " on: a tile's tooltip names it");
  }
  top += height;
  return svg + "</g>\n";
}

}  // namespace

std::string tile_map_svg(const JobFacts& job) {
  Bound x;
  Bound y;
  std::vector<const InputFacts*> drawn;
  std::int64_t points = 0;
  for (const InputFacts& input : job.inputs) {
    points += input.points;
    if (!drawable(input)) continue;
    drawn.push_back(&input);
    x.merge(input.extents.x);
    y.merge(input.extents.y);
  }
  bool empty = !x.met;
  if (empty) {  // nothing to draw: an empty frame
    for (double corner : {0.0, 1.0}) {
      x.add(corner);
      y.add(corner);
    }
  }
  const std::string files = number::int_text(static_cast<std::int64_t>(job.inputs.size()));
  std::string summary = files + (job.inputs.size() == 1 ? " file, " : " files, ") +
                        number::int_text(points) + (points == 1 ? " point" : " points");
  if (!empty) {
    // To a thousandth of the span, as a power of ten: no decimals that tell
    // nothing on the map.
    int decimals = decimals_for(
        std::pow(10.0, std::ceil(std::log10(std::max(half_span(x.min, x.max), 5e-7) / 500))));
    summary += "; X " + number::fixed_text(x.min, decimals) + " to " +
               number::fixed_text(x.max, decimals) + ", Y " + number::fixed_text(y.min, decimals) +
               " to " + number::fixed_text(y.max, decimals);
  }
  // The title (15 pixels, bold) and the line below it stay in the picture,
  // however narrow the map: the picture grows instead, up to three times
  // the map's width (for coordinates of hundreds of digits, say).
  const double least_width =
      kLeft + kRight +
      std::min(3 * kMapWidth,
               std::max(kCharWidth * static_cast<double>(summary.size()),
                        kTitleCharWidth * static_cast<double>(valid_utf8(job.result).size())));
  Drawing drawing(x.min, x.max, y.min, y.max, least_width);
  Shading shading(drawn);

  std::string tiles;
  std::string labels;
  std::vector<std::pair<std::string, const InputFacts*>> numbered;
  LabelPlaces places;
  std::size_t with_area = 0;  // tiles that cover some ground
  std::size_t specks = 0;     // of those, those too small to see
  for (std::size_t i = 0; i < job.inputs.size(); ++i) {
    const InputFacts& input = job.inputs[i];
    if (!drawable(input)) continue;
    std::string number = number::int_text(static_cast<std::int64_t>(i) + 1);
    const Bounds& extents = input.extents;
    double left = drawing.x(extents.x.min);
    double top = drawing.y(extents.y.max);
    // A tile of one point, or one line of points, still shows.
    double width = std::max(drawing.x(extents.x.max) - left, 1.0);
    double height = std::max(drawing.y(extents.y.min) - top, 1.0);
    if (extents.x.max > extents.x.min && extents.y.max > extents.y.min) {
      ++with_area;
      if (width < kSpeck && height < kSpeck) {
        ++specks;
        // Drawn a little larger, so that where such tiles lie shows.
        left -= (kSpeck - width) / 2;
        top -= (kSpeck - height) / 2;
        width = height = kSpeck;
      }
    }
    tiles += "<rect class=\"tile\" id=\"tile-" + number + "\" " + rect(left, top, width, height) +
             " fill=\"" + kShades[shading.shade(density(input))] + "\"><title>" + number + ": " +
             xml_text(input.path) + ", " + number::int_text(input.points) +
             (input.points == 1 ? " point" : " points") + "</title></rect>\n";
    if (height < kLabelHeight + 2) continue;
    // The name where it fits the tile, else the number.
    std::string name = label_name(input.path);
    double name_width = kCharWidth * static_cast<double>(name.size()) + 4;
    double number_width = kDigitWidth * static_cast<double>(number.size()) + 2;
    bool by_name = !name.empty() && name_width <= width;
    if (!by_name && number_width > width) continue;
    double cx = left + width / 2;
    double cy = top + height / 2;
    if (!places.place(cx, cy, by_name ? name_width : number_width)) continue;
    labels += "<text class=\"label\" x=\"" + px(cx) + "\" y=\"" + px(cy + 4) + "\">" +
              (by_name ? xml_text(name) : number) + "</text>\n";
    if (!by_name) numbered.emplace_back(number, &input);
  }

  // Below the map: axis values, the scale bar, the density legend, then the
  // numbered tiles' names in columns.
  double legend_top = drawing.bottom() + kBelow;
  std::string legends;
  // The unit of X and Y, where every tile drawn states the same one.
  LinearUnit unit = drawn.empty() ? LinearUnit::kUnknown : drawn.front()->unit;
  for (const InputFacts* tile : drawn) {
    if (tile->unit != unit) unit = LinearUnit::kUnknown;
  }
  if (!drawn.empty()) legends += shading.legend(legend_top, drawing.width() - kRight, unit);
  // Tiles of several each that all come out as specks lie far apart for
  // their size: most often tiles of different reference systems, which put
  // one group of tiles thousands of kilometres from another. Said, so that
  // a map that looks empty is not taken for one without tiles.
  if (with_area > 1 && specks == with_area) {
    legend_top += 4;
    legends += text_at(kLeft, legend_top, "start",
                       "Tiles too small to see: they lie far apart for their size,");
    legends += text_at(kLeft, legend_top + kLegendRow, "start",
                       "as tiles in different reference systems do.");
    legend_top += 2 * kLegendRow + 4;
  }
  legends += numbers_legend(numbered, drawing, legend_top);
  double height = legend_top + 10;

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  // No width or height: the picture scales to the window that shows it.
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + px(drawing.width()) + " " +
         px(height) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  svg += "<title>" + xml_text(job.result) + ": " + files + " inputs</title>\n";
  svg +=
      "<style>"
      ".tile{fill-opacity:.75;stroke:#1b4a75;stroke-width:.5}"
      ".label{fill:#0b1c2c;text-anchor:middle;paint-order:stroke;stroke:#fff;stroke-width:3px;"
      "stroke-linejoin:round}"
      ".title{font-size:15px;font-weight:bold}"
      ".extent{fill:none;stroke:#000;stroke-width:1}"
      ".shade{stroke:#1b4a75;stroke-width:.5}"
      ".axis line,.scale path{stroke:#000;fill:none}"
      "</style>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
  svg += "<text class=\"title\" x=\"" + px(kLeft) + "\" y=\"20\">" + xml_text(job.result) +
         "</text>\n";
  svg += text_at(kLeft, 40, "start", summary);
  // Appended in place: for thousands of tiles, each of these is large.
  svg += "<g>\n";
  svg += tiles;
  svg += "</g>\n<g>\n";
  svg += labels;
  svg += "</g>\n";
  svg += "<rect class=\"extent\" " + rect(kLeft, kTop, drawing.map_width(), drawing.map_height()) +
         "/>\n";
  svg += axes(drawing, x, y);
  svg += scale_bar(drawing, unit);
  svg += legends;
  svg += "</svg>\n";
  return svg;
}
