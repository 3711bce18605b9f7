// The compressor's chunks made one at a time, as a writer makes them on
// several threads: each must decode, alone, to its records, under the items
// its LASzip record lists.
#include "read/laz/laz_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "read/laz/chunk_decoder.h"
#include "read/laz/laszip_vlr.h"

namespace {

std::string corpus_file(const std::string& name) {
  std::ifstream in(std::string(STRATUMIX_CORPUS) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint64_t little_endian(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

// What a reader learns from the LASzip record the compressor writes.
laz::Laszip read_vlr(const std::string& vlr) {
  laz::Laszip laszip;
  laszip.compressor = static_cast<laz::Compressor>(little_endian(vlr, 54, 2));
  laszip.chunk_size = static_cast<std::uint32_t>(little_endian(vlr, 54 + 12, 4));
  std::size_t items = little_endian(vlr, 54 + 32, 2);
  for (std::size_t i = 0; i < items; ++i) {
    std::size_t at = 54 + 34 + 6 * i;
    laszip.items.push_back({static_cast<int>(little_endian(vlr, at, 2)),
                            static_cast<int>(little_endian(vlr, at + 2, 2)),
                            static_cast<int>(little_endian(vlr, at + 4, 2))});
  }
  return laszip;
}

TEST(LazEncoder, ChunksMadeOnThreadsEachDecodeAloneToTheirRecords) {
  // Formats 0 to 10, some with extra bytes.
  const char* kFiles[] = {
      "pdal-epsg_4326.las",         "pdal-mvk-thin.las",           "lazperf-point-color.las",
      "pdal-autzen_trim.las",       "laspy-simple1_3.las",         "lastools-simple1_3-fmt5.las",
      "lazperf-rand1_6.las",        "pdal-autzen_trim_7.las",      "lastools-append-bug-fmt8.las",
      "lastools-fullwave-fmt9.las", "lastools-fullwave-fmt10.las", "pdal-extrabytes.las"};
  int tried = 0;
  for (const char* name : kFiles) {
    std::string las = corpus_file(name);
    if (las.size() < 227) continue;
    ++tried;
    const auto* bytes = reinterpret_cast<const unsigned char*>(las.data());
    laz::ChunkFormat format;
    format.format = bytes[104];
    format.record_length = little_endian(las, 105, 2);
    std::size_t points_at = little_endian(las, 96, 4);
    std::uint64_t count = bytes[25] >= 4 ? little_endian(las, 247, 8) : little_endian(las, 107, 4);
    count = std::min<std::uint64_t>(count, 20000);
    ASSERT_TRUE(laz::can_compress(format)) << name;
    for (int version : {3, 4}) {
      if (version == 4 && format.format < 6) continue;
      format.layered_version = version;
      laz::Laszip laszip = read_vlr(laz::laszip_vlr_for(format, 1000, false));
      ASSERT_EQ(laz::record_length(laszip), format.record_length) << name;
      // Chunks of 1000 points, the last short, shared among four threads.
      std::size_t chunks = (count + 999) / 1000;
      std::vector<std::vector<unsigned char>> made(chunks);
      std::vector<std::thread> threads;
      for (unsigned t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
          for (std::size_t c = t; c < chunks; c += 4) {
            auto points =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(1000, count - c * 1000));
            laz::compress_chunk(format, bytes + points_at + c * 1000 * format.record_length, points,
                                made[c]);
          }
        });
      }
      for (std::thread& thread : threads) thread.join();
      for (std::size_t c = 0; c < chunks; ++c) {
        auto points = static_cast<std::uint32_t>(std::min<std::uint64_t>(1000, count - c * 1000));
        std::string records(points * format.record_length, '\0');
        ASSERT_TRUE(laz::decode_chunk(laszip, made[c].data(), made[c].size(), points,
                                      records.data(), laz::kAllLayers))
            << name << " chunk " << c;
        EXPECT_TRUE(records ==
                    las.substr(points_at + c * 1000 * format.record_length, records.size()))
            << name << " version " << version << " chunk " << c;
      }
    }
  }
  if (tried == 0) GTEST_SKIP() << "no corpus at " STRATUMIX_CORPUS;
}

// Records of format 7 that make every way of the layered coder work:
// GPS times that stay, step, step back, leap past 32 bits and come back to
// an earlier run of times; scanner channels and returns that change, and
// colours that change with them.
std::string leaping_records(std::uint32_t count) {
  std::string records(std::size_t{count} * 36, '\0');
  std::uint64_t seed = 11;
  auto next = [&seed] {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::uint32_t>(seed >> 33);
  };
  auto put = [&records](std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      records[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
  };
  const double kSteps[] = {0, 1e-6, 3e-6, -2e-6, 0.5, 1000.0, 1e-6, 1e-6};
  double lines[2] = {245379.25, 331000.5};
  int line = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = std::size_t{i} * 36;
    for (std::size_t axis = 0; axis < 3; ++axis) put(at + 4 * axis, next() % 5000, 4);
    put(at + 12, next() % 70000, 2);
    const unsigned returns = 1 + next() % 5;
    put(at + 14, (1 + next() % returns) | returns << 4, 1);
    put(at + 15, next() % 16 == 0 ? next() & 0xff : 0x10, 1);  // flags and channel
    put(at + 16, next() % 8 == 0 ? next() & 0xff : 2, 1);
    put(at + 17, next() % 4, 1);
    put(at + 18, next() % 3 == 0 ? next() & 0xffff : 0, 2);
    put(at + 20, next() % 50 == 0 ? next() & 0xffff : 7, 2);
    if (next() % 200 == 0) line = 1 - line;
    lines[line] += kSteps[next() % 8];
    std::uint64_t bits;
    std::memcpy(&bits, &lines[line], sizeof bits);
    put(at + 22, bits, 8);
    put(at + 30, next() % 4 == 0 ? std::uint64_t{next()} << 16 | next() : 0x1234, 6);
  }
  return records;
}

// Records to make a chunk of, in their format.
struct Made {
  laz::ChunkFormat format;
  std::string records;
};

// `most` records of format 7 that make every way of the layered coder
// work, in versions 3 and 4, then the first `most` of each corpus file
// of `names` there is.
std::vector<Made> records_to_make(std::initializer_list<const char*> names, std::uint32_t most) {
  std::vector<Made> made;
  made.push_back({{7, 36, 3}, leaping_records(most)});
  made.push_back({{7, 36, 4}, leaping_records(most)});
  for (const char* name : names) {
    std::string las = corpus_file(name);
    if (las.size() < 227) continue;
    laz::ChunkFormat format;
    format.format = static_cast<unsigned char>(las[104]);
    format.record_length = little_endian(las, 105, 2);
    std::size_t points_at = little_endian(las, 96, 4);
    std::uint64_t count = format.format >= 6 || static_cast<unsigned char>(las[25]) >= 4
                              ? little_endian(las, 247, 8)
                              : little_endian(las, 107, 4);
    count = std::min<std::uint64_t>(count, most);
    made.push_back({format, las.substr(points_at, count * format.record_length)});
  }
  return made;
}

TEST(LazEncoder, EveryWayOfTheLayeredCoderComesBack) {
  const std::string records = leaping_records(5000);
  const auto* bytes = reinterpret_cast<const unsigned char*>(records.data());
  for (int version : {3, 4}) {
    const laz::ChunkFormat format{7, 36, version};
    laz::Laszip laszip = read_vlr(laz::laszip_vlr_for(format, 5000, false));
    std::vector<unsigned char> chunk;
    laz::compress_chunk(format, bytes, 5000, chunk);
    std::string got(records.size(), '\0');
    ASSERT_TRUE(
        laz::decode_chunk(laszip, chunk.data(), chunk.size(), 5000, got.data(), laz::kAllLayers));
    for (std::size_t i = 0; i < 5000; ++i) {
      ASSERT_EQ(got.substr(i * 36, 36), records.substr(i * 36, 36))
          << "version " << version << " point " << i;
    }
    // Each layer asked for alone decodes its own fields the same.
    std::string time_alone(records.size(), '\0');
    ASSERT_TRUE(laz::decode_chunk(laszip, chunk.data(), chunk.size(), 5000, time_alone.data(),
                                  laz::kGpsTime));
    for (std::size_t i = 0; i < 5000; ++i)
      ASSERT_EQ(time_alone.substr(i * 36 + 22, 8), records.substr(i * 36 + 22, 8)) << i;
  }
}

// The decoders write every byte of every point they give, fields not
// asked for too: the buffers they decode into are not cleared first, and a
// byte left as it was would be a byte of an earlier chunk in the result.
TEST(LazEncoder, DecodingWritesEveryByteOfItsPoints) {
  // Formats 3, 8, 10 and 5, and 6 of 30, 33 and 34 bytes: the bytes past
  // POINT14's in none, fewer than a word, a word or more.
  const std::vector<Made> made = records_to_make(
      {"pdal-autzen_trim.las", "lastools-append-bug-fmt8.las", "lastools-fullwave-fmt10.las",
       "lastools-simple1_3-fmt5.las", "lazperf-rand1_6.las", "laszip-5points_14.las",
       "laspy-unregistered_extra_bytes.las"},
      3000);
  std::vector<laz::Layers> masks = {laz::kXyzOnly, laz::kAllLayers,
                                    laz::kIntensity | laz::kClassification | laz::kGpsTime};
  for (laz::Layers bit = 1; bit <= laz::kExtraBytes; bit <<= 1) masks.push_back(bit);
  for (const Made& m : made) {
    const auto count = static_cast<std::uint32_t>(m.records.size() / m.format.record_length);
    ASSERT_GT(count, 1u);
    laz::Laszip laszip = read_vlr(laz::laszip_vlr_for(m.format, count, false));
    std::vector<unsigned char> chunk;
    laz::compress_chunk(m.format, reinterpret_cast<const unsigned char*>(m.records.data()), count,
                        chunk);
    for (laz::Layers layers : masks) {
      const std::size_t size = laz::decoded_size(layers, m.format.record_length) * count;
      std::string cleared(size, '\0'), dirty(size, '\xa5');
      ASSERT_TRUE(
          laz::decode_chunk(laszip, chunk.data(), chunk.size(), count, cleared.data(), layers));
      ASSERT_TRUE(
          laz::decode_chunk(laszip, chunk.data(), chunk.size(), count, dirty.data(), layers));
      EXPECT_TRUE(cleared == dirty) << "format " << m.format.format << " version "
                                    << m.format.layered_version << " layers " << layers;
      if (layers == laz::kAllLayers) {
        EXPECT_TRUE(cleared == m.records) << m.format.format;
      }
    }
  }
}

// A merge compresses its tiles' records where each was read: runs in
// blocks of their own, of any size, empty ones among them, must make the
// chunk the same records in one block make, for each way of coding
// (formats 0 to 3 directly, through the items' coders, and layered).
TEST(LazEncoder, RecordsInScatteredRunsMakeTheChunkOfOneBlock) {
  const std::vector<Made> made =
      records_to_make({"pdal-mvk-thin.las", "pdal-autzen_trim.las", "pdal-extrabytes.las",
                       "lastools-simple1_3-fmt5.las", "laspy-unregistered_extra_bytes.las"},
                      2000);
  const std::uint32_t kSizes[] = {0, 1, 0, 7, 200, 1, 0, 33, 500};
  for (const Made& m : made) {
    const std::size_t length = m.format.record_length;
    const auto count = static_cast<std::uint32_t>(m.records.size() / length);
    ASSERT_GT(count, 1u);
    std::vector<unsigned char> whole(3, 0xee);  // bytes before the chunk stay
    laz::compress_chunk(m.format, reinterpret_cast<const unsigned char*>(m.records.data()), count,
                        whole);
    std::vector<std::vector<unsigned char>> blocks;
    std::vector<laz::RecordRun> runs;
    for (std::uint32_t at = 0, i = 0; at < count; ++i) {
      const std::uint32_t n = std::min(kSizes[i % std::size(kSizes)], count - at);
      const auto* from = reinterpret_cast<const unsigned char*>(m.records.data()) + at * length;
      blocks.emplace_back(from, from + n * length);
      at += n;
    }
    blocks.emplace_back();  // an empty run last
    for (const auto& block : blocks)
      runs.push_back({block.data(), static_cast<std::uint32_t>(block.size() / length)});
    std::vector<unsigned char> scattered(3, 0xee);
    laz::compress_chunk(m.format, laz::RecordRuns{runs.data(), runs.size()}, scattered);
    EXPECT_TRUE(scattered == whole)
        << "format " << m.format.format << " version " << m.format.layered_version;
  }
  // Runs with no record make no chunk.
  const laz::RecordRun none[2] = {};
  std::vector<unsigned char> out;
  laz::compress_chunk({1, 28, 3}, laz::RecordRuns{none, 2}, out);
  EXPECT_TRUE(out.empty());
}

TEST(LazEncoder, RecordsItCannotMakeGiveNoChunk) {
  const unsigned char records[2 * 30] = {};
  std::vector<unsigned char> out;
  laz::ChunkFormat short_records{6, 29, 3};
  laz::ChunkFormat no_format{11, 30, 3};
  laz::ChunkFormat no_version{6, 30, 5};
  for (const laz::ChunkFormat& format : {short_records, no_format, no_version}) {
    EXPECT_FALSE(laz::can_compress(format));
    laz::compress_chunk(format, records, 2, out);
    EXPECT_TRUE(out.empty());
  }
  // A version of the layered items means nothing to formats 0 to 5.
  EXPECT_TRUE(laz::can_compress({1, 28, 0}));
  laz::compress_chunk({6, 30, 3}, records, 0, out);
  EXPECT_TRUE(out.empty());
}

}  // namespace
