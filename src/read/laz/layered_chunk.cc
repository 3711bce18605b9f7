// The layered compressor of LAS 1.4 (LASzip's POINT14, RGB14, RGBNIR14,
// WAVEPACKET14 and BYTE14 items, versions 3 and 4, which differ only in
// the contexts of the items past POINT14, see ItemContext): each field of
// a chunk's points is a stream, a layer, of its own. The
// coordinates come from the layer of the returns, X and Y, and the layer of
// Z; each other layer is decoded only when asked for, and passed over
// unread otherwise. A layer of no bytes is a field that keeps its first
// value through the chunk. Each scanner channel keeps its own last point
// and models, which a channel seen for the first time takes over from the
// one before it; the items past POINT14 keep contexts of their own
// (ItemContext). The models' sizes and contexts are LASzip's.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "num/bytes.h"
#include "read/laz/chunk_decoder.h"
#include "read/laz/point14_models.h"

namespace laz {
namespace {

std::uint32_t little_endian_32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

void store_le(unsigned char* out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The low two bytes of `value`, little-endian, in one store.
void store2(unsigned char* out, std::uint32_t value) {
  const unsigned char two[2] = {static_cast<unsigned char>(value),
                                static_cast<unsigned char>(value >> 8)};
  std::memcpy(out, two, 2);
}

// POINT14's layers: returns and X Y, Z, classification, flags,
// intensity, scan angle, user data, point source, GPS time.
constexpr std::size_t kPoint14LayerCount = 9;

// The layers each item has.
std::size_t layers(const LazItem& item) {
  switch (item.type) {
    case kPoint14:
      return kPoint14LayerCount;
    case kRgbNir14:
      return 2;
    case kByte14:
      return static_cast<std::size_t>(item.size);
    default:
      return 1;
  }
}

std::size_t all_layers(const Laszip& laszip) {
  std::size_t count = 0;
  for (const LazItem& item : laszip.items) count += layers(item);
  return count;
}

// The POINT14 item's layers, in their order.
enum Point14Layer : std::size_t {
  kXyLayer,
  kZLayer,
  kClassificationLayer,
  kFlagsLayer,
  kIntensityLayer,
  kScanAngleLayer,
  kUserDataLayer,
  kPointSourceLayer,
  kGpsTimeLayer,
};

// The mask's bit of each POINT14 layer past Z.
constexpr Layers kPoint14Layers[kPoint14LayerCount] = {kXyzOnly,  kXyzOnly,     kClassification,
                                                       kFlags,    kIntensity,   kScanAngle,
                                                       kUserData, kPointSource, kGpsTime};

constexpr std::size_t kNone = ~std::size_t{0};

// Where the items other than POINT14 lie in the record, and their first
// layers.
struct Layout {
  std::size_t rgb_at = kNone, rgb_layer = 0;
  std::size_t nir_at = kNone, nir_layer = 0;
  std::size_t wave_at = kNone, wave_layer = 0;
  std::size_t bytes_at = kNone, bytes_layer = 0, bytes = 0;
};

// False for items the records of formats 6 to 10 never hold twice.
bool lay_out(const Laszip& laszip, Layout& out) {
  std::size_t at = 0, layer = 0;
  for (const LazItem& item : laszip.items) {
    auto once = [&](std::size_t& where, std::size_t& first) {
      if (where != kNone) return false;
      where = at;
      first = layer;
      return true;
    };
    bool fine = true;
    switch (item.type) {
      case kRgb14:
        fine = once(out.rgb_at, out.rgb_layer);
        break;
      case kRgbNir14:
        fine = once(out.rgb_at, out.rgb_layer);
        out.nir_at = at + 6;
        out.nir_layer = layer + 1;
        break;
      case kWavepacket14:
        fine = once(out.wave_at, out.wave_layer);
        break;
      case kByte14:
        fine = once(out.bytes_at, out.bytes_layer);
        out.bytes = static_cast<std::size_t>(item.size);
        break;
      default:
        break;
    }
    if (!fine) return false;
    at += static_cast<std::size_t>(item.size);
    layer += layers(item);
  }
  return true;
}

std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// The models of POINT14's layers past X, Y and Z, made only when one is
// decoded.
using FieldModels = Point14FieldModelsOf<IntegerDecoder>;

// The models of the items past POINT14 in one of their contexts.
struct ItemModels {
  explicit ItemModels(std::size_t bytes) : byte_models(bytes) {}
  ColourModels rgb;
  NirModels nir_models;
  WavePacketModels wave;
  ByteModels byte_models;
};

// What the items past POINT14 (colour, near infrared, wave packet, extra
// bytes) keep, in contexts of their own (items_context and
// switch_items_context say which, point14_models.h).
struct ItemContext {
  Colour colour;
  std::uint32_t nir = 0;
  WavePacket packet;
  std::vector<unsigned char> bytes;
  // Made when an item is first decoded in this context: a chunk whose
  // items are only stored, as most jobs ask, makes none.
  std::unique_ptr<ItemModels> models;
  ItemModels& models_made() {
    if (models == nullptr) models = std::make_unique<ItemModels>(bytes.size());
    return *models;
  }
};

std::unique_ptr<ItemContext> new_item_context(const ItemContext& from) {
  auto c = std::make_unique<ItemContext>();
  c->colour = from.colour;
  c->nir = from.nir;
  c->packet = from.packet;
  c->bytes = from.bytes;
  return c;
}

// What one scanner channel keeps: its last point and its models, those
// the encoder has too (point14_models.h).
struct Channel : Point14ModelsOf<IntegerDecoder> {
  std::int32_t x = 0, y = 0, z = 0;
  unsigned returns = 0, return_number = 0;
  bool time_changed = false;

  // The other fields, kept when asked for and zero otherwise.
  std::uint32_t intensity = 0;
  std::uint32_t last_intensity[8] = {};
  unsigned char classification = 0;
  unsigned char flags = 0;  // edge of flight line, scan direction, classification flags
  unsigned char user_data = 0;
  std::int32_t scan_angle = 0;  // a 16-bit signed value
  std::uint32_t point_source = 0;
  GpsTimes times;
  std::unique_ptr<FieldModels> models;

  // Bytes 14 to 29 of the record as they are stored, kept as each field
  // changes rather than made for each point: a point's are stored in two
  // words. The first, the returns', is left to the store.
  unsigned char stored[16] = {};
  static constexpr std::size_t kFlagsByte = 1, kClassByte = 2, kUserDataByte = 3, kAngleBytes = 4,
                               kSourceBytes = 6, kTimeBytes = 8;
  // Byte 15 of a record: the classification flags, the scanner channel,
  // the scan direction and the edge of flight line.
  void store_flags(unsigned number) {
    stored[kFlagsByte] =
        static_cast<unsigned char>((flags & 0x0fu) | number << 4 | (flags >> 4) << 6);
  }
  void store_fields(unsigned number) {
    store_flags(number);
    stored[kClassByte] = classification;
    stored[kUserDataByte] = user_data;
    store2(stored + kAngleBytes, static_cast<std::uint32_t>(scan_angle));
    store2(stored + kSourceBytes, point_source);
    store_time();
  }
  void store_time() {
    bytes::store8(reinterpret_cast<char*>(stored) + kTimeBytes, times.current());
  }
};

// Channel `number`'s start: its first point's fields and fresh models;
// `whole` when fields other than X, Y and Z are decoded.
std::unique_ptr<Channel> new_channel(const Channel& from, unsigned number, bool whole) {
  auto c = std::make_unique<Channel>();
  c->x = from.x;
  c->y = from.y;
  c->z = from.z;
  c->returns = from.returns;
  c->return_number = from.return_number;
  c->time_changed = false;
  for (std::int32_t& z : c->last_z) z = from.z;
  for (auto& model : c->changed) model = std::make_unique<SymbolModel>(128);
  if (whole) {
    c->intensity = from.intensity;
    for (std::uint32_t& intensity : c->last_intensity) intensity = from.intensity;
    c->classification = from.classification;
    c->flags = from.flags;
    c->user_data = from.user_data;
    c->scan_angle = from.scan_angle;
    c->point_source = from.point_source;
    c->times.time[0] = from.times.current();
    c->models = std::make_unique<FieldModels>();
    c->store_fields(number);
  }
  return c;
}

// A chunk's layers: where each begins, its size, and its decoder when it is
// decoded.
class Chunk {
 public:
  Chunk(const Laszip& laszip, const unsigned char* bytes, Layers asked)
      : laszip_(laszip),
        bytes_(bytes),
        asked_(asked),
        whole_(asked != kXyzOnly),
        follow_channel_(laszip.items[0].version >= 4),
        record_(record_length(laszip)) {}

  // False when the chunk's count or layers' sizes disagree with its size.
  bool open(std::size_t size, std::uint32_t count);
  bool decode(std::uint32_t count, char* out);

 private:
  bool decoded(std::size_t layer) const {
    return (layer < kPoint14LayerCount ? point14_decoding_[layer] : decoding_[layer]) != 0;
  }
  bool z_decoded_ = false;
  // Inline in each loop of points: a call a point cost more than it saved.
  template <bool kWhole>
  [[gnu::always_inline]] inline void next_point();
  // Out of line, the loop of whole records: in one function with the loop
  // of X, Y and Z alone, the compiler kept fewer of either's values at hand.
  template <bool kItemsZero>
  [[gnu::noinline]] void decode_whole(std::uint32_t count, char* out);
  void store(char* out) const;
  void store_point14(char* out) const;
  bool ended_right() const;

  const Laszip& laszip_;
  const unsigned char* bytes_;
  Layers asked_;
  bool whole_;
  // Whether the items' contexts follow the scanner channel (version 4).
  bool follow_channel_;
  std::size_t record_;
  Layout layout_;
  std::vector<std::uint64_t> at_, size_;
  // A byte a layer: tested for each point, no bits to pick out; POINT14's
  // also in the chunk itself, where a point finds them with no load.
  std::vector<unsigned char> decoding_;
  std::array<unsigned char, kPoint14LayerCount> point14_decoding_{};
  // Whether the flags, scan angle, user data or point source is.
  bool others_decoded_ = false;
  // Whether any layer of the items past POINT14 is decoded: if none is,
  // their contexts all keep the first point's values, and need no keeping.
  bool items_decoded_ = false;
  // Whether storing a point writes every byte of its record: its items
  // are POINT14 first, then those lay_out places, once each.
  bool stores_whole_ = false;
  // Whether the bytes past POINT14's are zero in every record: none of
  // the items there is asked for, and their first values are not kept.
  bool items_zero_ = false;
  // POINT14's decoders in the chunk itself, where a point finds them with
  // no load; the items' past them.
  std::array<Decoder, kPoint14LayerCount> point14_decoders_;
  std::vector<Decoder> item_decoders_;
  Decoder& decoder(std::size_t layer) {
    return layer < kPoint14LayerCount ? point14_decoders_[layer]
                                      : item_decoders_[layer - kPoint14LayerCount];
  }
  const Decoder& decoder(std::size_t layer) const {
    return layer < kPoint14LayerCount ? point14_decoders_[layer]
                                      : item_decoders_[layer - kPoint14LayerCount];
  }
  unsigned current_ = 0;
  std::unique_ptr<Channel> channels_[4];
  // The items' contexts, the one at hand, and the one whose values the
  // point was given.
  std::unique_ptr<ItemContext> items_[4];
  unsigned item_context_ = 0;
  const ItemContext* extras_ = nullptr;
};

// Kept out of line: inlined, it left the compiler making the loop of X, Y and Z
// alone 1% dearer.
[[gnu::noinline]] bool Chunk::open(std::size_t size, std::uint32_t count) {
  std::size_t head = layered_head_size(laszip_);
  // POINT14 first, as the LASzip record's reading makes sure.
  if (laszip_.items.empty() || laszip_.items[0].type != kPoint14) return false;
  if (size < head || !lay_out(laszip_, layout_)) return false;
  if (little_endian_32(bytes_ + record_) != count) return false;
  const unsigned char* sizes = bytes_ + record_ + 4;
  std::size_t layers = all_layers(laszip_);
  std::uint64_t at = head;
  at_.resize(layers);
  size_.resize(layers);
  decoding_.assign(layers, false);
  for (std::size_t i = 0; i < layers; ++i) {
    at_[i] = at;
    size_[i] = little_endian_32(sizes + 4 * i);
    at += size_[i];
  }
  if (at != size) return false;
  // The layers decoded: X and Y always, and those asked for that change.
  auto asked = [&](std::size_t layer, Layers bit) {
    decoding_[layer] = size_[layer] != 0 && (bit == kXyzOnly || (asked_ & bit) != 0);
  };
  for (std::size_t i = 0; i < kPoint14LayerCount; ++i) asked(i, kPoint14Layers[i]);
  decoding_[kXyLayer] = true;
  if (layout_.rgb_at != kNone) asked(layout_.rgb_layer, kRgb);
  if (layout_.nir_at != kNone) asked(layout_.nir_layer, kNir);
  if (layout_.wave_at != kNone) asked(layout_.wave_layer, kWavePacket);
  for (std::size_t i = 0; i < layout_.bytes; ++i) asked(layout_.bytes_layer + i, kExtraBytes);
  std::copy_n(decoding_.begin(), kPoint14LayerCount, point14_decoding_.begin());
  z_decoded_ = decoding_[kZLayer] != 0;
  others_decoded_ = decoded(kFlagsLayer) || decoded(kScanAngleLayer) || decoded(kUserDataLayer) ||
                    decoded(kPointSourceLayer);
  for (std::size_t i = kPoint14LayerCount; i < layers; ++i)
    items_decoded_ = items_decoded_ || decoding_[i] != 0;
  stores_whole_ =
      std::all_of(laszip_.items.begin() + 1, laszip_.items.end(), [](const LazItem& item) {
        return item.type == kRgb14 || item.type == kRgbNir14 || item.type == kWavepacket14 ||
               item.type == kByte14;
      });
  items_zero_ = stores_whole_ && (layout_.rgb_at == kNone || (asked_ & kRgb) == 0) &&
                (layout_.nir_at == kNone || (asked_ & kNir) == 0) &&
                (layout_.wave_at == kNone || (asked_ & kWavePacket) == 0) &&
                (layout_.bytes == 0 || (asked_ & kExtraBytes) == 0);
  return true;
}

bool Chunk::ended_right() const {
  for (std::size_t i = 0; i < decoding_.size(); ++i) {
    if (decoding_[i] && (decoder(i).past_end() || decoder(i).consumed() != size_[i])) return false;
  }
  return true;
}

bool Chunk::decode(std::uint32_t count, char* out) {
  const unsigned char* raw = bytes_;
  Channel first;
  first.x = static_cast<std::int32_t>(little_endian_32(raw));
  first.y = static_cast<std::int32_t>(little_endian_32(raw + 4));
  first.z = static_cast<std::int32_t>(little_endian_32(raw + 8));
  first.return_number = raw[14] & 15;
  first.returns = raw[14] >> 4;
  current_ = (raw[15] >> 4) & 3;
  // The fields not asked for stay zero.
  if (whole_) {
    auto asked = [&](Layers bit) { return (asked_ & bit) != 0; };
    if (asked(kIntensity)) first.intensity = raw[12] | std::uint32_t{raw[13]} << 8;
    if (asked(kFlags))
      first.flags = static_cast<unsigned char>((raw[15] & 0x0f) | ((raw[15] >> 6) << 4));
    if (asked(kClassification)) first.classification = raw[16];
    if (asked(kUserData)) first.user_data = raw[17];
    if (asked(kScanAngle))
      first.scan_angle = static_cast<std::int16_t>(raw[18] | std::uint32_t{raw[19]} << 8);
    if (asked(kPointSource)) first.point_source = raw[20] | std::uint32_t{raw[21]} << 8;
    if (asked(kGpsTime)) {
      for (int i = 7; i >= 0; --i) first.times.time[0] = first.times.time[0] << 8 | raw[22 + i];
    }
    ItemContext items;
    if (layout_.rgb_at != kNone && asked(kRgb)) items.colour.read(raw + layout_.rgb_at);
    if (layout_.nir_at != kNone && asked(kNir))
      items.nir = raw[layout_.nir_at] | std::uint32_t{raw[layout_.nir_at + 1]} << 8;
    if (layout_.wave_at != kNone && asked(kWavePacket)) items.packet.read(raw + layout_.wave_at);
    items.bytes.assign(layout_.bytes, 0);
    if (asked(kExtraBytes) && layout_.bytes != 0)
      std::memcpy(items.bytes.data(), raw + layout_.bytes_at, layout_.bytes);
    item_context_ = current_;
    items_[current_] = new_item_context(items);
    extras_ = items_[current_].get();
  }
  channels_[current_] = new_channel(first, current_, whole_);
  if (whole_) {
    store(out);
  } else {
    store_xyz(out, first.x, first.y, first.z);
  }
  if (count == 1) return true;

  item_decoders_.resize(decoding_.size() - kPoint14LayerCount);
  for (std::size_t i = 0; i < decoding_.size(); ++i) {
    if (!decoding_[i]) continue;
    decoder(i).set_input(bytes_ + at_[i], bytes_ + at_[i] + size_[i]);
    decoder(i).start();
  }
  Decoder& xy = point14_decoders_[kXyLayer];
  Decoder& z = point14_decoders_[kZLayer];
  // A layer read past its end is damaged: nothing more of it is decoded.
  if (whole_ && items_zero_) {
    decode_whole<true>(count, out);
  } else if (whole_) {
    decode_whole<false>(count, out);
  } else {
    for (std::uint32_t i = 1; i < count && !xy.past_end() && !z.past_end(); ++i) {
      next_point<false>();
      out += kXyzSize;
      const Channel& c = *channels_[current_];
      store_xyz(out, c.x, c.y, c.z);
    }
  }
  return ended_right();
}

// The points past the first, whole records of record_ bytes each, into
// `out` after the first: the loop keeps only where the next one goes and
// where the last one does, for the point's decoding to keep more of its
// own values at hand.
template <bool kItemsZero>
void Chunk::decode_whole(std::uint32_t count, char* out) {
  const Decoder& xy = point14_decoders_[kXyLayer];
  const Decoder& z = point14_decoders_[kZLayer];
  const char* const last = out + std::size_t{count - 1} * record_;
  while (out != last && !xy.past_end() && !z.past_end()) {
    next_point<true>();
    out += record_;
    if constexpr (kItemsZero) {
      store_point14(out);
    } else {
      store(out);
    }
  }
}

template <bool kWhole>
void Chunk::next_point() {
  Decoder& xy = point14_decoders_[kXyLayer];
  Channel* c = channels_[current_].get();
  std::uint32_t changed =
      xy.decode_symbol(*c->changed[change_context(c->return_number, c->returns, c->time_changed)]);
  if (changed & kChannelChanged) {
    unsigned next = channel_after(current_, xy.decode_symbol(c->channel));
    if (channels_[next] == nullptr) channels_[next] = new_channel(*c, next, kWhole);
    current_ = next;
    c = channels_[current_].get();
  }
  bool time_changed = (changed & kTimeChanged) != 0;
  unsigned n = c->returns, r = c->return_number;
  if (changed & kReturnsChanged) {
    n = xy.decode_symbol(made(c->number_of_returns[n], 16));
    c->returns = n;
  }
  switch (changed & kReturnStep) {
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
        r = return_after(r, xy.decode_symbol(c->same_time_return));
      }
      break;
    default:
      break;
  }
  c->return_number = r;
  unsigned slot = coordinate_slot(n, r, time_changed);
  std::int32_t diff = c->dx.decode(xy, c->x_diffs[slot].get(), x_context(n));
  c->x = wrapping_add(c->x, diff);
  c->x_diffs[slot].add(diff);
  diff = c->dy.decode(xy, c->y_diffs[slot].get(), y_context(n, c->dx.k()));
  c->y = wrapping_add(c->y, diff);
  c->y_diffs[slot].add(diff);
  if (z_decoded_) {
    unsigned level = return_level(n, r);
    c->z = c->dz.decode(point14_decoders_[kZLayer], c->last_z[level],
                        z_context(n, c->dx.k(), c->dy.k()));
    c->last_z[level] = c->z;
  }
  if constexpr (kWhole) {
    FieldModels& f = *c->models;
    unsigned place = return_place(r, n);
    if (decoded(kClassificationLayer)) {
      unsigned context = classification_context(c->classification, place);
      c->classification =
          static_cast<unsigned char>(point14_decoders_[kClassificationLayer].decode_symbol(
              made(f.classification[context], 256)));
      c->stored[Channel::kClassByte] = c->classification;
    }
    if (decoded(kIntensityLayer)) {
      std::uint32_t& last = c->last_intensity[intensity_slot(place, time_changed)];
      last = static_cast<std::uint32_t>(f.intensity.decode_inline(
                 point14_decoders_[kIntensityLayer], static_cast<std::int32_t>(last), place)) &
             0xffff;
      c->intensity = last;
    }
    if (decoded(kGpsTimeLayer) && time_changed) {
      decode_gps_time(point14_decoders_[kGpsTimeLayer], f, c->times);
      c->store_time();
    }
    // The fields asked for less often, behind one test.
    if (others_decoded_) {
      if (decoded(kFlagsLayer)) {
        c->flags = static_cast<unsigned char>(
            point14_decoders_[kFlagsLayer].decode_symbol(made(f.flags[c->flags], 64)));
        c->store_flags(current_);
      }
      if (decoded(kScanAngleLayer) && (changed & kAngleChanged)) {
        c->scan_angle =
            static_cast<std::int16_t>(f.scan_angle.decode(point14_decoders_[kScanAngleLayer],
                                                          c->scan_angle, time_changed ? 1 : 0) &
                                      0xffff);
        store2(c->stored + Channel::kAngleBytes, static_cast<std::uint32_t>(c->scan_angle));
      }
      if (decoded(kUserDataLayer)) {
        c->user_data = static_cast<unsigned char>(point14_decoders_[kUserDataLayer].decode_symbol(
            made(f.user_data[user_data_context(c->user_data)], 256)));
        c->stored[Channel::kUserDataByte] = c->user_data;
      }
      if (decoded(kPointSourceLayer) && (changed & kSourceChanged)) {
        c->point_source =
            static_cast<std::uint32_t>(f.point_source.decode(
                point14_decoders_[kPointSourceLayer], static_cast<std::int32_t>(c->point_source))) &
            0xffff;
        store2(c->stored + Channel::kSourceBytes, c->point_source);
      }
    }
    if (!items_decoded_) {
      c->time_changed = time_changed;
      return;
    }
    unsigned context = items_context(follow_channel_, (changed & kChannelChanged) != 0, current_);
    ItemContext* values =
        switch_items_context(items_, item_context_, context, follow_channel_, new_item_context);
    ItemModels& im = items_[item_context_]->models_made();
    extras_ = values;
    if (layout_.rgb_at != kNone && decoded(layout_.rgb_layer))
      decode_colour(decoder(layout_.rgb_layer), im.rgb, values->colour);
    if (layout_.nir_at != kNone && decoded(layout_.nir_layer))
      decode_nir(decoder(layout_.nir_layer), im.nir_models, values->nir);
    if (layout_.wave_at != kNone && decoded(layout_.wave_layer))
      decode_wave_packet(decoder(layout_.wave_layer), im.wave, values->packet);
    for (std::size_t i = 0; i < layout_.bytes; ++i) {
      if (!decoded(layout_.bytes_layer + i)) continue;
      values->bytes[i] =
          im.byte_models.decode(decoder(layout_.bytes_layer + i), i, values->bytes[i]);
    }
  }
  c->time_changed = time_changed;
}

void Chunk::store(char* to) const {
  auto* out = reinterpret_cast<unsigned char*>(to);
  const Channel& c = *channels_[current_];
  if (!stores_whole_) std::memset(out, 0, record_);
  store_xyz(to, c.x, c.y, c.z);
  store_le(out + 12, c.intensity, 2);
  std::memcpy(out + 14, c.stored, sizeof c.stored);
  out[14] = static_cast<unsigned char>(c.return_number | c.returns << 4);
  const ItemContext& e = *extras_;
  if (layout_.rgb_at != kNone) e.colour.store(out + layout_.rgb_at);
  if (layout_.nir_at != kNone) store_le(out + layout_.nir_at, e.nir, 2);
  if (layout_.wave_at != kNone) e.packet.store(out + layout_.wave_at);
  if (layout_.bytes != 0) std::memcpy(out + layout_.bytes_at, e.bytes.data(), layout_.bytes);
}

// The record of a point whose items past POINT14 are all zero: no look
// at them, nor at where they lie. A third of what store() costs.
void Chunk::store_point14(char* to) const {
  auto* out = reinterpret_cast<unsigned char*>(to);
  const Channel& c = *channels_[current_];
  // The bytes past POINT14's 30 in words of zeros, the last of them
  // reaching back over POINT14's end, which is written after them.
  if (record_ > 30) {
    for (std::size_t at = 30; at + 8 < record_; at += 8) bytes::store8(to + at, 0);
    bytes::store8(to + record_ - 8, 0);
  }
  // Each field in one store: after the words of zeros, the compiler no
  // longer joins the bytes of store_le.
  store_xyz(to, c.x, c.y, c.z);
  store2(out + 12, c.intensity);
  std::memcpy(out + 14, c.stored, sizeof c.stored);
  out[14] = static_cast<unsigned char>(c.return_number | c.returns << 4);
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
                          std::uint32_t count, char* out, Layers layers) {
  Chunk chunk(laszip, bytes, layers);
  if (!chunk.open(size, count)) return false;
  return chunk.decode(count, out);
}

}  // namespace laz
