// What of a LAZ point the decoders rebuild. X, Y and Z always, and the
// coordinates alone by default, as 12 bytes a point, which is all the text
// result needs; ask for any other field and each point comes as its whole
// LAS record, in the file's record length, with the fields asked for
// rebuilt byte for byte and those not asked for possibly left zero.
#ifndef STRATUMIX_READ_LAZ_LAYERS_H_
#define STRATUMIX_READ_LAZ_LAYERS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace laz {

using Layers = std::uint32_t;

// The fields, named after the layers of the layered compressor (formats 6
// to 10), where each is a stream of its own that is decoded only when
// asked for. The point-wise and chunked compressors decode every field
// anyway, to keep their one stream in step: there a mask other than X/Y/Z
// gives every field.
enum Layer : Layers {
  kXyzOnly = 0,
  kClassification = 1u << 0,
  kFlags = 1u << 1,  // classification flags, scan direction, edge of flight line
  kIntensity = 1u << 2,
  kScanAngle = 1u << 3,
  kUserData = 1u << 4,
  kPointSource = 1u << 5,
  kGpsTime = 1u << 6,
  kRgb = 1u << 7,
  kNir = 1u << 8,
  kWavePacket = 1u << 9,
  kExtraBytes = 1u << 10,
  kAllLayers = (1u << 11) - 1,
};

// The bytes of a decoded point: X, Y and Z, or the whole record of
// `record_length` bytes.
inline constexpr std::size_t kXyzSize = 12;
inline std::size_t decoded_size(Layers layers, std::size_t record_length) {
  return layers == kXyzOnly ? kXyzSize : record_length;
}

// Bytes that a resize leaves as they are, rather than clearing them: the
// decoders write every byte of every point they decode before any is read,
// and clearing a chunk's buffer when it grew cost an instruction a byte,
// 36 a point for the records of format 7.
template <class T>
struct LeftAsTheyAre : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = LeftAsTheyAre<U>;
  };
  LeftAsTheyAre() = default;
  // From the allocator of another type, as std::allocator converts.
  template <class U>
  LeftAsTheyAre(const LeftAsTheyAre<U>& /*other*/) noexcept {}
  template <class U>
  void construct(U* at) {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

// Decoded points, `decoded_size` bytes each.
using DecodedPoints = std::vector<char, LeftAsTheyAre<char>>;

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_LAYERS_H_
