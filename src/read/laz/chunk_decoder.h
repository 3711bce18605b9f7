// The points of one chunk (or of a whole point-wise stream), decoded to
// their coordinates: 12 bytes a point, X, Y and Z as the LAS record holds
// them (little-endian 32-bit integers), which is all the text result
// needs; or, when other layers are asked for (layers.h), to whole records.
#ifndef STRATUMIX_READ_LAZ_CHUNK_DECODER_H_
#define STRATUMIX_READ_LAZ_CHUNK_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "read/laz/arithmetic_decoder.h"
#include "read/laz/laszip_vlr.h"
#include "read/laz/layers.h"
#include "read/laz/point_items.h"

namespace laz {

// The point-wise and chunked compressors: every item of a point in turn,
// from one stream, so that every item is decoded to keep the models in
// step.
class PointDecoder {
 public:
  explicit PointDecoder(const Laszip& laszip, Layers layers = kXyzOnly);
  // The bytes of a point decoded: kXyzSize, or the record's length.
  std::size_t point_size() const { return point_size_; }
  // Starts a chunk at the decoder's input: its first record, stored as it
  // is, then the arithmetic stream. Writes that record's point.
  void start(Decoder& decoder, char* out);
  // The next `count` points, or fewer when the decoder's bytes end first
  // (past_end() says so).
  void next(Decoder& decoder, std::size_t count, char* out);

 private:
  const Laszip& laszip_;
  std::size_t record_length_ = 0;
  std::size_t point_size_ = kXyzSize;
  std::vector<unsigned char> first_;
  Point10State point_;
  std::vector<std::unique_ptr<Item>> items_;
};

// The layered compressor (LAS 1.4's formats 6 to 10): decodes the
// `count` points of the chunk in `bytes`, `size` of them, from the layers
// of X, Y and Z and those `layers` asks for, passing over the others.
// False when the chunk is not whole and right: its count, its layers'
// sizes or the decoding of a layer read disagree with its size.
bool decode_layered_chunk(const Laszip& laszip, const unsigned char* bytes, std::size_t size,
                          std::uint32_t count, char* out, Layers layers = kXyzOnly);

// A layered chunk begins with its first record, its count and its layers'
// sizes: the bytes of that head, and then, from them, those of the rest.
std::size_t layered_head_size(const Laszip& laszip);
std::uint64_t layered_body_size(const Laszip& laszip, const unsigned char* head);

// A chunk's points decoded whole, `decoded_size(layers, ...)` bytes each:
// true when the decoding ended at its `size` bytes exactly.
bool decode_chunk(const Laszip& laszip, const unsigned char* bytes, std::size_t size,
                  std::uint32_t count, char* out, Layers layers = kXyzOnly);

// The length of the records `laszip`'s items make.
std::size_t record_length(const Laszip& laszip);

inline void store_xyz(char* out, std::int32_t x, std::int32_t y, std::int32_t z) {
  const std::int32_t values[3] = {x, y, z};
  for (std::int32_t value : values) {
    auto v = static_cast<std::uint32_t>(value);
    out[0] = static_cast<char>(v & 0xff);
    out[1] = static_cast<char>((v >> 8) & 0xff);
    out[2] = static_cast<char>((v >> 16) & 0xff);
    out[3] = static_cast<char>(v >> 24);
    out += 4;
  }
}

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_CHUNK_DECODER_H_
