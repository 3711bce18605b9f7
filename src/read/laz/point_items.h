// The items of the point-wise and chunked compressors of LAZ (formats 0 to
// 5, and the extra bytes of any): each decodes its field of one record
// after another from the one stream all items share, keeping what its
// models need. Only the coordinates are handed out; the other fields are
// followed as far as the models' contexts need them, no further.
#ifndef STRATUMIX_READ_LAZ_POINT_ITEMS_H_
#define STRATUMIX_READ_LAZ_POINT_ITEMS_H_

#include <cstdint>
#include <memory>

#include "read/laz/arithmetic_decoder.h"

namespace laz {

class Item {
 public:
  virtual ~Item() = default;
  // The chunk's first record, stored as it is: `raw` holds the item's bytes.
  virtual void first(const unsigned char* raw) = 0;
  virtual void next(Decoder& decoder) = 0;
};

// The coordinates, and the fields whose values are the models' contexts.
struct Point10State {
  std::int32_t x = 0, y = 0, z = 0;
  unsigned char bits = 0;  // return number, number of returns, two flags
  unsigned char classification = 0;
  unsigned char user_data = 0;
  std::int32_t intensity = 0;
  std::int32_t point_source = 0;
  std::int32_t scan_angle = 0;
};

// POINT10 (record format 0's 20 bytes), versions 1 and 2.
std::unique_ptr<Item> make_point10(int version, Point10State& state);
// GPSTIME11, versions 1 and 2.
std::unique_ptr<Item> make_gpstime11(int version);
// RGB12, versions 1 and 2.
std::unique_ptr<Item> make_rgb12(int version);
// WAVEPACKET13, versions 1 and 2 (the same coding).
std::unique_ptr<Item> make_wavepacket13();
// BYTE: `count` extra bytes, versions 1 and 2.
std::unique_ptr<Item> make_bytes(int version, int count);

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_POINT_ITEMS_H_
