#include "read/laz/laz_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "read/laz/arithmetic_decoder.h"
#include "read/laz/arithmetic_encoder.h"
#include "read/laz/median5.h"
#include "read/laz/point14_models.h"
#include "read/laz/point_items.h"
#include "read/laz/return_contexts.h"

namespace laz {

namespace {

std::uint32_t get(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

std::uint64_t get64(const unsigned char* p) {
  return std::uint64_t{get(p, 4)} | std::uint64_t{get(p + 4, 4)} << 32;
}

void put(std::string& to, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    to[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

std::int32_t wrap(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

// LAS 1.4's layered compressor, POINT14 version 3: each field its own
// stream (layer), with a context of models a scanner channel.

struct Point14 {
  std::int32_t x, y, z, intensity, scan_angle, point_source;
  unsigned r, n, flags, channel, classification, user_data;
  std::uint64_t time;
  bool time_changed = false;

  explicit Point14(const unsigned char* p)
      : x(static_cast<std::int32_t>(get(p, 4))),
        y(static_cast<std::int32_t>(get(p + 4, 4))),
        z(static_cast<std::int32_t>(get(p + 8, 4))),
        intensity(static_cast<std::int32_t>(get(p + 12, 2))),
        scan_angle(static_cast<std::int16_t>(get(p + 18, 2))),
        point_source(static_cast<std::int32_t>(get(p + 20, 2))),
        r(p[14] & 15u),
        n(p[14] >> 4),
        // Edge, scan direction, then the classification flags.
        flags((p[15] >> 7) << 5 | ((p[15] >> 6) & 1) << 4 | (p[15] & 15u)),
        channel((p[15] >> 4) & 3u),
        classification(p[16]),
        user_data(p[17]),
        time(get64(p + 22)) {}
  double gps() const {
    double value;
    std::memcpy(&value, &time, sizeof value);
    return value;
  }
};

enum Layer { kXy, kZ, kClassification, kFlags, kIntensity, kScanAngle, kUserData, kSource, kTime };

class Point14Encoder {
 public:
  explicit Point14Encoder(const unsigned char* first) {
    for (int i = 0; i < 9; ++i) encoders_.push_back(std::make_unique<Encoder>(layers_[i]));
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
    unsigned lpr =
        (last->r == 1 ? 1u : 0u) + (last->r >= last->n ? 2u : 0u) + (last->time_changed ? 4u : 0u);
    if (p.channel != current_ && channels_[p.channel] != nullptr)
      last = &channels_[p.channel]->last;
    bool source_changed = p.point_source != last->point_source;
    bool time_changed = p.gps() != last->gps();
    bool angle_changed = p.scan_angle != last->scan_angle;
    unsigned last_n = last->n, last_r = last->r;
    std::uint32_t changed = (p.channel != current_) << 6 | source_changed << 5 | time_changed << 4 |
                            angle_changed << 3 | (p.n != last_n) << 2;
    if (p.r != last_r) {
      changed |= p.r == (last_r + 1) % 16 ? 1 : p.r == (last_r + 15) % 16 ? 2 : 3;
    }
    Encoder& xy = *encoders_[kXy];
    xy.encode_symbol(*c->changed[lpr], changed);
    if (changed & (1 << 6)) {
      xy.encode_symbol(c->channel, (p.channel + 4 - current_ - 1) % 4);
      if (channels_[p.channel] == nullptr) {
        channels_[p.channel] = make_channel(c->last);
        last = &channels_[p.channel]->last;
      }
      current_ = p.channel;
      c = channels_[current_].get();
    }
    if (changed & (1 << 2)) xy.encode_symbol(made(c->number_of_returns[last_n], 16), p.n);
    if ((changed & 3) == 3) {
      if (time_changed) {
        xy.encode_symbol(made(c->return_number_model[last_r], 16), p.r);
      } else {
        xy.encode_symbol(c->same_time_return, (p.r + 16 - last_r - 2) % 16);
      }
    }
    unsigned n = p.n, r = p.r;
    unsigned m = kReturnContext14[n][r];
    unsigned l = n > r ? n - r : r - n;
    l = l < 7 ? l : 7;
    unsigned cpr = (r == 1 ? 2u : 0u) + (r >= n ? 1u : 0u);
    unsigned slot = m << 1 | (time_changed ? 1u : 0u);
    std::int32_t diff = wrap(std::int64_t{p.x} - last->x);
    c->dx.encode(xy, c->x_diffs[slot].get(), diff, n == 1);
    c->x_diffs[slot].add(diff);
    std::uint32_t k = c->dx.k();
    diff = wrap(std::int64_t{p.y} - last->y);
    c->dy.encode(xy, c->y_diffs[slot].get(), diff, (n == 1) + (k < 20 ? k & ~1u : 20));
    c->y_diffs[slot].add(diff);
    k = (c->dx.k() + c->dy.k()) / 2;
    c->dz.encode(*encoders_[kZ], c->last_z[l], p.z, (n == 1) + (k < 18 ? k & ~1u : 18));
    c->last_z[l] = p.z;
    changed_[kClassification] |= p.classification != last->classification;
    unsigned ccc = ((last->classification & 0x1f) << 1) + (cpr == 3 ? 1 : 0);
    encoders_[kClassification]->encode_symbol(made(c->classification[ccc], 256), p.classification);
    changed_[kFlags] |= p.flags != last->flags;
    encoders_[kFlags]->encode_symbol(made(c->flags[last->flags], 64), p.flags);
    changed_[kIntensity] |= p.intensity != last->intensity;
    unsigned i_slot = cpr << 1 | (time_changed ? 1u : 0u);
    c->intensity.encode(*encoders_[kIntensity], c->last_intensity[i_slot], p.intensity, cpr);
    c->last_intensity[i_slot] = p.intensity;
    if (angle_changed) {
      changed_[kScanAngle] = true;
      c->scan_angle.encode(*encoders_[kScanAngle], last->scan_angle, p.scan_angle, time_changed);
    }
    changed_[kUserData] |= p.user_data != last->user_data;
    encoders_[kUserData]->encode_symbol(made(c->user_data[last->user_data / 4], 256), p.user_data);
    if (source_changed) {
      changed_[kSource] = true;
      c->point_source.encode(*encoders_[kSource], last->point_source, p.point_source);
    }
    if (time_changed) {
      changed_[kTime] = true;
      encode_time(*c, static_cast<std::int64_t>(p.time));
    }
    p.time_changed = time_changed;
    *last = p;
  }

  // The layers' sizes, then (after those of the other items) their bytes.
  void finish_sizes(std::vector<unsigned char>& out) {
    for (int i = 0; i < 9; ++i) {
      bool kept = i <= kZ || changed_[i];
      if (kept) encoders_[static_cast<std::size_t>(i)]->done();
      std::size_t size = kept ? layers_[i].size() : 0;
      for (int b = 0; b < 4; ++b) out.push_back(static_cast<unsigned char>(size >> (8 * b)));
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
    unsigned sequence = 0, next = 0;
    std::int64_t times[4] = {};
    std::int32_t last_diff[4] = {};
    int extremes[4] = {};
    explicit Channel(const Point14& from) : last(from) {}
  };

  static std::unique_ptr<Channel> make_channel(const Point14& from) {
    auto c = std::make_unique<Channel>(from);
    c->last.time_changed = false;
    for (auto& model : c->changed) model = std::make_unique<SymbolModel>(128);
    for (std::int32_t& z : c->last_z) z = from.z;
    for (std::int32_t& i : c->last_intensity) i = from.intensity;
    c->times[0] = static_cast<std::int64_t>(from.time);
    return c;
  }
  static SymbolModel& made(std::unique_ptr<SymbolModel>& model, std::uint32_t symbols) {
    if (model == nullptr) model = std::make_unique<SymbolModel>(symbols);
    return *model;
  }

  void encode_time(Channel& c, std::int64_t time) {
    Encoder& e = *encoders_[kTime];
    constexpr std::int32_t kMulti = 500, kMinus = -10, kFull = kMulti - kMinus + 1;
    for (;;) {
      std::int64_t diff64 = static_cast<std::int64_t>(
          static_cast<std::uint64_t>(time) - static_cast<std::uint64_t>(c.times[c.sequence]));
      auto diff = static_cast<std::int32_t>(diff64);
      bool fits = diff64 == diff;
      int other = 0;
      if (!fits) {
        for (unsigned i = 1; i < 4 && other == 0; ++i) {
          std::int64_t d =
              static_cast<std::int64_t>(static_cast<std::uint64_t>(time) -
                                        static_cast<std::uint64_t>(c.times[(c.sequence + i) & 3]));
          if (d == static_cast<std::int32_t>(d)) other = static_cast<int>(i);
        }
      }
      bool zero = c.last_diff[c.sequence] == 0;
      if (!fits && other != 0) {
        e.encode_symbol(zero ? c.gps_zero_diff : c.gps_multi,
                        static_cast<std::uint32_t>(zero ? other + 1 : kFull + other));
        c.sequence = (c.sequence + static_cast<unsigned>(other)) & 3;
        continue;
      }
      if (!fits) {
        e.encode_symbol(zero ? c.gps_zero_diff : c.gps_multi, zero ? 1u : std::uint32_t{kFull});
        c.gps.encode(e, static_cast<std::int32_t>(c.times[c.sequence] >> 32),
                     static_cast<std::int32_t>(time >> 32), 8);
        e.write_int(static_cast<std::uint32_t>(time));
        c.next = (c.next + 1) & 3;
        c.sequence = c.next;
        c.last_diff[c.sequence] = 0;
        c.extremes[c.sequence] = 0;
      } else if (zero) {
        e.encode_symbol(c.gps_zero_diff, 0);
        c.gps.encode(e, 0, diff, 0);
        c.last_diff[c.sequence] = diff;
        c.extremes[c.sequence] = 0;
      } else {
        std::int32_t& last_diff = c.last_diff[c.sequence];
        std::int32_t multi = time_multiple(diff, last_diff);
        auto times = [&](std::int32_t f) { return wrap(std::int64_t{f} * last_diff); };
        auto extreme = [&] {
          if (++c.extremes[c.sequence] > 3) {
            last_diff = diff;
            c.extremes[c.sequence] = 0;
          }
        };
        if (multi == 1) {
          e.encode_symbol(c.gps_multi, 1);
          c.gps.encode(e, last_diff, diff, 1);
          c.extremes[c.sequence] = 0;
        } else if (multi > 0 && multi < kMulti) {
          e.encode_symbol(c.gps_multi, static_cast<std::uint32_t>(multi));
          c.gps.encode(e, times(multi), diff, multi < 10 ? 2 : 3);
        } else if (multi >= kMulti) {
          e.encode_symbol(c.gps_multi, kMulti);
          c.gps.encode(e, times(kMulti), diff, 4);
          extreme();
        } else if (multi < 0 && multi > kMinus) {
          e.encode_symbol(c.gps_multi, static_cast<std::uint32_t>(kMulti - multi));
          c.gps.encode(e, times(multi), diff, 5);
        } else if (multi < 0) {
          e.encode_symbol(c.gps_multi, kMulti - kMinus);
          c.gps.encode(e, times(kMinus), diff, 6);
          extreme();
        } else {
          e.encode_symbol(c.gps_multi, 0);
          c.gps.encode(e, 0, diff, 7);
          extreme();
        }
      }
      c.times[c.sequence] = time;
      return;
    }
  }

  std::vector<unsigned char> layers_[9];
  std::vector<std::unique_ptr<Encoder>> encoders_;
  bool changed_[9] = {};
  unsigned current_ = 0;
  std::unique_ptr<Channel> channels_[4];
  bool switched_ = false;
};

// Where the layered items past POINT14 lie in the record (0 where absent),
// and how many extra bytes there are.
struct ItemPlaces {
  std::size_t rgb = 0, nir = 0, wave = 0, bytes = 0, count = 0;
  bool follow_channel = false;  // version 4: the contexts are the channels
};

// The layered RGB14 or RGBNIR14, WAVEPACKET14 and BYTE14 items.
// Their contexts are not POINT14's: each point hands them its scanner
// channel where it changed and 0 elsewhere, and a context met again gives
// its models but keeps the values of the one before (LASzip's design).
class LayeredItems {
 public:
  LayeredItems(const ItemPlaces& places, const unsigned char* first, unsigned channel)
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
    Context* values = contexts_[current_].get();
    if (context != current_) {
      current_ = context;
      bool fresh = contexts_[context] == nullptr;
      if (fresh) contexts_[context] = make_context(values->last.data());
      if (fresh || follow_channel_) values = contexts_[context].get();
    }
    Context& m = *contexts_[current_];
    unsigned char* last = values->last.data();
    if (rgb_ != 0) {
      changed_[0] = changed_[0] || std::memcmp(last + rgb_, p + rgb_, 6) != 0;
      Colour was, colour;
      was.read(last + rgb_);
      colour.read(p + rgb_);
      encode_colour(*encoders_[0], m.rgb, was, colour);
    }
    if (nir_ != 0) {
      std::uint32_t was = get(last + nir_, 2), nir = get(p + nir_, 2);
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
      std::size_t size = changed_[i] ? layers_[i].size() : 0;
      for (int b = 0; b < 4; ++b) out.push_back(static_cast<unsigned char>(size >> (8 * b)));
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

std::string compress_las(const std::string& las, std::uint32_t chunk_size, bool variable,
                         int layered_version) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(las.data());
  if (las.size() < 227 || las.compare(0, 4, "LASF") != 0 || chunk_size == 0) return "";
  int format = bytes[104];
  bool layered = format >= 6 && format <= 10;
  if (format > 10) return "";
  std::size_t header_size = get(bytes + 94, 2);
  std::size_t points_at = get(bytes + 96, 4);
  std::size_t record = get(bytes + 105, 2);
  std::uint64_t count = bytes[25] >= 4 ? get64(bytes + 247) : get(bytes + 107, 4);
  static constexpr int kLengths[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  auto extra = static_cast<int>(record) - kLengths[format];
  if (extra < 0 || points_at + count * record > las.size()) return "";
  // The items, as LASzip lists them: type, size, version.
  std::vector<std::array<int, 3>> items = {{6, 20, 2}};
  if (format == 1 || format == 3 || format == 4 || format == 5) items.push_back({7, 8, 2});
  if (format == 2 || format == 3 || format == 5) items.push_back({8, 6, 2});
  if (format == 4 || format == 5) items.push_back({9, 29, 1});
  if (extra > 0) items.push_back({0, extra, 2});
  if (layered) {
    items = {{10, 30, layered_version}};
    if (format == 7) items.push_back({11, 6, layered_version});
    if (format == 8 || format == 10) items.push_back({12, 8, layered_version});
    if (format == 9 || format == 10) items.push_back({13, 29, layered_version});
    if (extra > 0) items.push_back({14, extra, layered_version});
  }
  std::size_t rgb = format == 7 || format == 8 || format == 10 ? 30 : 0;
  std::size_t nir = format == 8 || format == 10 ? 36 : 0;
  std::size_t wave = format == 9 ? 30 : format == 10 ? 38 : 0;
  auto bytes_at = static_cast<std::size_t>(kLengths[format]);
  bool more_items = items.size() > 1;
  std::string vlr(54 + 34 + 6 * items.size(), '\0');
  put(vlr, 2, 0, 1);
  vlr.replace(2, 14, "laszip encoded");
  put(vlr, 18, 22204, 2);
  put(vlr, 20, vlr.size() - 54, 2);
  vlr.replace(22, 32, std::string("by the LAZ encoder of STRATUMIX") + std::string(1, '\0'));
  put(vlr, 54, layered ? 3 : 2, 2);  // chunked, or layered
  put(vlr, 54 + 4, 2, 1);
  put(vlr, 54 + 5, 2, 1);
  put(vlr, 54 + 12, variable ? 0xffffffffu : chunk_size, 4);
  put(vlr, 54 + 16, ~std::uint64_t{0}, 8);
  put(vlr, 54 + 24, ~std::uint64_t{0}, 8);
  put(vlr, 54 + 32, items.size(), 2);
  for (std::size_t i = 0; i < items.size(); ++i) {
    for (std::size_t j = 0; j < 3; ++j)
      put(vlr, 54 + 34 + 6 * i + 2 * j, static_cast<std::uint64_t>(items[i][j]), 2);
  }
  std::string out = las.substr(0, points_at);
  out.insert(header_size, vlr);
  std::size_t new_points_at = points_at + vlr.size();
  put(out, 96, new_points_at, 4);
  put(out, 100, get(bytes + 100, 4) + 1, 4);
  put(out, 104, 0x80u | static_cast<unsigned>(format), 1);
  if (bytes[25] >= 4) put(out, 235, 0, 8);  // no EVLRs follow

  std::vector<unsigned char> data(8);
  std::vector<std::uint32_t> chunk_points, chunk_bytes;
  std::uint64_t done = 0;
  std::uint32_t size = chunk_size;
  while (done < count) {
    auto points = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, count - done));
    std::size_t start = data.size();
    if (layered) {
      const unsigned char* p = bytes + points_at + done * record;
      data.insert(data.end(), p, p + record);
      for (int b = 0; b < 4; ++b) data.push_back(static_cast<unsigned char>(points >> (8 * b)));
      Point14Encoder encoder(p);
      std::unique_ptr<LayeredItems> others;
      if (more_items) {
        others = std::make_unique<LayeredItems>(
            ItemPlaces{rgb, nir, wave, bytes_at, static_cast<std::size_t>(extra),
                       layered_version >= 4},
            p, encoder.channel());
      }
      for (std::uint32_t n = 1; n < points; ++n) {
        encoder.next(p + std::size_t{n} * record);
        if (others)
          others->next(p + std::size_t{n} * record,
                       encoder.switched() || layered_version >= 4 ? encoder.channel() : 0);
      }
      encoder.finish_sizes(data);
      if (others) others->finish_sizes(data);
      encoder.finish_bytes(data);
      if (others) others->finish_bytes(data);
      chunk_points.push_back(points);
      chunk_bytes.push_back(static_cast<std::uint32_t>(data.size() - start));
      done += points;
      if (variable) size = size > 3 ? size - size / 3 : 1;
      continue;
    }
    std::vector<std::unique_ptr<ItemEncoder>> encoders;
    for (const auto& item : items) {
      switch (item[0]) {
        case 6:
          encoders.push_back(make_point10_encoder());
          break;
        case 7:
          encoders.push_back(make_gpstime11_encoder());
          break;
        case 8:
          encoders.push_back(make_rgb12_encoder());
          break;
        case 9:
          encoders.push_back(make_wavepacket13_encoder());
          break;
        default:
          encoders.push_back(make_bytes_encoder(static_cast<std::size_t>(item[1])));
          break;
      }
    }
    const unsigned char* p = bytes + points_at + done * record;
    data.insert(data.end(), p, p + record);
    std::size_t at = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      encoders[i]->first(p + at);
      at += static_cast<std::size_t>(items[i][1]);
    }
    Encoder e(data);
    for (std::uint32_t n = 1; n < points; ++n) {
      p += record;
      at = 0;
      for (std::size_t i = 0; i < items.size(); ++i) {
        encoders[i]->next(e, p + at);
        at += static_cast<std::size_t>(items[i][1]);
      }
    }
    e.done();
    chunk_points.push_back(points);
    chunk_bytes.push_back(static_cast<std::uint32_t>(data.size() - start));
    done += points;
    // Varying sizes: each chunk a third smaller, down to one point.
    if (variable) size = size > 3 ? size - size / 3 : 1;
  }
  std::uint64_t table_at = new_points_at + data.size();
  for (int i = 0; i < 8; ++i)
    data[static_cast<std::size_t>(i)] = static_cast<unsigned char>(table_at >> (8 * i));
  std::string table(8, '\0');
  put(table, 4, chunk_points.size(), 4);
  std::vector<unsigned char> sizes;
  {
    Encoder e(sizes);
    IntegerEncoder numbers(32, 2);
    std::int32_t last_points = 0, last_bytes = 0;
    for (std::size_t i = 0; i < chunk_points.size(); ++i) {
      if (variable) {
        numbers.encode(e, last_points, static_cast<std::int32_t>(chunk_points[i]), 0);
        last_points = static_cast<std::int32_t>(chunk_points[i]);
      }
      numbers.encode(e, last_bytes, static_cast<std::int32_t>(chunk_bytes[i]), 1);
      last_bytes = static_cast<std::int32_t>(chunk_bytes[i]);
    }
    e.done();
  }
  out.append(reinterpret_cast<const char*>(data.data()), data.size());
  out += table;
  out.append(reinterpret_cast<const char*>(sizes.data()), sizes.size());
  return out;
}

}  // namespace laz
