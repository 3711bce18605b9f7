#include "filter/polygon_filter.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "filter/json.h"
#include "num/number.h"

bool Polygon::contains(double x, double y) const {
  if (!(x >= min[0] && x <= max[0] && y >= min[1] && y <= max[1])) return false;
  // The edges crossed on the way to the right: an odd number, inside. Each
  // edge is taken from its lower end, whichever way its ring runs, so that
  // a shared edge is computed to the same bits for both its polygons.
  bool inside = false;
  for (const Edge& e : edges) {
    if (y < e.y0 || y >= e.y1) continue;
    const double cross = (e.x1 - e.x0) * (y - e.y0) - (e.y1 - e.y0) * (x - e.x0);
    if (cross > 0) inside = !inside;
  }
  return inside;
}

namespace {

[[noreturn]] void wrong(const Json& at, const std::string& what) { throw JsonError{at.line, what}; }

const Json& array_of(const Json& value, const char* what) {
  if (value.kind != Json::Kind::kArray)
    wrong(value, std::string(what) + " must be an array, not " + kind_name(value.kind));
  return value;
}

void add_ring(const Json& ring, Polygon& polygon, bool outer) {
  array_of(ring, "a polygon's ring");
  if (ring.items.size() < 4) wrong(ring, "a polygon's ring needs at least four positions");
  std::vector<std::array<double, 2>> points;
  for (const Json& position : ring.items) {
    array_of(position, "a position");
    if (position.items.size() < 2) wrong(position, "a position needs two numbers, X and Y");
    std::array<double, 2> point{};
    for (int i = 0; i < 2; ++i) {
      const Json& n = position.items[static_cast<std::size_t>(i)];
      if (n.kind != Json::Kind::kNumber)
        wrong(n, std::string("a position holds ") + kind_name(n.kind) + ", not a number");
      if (!std::isfinite(n.number)) wrong(n, "a position's number is too large");
      point[static_cast<std::size_t>(i)] = n.number;
    }
    points.push_back(point);
  }
  if (points.front() != points.back())
    wrong(ring, "a polygon's ring must end at the position it begins with");
  if (outer) {
    polygon.min[0] = polygon.max[0] = points[0][0];
    polygon.min[1] = polygon.max[1] = points[0][1];
  }
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    auto a = points[i];
    auto b = points[i + 1];
    if (outer) {
      for (int axis = 0; axis < 2; ++axis) {
        const auto k = static_cast<std::size_t>(axis);
        polygon.min[axis] = std::min(polygon.min[axis], b[k]);
        polygon.max[axis] = std::max(polygon.max[axis], b[k]);
      }
    }
    if (a[1] == b[1]) continue;
    if (a[1] > b[1]) std::swap(a, b);
    polygon.edges.push_back({a[0], a[1], b[0], b[1]});
  }
}

void add_polygon(const Json& rings, Polygons& polygons) {
  array_of(rings, "a Polygon's coordinates");
  if (rings.items.empty()) wrong(rings, "a Polygon has no ring");
  Polygon polygon;
  for (std::size_t r = 0; r < rings.items.size(); ++r) add_ring(rings.items[r], polygon, r == 0);
  polygons.polygons.push_back(std::move(polygon));
}

const Json& member(const Json& object, const char* name, const char* of) {
  const Json* value = object.member(name);
  if (value == nullptr) wrong(object, std::string(of) + " has no \"" + name + "\"");
  return *value;
}

void add_object(const Json& object, Polygons& polygons, int depth) {
  if (object.kind != Json::Kind::kObject)
    wrong(object, std::string("a GeoJSON object was expected, not ") + kind_name(object.kind));
  const Json& type = member(object, "type", "a GeoJSON object");
  if (type.kind != Json::Kind::kString) wrong(type, "\"type\" must be a string");
  const std::string& name = type.text;
  if (name == "FeatureCollection") {
    for (const Json& feature : array_of(member(object, "features", "a FeatureCollection"),
                                        "a FeatureCollection's \"features\"")
                                   .items) {
      add_object(feature, polygons, depth + 1);
    }
  } else if (name == "Feature") {
    const Json& geometry = member(object, "geometry", "a Feature");
    if (geometry.kind == Json::Kind::kNull) wrong(geometry, "a Feature has no geometry");
    add_object(geometry, polygons, depth + 1);
  } else if (name == "GeometryCollection") {
    if (depth > 8) wrong(object, "geometry collections nested too deep");
    for (const Json& geometry :
         array_of(member(object, "geometries", "a GeometryCollection"), "\"geometries\"").items) {
      add_object(geometry, polygons, depth + 1);
    }
  } else if (name == "Polygon") {
    add_polygon(member(object, "coordinates", "a Polygon"), polygons);
  } else if (name == "MultiPolygon") {
    for (const Json& polygon :
         array_of(member(object, "coordinates", "a MultiPolygon"), "a MultiPolygon's coordinates")
             .items) {
      add_polygon(polygon, polygons);
    }
  } else if (name == "Point" || name == "MultiPoint" || name == "LineString" ||
             name == "MultiLineString") {
    wrong(object, "a " + name + " encloses no area: only Polygon and MultiPolygon crop");
  } else {
    wrong(type, "\"type\" is no GeoJSON type");
  }
}

}  // namespace

Polygons read_polygons(std::string_view geojson) {
  const Json document = parse_json(geojson);
  Polygons polygons;
  add_object(document, polygons, 0);
  if (polygons.polygons.empty()) throw JsonError{document.line, "it holds no polygon"};
  return polygons;
}

void PolygonFilter::begin_run(const ScaledRecords& records) {
  if (records.scale == scale_ && records.offset == offset_) return;
  scale_ = records.scale;
  offset_ = records.offset;
  for (int axis = 0; axis < 2; ++axis) axis_[axis] = ScaledAxis(scale_[axis], offset_[axis]);
}

bool PolygonFilter::keep(const ScaledRecords& /*records*/, const char* record) {
  auto whole = [record](int at) {
    std::uint32_t raw = 0;
    for (int i = 3; i >= 0; --i) raw = raw << 8 | static_cast<unsigned char>(record[at + i]);
    return static_cast<std::int32_t>(raw);
  };
  return polygons_->contains(axis_[0].value(whole(0)), axis_[1].value(whole(4)));
}
