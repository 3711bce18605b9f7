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

// The EPSG code of the horizontal system every tile placed on the map
// states, for a GIS to place them by; 0 where they state none or differ.
int shared_epsg(const JobFacts& job) {
  int shared = 0;
  for (const InputFacts& input : job.inputs) {
    if (!input.extents.x.finite() || !input.extents.y.finite()) continue;
    int code = input.crs != nullptr ? input.crs->horizontal_epsg : 0;
    if (code == 0 || (shared != 0 && code != shared)) return 0;
    shared = code;
  }
  return shared;
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
  const bool systems = job.any_system();
  std::string text;
  text.reserve(256 + room_for_inputs(job.inputs, systems ? 640 : 520, 2));
  text += "{\"type\": \"FeatureCollection\", ";
  // The member GDAL, and so QGIS, reads a GeoJSON file's system from: the
  // form of GeoJSON before RFC 7946, which made WGS 84 the only one.
  if (int epsg = shared_epsg(job); epsg != 0) {
    text += "\"crs\": {\"type\": \"name\", \"properties\": {\"name\": \"urn:ogc:def:crs:EPSG::" +
            number::int_text(epsg) + "\"}},\n ";
  }
  // A LAS or LAZ result's form, as the report gives it.
  if (job.form.las) text += "\"result_form\": " + form_json(job.form) + ",\n ";
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
    // A GIS shows a property of lists as text: what each filter left out
    // is one text.
    if (!job.filters.empty()) {
      text += ", \"points_read\": " + number::int_text(input.read) +
              ", \"left_out\": " + json_string(left_out_text(job, input.left_out));
    }
    const char* names[] = {"x", "y", "z"};
    for (int axis = 0; axis < 3; ++axis) {
      const Bound& extent = extents.axis(axis);
      text += std::string(", \"") + names[axis] + "_min\": " + bound(extent, extent.min) + ", \"" +
              names[axis] + "_max\": " + bound(extent, extent.max);
    }
    if (systems) {
      const las::Crs* crs = input.crs.get();
      text += ", \"crs\": " + (crs != nullptr ? json_string(crs->describe()) : "null") +
              ", \"epsg\": " + json_epsg(crs != nullptr ? crs->horizontal_epsg : 0) +
              ", \"vertical_epsg\": " + json_epsg(crs != nullptr ? crs->vertical_epsg : 0);
    }
    text += ", \"notes\": " + json_string(joined_notes(input)) + "}}";
  }
  text += job.inputs.empty() ? "]}\n" : "\n]}\n";
  return text;
}
