#include "tile_map.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string_view>
#include <utility>

#include "number.h"

namespace {

// The drawing in pixels: the map fits kMapWidth by kMapHeight, with room
// for the axis values on the left and below.
constexpr double kMapWidth = 800;
constexpr double kMapHeight = 560;
constexpr double kLeft = 90;
constexpr double kRight = 20;
constexpr double kTop = 20;
constexpr double kBottom = 80;
// A label's room, and the cells of the grid that keeps labels apart.
constexpr double kDigitWidth = 7;
constexpr double kLabelHeight = 12;

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
  const Bound& x = input.extents.x;
  const Bound& y = input.extents.y;
  return x.met && y.met && std::isfinite(x.min) && std::isfinite(x.max) && std::isfinite(y.min) &&
         std::isfinite(y.max);
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
  Drawing(double x_min, double x_max, double y_min, double y_max) : x_min_(x_min), y_max_(y_max) {
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
  double width() const { return kLeft + map_width_ + kRight; }
  double height() const { return kTop + map_height_ + kBottom; }
  double map_width() const { return map_width_; }
  double map_height() const { return map_height_; }

 private:
  double x_min_;
  double y_max_;
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

// Values along both axes, at round steps, with a tick each.
std::string axes(const Drawing& drawing, const Bound& x, const Bound& y) {
  std::string svg = "<g class=\"axis\">\n";
  double bottom = kTop + drawing.map_height();
  auto values = [](const Bound& extent, double pixels) {
    // At least 90 pixels apart, room for the longest value: a round step
    // below that would crowd the labels into each other.
    double step =
        round_length_up(std::max(half_span(extent.min, extent.max), 5e-7) * (180 / pixels));
    std::vector<double> found;
    // Counted, not stepped: far from zero, a step smaller than the spacing
    // of doubles there adds nothing, and the same value would come again.
    double first = std::ceil(extent.min / step);
    for (int k = 0; k <= static_cast<int>(pixels / 90) + 1; ++k) {
      double value = (first + k) * step;
      if (!std::isfinite(value) || value > extent.max + step * 1e-9) break;
      if (found.empty() || value > found.back()) found.push_back(value);
    }
    return std::make_pair(found, decimals_for(step));
  };
  auto [x_values, x_decimals] = values(x, drawing.map_width());
  for (double value : x_values) {
    double at = drawing.x(value);
    svg += "<line x1=\"" + px(at) + "\" y1=\"" + px(bottom) + "\" x2=\"" + px(at) + "\" y2=\"" +
           px(bottom + 5) + "\"/>\n";
    svg += text_at(at, bottom + 18, "middle", number::fixed_text(value, x_decimals));
  }
  auto [y_values, y_decimals] = values(y, drawing.map_height());
  for (double value : y_values) {
    double at = drawing.y(value);
    svg += "<line x1=\"" + px(kLeft - 5) + "\" y1=\"" + px(at) + "\" x2=\"" + px(kLeft) +
           "\" y2=\"" + px(at) + "\"/>\n";
    svg += text_at(kLeft - 8, at + 4, "end", number::fixed_text(value, y_decimals));
  }
  return svg + "</g>\n";
}

std::string scale_bar(const Drawing& drawing) {
  double length = round_length(drawing.map_width() / 4 / drawing.half_scale() * 2);
  double pixels = length / 2 * drawing.half_scale();
  double y = kTop + drawing.map_height() + 50;
  std::string svg = "<g class=\"scale\">\n";
  svg += "<path d=\"M" + px(kLeft) + " " + px(y - 5) + "V" + px(y) + "H" + px(kLeft + pixels) +
         "V" + px(y - 5) + "\"/>\n";
  svg +=
      text_at(kLeft + pixels + 6, y + 4, "start", number::fixed_text(length, decimals_for(length)));
  return svg + "</g>\n";
}

}  // namespace

std::string tile_map_svg(const JobFacts& job) {
  Bound x;
  Bound y;
  for (const InputFacts& input : job.inputs) {
    if (!drawable(input)) continue;
    x.merge(input.extents.x);
    y.merge(input.extents.y);
  }
  if (!x.met) {  // nothing to draw: an empty frame
    for (double corner : {0.0, 1.0}) {
      x.add(corner);
      y.add(corner);
    }
  }
  Drawing drawing(x.min, x.max, y.min, y.max);

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(drawing.width()) +
         "\" height=\"" + px(drawing.height()) + "\" viewBox=\"0 0 " + px(drawing.width()) + " " +
         px(drawing.height()) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  svg += "<title>" + xml_text(job.result) + ": " +
         number::int_text(static_cast<std::int64_t>(job.inputs.size())) + " inputs</title>\n";
  svg +=
      "<style>"
      ".tile{fill:#2a6fb0;fill-opacity:.3;stroke:#1b4a75;stroke-width:.5}"
      ".label{fill:#102a44;text-anchor:middle}"
      ".extent{fill:none;stroke:#000;stroke-width:1}"
      ".axis line,.scale path{stroke:#000;fill:none}"
      "</style>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";

  std::string labels;
  std::set<std::pair<std::int64_t, std::int64_t>> taken;  // cells of the label grid
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
    svg += "<rect class=\"tile\" id=\"tile-" + number + "\" " + rect(left, top, width, height) +
           "><title>" + number + ": " + xml_text(input.path) + "</title></rect>\n";
    double label_width = kDigitWidth * static_cast<double>(number.size()) + 2;
    if (width < label_width || height < kLabelHeight + 2) continue;
    double cx = left + width / 2;
    double cy = top + height / 2;
    auto cell = std::make_pair(static_cast<std::int64_t>(cx / (kDigitWidth * 6)),
                               static_cast<std::int64_t>(cy / (kLabelHeight * 1.5)));
    if (!taken.insert(cell).second) continue;
    labels += "<text class=\"label\" x=\"" + px(cx) + "\" y=\"" + px(cy + 4) + "\">" + number +
              "</text>\n";
  }
  svg += "<g>\n";
  svg += labels;
  svg += "</g>\n";
  svg += "<rect class=\"extent\" " + rect(kLeft, kTop, drawing.map_width(), drawing.map_height()) +
         "/>\n";
  svg += axes(drawing, x, y);
  svg += scale_bar(drawing);
  svg += "</svg>\n";
  return svg;
}
