// A filter: a stage between the readers and the writer that decides, point
// by point, which points go on to the result. Each input of a job gets
// filters of its own (a thinning counts its input's points), made by the
// job's FilterMakers; a point is kept when every filter keeps it.
#ifndef STRATUMIX_FILTER_POINT_FILTER_H_
#define STRATUMIX_FILTER_POINT_FILTER_H_

#include <functional>
#include <memory>
#include <string>

#include "point/dimension.h"
#include "point/point.h"

class PointFilter {
 public:
  virtual ~PointFilter() = default;
  // What it is, for the reports: "--keep-class 2".
  virtual std::string name() const = 0;
  // The dimensions it tests beyond X, Y and Z, for the readers to rebuild.
  virtual point::DimSet tests() const { return {}; }
  // What an input of `schema` lacks of what it tests, by name ("Classification"),
  // or nothing: such an input is refused before the job begins.
  virtual std::string lacks(const point::Schema& schema) const {
    for (int d = 0; d < point::kDimCount; ++d) {
      const auto dim = static_cast<point::Dim>(d);
      if (tests().has(dim) && !schema.dims.has(dim)) return std::string(point::name_of(dim));
    }
    return {};
  }
  // Told before each run of records, whose layout, scales and offsets stay
  // those of the input: what each record is tested on is found here once.
  virtual void begin_run(const ScaledRecords& /*records*/) {}
  // Whether a point given by value goes on.
  virtual bool keep(const Point& point) = 0;
  // Whether the record at `record`, one of `records`, goes on.
  virtual bool keep(const ScaledRecords& records, const char* record) = 0;
};

using FilterMaker = std::function<std::unique_ptr<PointFilter>()>;

#endif  // STRATUMIX_FILTER_POINT_FILTER_H_
