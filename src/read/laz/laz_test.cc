// LAZ read through the LAS reader: the corpus's LAZ files against their
// LAS twins, and the same files damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "corpus_twins.h"
#include "fake_disk.h"
#include "io/output_file.h"
#include "io/read_ahead.h"
#include "read/las/las_reader.h"
#include "read/laz/chunk_pool.h"
#include "read/laz/laz_encoder.h"
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
  bool problem_at_end = false;
  std::string note;
};

// Every point `reader` gives, as text, and what it tells.
Read read_all(LasReader& reader) {
  Read result;
  OutputFile out;
  out.open(std::make_unique<StringSink>(result.lines));
  XyzWriter writer(out, {});
  Extents extents;
  while (reader.copy_points(writer, extents, 7777) != 0) {
  }
  out.close();
  result.problem = reader.problem();
  result.problem_at_end = reader.problem_at_end();
  result.note = reader.note();
  return result;
}

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
  return read_all(*reader);
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
  const auto& kPairs = kCorpusTwins;
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
  // Cut short in the file: said why.
  std::size_t points_at = little_endian(copc, 96, 4);
  std::size_t table_at = little_endian(copc, points_at, 8);
  got = read(copc.substr(0, table_at + 12));
  EXPECT_EQ(got.lines, "");
  EXPECT_EQ(got.problem.rfind("the LAZ chunk table, needed for chunks of varying sizes, cannot be "
                              "read: its LAZ chunk table, said to begin at byte " +
                                  std::to_string(table_at) + ", is cut short after ",
                              0),
            0)
      << got.problem;
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
  // where it begins; the damage is noted.
  Read got = read(laz.substr(0, table_at + 10));
  EXPECT_EQ(got.problem, "");
  EXPECT_EQ(got.note, "the file is damaged: its LAZ chunk table, said to begin at byte " +
                          std::to_string(table_at) +
                          ", is cut short after 0 of its 3 chunks; its chunks, read in sequence "
                          "without it, are whole");
  EXPECT_TRUE(got.lines == twin);
  // From a pipe, no table is at hand: nothing to note.
  got = read(laz.substr(0, table_at + 10), 4096, 0, true);
  EXPECT_EQ(got.problem, "");
  EXPECT_EQ(got.note, "");
  // Its place damaged (past the end, or not where the chunks end): the
  // points are read in sequence, and the disagreement is said.
  std::string past = laz;
  past[points_at + 4] = 1;
  got = read(past);
  EXPECT_EQ(got.problem,
            "the LAZ chunks, read without their table, end at byte 603333, not at byte "
            "4295570629 where the table is said to begin: a chunk or the table is "
            "damaged");
  EXPECT_TRUE(got.problem_at_end);
  EXPECT_TRUE(got.lines == twin);
  // Places past 2^63 are places, not negative numbers.
  for (std::uint64_t far : {(std::uint64_t{1} << 63) + 5, ~std::uint64_t{1}}) {
    std::string offset = laz;
    for (std::size_t i = 0; i < 8; ++i) offset[points_at + i] = static_cast<char>(far >> (8 * i));
    got = read(offset);
    EXPECT_EQ(got.problem,
              "the LAZ chunks, read without their table, end at byte 603333, not at "
              "byte " +
                  std::to_string(far) +
                  " where the table is said to begin: a chunk or the table is "
                  "damaged");
    EXPECT_TRUE(got.problem_at_end);
    EXPECT_TRUE(got.lines == twin);
  }
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

// Where the LASzip record begins in `laz`: its fixed part 54 bytes on.
std::size_t laszip_record(const std::string& laz) {
  std::size_t record = little_endian(laz, 94, 2);
  while (laz.compare(record + 2, 14, "laszip encoded") != 0)
    record += 54 + little_endian(laz, record + 20, 2);
  return record + 54;
}

void put(std::string& bytes, std::size_t at, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

TEST(Laz, APointWiseStreamThatDoesNotEndAtTheFilesEndIsDamaged) {
  // The point-wise compressor has no chunks to check: a changed byte
  // decodes other points, and the stream then ends elsewhere.
  for (const char* name :
       {"lastools-test.laz", "pdal-simple-laszip-compressor-version-1.2r0.laz"}) {
    std::string laz = corpus_file(name);
    NEEDS_CORPUS(laz);
    Read whole = read(laz);
    ASSERT_EQ(whole.problem, "") << name;
    std::size_t points_at = little_endian(laz, 96, 4);
    int caught = 0, harmless = 0;
    for (std::size_t i = 0; i < 20; ++i) {
      std::string changed = laz;
      std::size_t at = points_at + (laz.size() - points_at) * (2 * i + 1) / 40;
      changed[at] = static_cast<char>(changed[at] ^ 0x01);
      Read got = read(changed, 4096, 0, i % 2 == 0);
      if (got.problem.empty()) {
        // Never other points in silence.
        EXPECT_TRUE(got.lines == whole.lines) << name << " byte " << at;
        ++harmless;
      } else {
        ++caught;
      }
    }
    std::cout << name << ": " << caught << " of 20 changed bytes found, " << harmless
              << " harmless\n";
  }
  // The fault as found: line 10 729's Z decoded as 1512.06 for 1511.86.
  std::string laz = corpus_file("lastools-test.laz");
  laz[63893] = static_cast<char>(laz[63893] ^ 0x01);
  Read got = read(laz);
  EXPECT_EQ(got.problem.rfind("the LAZ points' stream ends at byte ", 0), 0) << got.problem;
  EXPECT_NE(got.problem.find(", not at byte 70993 where the file ends: it is damaged"),
            std::string::npos)
      << got.problem;
  EXPECT_TRUE(got.problem_at_end);
  // Version 1.3 with waveform data kept after the points: the stream ends
  // where they begin (the header made 8 bytes longer for its place).
  std::string whole = corpus_file("lastools-test.laz");
  std::string waved = whole.substr(0, 227) + std::string(8, '\0') + whole.substr(227);
  waved[25] = 3;
  waved[6] = 0x02;
  put(waved, 94, 235, 2);
  put(waved, 96, little_endian(whole, 96, 4) + 8, 4);
  put(waved, 227, waved.size(), 8);
  waved += std::string(100, 'w');
  got = read(waved);
  EXPECT_EQ(got.problem, "");
  EXPECT_TRUE(got.lines == read(whole).lines);
  put(waved, 227, waved.size() - 99, 8);
  EXPECT_EQ(read(waved).problem,
            "the LAZ points' stream ends at byte 71001, not at byte 71002 where what follows the "
            "points begins: it is damaged");
  // Bytes after the stream are no part of it either.
  got = read(corpus_file("lastools-test.laz") + "junk");
  EXPECT_EQ(got.problem,
            "the LAZ points' stream ends at byte 70993, not at byte 70997 where the file ends: "
            "it is damaged");
}

// pdal-autzen_trim.laz: chunks of 50000, 50000 and 10000 points.
TEST(Laz, AWholeChunkTableOutranksTheChunkSizeAndTheCountEndsTheChunks) {
  std::string laz = corpus_file("pdal-autzen_trim.laz");
  NEEDS_CORPUS(laz);
  std::string twin = read(corpus_file("pdal-autzen_trim.las")).lines;
  std::size_t chunk_size_at = laszip_record(laz) + 12;
  // Chunks of 1000 or 60000 points: 3 chunks cannot hold the header's
  // 110000 points with them. The table's first chunk decodes to 50000,
  // which they can: all the points, and a note.
  for (std::uint32_t wrong : {1000u, 60000u}) {
    std::string changed = laz;
    put(changed, chunk_size_at, wrong, 4);
    for (unsigned workers : {1u, 3u}) {
      Read got = read(changed, 4096, 0, false, workers);
      EXPECT_TRUE(got.lines == twin) << wrong;
      EXPECT_EQ(got.problem, "");
      EXPECT_EQ(got.note, "the file is damaged: its LASzip record gives chunks of " +
                              std::to_string(wrong) +
                              " points, its chunk table chunks of 50000, which are read");
    }
  }
  // The same with the layered compressor, whose chunks say their counts:
  // chunks of 300 points said to be of 1000.
  for (const char* name : {"pdal-simple.las", "laspy-1_4_w_evlr.las"}) {
    std::string las = corpus_file(name);
    std::string made = laz::compress_las(las, 300);
    put(made, laszip_record(made) + 12, 1000, 4);
    Read got = read(made);
    EXPECT_TRUE(got.lines == read(las).lines) << name;
    EXPECT_EQ(got.problem, "") << name;
    EXPECT_NE(got.note.find("chunks of 1000 points, its chunk table chunks of 300"),
              std::string::npos)
        << name << ": " << got.note;
  }
  // The first chunk damaged too: no size can be told from it, and nothing
  // is made up.
  std::string changed = laz;
  put(changed, chunk_size_at, 1000, 4);
  std::size_t points_at = little_endian(laz, 96, 4);
  changed[points_at + 8 + 20 + 1000] ^= 0x10;
  for (unsigned workers : {1u, 3u}) {
    Read got = read(changed, 4096, 0, false, workers);
    EXPECT_EQ(got.lines, "");
    EXPECT_EQ(got.problem.rfind("the LAZ chunk that begins at point 1 is damaged", 0), 0)
        << got.problem;
    EXPECT_NE(got.problem.find("the LAZ chunk table ends at point 3000 (3 chunks of 1000 points, "
                               "as the LASzip record gives), before the 110000 points"),
              std::string::npos)
        << got.problem;
  }

  // Full chunks of 1065 points and a header that says 1066: the 1065
  // points, and no point decoded from the table's bytes, with the table
  // or without it.
  std::string las = corpus_file("pdal-simple.las");
  std::string full = laz::compress_las(las, 1065);
  put(full, 107, 1066, 4);
  std::string simple = read(las).lines;
  Read got = read(full);
  EXPECT_TRUE(got.lines == simple);
  EXPECT_EQ(got.problem,
            "the LAZ chunk table ends at point 1065 (1 chunk of 1065 points, as the LASzip record "
            "gives), before the 1066 points the LAS header gives");
  EXPECT_FALSE(got.problem_at_end);
  got = read(full, 4096, 0, true);
  EXPECT_TRUE(got.lines == simple);
  EXPECT_EQ(got.problem.rfind("the LAZ chunks, read without their table, reach byte ", 0), 0)
      << got.problem;
  // A header that says fewer: its points, the rest of the table's said.
  std::string fewer = laz::compress_las(las, 500);
  put(fewer, 107, 1000, 4);
  got = read(fewer);
  EXPECT_TRUE(got.lines == first_lines(simple, 1000));
  EXPECT_EQ(got.problem,
            "the LAZ chunk table holds more points (3 chunks of 500 points, as the LASzip record "
            "gives) than the LAS header's 1000");
  EXPECT_TRUE(got.problem_at_end);
}

TEST(Laz, AChunkSizeOfNoPointIsAllThePointsInOneChunk) {
  for (const char* name : {"pdal-simple.las", "laspy-1_4_w_evlr.las"}) {
    std::string las = corpus_file(name);
    NEEDS_CORPUS(las);
    std::string laz = laz::compress_las(las, 100000);
    put(laz, laszip_record(laz) + 12, 0, 4);
    std::string twin = read(las).lines;
    for (bool in_order : {false, true}) {
      Read got = read(laz, 4096, 0, in_order);
      EXPECT_EQ(got.problem, "") << name;
      EXPECT_TRUE(got.lines == twin) << name;
    }
  }
}

TEST(Laz, OneChunkOfMoreThanAreHeldAtOnceIsReadInPiecesAndCheckedAtItsEnd) {
  LasTile tile;
  tile.format = 0;
  for (std::int32_t i = 0; i < 2100000; ++i) tile.points.push_back({i, i % 1000, i % 7});
  std::string las = tile.bytes();
  std::string laz = laz::compress_las(las, 2100000);
  put(laz, laszip_record(laz) + 12, 0, 4);
  std::string twin = read(las, 1 << 20).lines;
  Read got = read(laz, 1 << 20);
  EXPECT_EQ(got.problem, "");
  EXPECT_TRUE(got.lines == twin);
  // Whole records, as a job that writes other fields asks: the writer
  // finds X, Y and Z at the record's length.
  {
    TextSource source(laz, 1 << 20);
    LasReader whole(source, 1000);
    whole.set_laz_layers(laz::kAllLayers);
    got = read_all(whole);
    EXPECT_EQ(got.problem, "");
    EXPECT_TRUE(got.lines == twin) << first_lines(got.lines, 2);
  }
  // Where the table is said to begin, one byte on: the stream does not end
  // there.
  std::size_t points_at = little_endian(laz, 96, 4);
  std::uint64_t table_at = little_endian(laz, points_at, 8);
  std::string moved = laz;
  put(moved, points_at, table_at + 1, 8);
  got = read(moved, 1 << 20);
  EXPECT_EQ(got.problem, "the LAZ points' stream ends at byte " + std::to_string(table_at) +
                             ", not at byte " + std::to_string(table_at + 1) +
                             " where its chunk table is said to begin: it is damaged");
  EXPECT_TRUE(got.problem_at_end);
  // A byte changed inside: the stream ends elsewhere, or runs past the file.
  laz[points_at + 8 + 20 + (laz.size() - points_at) / 2] ^= 0x08;
  got = read(laz, 1 << 20);
  EXPECT_NE(got.problem, "");
}

// A chunk's points decoded whole must fit in memory, and in a 32-bit size:
// a chunk of 2000000 records of 200 bytes is refused before anything is
// decoded. Its X, Y and Z alone, 12 bytes a point, are decoded (and the
// chunk, which holds three points, found damaged).
TEST(Laz, AChunkTooLargeDecodedIsRefusedButItsCoordinatesAreRead) {
  LasTile tile;
  tile.format = 0;
  tile.record_length = 200;
  for (std::int32_t i = 0; i < 3; ++i) tile.points.push_back({i, 2 * i, 3 * i});
  std::string laz = laz::compress_las(tile.bytes(), 3);
  put(laz, laszip_record(laz) + 12, 2000000, 4);
  put(laz, 107, 2000000, 4);
  const std::string kRefused =
      "the LAZ chunk that begins at point 1 holds 2000000 points of 200 bytes, 400000000 bytes "
      "decoded, more than the program decodes at once (268435456 bytes)";
  for (bool in_order : {false, true}) {
    auto source = std::make_unique<TextSource>(laz, 4096);
    if (in_order) source->in_order_only();
    LasReader whole(*source, 1000);
    whole.set_laz_layers(laz::kAllLayers);
    Read got = read_all(whole);
    EXPECT_EQ(got.problem, kRefused) << in_order;
    EXPECT_EQ(got.lines, "") << in_order;
  }
  EXPECT_EQ(read(laz).problem.rfind(
                "the LAZ chunk that begins at point 1 is damaged (its decoding does not end", 0),
            0u);
}

// A chunk decoded as decode_chunk does, but for one of two points: memory
// runs out decoding it.
bool decode_unless_two(const laz::Laszip& laszip, const unsigned char* bytes, std::size_t size,
                       std::uint32_t count, char* out, laz::Layers layers) {
  if (count == 2) throw std::bad_alloc();
  return laz::decode_chunk(laszip, bytes, size, count, out, layers);
}

// A worker whose decoding fails does not end the program, as a failure out
// of a thread would: the reader that collects the chunk is told, in its own
// thread. The chunks around it are decoded, and the pool ends with some
// never collected.
TEST(Laz, AWorkerThatRunsOutOfMemoryTellsTheReaderOfItsChunk) {
  const laz::ChunkFormat format{0, 20, 3};
  laz::Laszip laszip;
  laszip.chunk_size = laz::kVariableChunks;
  laszip.items = {{laz::kPoint10, 20, 2}};
  std::vector<unsigned char> records(std::size_t{20} * 3, 0);
  for (std::size_t i = 0; i < 3; ++i) records[20 * i] = static_cast<unsigned char>(i);
  for (unsigned workers : {1u, 3u}) {
    laz::ChunkPool pool(laszip, workers, laz::kXyzOnly, decode_unless_two);
    for (std::uint32_t chunk = 0; chunk < 6; ++chunk) {
      const std::uint32_t count = chunk % 3 + 1;
      std::vector<unsigned char> bytes;
      laz::compress_chunk(format, records.data(), count, bytes);
      pool.submit(chunk, std::move(bytes), count);
    }
    laz::DecodedPoints decoded;
    ASSERT_TRUE(pool.collect(0, decoded));
    EXPECT_EQ(decoded.size(), laz::kXyzSize);
    EXPECT_THROW(pool.collect(1, decoded), std::bad_alloc);
    ASSERT_TRUE(pool.collect(2, decoded));
    ASSERT_EQ(decoded.size(), 3 * laz::kXyzSize);
    EXPECT_EQ(decoded[2 * laz::kXyzSize], 2);
    EXPECT_THROW(pool.collect(4, decoded), std::bad_alloc);
  }
}

// A source that tells the most it was asked to read at a place at once.
class MeasuredSource : public TextSource {
 public:
  using TextSource::TextSource;
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    most_ = std::max(most_, size);
    return TextSource::read_at(offset, buffer, size);
  }
  std::size_t most() const { return most_; }

 private:
  std::size_t most_ = 0;
};

// A source that tells the most it was asked to read at once from `from`
// on, and may state a plain size, even one other than its own, as a file
// that changed since it was opened would.
class TableSource : public TextSource {
 public:
  TableSource(std::string text, std::uint64_t from, std::int64_t size = -1)
      : TextSource(std::move(text), 4096), from_(from), size_(size) {}
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    if (offset >= from_) most_ = std::max(most_, size);
    return TextSource::read_at(offset, buffer, size);
  }
  std::int64_t plain_size() const override { return size_; }
  std::size_t most() const { return most_; }

 private:
  std::uint64_t from_;
  std::int64_t size_;
  std::size_t most_ = 0;
};

// The chunk table is read in pieces no larger than it can be: a small
// tile's table once cost 64 KiB of memory, cleared, for its few bytes. A
// table longer than its piece is read in more of them.
TEST(Laz, AChunkTableIsReadInPiecesNoLargerThanItCanBe) {
  const std::string laz = corpus_file("pdal-simple.laz");
  NEEDS_CORPUS(laz);
  const std::string twin = read(corpus_file("pdal-simple.las")).lines;
  const std::size_t points_at = little_endian(laz, 96, 4);
  const std::size_t table_at = little_endian(laz, points_at, 8);
  const std::size_t chunks = little_endian(laz, table_at + 4, 4);
  auto read_through = [](ByteSource& source) {
    LasReader reader(source, 4096);
    Read got = read_all(reader);
    EXPECT_EQ(got.problem, "");
    EXPECT_EQ(got.note, "");
    return got.lines;
  };
  const std::uint64_t entries_at = table_at + 8;
  // The file's size unknown: ten bytes a chunk, and four.
  TableSource unsized(laz, entries_at);
  EXPECT_TRUE(read_through(unsized) == twin);
  EXPECT_LE(unsized.most(), 10 * chunks + 16);
  // Known: the bytes after the table's place.
  TableSource sized(laz, entries_at, static_cast<std::int64_t>(laz.size()));
  EXPECT_TRUE(read_through(sized) == twin);
  EXPECT_EQ(sized.most(), laz.size() - entries_at);
  // Said to be smaller than the table: three bytes at a time, all read.
  TableSource shrunk(laz, entries_at, static_cast<std::int64_t>(entries_at + 3));
  EXPECT_TRUE(read_through(shrunk) == twin);
  EXPECT_EQ(shrunk.most(), 3u);
}

TEST(Laz, AChunkTableThatClaimsMillionsOfChunksCostsNoMemory) {
  std::string laz = corpus_file("pdal-simple.laz");
  NEEDS_CORPUS(laz);
  // The header's 2^32 - 1 points, the table's 6710884 chunks.
  std::size_t points_at = little_endian(laz, 96, 4);
  std::size_t table_at = little_endian(laz, points_at, 8);
  put(laz, 107, 0xffffffffu, 4);
  put(laz, table_at + 4, 6710884, 4);
  MeasuredSource source(laz, 4096);
  LasReader reader(source, 4096);
  EXPECT_NE(read_all(reader).problem, "");
  EXPECT_LE(source.most(), std::size_t{1} << 20);
  // Nor is such a table taken for one: its damage is told.
  put(laz, 107, 1065, 4);
  Read got = read(laz);
  EXPECT_EQ(got.note, "the file is damaged: its LAZ chunk table, said to begin at byte " +
                          std::to_string(table_at) + ", gives 6710884 chunks, for 1065 points in " +
                          std::to_string(table_at - points_at - 8) +
                          " bytes; its chunks, read in sequence without it, are whole");
  EXPECT_TRUE(got.lines == read(corpus_file("pdal-simple.las")).lines);
}

}  // namespace
