// --crop-polygon: the points within the polygons of a GeoJSON file, holes
// left out. A point on an edge belongs to the polygon on its right, and one
// on a lower edge to the polygon above it (each edge holds its lower end,
// not its upper): polygons that share an edge share none of its points, and
// jobs cropped to neighbouring polygons give each point once.
#ifndef STRATUMIX_FILTER_POLYGON_FILTER_H_
#define STRATUMIX_FILTER_POLYGON_FILTER_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filter/point_filter.h"
#include "filter/scaled_axis.h"

// One polygon, its outer ring and holes alike as edges, each from its lower
// end to its upper one; edges level in Y, which no crossing counts, left out.
struct Polygon {
  struct Edge {
    double x0, y0, x1, y1;  // y0 < y1
  };
  std::vector<Edge> edges;
  double min[2], max[2];  // of its outer ring

  bool contains(double x, double y) const;
};

struct Polygons {
  std::vector<Polygon> polygons;
  bool contains(double x, double y) const {
    for (const Polygon& polygon : polygons) {
      if (polygon.contains(x, y)) return true;
    }
    return false;
  }
};

// The Polygon and MultiPolygon geometries of a GeoJSON text (a
// FeatureCollection, a Feature, a geometry or a GeometryCollection); throws
// JsonError with the line and what is wrong.
Polygons read_polygons(std::string_view geojson);

class PolygonFilter : public PointFilter {
 public:
  PolygonFilter(std::string name, std::shared_ptr<const Polygons> polygons)
      : name_(std::move(name)), polygons_(std::move(polygons)) {}

  std::string name() const override { return name_; }
  void begin_run(const ScaledRecords& records) override;
  bool keep(const Point& point) override {
    return polygons_->contains(point.xyz[0].value, point.xyz[1].value);
  }
  bool keep(const ScaledRecords& records, const char* record) override;

 private:
  std::string name_;
  std::shared_ptr<const Polygons> polygons_;
  const double* scale_ = nullptr;
  const double* offset_ = nullptr;
  ScaledAxis axis_[2];
};

#endif  // STRATUMIX_FILTER_POLYGON_FILTER_H_
