// The layered compressor of LAS 1.4 (LASzip's POINT14 version 3): each
// field of a chunk's points is a stream, a layer, of its own, so that the
// coordinates are decoded from the layer of the returns, X and Y, and the
// layer of Z, and every other layer is passed over unread.
#include <cstring>
#include <memory>

#include "read/laz/chunk_decoder.h"
#include "read/laz/median5.h"
#include "read/laz/return_contexts.h"

namespace laz {
namespace {

std::uint32_t little_endian_32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

// The layers each item has.
std::size_t layers(const LazItem& item) {
  switch (item.type) {
    case kPoint14:
      return 9;  // returns and X Y, Z, classification, flags, intensity,
                 // scan angle, user data, point source, GPS time
    case kRgbNir14:
      return 2;
    case kByte14:
      return static_cast<std::size_t>(item.size);
    default:
      return 1;
  }
}

std::size_t record_length(const Laszip& laszip) {
  std::size_t length = 0;
  for (const LazItem& item : laszip.items) length += static_cast<std::size_t>(item.size);
  return length;
}

std::size_t all_layers(const Laszip& laszip) {
  std::size_t count = 0;
  for (const LazItem& item : laszip.items) count += layers(item);
  return count;
}

unsigned return_level(unsigned n, unsigned r) {
  unsigned distance = n > r ? n - r : r - n;
  return distance < 7 ? distance : 7;
}

// What one scanner channel keeps: its last point and its models.
struct Channel {
  std::int32_t x = 0, y = 0, z = 0;
  unsigned returns = 0, return_number = 0;
  bool time_changed = false;
  std::unique_ptr<SymbolModel> changed[8];
  SymbolModel channel{3};
  std::unique_ptr<SymbolModel> number_of_returns[16];
  std::unique_ptr<SymbolModel> return_number_model[16];
  SymbolModel same_time_return{13};
  IntegerDecoder dx{32, 2};
  IntegerDecoder dy{32, 22};
  IntegerDecoder dz{32, 20};
  std::int32_t last_z[8] = {};
};

struct ChannelState : Channel {
  Median5 x_diffs[12], y_diffs[12];
};

std::unique_ptr<ChannelState> new_channel(const ChannelState& from) {
  auto c = std::make_unique<ChannelState>();
  c->x = from.x;
  c->y = from.y;
  c->z = from.z;
  c->returns = from.returns;
  c->return_number = from.return_number;
  c->time_changed = false;
  for (std::int32_t& z : c->last_z) z = from.z;
  for (auto& model : c->changed) model = std::make_unique<SymbolModel>(128);
  return c;
}

SymbolModel& made(std::unique_ptr<SymbolModel>& model, std::uint32_t symbols) {
  if (model == nullptr) model = std::make_unique<SymbolModel>(symbols);
  return *model;
}

std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

std::size_t layered_head_size(const Laszip& laszip) {
  return record_length(laszip) + 4 + 4 * all_layers(laszip);
}

std::uint64_t layered_body_size(const Laszip& laszip, const unsigned char* head) {
  const unsigned char* sizes = head + record_length(laszip) + 4;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < all_layers(laszip); ++i) total += little_endian_32(sizes + 4 * i);
  return total;
}

bool decode_layered_chunk(const Laszip& laszip, const unsigned char* bytes, std::size_t size,
                          std::uint32_t count, char* out) {
  std::size_t head = layered_head_size(laszip);
  if (size < head) return false;
  const unsigned char* raw = bytes;
  if (little_endian_32(raw + record_length(laszip)) != count) return false;
  const unsigned char* sizes = raw + record_length(laszip) + 4;
  // Where each of the point's layers begins, then the end of all.
  std::uint64_t at = head;
  std::uint64_t xy_at = at, xy_size = little_endian_32(sizes);
  std::uint64_t z_at = at + xy_size, z_size = little_endian_32(sizes + 4);
  for (std::size_t i = 0; i < all_layers(laszip); ++i) at += little_endian_32(sizes + 4 * i);
  if (at != size) return false;

  ChannelState first;
  first.x = static_cast<std::int32_t>(little_endian_32(raw));
  first.y = static_cast<std::int32_t>(little_endian_32(raw + 4));
  first.z = static_cast<std::int32_t>(little_endian_32(raw + 8));
  first.return_number = raw[14] & 15;
  first.returns = raw[14] >> 4;
  unsigned current = (raw[15] >> 4) & 3;
  std::unique_ptr<ChannelState> channels[4];
  channels[current] = new_channel(first);
  store_xyz(out, first.x, first.y, first.z);
  if (count == 1) return true;

  Decoder xy, zd;
  xy.set_input(bytes + xy_at, bytes + xy_at + xy_size);
  xy.start();
  bool z_changes = z_size != 0;
  if (z_changes) {
    zd.set_input(bytes + z_at, bytes + z_at + z_size);
    zd.start();
  }
  // A layer read past its end is damaged: nothing more of it is decoded.
  for (std::uint32_t i = 1; i < count && !xy.past_end() && !zd.past_end(); ++i) {
    ChannelState* c = channels[current].get();
    unsigned lpr = (c->return_number == 1 ? 1 : 0) + (c->return_number >= c->returns ? 2 : 0) +
                   (c->time_changed ? 4 : 0);
    std::uint32_t changed = xy.decode_symbol(*c->changed[lpr]);
    if (changed & (1 << 6)) {
      std::uint32_t step = xy.decode_symbol(c->channel);
      unsigned next = (current + step + 1) % 4;
      if (channels[next] == nullptr) channels[next] = new_channel(*c);
      current = next;
      c = channels[current].get();
    }
    bool time_changed = (changed & (1 << 4)) != 0;
    unsigned n = c->returns, r = c->return_number;
    if (changed & (1 << 2)) {
      n = xy.decode_symbol(made(c->number_of_returns[n], 16));
      c->returns = n;
    }
    switch (changed & 3) {
      case 1:
        r = (r + 1) % 16;
        break;
      case 2:
        r = (r + 15) % 16;
        break;
      case 3:
        if (time_changed) {
          r = xy.decode_symbol(made(c->return_number_model[r], 16));
        } else {
          r = (r + xy.decode_symbol(c->same_time_return) + 2) % 16;
        }
        break;
      default:
        break;
    }
    c->return_number = r;
    unsigned m = kReturnContext14[n][r];
    unsigned l = return_level(n, r);
    unsigned slot = m << 1 | (time_changed ? 1 : 0);
    std::int32_t diff = c->dx.decode(xy, c->x_diffs[slot].get(), n == 1);
    c->x = wrapping_add(c->x, diff);
    c->x_diffs[slot].add(diff);
    std::uint32_t k = c->dx.k();
    diff = c->dy.decode(xy, c->y_diffs[slot].get(), (n == 1) + (k < 20 ? k & ~1u : 20));
    c->y = wrapping_add(c->y, diff);
    c->y_diffs[slot].add(diff);
    if (z_changes) {
      k = (c->dx.k() + c->dy.k()) / 2;
      c->z = c->dz.decode(zd, c->last_z[l], (n == 1) + (k < 18 ? k & ~1u : 18));
      c->last_z[l] = c->z;
    }
    c->time_changed = time_changed;
    out += kXyzSize;
    store_xyz(out, c->x, c->y, c->z);
  }
  if (xy.past_end() || xy.consumed() != xy_size) return false;
  return !z_changes || (!zd.past_end() && zd.consumed() == z_size);
}

}  // namespace laz
