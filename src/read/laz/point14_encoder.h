// The encoders of the layered items (POINT14, RGB14, RGBNIR14,
// WAVEPACKET14 and BYTE14, versions 3 and 4), each the mirror of its
// decoder in layered_chunk.cc, choosing its models by the same rules
// (point14_models.h, point_items.h). They live apart from the decoder so
// that the compiler makes the decoder's hot loop as it would alone.
#ifndef STRATUMIX_READ_LAZ_POINT14_ENCODER_H_
#define STRATUMIX_READ_LAZ_POINT14_ENCODER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "read/laz/record_runs.h"

namespace laz {

// Where the items past POINT14 lie in the record (0 where absent), and how
// many extra bytes there are.
struct LayeredPlaces {
  std::size_t rgb = 0, nir = 0, wave = 0, bytes = 0, count = 0;
  bool follow_channel = false;  // version 4: the items' contexts are the channels
};

// One layered chunk of `records`, `record_length` bytes each, appended to
// `out`: the first record, the count, the layers' sizes, then their
// bytes. Nothing for no record.
void encode_layered_chunk(const LayeredPlaces& places, std::size_t record_length,
                          RecordRuns records, std::vector<unsigned char>& out);

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_POINT14_ENCODER_H_
