#include "read/laz/point14_encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "read/laz/arithmetic_encoder.h"
#include "read/laz/point14_models.h"
#include "read/laz/point_items.h"

namespace laz {

namespace {

// Little-endian fields of fixed widths, which the compiler reads in one
// load each where the machine allows, rather than a loop a byte.
std::uint32_t get16(const unsigned char* p) { return p[0] | std::uint32_t{p[1]} << 8; }

std::uint32_t get32(const unsigned char* p) {
  return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::uint64_t get64(const unsigned char* p) {
  return std::uint64_t{get32(p)} | std::uint64_t{get32(p + 4)} << 32;
}

// The colour as Colour::read gives it, here where it can be inlined.
Colour colour_at(const unsigned char* raw) {
  Colour c;
  for (std::size_t i = 0; i < 3; ++i) c.c[i] = get16(raw + 2 * i);
  return c;
}

std::int32_t wrap(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

void put_size(std::vector<unsigned char>& out, std::size_t size) {
  for (int b = 0; b < 4; ++b) out.push_back(static_cast<unsigned char>(size >> (8 * b)));
}

// A POINT14 record's fields as the layers code them.
struct Point14 {
  std::int32_t x, y, z, intensity, scan_angle, point_source;
  unsigned r, n, flags, channel, classification, user_data;
  std::uint64_t time;
  bool time_changed = false;

  explicit Point14(const unsigned char* p)
      : x(static_cast<std::int32_t>(get32(p))),
        y(static_cast<std::int32_t>(get32(p + 4))),
        z(static_cast<std::int32_t>(get32(p + 8))),
        intensity(static_cast<std::int32_t>(get16(p + 12))),
        scan_angle(static_cast<std::int16_t>(get16(p + 18))),
        point_source(static_cast<std::int32_t>(get16(p + 20))),
        r(p[14] & 15u),
        n(p[14] >> 4),
        // Edge, scan direction, then the classification flags.
        flags((p[15] >> 7) << 5 | ((p[15] >> 6) & 1) << 4 | (p[15] & 15u)),
        channel((p[15] >> 4) & 3u),
        classification(p[16]),
        user_data(p[17]),
        time(get64(p + 22)) {}
  // Whether a time changed is told by the doubles, as LASzip tells it.
  double gps() const {
    double value;
    std::memcpy(&value, &time, sizeof value);
    return value;
  }
};

// POINT14's layers, in their order.
enum Layer { kXy, kZ, kClassification, kFlags, kIntensity, kScanAngle, kUserData, kSource, kTime };

class Point14Encoder {
 public:
  explicit Point14Encoder(const unsigned char* first) {
    for (auto& layer : layers_) encoders_.push_back(std::make_unique<Encoder>(layer));
    Point14 p(first);
    current_ = p.channel;
    channels_[current_] = make_channel(p);
  }

  // Whether the last point's scanner channel differed from the one before.
  bool switched() const { return switched_; }
  unsigned channel() const { return current_; }

  void next(const unsigned char* item) {
    Point14 p(item);
    Channel* c = channels_[current_].get();
    switched_ = p.channel != current_;
    Point14* last = &c->last;
    unsigned context = change_context(last->r, last->n, last->time_changed);
    if (p.channel != current_ && channels_[p.channel] != nullptr)
      last = &channels_[p.channel]->last;
    bool source_changed = p.point_source != last->point_source;
    bool time_changed = p.gps() != last->gps();
    bool angle_changed = p.scan_angle != last->scan_angle;
    unsigned last_n = last->n, last_r = last->r;
    std::uint32_t changed =
        (p.channel != current_ ? kChannelChanged : 0) | (source_changed ? kSourceChanged : 0) |
        (time_changed ? kTimeChanged : 0) | (angle_changed ? kAngleChanged : 0) |
        (p.n != last_n ? kReturnsChanged : 0);
    if (p.r != last_r) {
      changed |= p.r == (last_r + 1) % 16 ? 1 : p.r == (last_r + 15) % 16 ? 2 : 3;
    }
    Encoder& xy = *encoders_[kXy];
    xy.encode_symbol(*c->changed[context], changed);
    if (changed & kChannelChanged) {
      xy.encode_symbol(c->channel, channel_step(current_, p.channel));
      if (channels_[p.channel] == nullptr) {
        channels_[p.channel] = make_channel(c->last);
        last = &channels_[p.channel]->last;
      }
      current_ = p.channel;
      c = channels_[current_].get();
    }
    if (changed & kReturnsChanged) xy.encode_symbol(made(c->number_of_returns[last_n], 16), p.n);
    if ((changed & kReturnStep) == 3) {
      if (time_changed) {
        xy.encode_symbol(made(c->return_number_model[last_r], 16), p.r);
      } else {
        xy.encode_symbol(c->same_time_return, return_step(last_r, p.r));
      }
    }
    unsigned n = p.n, r = p.r;
    unsigned level = return_level(n, r);
    unsigned place = return_place(r, n);
    unsigned slot = coordinate_slot(n, r, time_changed);
    std::int32_t diff = wrap(std::int64_t{p.x} - last->x);
    c->dx.encode(xy, c->x_diffs[slot].get(), diff, x_context(n));
    c->x_diffs[slot].add(diff);
    diff = wrap(std::int64_t{p.y} - last->y);
    c->dy.encode(xy, c->y_diffs[slot].get(), diff, y_context(n, c->dx.k()));
    c->y_diffs[slot].add(diff);
    c->dz.encode(*encoders_[kZ], c->last_z[level], p.z, z_context(n, c->dx.k(), c->dy.k()));
    c->last_z[level] = p.z;
    changed_[kClassification] |= p.classification != last->classification;
    encoders_[kClassification]->encode_symbol(
        made(c->classification[classification_context(last->classification, place)], 256),
        p.classification);
    changed_[kFlags] |= p.flags != last->flags;
    encoders_[kFlags]->encode_symbol(made(c->flags[last->flags], 64), p.flags);
    changed_[kIntensity] |= p.intensity != last->intensity;
    std::int32_t& last_intensity = c->last_intensity[intensity_slot(place, time_changed)];
    c->intensity.encode(*encoders_[kIntensity], last_intensity, p.intensity, place);
    last_intensity = p.intensity;
    if (angle_changed) {
      changed_[kScanAngle] = true;
      c->scan_angle.encode(*encoders_[kScanAngle], last->scan_angle, p.scan_angle, time_changed);
    }
    changed_[kUserData] |= p.user_data != last->user_data;
    encoders_[kUserData]->encode_symbol(made(c->user_data[user_data_context(last->user_data)], 256),
                                        p.user_data);
    if (source_changed) {
      changed_[kSource] = true;
      c->point_source.encode(*encoders_[kSource], last->point_source, p.point_source);
    }
    if (time_changed) {
      changed_[kTime] = true;
      encode_gps_time(*encoders_[kTime], *c, c->times, p.time);
    }
    p.time_changed = time_changed;
    *last = p;
  }

  // The layers' sizes, then (after those of the other items) their bytes.
  // A layer whose field never changed is left out, as of no bytes.
  void finish_sizes(std::vector<unsigned char>& out) {
    for (int i = 0; i < 9; ++i) {
      bool kept = i <= kZ || changed_[i];
      if (kept) encoders_[static_cast<std::size_t>(i)]->done();
      put_size(out, kept ? layers_[i].size() : 0);
    }
  }
  void finish_bytes(std::vector<unsigned char>& out) {
    for (int i = 0; i < 9; ++i) {
      if (i <= kZ || changed_[i]) out.insert(out.end(), layers_[i].begin(), layers_[i].end());
    }
  }

 private:
  // A channel's models, those of the decoder's, its last point and what
  // its coding keeps.
  struct Channel : Point14ModelsOf<IntegerEncoder>, Point14FieldModelsOf<IntegerEncoder> {
    Point14 last;
    std::int32_t last_intensity[8];
    GpsTimes times;
    explicit Channel(const Point14& from) : last(from) {}
  };

  static std::unique_ptr<Channel> make_channel(const Point14& from) {
    auto c = std::make_unique<Channel>(from);
    c->last.time_changed = false;
    for (auto& model : c->changed) model = std::make_unique<SymbolModel>(128);
    for (std::int32_t& z : c->last_z) z = from.z;
    for (std::int32_t& i : c->last_intensity) i = from.intensity;
    c->times.time[0] = from.time;
    return c;
  }

  std::vector<unsigned char> layers_[9];
  std::vector<std::unique_ptr<Encoder>> encoders_;
  bool changed_[9] = {};
  unsigned current_ = 0;
  std::unique_ptr<Channel> channels_[4];
  bool switched_ = false;
};

// The layered RGB14 or RGBNIR14, WAVEPACKET14 and BYTE14 items, in
// contexts of their own (items_context, switch_items_context).
class LayeredItems {
 public:
  LayeredItems(const LayeredPlaces& places, const unsigned char* first, unsigned channel)
      : rgb_(places.rgb),
        nir_(places.nir),
        wave_(places.wave),
        bytes_(places.bytes),
        count_(places.count),
        follow_channel_(places.follow_channel),
        layers_(3 + count_),
        changed_(3 + count_) {
    for (auto& layer : layers_) encoders_.push_back(std::make_unique<Encoder>(layer));
    current_ = channel;
    contexts_[channel] = make_context(first);
  }

  void next(const unsigned char* p, unsigned context) {
    Context* values =
        switch_items_context(contexts_, current_, context, follow_channel_,
                             [&](const Context& from) { return make_context(from.last.data()); });
    Context& m = *contexts_[current_];
    unsigned char* last = values->last.data();
    if (rgb_ != 0) {
      changed_[0] = changed_[0] || std::memcmp(last + rgb_, p + rgb_, 6) != 0;
      encode_colour(*encoders_[0], m.rgb, colour_at(last + rgb_), colour_at(p + rgb_));
    }
    if (nir_ != 0) {
      std::uint32_t was = get16(last + nir_), nir = get16(p + nir_);
      changed_[1] = changed_[1] || was != nir;
      encode_nir(*encoders_[1], m.nir, was, nir);
    }
    if (wave_ != 0) {
      changed_[2] = changed_[2] || std::memcmp(last + wave_, p + wave_, 29) != 0;
      WavePacket was, packet;
      was.read(last + wave_);
      packet.read(p + wave_);
      encode_wave_packet(*encoders_[2], m.wave, was, packet);
    }
    for (std::size_t i = 0; i < count_; ++i) {
      changed_[3 + i] = changed_[3 + i] || last[bytes_ + i] != p[bytes_ + i];
      m.bytes.encode(*encoders_[3 + i], i, last[bytes_ + i], p[bytes_ + i]);
    }
    std::memcpy(last, p, values->last.size());
  }

  void finish_sizes(std::vector<unsigned char>& out) {
    for (std::size_t i = 0; i < layers_.size(); ++i) {
      if (!present(i)) continue;
      if (changed_[i]) encoders_[i]->done();
      put_size(out, changed_[i] ? layers_[i].size() : 0);
    }
  }
  void finish_bytes(std::vector<unsigned char>& out) {
    for (std::size_t i = 0; i < layers_.size(); ++i) {
      if (present(i) && changed_[i]) out.insert(out.end(), layers_[i].begin(), layers_[i].end());
    }
  }

 private:
  struct Context {
    std::vector<unsigned char> last;  // the whole record, of which the items' bytes count
    ColourModels rgb;
    NirModels nir;
    WavePacketEncoding wave;
    ByteModels bytes{0};
  };
  std::unique_ptr<Context> make_context(const unsigned char* record) const {
    auto c = std::make_unique<Context>();
    std::size_t length = std::max({rgb_ + 6, nir_ + 2, wave_ + 29, bytes_ + count_});
    c->last.assign(record, record + length);
    c->bytes = ByteModels(count_);
    return c;
  }
  bool present(std::size_t layer) const {
    return layer == 0 ? rgb_ != 0 : layer == 1 ? nir_ != 0 : layer == 2 ? wave_ != 0 : true;
  }

  std::size_t rgb_, nir_, wave_, bytes_, count_;
  bool follow_channel_;
  std::vector<std::vector<unsigned char>> layers_;
  std::vector<bool> changed_;
  std::vector<std::unique_ptr<Encoder>> encoders_;
  std::unique_ptr<Context> contexts_[4];
  unsigned current_ = 0;
};

}  // namespace

void encode_layered_chunk(const LayeredPlaces& places, std::size_t record_length,
                          RecordRuns records, std::vector<unsigned char>& out) {
  const unsigned char* first = records.first();
  if (first == nullptr) return;
  out.insert(out.end(), first, first + record_length);
  put_size(out, static_cast<std::size_t>(records.count()));
  Point14Encoder encoder(first);
  std::unique_ptr<LayeredItems> others;
  if (places.rgb != 0 || places.nir != 0 || places.wave != 0 || places.count != 0)
    others = std::make_unique<LayeredItems>(places, first, encoder.channel());
  records.after_first(record_length, [&](const unsigned char* p) {
    encoder.next(p);
    if (others)
      others->next(p, items_context(places.follow_channel, encoder.switched(), encoder.channel()));
  });
  encoder.finish_sizes(out);
  if (others) others->finish_sizes(out);
  encoder.finish_bytes(out);
  if (others) others->finish_bytes(out);
}

}  // namespace laz
