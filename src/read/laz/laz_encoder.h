// The program's LAZ compressor, the decoder's mirror: it makes LAZ of the
// chunked compressor (items POINT10, GPSTIME11, RGB12 and BYTE, version 2,
// and WAVEPACKET13, version 1) from a LAS file of point format 0 to 5, or
// of the layered one (POINT14, RGB14, RGBNIR14, WAVEPACKET14 and BYTE14,
// version 3 or 4) from format 6 to 10, in chunks of any size, as LASzip
// would.
#ifndef STRATUMIX_READ_LAZ_LAZ_ENCODER_H_
#define STRATUMIX_READ_LAZ_LAZ_ENCODER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "read/laz/record_runs.h"

namespace laz {

// The LAZ of `las` (the whole file, format 0 to 10, version 1.0 to 1.4), in
// chunks of `chunk_size` points; with `variable`, chunks of sizes that vary
// (from chunk_size down), as a table of sizes and counts gives them; the
// layered items of `layered_version`, 3 or 4. Empty for a file it does not
// make.
std::string compress_las(const std::string& las, std::uint32_t chunk_size, bool variable = false,
                         int layered_version = 3);

// The records a chunk is made of: their LAS point format (0 to 10), their
// length (the format's own and any extra bytes after it), and for formats 6
// to 10 the layered items' version.
struct ChunkFormat {
  int format = 0;
  std::size_t record_length = 20;
  int layered_version = 3;
};

// Whether the chunks of `format` can be made: a format of 0 to 10, records
// no shorter than it, a layered version of 3 or 4.
bool can_compress(const ChunkFormat& format);

// One chunk of the `count` records at `records` (count * record_length
// bytes), appended to `out` as it lies in the file. Chunks depend on
// nothing but their records, so a writer may make several at once, one a
// thread. Nothing is appended for no record or a format it cannot make.
void compress_chunk(const ChunkFormat& format, const unsigned char* records, std::uint32_t count,
                    std::vector<unsigned char>& out);
// The same of records in runs that need not lie together (at most 2^32 - 1
// of them, as a chunk's count is told in 32 bits).
void compress_chunk(const ChunkFormat& format, RecordRuns records, std::vector<unsigned char>& out);

// The LASzip VLR (its 54-byte header then its record) that tells a reader
// the chunks' items, for chunks of `chunk_size` points, or of sizes that
// vary (`variable`), whose table then gives each chunk's count.
std::string laszip_vlr_for(const ChunkFormat& format, std::uint32_t chunk_size, bool variable);

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_LAZ_ENCODER_H_
