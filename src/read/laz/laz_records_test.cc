// LAZ decoded to whole records: every item and layer against the LAS twin,
// byte for byte, and each field alone when it is the one asked for.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "corpus_twins.h"
#include "fake_disk.h"
#include "io/output_file.h"
#include "read/las/las_reader.h"
#include "read/laz/layers.h"
#include "read/laz/laz_encoder.h"
#include "tiles.h"

namespace {

std::string corpus_file(const std::string& name) {
  std::ifstream in(std::string(STRATUMIX_CORPUS) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#define NEEDS_CORPUS(bytes) \
  if ((bytes).empty()) GTEST_SKIP() << "no corpus at " STRATUMIX_CORPUS

// Keeps the records handed to it, as they come.
class RecordSink : public PointSink {
 public:
  void point(const Point& /*point*/, Extents& /*extents*/, Axes /*measured*/) override {
    ADD_FAILURE() << "a point by value";
  }
  void records(const ScaledRecords& records, Extents& /*extents*/, Axes /*measured*/) override {
    if (length == 0) length = records.length;
    EXPECT_EQ(length, records.length);
    bytes.append(records.first, records.length * static_cast<std::size_t>(records.count));
  }

  std::size_t length = 0;
  std::string bytes;
};

struct Records {
  std::size_t length = 0;
  std::string bytes;
  std::string problem;
};

// The records of a LAS or LAZ file, of the layers asked for; `in_order`
// as from a pipe, with no chunk table.
Records records(const std::string& file, laz::Layers layers, unsigned workers = 2,
                bool in_order = false) {
  TextSource source(file, 4096);
  if (in_order) source.in_order_only();
  LasReader reader(source, 1000);
  reader.set_laz_workers(workers);
  reader.set_laz_layers(layers);
  RecordSink sink;
  Extents extents;
  while (reader.copy_points(sink, extents, 5000) != 0) {
  }
  return {sink.length, sink.bytes, reader.problem()};
}

const auto& kTwins = kCorpusTwins;

// The first of the records where `got` and `want` differ, for the message.
std::string first_difference(const Records& got, const Records& want) {
  if (want.length == 0) return "";
  for (std::size_t at = 0; at < got.bytes.size() && at < want.bytes.size(); ++at) {
    if (got.bytes[at] != want.bytes[at]) {
      return "record " + std::to_string(at / want.length) + " byte " +
             std::to_string(at % want.length);
    }
  }
  return got.bytes.size() == want.bytes.size() ? "" : "the counts";
}

TEST(LazRecords, EveryItemOfEveryCompressorRebuildsItsLasTwinsRecords) {
  for (const auto& twin : kTwins) {
    std::string laz = corpus_file(twin[0]);
    NEEDS_CORPUS(laz);
    Records want = records(corpus_file(twin[1]), laz::kXyzOnly);
    ASSERT_EQ(want.problem, "");
    // Alone and on several workers, with the chunk table and without.
    for (unsigned workers : {1u, 3u}) {
      for (bool in_order : {false, true}) {
        Records got = records(laz, laz::kAllLayers, workers, in_order);
        EXPECT_EQ(got.problem, "") << twin[0];
        if (!want.bytes.empty()) {
          EXPECT_EQ(got.length, want.length) << twin[0];
        }
        EXPECT_TRUE(got.bytes == want.bytes) << twin[0] << ": " << first_difference(got, want);
      }
    }
  }
}

TEST(LazRecords, CoordinatesAloneStayTwelveBytesAPoint) {
  for (const char* name : {"pdal-autzen_trim.laz", "laspy-append-bug.laz"}) {
    std::string laz = corpus_file(name);
    NEEDS_CORPUS(laz);
    Records whole = records(laz, laz::kAllLayers);
    Records xyz = records(laz, laz::kXyzOnly);
    EXPECT_EQ(xyz.problem, "");
    ASSERT_EQ(xyz.length, laz::kXyzSize);
    ASSERT_EQ(xyz.bytes.size() / laz::kXyzSize, whole.bytes.size() / whole.length);
    for (std::size_t i = 0; i < xyz.bytes.size() / laz::kXyzSize; ++i) {
      ASSERT_EQ(xyz.bytes.compare(i * laz::kXyzSize, laz::kXyzSize, whole.bytes, i * whole.length,
                                  laz::kXyzSize),
                0)
          << name << " point " << i;
    }
  }
}

// The bytes of a record of format 6 to 10 that a layer rebuilds, as a mask
// a byte, for records of `length` bytes whose colour (if any) is at
// `rgb`, near infrared at `nir`, wave packet at `wave`, extra bytes from
// `extra` on.
struct Fields {
  std::size_t rgb = 0, nir = 0, wave = 0, extra = 0;
};

std::vector<unsigned char> asked_bytes(laz::Layers layers, std::size_t length, const Fields& f) {
  std::vector<unsigned char> mask(length, 0);
  auto set = [&](std::size_t from, std::size_t count, unsigned char bits = 0xff) {
    for (std::size_t i = from; i < from + count; ++i) mask[i] |= bits;
  };
  set(0, 12);        // X, Y, Z
  set(14, 1);        // the returns
  set(15, 1, 0x30);  // the scanner channel
  if (layers & laz::kClassification) set(16, 1);
  if (layers & laz::kFlags) set(15, 1, 0xcf);
  if (layers & laz::kIntensity) set(12, 2);
  if (layers & laz::kScanAngle) set(18, 2);
  if (layers & laz::kUserData) set(17, 1);
  if (layers & laz::kPointSource) set(20, 2);
  if (layers & laz::kGpsTime) set(22, 8);
  if (f.rgb != 0 && (layers & laz::kRgb)) set(f.rgb, 6);
  if (f.nir != 0 && (layers & laz::kNir)) set(f.nir, 2);
  if (f.wave != 0 && (layers & laz::kWavePacket)) set(f.wave, 29);
  if (f.extra != 0 && (layers & laz::kExtraBytes)) set(f.extra, length - f.extra);
  return mask;
}

TEST(LazRecords, EachLayerAskedForGivesItsFieldsAndLeavesTheOthersZero) {
  struct Layered {
    const char* laz;
    const char* las;
    Fields fields;
  };
  const Layered kLayered[] = {
      {"laspy-1_4_w_evlr.laz", "laspy-1_4_w_evlr.las", {}},
      {"laspy-append-bug.laz", "lastools-append-bug-fmt8.las", {30, 36, 0, 38}},
      {"laspy-fullwave.laz", "lastools-fullwave-fmt10.las", {30, 36, 38, 0}},
  };
  std::vector<laz::Layers> masks;
  for (laz::Layers bit = 1; bit <= laz::kExtraBytes; bit <<= 1) masks.push_back(bit);
  masks.push_back(laz::kIntensity | laz::kGpsTime | laz::kRgb);
  for (const Layered& file : kLayered) {
    std::string laz = corpus_file(file.laz);
    NEEDS_CORPUS(laz);
    Records want = records(corpus_file(file.las), laz::kXyzOnly);
    for (laz::Layers layers : masks) {
      Records got = records(laz, layers, 2);
      EXPECT_EQ(got.problem, "") << file.laz << " " << layers;
      ASSERT_EQ(got.length, want.length) << file.laz;
      ASSERT_EQ(got.bytes.size(), want.bytes.size()) << file.laz;
      std::vector<unsigned char> mask = asked_bytes(layers, want.length, file.fields);
      std::size_t wrong = 0, asked_and_set = 0;
      for (std::size_t at = 0; at < got.bytes.size(); ++at) {
        auto g = static_cast<unsigned char>(got.bytes[at]);
        auto w = static_cast<unsigned char>(want.bytes[at]);
        unsigned char bits = mask[at % want.length];
        if ((g & bits) != (w & bits) || (g & ~bits) != 0) ++wrong;
        if (bits != 0 && at % want.length >= 12 && (w & bits) != 0) ++asked_and_set;
      }
      EXPECT_EQ(wrong, 0u) << file.laz << " layers " << layers;
      // The returns alone are set in every file: the field asked for is
      // compared on values not all zero wherever the file has them.
      EXPECT_NE(asked_and_set, 0u) << file.laz << " layers " << layers;
    }
  }
}

TEST(LazRecords, ALayerIsCheckedForDamageOnlyWhenItIsRead) {
  // laspy-append-bug.laz: one chunk, format 8 with 3 extra bytes, a
  // record of 41 bytes; the sizes of 9 layers of POINT14, 2 of RGBNIR14
  // and one a byte of BYTE14.
  std::string laz = corpus_file("laspy-append-bug.laz");
  NEEDS_CORPUS(laz);
  auto at32 = [&laz](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
      value = value << 8 | static_cast<unsigned char>(laz[at + static_cast<std::size_t>(i)]);
    return static_cast<std::size_t>(value);
  };
  std::size_t points_at = at32(96);
  std::size_t head = points_at + 8 + 41 + 4;
  std::size_t layers = 11 + 3;
  std::size_t start = head + 4 * layers;
  // The intensity layer (the fifth): its middle byte flipped.
  std::size_t intensity_at = start;
  for (std::size_t i = 0; i < 4; ++i) intensity_at += at32(head + 4 * i);
  std::size_t intensity_size = at32(head + 16);
  ASSERT_GT(intensity_size, 0u);
  std::string flipped = laz;
  flipped[intensity_at + intensity_size / 2] ^= 0x10;
  Records got = records(flipped, laz::kXyzOnly);
  EXPECT_EQ(got.problem, "");
  got = records(flipped, laz::kGpsTime | laz::kRgb);
  EXPECT_EQ(got.problem, "");
  got = records(flipped, laz::kIntensity);
  EXPECT_EQ(got.bytes, "");
  EXPECT_EQ(got.problem.rfind("the LAZ chunk that begins at point 1 is damaged", 0), 0)
      << got.problem;
}

// Made-up points with fields of every kind: the tests' compressor's LAZ
// decoded to the same records, every format, some with extra bytes; in the
// layered formats (versions 3 and 4) the scanner channel changes often, and
// with it the contexts of the colour, near infrared and extra bytes.
TEST(LazRecords, RecordsOfEveryFieldSurviveTheTestsCompressor) {
  std::mt19937 random(11);
  for (int format = 0; format <= 10; ++format) {
    LasTile tile;
    tile.minor = format >= 6 ? 4 : format >= 4 ? 3 : 2;
    tile.format = format;
    tile.record_length = LasTile::length_of(format) + (format % 2 == 0 ? 5 : 0);
    for (int i = 0; i < 2500; ++i) {
      auto near = [&random] { return static_cast<std::int32_t>(random() % 4000) - 2000; };
      tile.points.push_back({near(), near(), near()});
    }
    std::string las = tile.bytes();
    // Other fields that run for a while and then change, and some that
    // change every point; the scanner channel of format 6 among them.
    auto length = static_cast<std::size_t>(tile.record_length);
    std::size_t first = las.size() - length * tile.points.size();
    unsigned char run[128] = {};
    for (std::size_t i = 0; i < tile.points.size(); ++i) {
      for (std::size_t b = 12; b < length; ++b) {
        if (random() % 5 == 0) run[b] = static_cast<unsigned char>(random());
        las[first + i * length + b] = static_cast<char>(random() % 3 == 0 ? random() : run[b]);
      }
    }
    Records want = records(las, laz::kXyzOnly);
    // The layered items' versions 3 and 4 differ in their contexts.
    for (int version : {3, 4}) {
      if (format < 6 && version == 4) continue;
      for (std::uint32_t chunk : {1u, 333u, 50000u}) {
        std::string laz = laz::compress_las(las, chunk, false, version);
        ASSERT_FALSE(laz.empty());
        Records got = records(laz, laz::kAllLayers, chunk % 2 + 1);
        EXPECT_EQ(got.problem, "") << format << " " << version << " " << chunk;
        EXPECT_TRUE(got.bytes == want.bytes)
            << format << " " << version << " " << chunk << ": " << first_difference(got, want);
      }
    }
  }
}

TEST(LazRecords, TheTestsCompressorsLayeredItemsGiveTheCorpusRecordsBack) {
  // Formats 7 and 8 (3 extra bytes), in chunks of every kind.
  for (const char* name : {"pdal-autzen-bmx-2010.las", "lastools-append-bug-fmt8.las"}) {
    std::string las = corpus_file(name);
    NEEDS_CORPUS(las);
    Records want = records(las, laz::kXyzOnly);
    for (std::uint32_t chunk : {1u, 1000u, 50000u}) {
      std::string laz = laz::compress_las(las, chunk, chunk == 1000);
      ASSERT_FALSE(laz.empty());
      Records got = records(laz, laz::kAllLayers);
      EXPECT_EQ(got.problem, "") << name << " " << chunk;
      EXPECT_TRUE(got.bytes == want.bytes)
          << name << " " << chunk << ": " << first_difference(got, want);
    }
  }
}

// Outside the suite: a LAZ file and the LAS file another decoder made of
// it, named by STRATUMIX_LAZ and STRATUMIX_LAS.
TEST(LazRecords, AGivenFileAgainstAnotherDecodersRecords) {
  const char* laz_path = std::getenv("STRATUMIX_LAZ");
  const char* las_path = std::getenv("STRATUMIX_LAS");
  if (laz_path == nullptr || las_path == nullptr) GTEST_SKIP() << "no files named";
  auto whole = [](const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  Records want = records(whole(las_path), laz::kXyzOnly);
  Records got = records(whole(laz_path), laz::kAllLayers);
  EXPECT_EQ(got.problem, "");
  EXPECT_EQ(got.length, want.length);
  EXPECT_EQ(got.bytes.size(), want.bytes.size());
  EXPECT_TRUE(got.bytes == want.bytes) << first_difference(got, want);
  std::cout << laz_path << ": " << got.bytes.size() / (got.length ? got.length : 1)
            << " records compared\n";
}

}  // namespace
