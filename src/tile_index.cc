#include "tile_index.h"

#include <cmath>

#include "number.h"

namespace {

// The extent's bounds as properties: numbers, null for an axis without
// points, and the infinities as the report writes them, since JSON has no
// number for them.
std::string bound(const Bound& extent, double value) {
  if (!extent.met) return "null";
  if (std::isinf(value)) return value < 0 ? "\"-inf\"" : "\"inf\"";
  return number::fixed6_text(value);
}

bool drawable(const Bound& extent) {
  return extent.met && std::isfinite(extent.min) && std::isfinite(extent.max);
}

// The extent as a closed ring, counterclockwise as RFC 7946 asks of an
// outer ring.
std::string polygon(const Bound& x, const Bound& y) {
  const std::string corners[][2] = {{number::fixed6_text(x.min), number::fixed6_text(y.min)},
                                    {number::fixed6_text(x.max), number::fixed6_text(y.min)},
                                    {number::fixed6_text(x.max), number::fixed6_text(y.max)},
                                    {number::fixed6_text(x.min), number::fixed6_text(y.max)},
                                    {number::fixed6_text(x.min), number::fixed6_text(y.min)}};
  std::string text = "{\"type\": \"Polygon\", \"coordinates\": [[";
  for (std::size_t i = 0; i < std::size(corners); ++i) {
    if (i > 0) text += ", ";
    text += "[" + corners[i][0] + ", " + corners[i][1] + "]";
  }
  return text + "]]}";
}

std::string joined_notes(const InputFacts& input) {
  std::string text;
  for (const std::string& note : input.notes) {
    if (!text.empty()) text += "; ";
    text += note;
  }
  return text;
}

}  // namespace

std::string tile_index_geojson(const JobFacts& job) {
  // Room for it all at once: grown by doubling, the text of thousands of
  // inputs would take up to three times its size while it moves.
  std::size_t room = 64;
  for (const InputFacts& input : job.inputs) {
    room += input.path.size() + 520;
    for (const std::string& note : input.notes) room += note.size() + 2;
  }
  std::string text;
  text.reserve(room);
  text += "{\"type\": \"FeatureCollection\", \"features\": [";
  for (std::size_t i = 0; i < job.inputs.size(); ++i) {
    const InputFacts& input = job.inputs[i];
    const Bounds& extents = input.extents;
    text += i == 0 ? "\n" : ",\n";
    text += "{\"type\": \"Feature\", \"geometry\": ";
    text += drawable(extents.x) && drawable(extents.y) ? polygon(extents.x, extents.y) : "null";
    text +=
        ",\n \"properties\": {\"number\": " + number::int_text(static_cast<std::int64_t>(i) + 1) +
        ", \"path\": " + json_string(input.path) +
        ", \"points\": " + number::int_text(input.points) +
        ", \"bytes\": " + number::int_text(input.bytes);
    const char* names[] = {"x", "y", "z"};
    for (int axis = 0; axis < 3; ++axis) {
      const Bound& extent = extents.axis(axis);
      text += std::string(", \"") + names[axis] + "_min\": " + bound(extent, extent.min) + ", \"" +
              names[axis] + "_max\": " + bound(extent, extent.max);
    }
    text += ", \"notes\": " + json_string(joined_notes(input)) + "}}";
  }
  text += job.inputs.empty() ? "]}\n" : "\n]}\n";
  return text;
}
