#include "filter/crop_filter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "filter/filtered_sink.h"
#include "filter/thin_filter.h"

namespace {

// Records of X, Y and Z alone, as a LAZ reader gives them.
struct Records {
  std::vector<char> bytes;
  void add(std::int32_t x, std::int32_t y, std::int32_t z) {
    for (std::int32_t v : {x, y, z}) {
      for (int b = 0; b < 4; ++b)
        bytes.push_back(static_cast<char>(static_cast<std::uint32_t>(v) >> (8 * b)));
    }
  }
  ScaledRecords of(const double* scale, const double* offset) const {
    return {bytes.data(), 12, static_cast<std::int64_t>(bytes.size() / 12), scale, offset};
  }
};

Point point_at(const std::array<double, 3>& xyz) {
  Point point;
  for (std::size_t axis = 0; axis < 3; ++axis) point.xyz[axis].value = xyz[axis];
  return point;
}

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// The value a decimal scale's integer stands for, as the result writes it
// and a reader of the result reads it back.
double written(std::int64_t whole, int decimals) {
  std::int64_t power = 1;
  for (int d = 0; d < decimals; ++d) power *= 10;
  const std::int64_t magnitude = whole < 0 ? -whole : whole;
  std::string text(whole < 0 ? "-" : "");
  text += std::to_string(magnitude / power);
  text += '.';
  text += decimals == 0 ? std::string("0") : std::to_string(magnitude % power + power).substr(1);
  return std::strtod(text.c_str(), nullptr);
}

TEST(Crop, EachBoundIsHalfOpenForPointsByValue) {
  Box box = Box::everything();
  box.from[0] = 10;
  box.to[0] = 20;
  box.from[1] = -5;
  box.to[1] = 0.1;
  CropFilter crop("--crop 10,-5,20,0.1", box);
  EXPECT_TRUE(crop.keep(point_at({10, -5, 1e300})));
  EXPECT_TRUE(crop.keep(point_at({std::nextafter(20.0, 0.0), 0.09999, -1e300})));
  EXPECT_FALSE(crop.keep(point_at({20, 0, 0})));
  EXPECT_FALSE(crop.keep(point_at({15, 0.1, 0})));
  EXPECT_FALSE(crop.keep(point_at({std::nextafter(10.0, 0.0), 0, 0})));
  EXPECT_FALSE(crop.keep(point_at({kNan, 0, 0})));
  EXPECT_FALSE(crop.keep(point_at({15, kNan, 0})));
  // An axis without bounds keeps even NaN.
  EXPECT_TRUE(crop.keep(point_at({15, 0, kNan})));
}

// Records are tested on their integers against bounds found once: the same
// points as their values tested one by one, exactly at the bounds too.
TEST(Crop, RecordsKeepWhatTheirValuesWouldKeep) {
  struct Case {
    double scale;
    double offset;
    int decimals;  // of a decimal scale, or -1
  };
  for (const Case& c : {Case{0.01, 0, 2}, Case{0.001, 500000, 3}, Case{0.01, -1000, 2},
                        Case{0.003, 1000.5, -1}, Case{1, 0, 0}}) {
    SCOPED_TRACE(c.scale);
    const double scale[3] = {c.scale, c.scale, c.scale};
    const double offset[3] = {c.offset, c.offset, c.offset};
    // Bounds that fall on a point, between two, and at 0.
    const double from = c.offset + 123.45;
    const double to = c.offset + 130.07;
    Box box = Box::everything();
    box.from[0] = from;
    box.to[0] = to;
    box.from[2] = c.offset - 5 * c.scale;
    box.to[2] = c.offset + 5 * c.scale;
    CropFilter crop("--crop", box);
    Records records;
    std::vector<bool> expected;
    const auto first = static_cast<std::int64_t>(std::floor(120 / c.scale));
    const auto last = static_cast<std::int64_t>(std::ceil(133 / c.scale));
    for (std::int64_t k = first; k <= last; k += std::max<std::int64_t>(1, (last - first) / 4000)) {
      for (std::int64_t x : {k, k + 1}) {
        const auto whole = static_cast<std::int32_t>(x);
        const auto z = static_cast<std::int32_t>(expected.size() % 13) - 6;
        records.add(whole, 0, z);
        auto value = [&](std::int64_t w) {
          return c.decimals >= 0 ? written(w, c.decimals) + c.offset
                                 : static_cast<double>(w) * c.scale + c.offset;
        };
        const double vx = value(whole);
        const double vz = value(z);
        expected.push_back(vx >= from && vx < to && vz >= box.from[2] && vz < box.to[2]);
      }
    }
    const ScaledRecords all = records.of(scale, offset);
    crop.begin_run(all);
    std::size_t kept = 0;
    for (std::int64_t i = 0; i < all.count; ++i) {
      const bool got = crop.keep(all, all.first + 12 * i);
      kept += got;
      ASSERT_EQ(got, expected[static_cast<std::size_t>(i)]) << "record " << i;
    }
    EXPECT_GT(kept, 0u);
  }
}

// Two crops that touch give every point once, whatever its form.
TEST(Crop, CropsThatTouchShareNoPoint) {
  Box west = Box::everything();
  Box east = Box::everything();
  west.from[0] = 0;
  west.to[0] = east.from[0] = 1.1;
  east.to[0] = 5;
  CropFilter a("a", west);
  CropFilter b("b", east);
  const double scale[3] = {0.1, 0.1, 0.1};
  const double offset[3] = {0, 0, 0};
  Records records;
  for (std::int32_t x = 0; x < 50; ++x) records.add(x, 0, 0);
  const ScaledRecords all = records.of(scale, offset);
  a.begin_run(all);
  b.begin_run(all);
  for (std::int64_t i = 0; i < all.count; ++i) {
    const char* record = all.first + 12 * i;
    EXPECT_EQ(a.keep(all, record) + b.keep(all, record), 1) << i;
    const double x = static_cast<double>(i) / 10;
    EXPECT_EQ(a.keep(point_at({x, 0, 0})) + b.keep(point_at({x, 0, 0})), 1) << x;
  }
}

// Takes what the filters pass on, and how.
class Taken : public PointSink {
 public:
  void point(const Point& point, Extents& /*extents*/, Axes /*measured*/) override {
    xs.push_back(point.xyz[0].value);
  }
  void records(const ScaledRecords& records, Extents& /*extents*/, Axes /*measured*/) override {
    ++runs;
    for (std::int64_t i = 0; i < records.count; ++i) {
      std::int32_t x;
      std::memcpy(&x, records.first + 12 * i, 4);
      xs.push_back(x);
    }
  }
  std::vector<double> xs;
  int runs = 0;
};

// A thinning counts every point of its input, before the others: the same
// points kept whatever they leave out; what a filter leaves out is counted
// against the first that leaves it out.
TEST(FilteredSink, ThinsFirstAndCountsWhatEachLeftOut) {
  Box box = Box::everything();
  box.from[0] = 3;
  box.to[0] = 10;
  const std::vector<FilterMaker> makers = {
      [] { return std::make_unique<ThinFilter>("--thin 3", 3); },
      [box] { return std::make_unique<CropFilter>("--crop", box); }};
  const double scale[3] = {1, 1, 1};
  const double offset[3] = {0, 0, 0};
  Records records;
  for (std::int32_t x = 0; x < 12; ++x) records.add(x, 0, 0);
  Taken by_records;
  FilteredSink sink(makers, by_records);
  Extents extents;
  // In two runs: a thinning goes on counting from one to the next.
  ScaledRecords first = records.of(scale, offset);
  first.count = 5;
  ScaledRecords second = first;
  second.first += std::ptrdiff_t{5} * 12;
  second.count = 7;
  sink.records(first, extents, Axes::kXYZ);
  sink.records(second, extents, Axes::kXYZ);
  EXPECT_EQ(by_records.xs, (std::vector<double>{3, 6, 9}));
  EXPECT_EQ(sink.left_out(), (std::vector<std::int64_t>{8, 1}));

  Taken by_value;
  FilteredSink points(makers, by_value);
  for (double x = 0; x < 12; ++x) points.point(point_at({x, 0, 0}), extents, Axes::kXYZ);
  EXPECT_EQ(by_value.xs, by_records.xs);
  EXPECT_EQ(points.left_out(), sink.left_out());
}

}  // namespace
