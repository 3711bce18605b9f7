#include "read/detect.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_disk.h"
#include "tiles.h"

namespace {

TEST(InputForm, TheFirstBytesDecideWhateverTheName) {
  EXPECT_EQ(input_form("\x1f\x8b\x08\x00"), InputForm::kGzip);
  EXPECT_EQ(input_form("LASF"), InputForm::kLas);
  EXPECT_EQ(input_form("LAS "), InputForm::kText);
  EXPECT_EQ(input_form("\x1f"), InputForm::kText);
  EXPECT_EQ(input_form(""), InputForm::kText);
}

TEST(Detection, FormatsThatAreNotPointListsAreRefused) {
  std::string ptx = "10\n20\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n";
  ptx += "0.5 0.25 1.5 0.8\n";
  for (const std::string& start :
       {std::string("PK\x03\x04\x14\x00", 6), std::string("ncols 4\nnrows 2\nxllcorner 0\n"),
        std::string("NCOLS         4\n"), std::string("\xff\xfeX\x00\t\x00Y\x00", 8), ptx}) {
    EXPECT_NE(refusal_of_other_text(start, true), "") << start;
  }
  EXPECT_NE(refusal_of_other_text(ptx, true).find("PTX"), std::string::npos);
}

// Keeps the intensity each point carries, none where it carries nothing.
class IntensitySink : public PointSink {
 public:
  void point(const Point& point, Extents& /*extents*/, Axes /*measured*/) override {
    intensities.push_back(point.attributes == nullptr
                              ? -1
                              : point.attributes->value[static_cast<int>(point::Dim::kIntensity)]);
  }
  void records(const ScaledRecords& /*records*/, Extents& /*extents*/, Axes /*measured*/) override {
  }
  std::vector<double> intensities;
};

// What a job wants reaches the text reader, read ahead or in place, and
// what the input carries comes back from it.
TEST(OpenPoints, TheJobsWantsReachTheTextReader) {
  const std::string text = "X,Y,Z,Intensity,Deviation\n1,2,3,40,0.5\n4,5,6,50,0.25\n";
  point::Wanted wanted;
  wanted.dims.add(point::Dim::kIntensity);
  for (Reading reading : {Reading::kAhead, Reading::kInPlace}) {
    for (bool want : {false, true}) {
      std::unique_ptr<PointInput> input = open_points(std::make_unique<TextSource>(text), "a.csv",
                                                      "a.csv", {}, Axes::kXYZ, reading);
      if (want) input->want(wanted);
      EXPECT_EQ(input->schema().dims, (point::DimSet{point::Dim::kX, point::Dim::kY, point::Dim::kZ,
                                                     point::Dim::kIntensity}));
      EXPECT_EQ(input->schema().extra, std::vector<std::string>{"Deviation"});
      IntensitySink sink;
      Extents extents;
      EXPECT_EQ(input->copy_points(sink, extents, 10), 2);
      const std::vector<double> expected =
          want ? std::vector<double>{40, 50} : std::vector<double>{-1, -1};
      EXPECT_EQ(sink.intensities, expected);
    }
  }
}

// A LAS or LAZ file in gzip is refused by name, not read as text whose
// first line mixes numbers and words.
TEST(OpenPoints, ALasFileInGzipIsRefusedByName) {
  LasTile tile;
  tile.points = {{1, 2, 3}, {4, 5, 6}};
  for (Reading reading : {Reading::kAhead, Reading::kInPlace}) {
    std::unique_ptr<PointInput> input =
        open_points(std::make_unique<TextSource>(gzip_member(tile.bytes())), "a.las.gz", "a.las.gz",
                    {}, Axes::kXYZ, reading);
    IntensitySink sink;
    Extents extents;
    EXPECT_EQ(input->copy_points(sink, extents, 100), 0);
    EXPECT_EQ(input->problem(),
              "a LAS or LAZ file in gzip, which is not read: unpack it (gunzip) and paste the "
              "file inside");
  }
}

}  // namespace
