// Tiles as they are delivered, made by the tests themselves: gzip members
// and LAS files of given points.
#ifndef STRATUMIX_TESTS_TILES_H_
#define STRATUMIX_TESTS_TILES_H_

#include <zlib.h>

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

// What gzip makes of `text`, as one member.
inline std::string gzip_member(const std::string& text, int level = 6) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return "";
  std::string packed(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  int result = deflate(&z, Z_FINISH);
  packed.resize(z.total_out);
  deflateEnd(&z);
  return result == Z_STREAM_END ? packed : "";
}

// A variable-length record of "LASF_Projection" (a reference system's),
// to go between a LAS header and its points.
inline std::string las_projection_record(std::uint16_t id, const std::string& body) {
  std::string record(54, '\0');
  record.replace(2, 15, "LASF_Projection");
  record[18] = static_cast<char>(id & 0xff);
  record[19] = static_cast<char>(id >> 8);
  record[20] = static_cast<char>(body.size() & 0xff);
  record[21] = static_cast<char>(body.size() >> 8);
  return record + body;
}

// A LAS file of the given points, each record's bytes after X, Y and Z
// filled with a pattern of its own.
struct LasTile {
  int minor = 2;                     // version 1.minor
  int format = 1;                    // the point format byte, compression bits and all
  int record_length = 0;             // 0: the format's own
  std::uint64_t count = ~0ull;       // as the header gives it: all the points
  std::uint32_t legacy_count = ~0u;  // for version 1.4: the legacy count, if not the usual
  std::string between;               // after the header, before the points
  std::uint32_t records = 0;         // the variable-length records `between` holds
  double scale[3] = {0.01, 0.01, 0.001};
  double offset[3] = {0, 0, 0};
  std::vector<std::array<std::int32_t, 3>> points;

  static int length_of(int format) {
    static constexpr int kLengths[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
    return kLengths[format & 0x3f];
  }

  std::string bytes() const {
    static constexpr int kHeaderSizes[] = {227, 227, 227, 235, 375};
    std::size_t header_size = static_cast<std::size_t>(kHeaderSizes[minor < 5 ? minor : 4]);
    std::string file(header_size, '\0');
    auto put = [&file](std::size_t at, std::uint64_t value, int size) {
      for (int i = 0; i < size; ++i)
        file[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    };
    int length = record_length != 0 ? record_length : length_of(format);
    std::uint64_t points_given = count != ~0ull ? count : points.size();
    file.replace(0, 4, "LASF");
    file[24] = 1;
    file[25] = static_cast<char>(minor);
    put(94, header_size, 2);
    put(96, header_size + between.size(), 4);
    put(100, records, 4);
    put(104, static_cast<std::uint64_t>(format), 1);
    put(105, static_cast<std::uint64_t>(length), 2);
    bool modern = minor >= 4 && (format & 0x3f) >= 6;
    std::uint32_t legacy = modern ? 0u : static_cast<std::uint32_t>(points_given);
    if (minor >= 4 && legacy_count != ~0u) legacy = legacy_count;
    put(107, legacy, 4);
    for (int axis = 0; axis < 3; ++axis) {
      put(131 + 8 * static_cast<std::size_t>(axis), std::bit_cast<std::uint64_t>(scale[axis]), 8);
      put(155 + 8 * static_cast<std::size_t>(axis), std::bit_cast<std::uint64_t>(offset[axis]), 8);
    }
    if (minor >= 4) put(247, points_given, 8);
    file += between;
    for (std::size_t i = 0; i < points.size(); ++i) {
      std::string record(static_cast<std::size_t>(length), '\0');
      for (std::size_t b = 12; b < record.size(); ++b) record[b] = static_cast<char>(i * 7 + b);
      for (std::size_t axis = 0; axis < 3; ++axis) {
        for (std::size_t b = 0; b < 4; ++b) {
          record[4 * axis + b] =
              static_cast<char>(static_cast<std::uint32_t>(points[i][axis]) >> (8 * b));
        }
      }
      file += record;
    }
    return file;
  }
};

#endif  // STRATUMIX_TESTS_TILES_H_
