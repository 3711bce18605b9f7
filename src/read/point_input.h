// What pastes the points of one input, whatever form the input takes:
// text of numbers, or another format the program reads.
#ifndef STRATUMIX_READ_POINT_INPUT_H_
#define STRATUMIX_READ_POINT_INPUT_H_

#include <cstdint>
#include <string>

#include "num/extent.h"
#include "point/point.h"
#include "read/las/las_crs.h"
#include "read/las/las_units.h"
#include "read/point_sink.h"

class PointInput {
 public:
  virtual ~PointInput() = default;

  // Gives up to `count` points to `sink`, adding each to `extents`;
  // returns how many. Fewer
  // only at the end of the input or at what is not a point, which problem()
  // then describes; more when points were made ahead and are handed on
  // together.
  virtual std::int64_t copy_points(PointSink& sink, Extents& extents, std::int64_t count) = 0;

  // Empty at the clean end of the input; otherwise what stopped the
  // reading, for a message: where in the input, and what was found there.
  virtual const std::string& problem() const = 0;
  // Whether the problem was found only once every point the input holds
  // had been given (a LAZ stream that does not end where it should): none
  // is left unpasted, but some may be wrong.
  virtual bool problem_at_end() const { return false; }

  // Empty for the input read as plain numbers; otherwise what was done to
  // read it (what was skipped, which fields were taken), for one note once
  // the input has been read.
  virtual std::string note() const { return {}; }
  // The points given so far, those of a call that a failure cut short
  // included: they are in the result.
  virtual std::int64_t points() const = 0;
  // The unit of X and Y where the input states it (a LAS file's
  // georeferencing), for the map's scale.
  virtual LinearUnit unit() const { return LinearUnit::kUnknown; }
  // The reference system the input states (a LAS file's records), known
  // once its first points are asked for; empty for text.
  virtual const las::Crs& crs() const {
    static const las::Crs kNone;
    return kNone;
  }

  // What the input carries, known once it is open: X, Y and Z alone
  // unless its reader finds more.
  virtual point::Schema schema() const { return {}; }
  // What the job writes or tests of each point, said before the first
  // points are asked for: a reader rebuilds that much of each (X, Y and Z
  // alone unless told).
  virtual void want(const point::Wanted& /*wanted*/) {}

  // For an input whose reading stopped at what is not a point: reads what
  // is left where only the rest can tell whether the text was whole and
  // right (gzip data, checked at each member's end), and throws Failure as
  // a read does when it was not. Returns at once for other inputs.
  virtual void check_rest() {}
};

#endif  // STRATUMIX_READ_POINT_INPUT_H_
