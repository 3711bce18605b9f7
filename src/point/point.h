// The form in which points cross from the readers to the writers: a point
// by value, its coordinates with their own text and its attributes where
// the input has any, or LAS records as they lie, with their scales,
// offsets and layout.
#ifndef STRATUMIX_POINT_POINT_H_
#define STRATUMIX_POINT_POINT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "point/dimension.h"
#include "point/las_record.h"

// A number as an input gave it: its value, and its own text where the
// reader kept it (a plain token of at most kKeptText bytes, a decimal
// comma made a point), which a sink may write from instead of the value.
struct Coordinate {
  static constexpr std::size_t kKeptText = 40;
  double value = 0;
  std::size_t text_length = 0;  // none kept
  char text[kKeptText];

  // Keeps the token [first, last) as the number's text, if it is short
  // enough.
  void keep_text(const char* first, const char* last) {
    auto length = static_cast<std::size_t>(last - first);
    text_length = length <= kKeptText ? length : 0;
    if (text_length != 0) std::memcpy(text, first, length);
  }
};

// The attributes of a point of text, beside its coordinates: the values
// of the dimensions its input carries (point::Schema), and of its other
// named columns, in the schema's order.
struct PointAttributes {
  double value[point::kDimCount] = {};
  std::vector<double> extra;
  // The extra dimensions' names, as long as the input is read.
  const std::vector<std::string>* extra_names = nullptr;
};

struct Point {
  Coordinate xyz[3];
  // Null where the input carries nothing but X, Y and Z.
  const PointAttributes* attributes = nullptr;
};

// Records of a LAS file as they lie in it: X, Y and Z, 32-bit integers
// (little-endian) at the start of each record, that are coordinates once
// scaled and offset: X * scale[0] + offset[0], and so on; the rest of each
// record as `layout` says (coordinates alone where no layout is given).
struct ScaledRecords {
  const char* first;
  std::size_t length;  // of a record
  std::int64_t count;
  const double* scale;
  const double* offset;
  const point::RecordLayout* layout = nullptr;
  // The records stay where they lie until the job ends (an input kept
  // whole in memory): a writer may keep where they are, not copies.
  bool lasting = false;
};

namespace point {

// What an input carries: the dimensions, and the names of its extra
// dimensions (a LAS file's extra bytes, a text file's other named
// columns).
struct Schema {
  DimSet dims = kXyz;
  std::vector<std::string> extra;
};

// What a job writes or tests of every point, beyond X, Y and Z: readers
// rebuild these and no more.
struct Wanted {
  DimSet dims = kXyz;
  std::vector<std::string> extra;  // extra dimensions by name
  bool only_xyz() const { return dims == kXyz && extra.empty(); }
};

}  // namespace point

#endif  // STRATUMIX_POINT_POINT_H_
