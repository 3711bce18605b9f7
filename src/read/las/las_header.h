// The header of an ASPRS LAS point cloud, versions 1.0 to 1.4: where its
// points are, how many, and how their integers become coordinates. A pure
// function of the file's first bytes, so that it can be fuzzed alone.
#ifndef STRATUMIX_READ_LAS_LAS_HEADER_H_
#define STRATUMIX_READ_LAS_LAS_HEADER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace las {

// The longest header read_header looks at: version 1.4's.
inline constexpr std::size_t kLongestHeader = 375;

struct Header {
  int version_minor = 0;  // of version 1.x
  int point_format = 0;   // 0 to 10
  std::uint32_t header_size = 0;
  std::uint64_t point_offset = 0;  // where the first record begins
  std::uint32_t record_length = 0;
  std::uint64_t point_count = 0;
  // Version 1.4: where the extended records begin, which end the points;
  // 0 when there are none.
  std::uint64_t extended_at = 0;
  std::uint32_t extended_records = 0;
  // Where what follows the points begins, as far as the header tells (the
  // extended records, or version 1.3's waveform data kept in the file);
  // 0 when nothing is said to follow them.
  std::uint64_t points_end = 0;
  // A coordinate is its record's integer times scale, plus offset.
  double scale[3] = {};
  double offset[3] = {};
  // LAZ: the points compressed as the LASzip record among the variable-
  // length records, `records` of them, says.
  bool compressed = false;
  std::uint32_t records = 0;
  // Version 1.4: the file's system is its WKT, even where it also has
  // GeoTIFF keys.
  bool wkt = false;
};

// The bytes a record of `format` (0 to 10) holds at least.
int format_record_length(int format);

// Reads the header at the start of `bytes`, the first `size` bytes of a
// file (all of them when it is shorter than kLongestHeader). Returns an
// empty string, or what is wrong with it, for a message.
std::string read_header(const unsigned char* bytes, std::size_t size, Header& header);

// A variable-length record between the header and the points.
struct VariableRecord {
  std::string_view user;  // its user ID, without the NULs that pad it
  std::uint16_t id = 0;
  const unsigned char* body = nullptr;
  std::size_t length = 0;
};

// The records at `records` (`size` bytes, `count` of them at most), up to
// the first that the bytes cut.
std::vector<VariableRecord> variable_records(const unsigned char* records, std::size_t size,
                                             std::uint32_t count);

}  // namespace las

#endif  // STRATUMIX_READ_LAS_LAS_HEADER_H_
