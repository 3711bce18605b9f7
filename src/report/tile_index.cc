#include "report/tile_index.h"

#include "num/number.h"

namespace {

// The extent's bounds as properties: numbers, null for an axis without
// points, and the infinities as the report writes them, since JSON has no
// number for them.
std::string bound(const Bound& extent, double value) {
  return extent.met ? json_number(value) : "null";
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
  std::string text;
  text.reserve(64 + room_for_inputs(job.inputs, 520, 2));
  text += "{\"type\": \"FeatureCollection\", ";
  // A LAS or LAZ result's form, as the report gives it.
  if (job.form.las) text += "\"result_form\": " + form_json(job.form) + ", ";
  text += "\"features\": [";
  for (std::size_t i = 0; i < job.inputs.size(); ++i) {
    const InputFacts& input = job.inputs[i];
    const Bounds& extents = input.extents;
    text += i == 0 ? "\n" : ",\n";
    text += "{\"type\": \"Feature\", \"geometry\": ";
    text += extents.x.finite() && extents.y.finite() ? polygon(extents.x, extents.y) : "null";
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
