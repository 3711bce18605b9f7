// The program's LAZ compressor, the decoder's mirror: it makes LAZ of the
// chunked compressor (items POINT10, GPSTIME11, RGB12 and BYTE, version 2,
// and WAVEPACKET13, version 1) from a LAS file of point format 0 to 5, or
// of the layered one (POINT14, RGB14, RGBNIR14, WAVEPACKET14 and BYTE14,
// version 3 or 4) from format 6 to 10, in chunks of any size, as LASzip
// would.
#ifndef STRATUMIX_READ_LAZ_LAZ_ENCODER_H_
#define STRATUMIX_READ_LAZ_LAZ_ENCODER_H_

#include <cstdint>
#include <string>

namespace laz {

// The LAZ of `las` (the whole file, format 0 to 10, version 1.0 to 1.4), in
// chunks of `chunk_size` points; with `variable`, chunks of sizes that vary
// (from chunk_size down), as a table of sizes and counts gives them; the
// layered items of `layered_version`, 3 or 4. Empty for a file it does not
// make.
std::string compress_las(const std::string& las, std::uint32_t chunk_size, bool variable = false,
                         int layered_version = 3);

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_LAZ_ENCODER_H_
