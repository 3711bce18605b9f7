// What the LASzip record (user ID "laszip encoded", record ID 22204) tells
// of a LAZ file: how its points are compressed, in chunks of how many, and
// the items of each point with their versions.
#ifndef STRATUMIX_READ_LAZ_LASZIP_VLR_H_
#define STRATUMIX_READ_LAZ_LASZIP_VLR_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "read/las/las_header.h"

namespace laz {

enum class Compressor { kPointWise = 1, kChunked = 2, kLayered = 3 };

// LASzip's numbers of the items.
enum ItemType : int {
  kByte = 0,
  kPoint10 = 6,
  kGpsTime11 = 7,
  kRgb12 = 8,
  kWavepacket13 = 9,
  kPoint14 = 10,
  kRgb14 = 11,
  kRgbNir14 = 12,
  kWavepacket14 = 13,
  kByte14 = 14,
};

struct LazItem {
  int type = 0;
  int size = 0;
  int version = 0;
};

// A chunk size that varies from chunk to chunk, each given by the table.
inline constexpr std::uint32_t kVariableChunks = 0xffffffffu;

struct Laszip {
  Compressor compressor = Compressor::kChunked;
  // Points a chunk; 0 for all the points in one chunk (LAStools' way of
  // saying so), or kVariableChunks.
  std::uint32_t chunk_size = 0;
  std::vector<LazItem> items;
};

// Finds the LASzip record among the records between the header and the
// points (`records`, `size` bytes, `count` of them at most) and checks it
// against the header: returns "" or why the file is refused, naming the
// item or compressor the program does not read.
std::string read_laszip(const las::Header& header, const unsigned char* records, std::size_t size,
                        std::uint32_t count, Laszip& laszip);

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_LASZIP_VLR_H_
