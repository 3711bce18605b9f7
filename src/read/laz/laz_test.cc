// LAZ read through the LAS reader: the corpus's LAZ files against their
// LAS twins, and the same files damaged.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "fake_disk.h"
#include "io/output_file.h"
#include "io/read_ahead.h"
#include "laz_writer.h"
#include "read/las/las_reader.h"
#include "tiles.h"
#include "write/xyz_writer.h"

namespace {

std::string corpus_file(const std::string& name) {
  std::ifstream in(std::string(STRATUMIX_CORPUS) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Read {
  std::string lines;
  std::string problem;
};

// Read in pieces of `piece` bytes, through a read-ahead of `block` bytes
// when not 0; `in_order` as from a pipe, with no chunk table.
Read read(const std::string& file, std::size_t piece = 4096, std::size_t block = 0,
          bool in_order = false, unsigned workers = 3) {
  auto source = std::make_unique<TextSource>(file, piece);
  if (in_order) source->in_order_only();
  std::unique_ptr<ReadAhead> ahead;
  std::unique_ptr<LasReader> reader;
  if (block != 0) {
    ahead = std::make_unique<ReadAhead>(std::move(source), block, 64);
    reader = std::make_unique<LasReader>(*ahead);
  } else {
    reader = std::make_unique<LasReader>(*source, 1000);
  }
  reader->set_laz_workers(workers);
  Read result;
  OutputFile out;
  out.open(std::make_unique<StringSink>(result.lines));
  XyzWriter writer(out, {});
  Extents extents;
  while (reader->copy_points(writer, extents, 7777) != 0) {
  }
  out.close();
  result.problem = reader->problem();
  return result;
}

// The first `count` lines of `lines`.
std::string first_lines(const std::string& lines, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < count; ++i) at = lines.find('\n', at) + 1;
  return lines.substr(0, at);
}

std::uint64_t little_endian(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

#define NEEDS_CORPUS(bytes) \
  if ((bytes).empty()) GTEST_SKIP() << "no corpus at " STRATUMIX_CORPUS

TEST(Laz, EveryCompressorAndItemGivesItsLasTwinsPoints) {
  // Point-wise (version 1 items) and chunked (version 2: POINT10, GPSTIME11,
  // RGB12, BYTE), LAS 1.0 to 1.4 headers, pad bytes, no points; layered
  // (POINT14, RGB14, RGBNIR14, WAVEPACKET14, BYTE14) with an EVLR.
  const char* const kPairs[][2] = {
      {"pdal-simple-laszip-compressor-version-1.2r0.laz", "pdal-simple.las"},
      {"pdal-simple.laz", "pdal-simple.las"},
      {"pdal-laszip-generated_with2bytespadding.laz", "pdal-simple.las"},
      {"pdal-autzen_trim.laz", "pdal-autzen_trim.las"},
      {"lazperf-point10.las.laz", "lazperf-point10.las"},
      {"lazperf-point-time-1.4.las.laz", "lazperf-point-time.las"},
      {"lazperf-point-color.las.laz", "lazperf-point-color.las"},
      {"lazperf-point-color-time.las.laz", "lazperf-point-color-time.las"},
      {"lazperf-1815.laz", "lazperf-1815.las"},
      {"lazperf-point10-1.0.laz", "lazperf-point10-1.0.las"},
      {"lazperf-extrabytes.laz", "lazperf-extrabytes.las"},
      {"lazperf-no-points-1.3.laz", "lazperf-no-points-1.3.las"},
      {"laspy-1_4_w_evlr.laz", "laspy-1_4_w_evlr.las"},
      {"laspy-append-bug.laz", "lastools-append-bug-fmt8.las"},
      {"laspy-fullwave.laz", "lastools-fullwave-fmt10.las"},
  };
  for (const auto& pair : kPairs) {
    std::string laz = corpus_file(pair[0]);
    NEEDS_CORPUS(laz);
    Read twin = read(corpus_file(pair[1]));
    ASSERT_EQ(twin.problem, "");
    Read got = read(laz);
    EXPECT_EQ(got.problem, "") << pair[0];
    EXPECT_TRUE(got.lines == twin.lines) << pair[0];
    // In small pieces through a read-ahead, and without the chunk table.
    got = read(laz, 97, 1000, true);
    EXPECT_EQ(got.problem, "") << pair[0];
    EXPECT_TRUE(got.lines == twin.lines) << pair[0];
  }
}

TEST(Laz, TheTestsCompressorMakesWhatLasZipMakes) {
  // Chunked, and layered: the chunks and their table, after the table's
  // place; formats 8 (RGBNIR14 and BYTE14) and 10 (RGBNIR14, WAVEPACKET14).
  const char* const kPairs[][2] = {{"pdal-simple.las", "pdal-simple.laz"},
                                   {"laspy-1_4_w_evlr.las", "laspy-1_4_w_evlr.laz"},
                                   {"lastools-append-bug-fmt8.las", "laspy-append-bug.laz"},
                                   {"lastools-fullwave-fmt10.las", "laspy-fullwave.laz"}};
  for (const auto& pair : kPairs) {
    std::string las = corpus_file(pair[0]);
    std::string laz = corpus_file(pair[1]);
    NEEDS_CORPUS(las);
    std::string made = laz::compress_las(las, 50000);
    std::size_t made_at = little_endian(made, 96, 4) + 8, laz_at = little_endian(laz, 96, 4) + 8;
    std::size_t made_end = little_endian(made, made_at - 8, 8);
    std::size_t laz_end = little_endian(laz, laz_at - 8, 8);
    EXPECT_TRUE(made.compare(made_at, made_end - made_at, laz, laz_at, laz_end - laz_at) == 0)
        << pair[1];
  }
}

TEST(Laz, EveryChunkSizeFixedOrVaryingGivesTheLasPoints) {
  // Formats 0 to 3, the last with 27 extra bytes; format 6, layered.
  for (const char* name :
       {"lazperf-point10.las", "lazperf-point-time.las", "lazperf-point-color.las",
        "pdal-simple.las", "lazperf-extrabytes.las", "pdal-test1_4.las", "laspy-1_4_w_evlr.las"}) {
    std::string las = corpus_file(name);
    NEEDS_CORPUS(las);
    std::string twin = read(las).lines;
    for (std::uint32_t chunk : {1u, 2u, 7u, 500u, 50000u}) {
      for (bool variable : {false, true}) {
        std::string laz = laz::compress_las(las, chunk, variable);
        ASSERT_FALSE(laz.empty());
        Read got = read(laz, 333, 0, false, chunk % 2 + 1);
        EXPECT_EQ(got.problem, "") << name << " " << chunk << " " << variable;
        EXPECT_TRUE(got.lines == twin) << name << " " << chunk << " " << variable;
      }
    }
  }
}

TEST(Laz, PointsFarApartAndTimesThatJumpAreDecodedExactly) {
  // Coordinates anywhere in 32 bits, a record's other bytes a pattern that
  // makes GPS times leap, colours and (format 6) scanner channels change
  // every point; version 1.4's header too.
  std::mt19937 random(7);
  for (int minor : {0, 4}) {
    for (int format : {0, 1, 2, 3, 6}) {
      if (format == 6 && minor == 0) continue;
      LasTile tile;
      tile.minor = minor;
      tile.format = format;
      tile.between = "pad";
      for (int i = 0; i < 3000; ++i) {
        auto any = [&random] { return static_cast<std::int32_t>(random()); };
        auto near = [&random] { return static_cast<std::int32_t>(random() % 2000) - 1000; };
        tile.points.push_back(i % 3 == 0 ? std::array<std::int32_t, 3>{any(), any(), any()}
                                         : std::array<std::int32_t, 3>{near(), near(), near()});
      }
      std::string las = tile.bytes();
      std::string laz = laz::compress_las(las, 1000);
      Read got = read(laz);
      EXPECT_EQ(got.problem, "") << minor << " " << format;
      EXPECT_TRUE(got.lines == read(las).lines) << minor << " " << format;
    }
  }
}

TEST(Laz, CopcChunksVaryInSizeAndNeedTheirTable) {
  std::string copc = corpus_file("laspy-simple.copc.laz");
  NEEDS_CORPUS(copc);
  Read got = read(copc);
  EXPECT_EQ(got.problem, "");
  // The points of the LAS twin, in the octree's order.
  std::istringstream got_lines(got.lines), twin_lines(read(corpus_file("pdal-simple.las")).lines);
  std::multiset<std::string> got_set, twin_set;
  for (std::string line; std::getline(got_lines, line);) got_set.insert(line);
  for (std::string line; std::getline(twin_lines, line);) twin_set.insert(line);
  EXPECT_EQ(got_set.size(), 1065u);
  EXPECT_TRUE(got_set == twin_set);
  got = read(copc, 4096, 0, true);
  EXPECT_EQ(got.lines, "");
  EXPECT_EQ(got.problem, "the LAZ chunk table, needed for chunks of varying sizes, cannot be read");
}

// pdal-autzen_trim.laz: chunks of 50000, 50000 and 10000 points.
TEST(Laz, ADamagedChunkIsLeftOutWithWhatFollowsAndTheChunksBeforeStay) {
  std::string laz = corpus_file("pdal-autzen_trim.laz");
  NEEDS_CORPUS(laz);
  std::string twin = read(corpus_file("pdal-autzen_trim.las")).lines;
  std::size_t points_at = little_endian(laz, 96, 4);
  std::size_t table_at = little_endian(laz, points_at, 8);
  const std::string kSecondDamaged = "the LAZ chunk that begins at point 50001 is damaged";

  // A flipped byte in the second chunk, on one thread or on several.
  std::string flipped = laz;
  flipped[(points_at + table_at) / 2 + 1000] ^= 0x10;
  for (unsigned workers : {1u, 3u}) {
    Read got = read(flipped, 4096, 0, false, workers);
    EXPECT_EQ(got.problem.rfind(kSecondDamaged + " (its decoding does not end at its ", 0), 0)
        << got.problem;
    EXPECT_TRUE(got.lines == first_lines(twin, 50000));
  }

  // Cut inside the second chunk: no table either.
  std::string cut = laz.substr(0, (points_at + table_at) / 2);
  for (unsigned workers : {1u, 3u}) {
    for (bool in_order : {false, true}) {
      Read got = read(cut, 4096, 0, in_order, workers);
      EXPECT_EQ(got.problem, kSecondDamaged + " (the file ends inside it)");
      EXPECT_TRUE(got.lines == first_lines(twin, 50000));
    }
  }

  // A table cut short: the chunks are read in sequence, whole, and end
  // where it begins.
  Read got = read(laz.substr(0, table_at + 10));
  EXPECT_EQ(got.problem, "");
  EXPECT_TRUE(got.lines == twin);
  // Its place damaged (past the end, or not where the chunks end): the
  // points are read in sequence, and the disagreement is said.
  std::string past = laz;
  past[points_at + 4] = 1;
  got = read(past);
  EXPECT_EQ(got.problem,
            "the LAZ chunks, read without their table, end at byte 603333, not at byte "
            "4295570629 where the table is said to begin: a chunk or the table is "
            "damaged");
  EXPECT_TRUE(got.lines == twin);
  std::string moved = laz;
  std::uint64_t wrong = table_at - 100;
  for (std::size_t i = 0; i < 8; ++i) moved[points_at + i] = static_cast<char>(wrong >> (8 * i));
  got = read(moved);
  EXPECT_NE(got.problem, "");
  EXPECT_TRUE(got.lines == twin);
  // Without the table, a flipped byte is never passed over in silence.
  got = read(flipped, 4096, 0, true);
  EXPECT_NE(got.problem, "");
}

TEST(Laz, DamageInTheLayersReadIsFoundAndInTheOthersIsHarmless) {
  std::string laz = corpus_file("laspy-append-bug.laz");
  NEEDS_CORPUS(laz);
  std::string twin = read(corpus_file("lastools-append-bug-fmt8.las")).lines;
  std::size_t points_at = little_endian(laz, 96, 4);
  // One chunk: its first record (41 bytes), its count, 11 layer sizes.
  std::size_t head = points_at + 8 + 41 + 4;
  std::size_t xy = little_endian(laz, head, 4);
  std::size_t layers_at = head + std::size_t{4} * 11;
  std::string flipped = laz;
  flipped[layers_at + xy / 2] ^= 0x04;
  Read got = read(flipped);
  EXPECT_EQ(got.lines, "");
  EXPECT_EQ(got.problem.rfind("the LAZ chunk that begins at point 1 is damaged", 0), 0);
  // The last layer, the extra bytes', is never read.
  flipped = laz;
  std::size_t table_at = little_endian(laz, points_at, 8);
  flipped[table_at - 2] ^= 0x04;
  got = read(flipped);
  EXPECT_EQ(got.problem, "");
  EXPECT_TRUE(got.lines == twin);
}

TEST(Laz, WhatIsNotReadIsRefusedByName) {
  std::string laz = corpus_file("lazperf-point10.las.laz");
  NEEDS_CORPUS(laz);
  // The LASzip record's first item, POINT10, its version at byte 34 + 4.
  std::size_t record = little_endian(laz, 94, 2);
  std::size_t items = 0;
  while (laz.compare(record + 2, 14, "laszip encoded") != 0) {
    record += 54 + little_endian(laz, record + 20, 2);
    ASSERT_LT(++items, 10u);
  }
  std::string changed = laz;
  changed[record + 54 + 34 + 4] = 3;
  EXPECT_EQ(read(changed).problem,
            "LAZ item POINT10 version 3 is not read with the chunked compressor");
  changed = laz;
  changed[record + 54 + 34] = 42;
  EXPECT_EQ(read(changed).problem, "LAZ item 42 is not read");
  changed = laz;
  changed[record + 54] = 4;
  EXPECT_EQ(read(changed).problem,
            "LAZ compressor 4 is not read (1 point-wise, 2 chunked and 3 layered are)");
  // A chunk of millions of points would be held whole: 4194304 a chunk,
  // and the header's count, 3000000, in the one chunk of the table.
  changed = laz;
  changed[record + 54 + 14] = 0x40;
  for (std::size_t i = 0; i < 4; ++i) changed[107 + i] = static_cast<char>(3000000 >> (8 * i));
  EXPECT_EQ(read(changed).problem,
            "the LAZ chunk that begins at point 1 holds 3000000 points in 9633 bytes, more than "
            "the program reads in one chunk (2097152 points, 33554432 bytes)");
  EXPECT_EQ(read(changed, 4096, 0, true).problem,
            "the LAZ chunk that begins at point 1 holds 3000000 points, more than the program "
            "reads in one chunk (2097152 points, 33554432 bytes)");
  changed = laz;
  changed[record + 2] = 'L';
  EXPECT_EQ(read(changed).problem,
            "the LAS header says its points are compressed, but no LASzip record says how");
}

}  // namespace
