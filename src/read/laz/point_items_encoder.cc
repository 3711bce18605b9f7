// The encoders of the point-wise items, each the mirror of its decoder in
// point_items.cc, with the same models (point_items.h). They live apart
// from the decoders so that adding them leaves the decoders' code as the
// compiler made it: in one file, it inlined the decoder's symbol decoding
// less often, for 3% more instructions a point.
#include <array>
#include <cstring>
#include <vector>

#include "read/laz/point_items.h"
#include "read/laz/return_contexts.h"

namespace laz {
namespace {

std::int32_t little_endian_32(const unsigned char* p) {
  return static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                   std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
}

std::uint64_t little_endian_64(const unsigned char* p) {
  return std::uint64_t{static_cast<std::uint32_t>(little_endian_32(p))} |
         std::uint64_t{static_cast<std::uint32_t>(little_endian_32(p + 4))} << 32;
}

// A bit for each of the eight bytes that differ between a and b, byte i
// the bit i: the bytes' bits gathered into their lowest, and the lowest
// eight gathered into one byte by a product whose terms meet nowhere.
unsigned differing_bytes(std::uint64_t a, std::uint64_t b) {
  std::uint64_t x = a ^ b;
  x |= x >> 4;
  x |= x >> 2;
  x |= x >> 1;
  x &= 0x0101010101010101u;
  return static_cast<unsigned>((x * 0x0102040810204080u) >> 56);
}

// POINT10's bits of what changed, but the intensity's, by which of bytes
// 14 to 19 differ (the bit 0 for byte 14): the return's byte gives 32,
// the class 8, the scan angle 4, the user data 2 and the point source 1.
constexpr std::array<unsigned char, 64> kChangedBits = [] {
  std::array<unsigned char, 64> bits{};
  for (unsigned i = 0; i < 64; ++i) {
    bits[i] = static_cast<unsigned char>((i & 1) << 5 | (i >> 1 & 1) << 3 | (i >> 2 & 1) << 2 |
                                         (i >> 3 & 1) << 1 | ((i >> 4 | i >> 5) & 1));
  }
  return bits;
}();

std::int32_t wrapping_multiply(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

std::int32_t wrap(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

class Point10Encoder final : public ItemEncoder {
 public:
  void first(const unsigned char* raw) override { std::memcpy(last_, raw, 20); }
  void next(Encoder& e, const unsigned char* p) override {
    unsigned r = p[14] & 7, n = (p[14] >> 3) & 7;
    unsigned m = kReturnContext[n][r];
    unsigned l = kReturnLevel[n][r];
    std::int32_t intensity = p[12] | p[13] << 8;
    // The six bytes after the intensity compared at once.
    std::uint32_t changed =
        kChangedBits[differing_bytes(little_endian_64(p + 12), little_endian_64(last_ + 12)) >> 2] |
        (intensity != m_.last_intensity[m]) << 4;
    e.encode_symbol(m_.changed, changed);
    if (changed & 32) e.encode_symbol(m_.bit_byte[last_[14]], p[14]);
    if (changed & 16) {
      m_.intensity.encode(e, m_.last_intensity[m], intensity, m < 3 ? m : 3);
      m_.last_intensity[m] = intensity;
    }
    if (changed & 8) e.encode_symbol(m_.classification[last_[15]], p[15]);
    if (changed & 4) {
      e.encode_symbol(m_.scan_angle[(p[14] >> 6) & 1],
                      static_cast<unsigned char>(p[16] - last_[16]));
    }
    if (changed & 2) e.encode_symbol(m_.user_data[last_[17]], p[17]);
    if (changed & 1) m_.point_source.encode(e, last_[18] | last_[19] << 8, p[18] | p[19] << 8);
    std::int32_t diff = wrap(std::int64_t{little_endian_32(p)} - little_endian_32(last_));
    m_.dx.encode(e, m_.last_x[m].get(), diff, n == 1);
    m_.last_x[m].add(diff);
    std::uint32_t k = m_.dx.k();
    diff = wrap(std::int64_t{little_endian_32(p + 4)} - little_endian_32(last_ + 4));
    m_.dy.encode(e, m_.last_y[m].get(), diff, (n == 1) + (k < 20 ? k & ~1u : 20));
    m_.last_y[m].add(diff);
    k = (m_.dx.k() + m_.dy.k()) / 2;
    std::int32_t z = little_endian_32(p + 8);
    m_.z.encode(e, m_.last_height[l], z, (n == 1) + (k < 18 ? k & ~1u : 18));
    m_.last_height[l] = z;
    std::memcpy(last_, p, 20);
  }

 private:
  unsigned char last_[20] = {};
  Point10Encoding m_;
};

class GpsTime11Encoder final : public ItemEncoder {
 public:
  void first(const unsigned char* raw) override { m_.time[0] = little_endian_64(raw); }
  void next(Encoder& e, const unsigned char* raw) override {
    std::uint64_t time = little_endian_64(raw);
    constexpr std::int32_t kMulti = 500, kMinus = -10, kUnchanged = kMulti - kMinus + 1,
                           kFull = kMulti - kMinus + 2;
    for (;;) {
      auto diff64 = static_cast<std::int64_t>(time - m_.time[m_.last]);
      auto diff = static_cast<std::int32_t>(diff64);
      bool fits = diff64 == diff;
      if (m_.last_diff[m_.last] == 0) {
        if (diff64 == 0) {
          e.encode_symbol(m_.zero_diff, 0);
          return;
        }
        if (fits) {
          e.encode_symbol(m_.zero_diff, 1);
          m_.diffs.encode(e, 0, diff, 0);
          m_.last_diff[m_.last] = diff;
          m_.extremes[m_.last] = 0;
          m_.time[m_.last] = time;
          return;
        }
        unsigned other = other_sequence(time);
        if (other != 0) {
          e.encode_symbol(m_.zero_diff, other + 2);
          m_.last = (m_.last + other) & 3;
          continue;
        }
        e.encode_symbol(m_.zero_diff, 2);
        full(e, time);
        return;
      }
      if (diff64 == 0) {
        e.encode_symbol(m_.multi, kUnchanged);
        return;
      }
      if (!fits) {
        unsigned other = other_sequence(time);
        if (other != 0) {
          e.encode_symbol(m_.multi, kFull + other);
          m_.last = (m_.last + other) & 3;
          continue;
        }
        e.encode_symbol(m_.multi, kFull);
        full(e, time);
        return;
      }
      std::int32_t& last_diff = m_.last_diff[m_.last];
      std::int32_t multi = time_multiple(diff, last_diff);
      auto times = [&](std::int32_t f) { return wrapping_multiply(f, last_diff); };
      if (multi == 1) {
        e.encode_symbol(m_.multi, 1);
        m_.diffs.encode(e, last_diff, diff, 1);
        m_.extremes[m_.last] = 0;
      } else if (multi > 0 && multi < kMulti) {
        e.encode_symbol(m_.multi, static_cast<std::uint32_t>(multi));
        m_.diffs.encode(e, times(multi), diff, multi < 10 ? 2 : 3);
      } else if (multi >= kMulti) {
        e.encode_symbol(m_.multi, kMulti);
        m_.diffs.encode(e, times(kMulti), diff, 4);
        m_.extreme(diff);
      } else if (multi < 0 && multi > kMinus) {
        e.encode_symbol(m_.multi, static_cast<std::uint32_t>(kMulti - multi));
        m_.diffs.encode(e, times(multi), diff, 5);
      } else if (multi < 0) {
        e.encode_symbol(m_.multi, kMulti - kMinus);
        m_.diffs.encode(e, times(kMinus), diff, 6);
        m_.extreme(diff);
      } else {
        e.encode_symbol(m_.multi, 0);
        m_.diffs.encode(e, 0, diff, 7);
        m_.extreme(diff);
      }
      m_.time[m_.last] = time;
      return;
    }
  }

 private:
  // The first other sequence whose last time is a 32-bit difference away,
  // as a step from the one at hand; 0 for none.
  unsigned other_sequence(std::uint64_t time) const {
    for (unsigned i = 1; i < 4; ++i) {
      auto d = static_cast<std::int64_t>(time - m_.time[(m_.last + i) & 3]);
      if (d == static_cast<std::int32_t>(d)) return i;
    }
    return 0;
  }
  // Inline, forced: times that no 32-bit difference reaches (whole seconds
  // in doubles, say) come here every point, and the call and its saved
  // registers were a tenth of the time's coding.
  [[gnu::always_inline]] void full(Encoder& e, std::uint64_t time) {
    m_.diffs.encode(e, static_cast<std::int32_t>(m_.time[m_.last] >> 32),
                    static_cast<std::int32_t>(time >> 32), 8);
    e.write_int(static_cast<std::uint32_t>(time));
    m_.next = (m_.next + 1) & 3;
    m_.last = m_.next;
    m_.last_diff[m_.last] = 0;
    m_.extremes[m_.last] = 0;
    m_.time[m_.last] = time;
  }

  GpsTime11Encoding m_;
};

class Rgb12Encoder final : public ItemEncoder {
 public:
  void first(const unsigned char* raw) override { last_.read(raw); }
  void next(Encoder& e, const unsigned char* raw) override {
    Colour colour;
    colour.read(raw);
    encode_colour(e, models_, last_, colour);
    last_ = colour;
  }

 private:
  Colour last_;
  ColourModels models_;
};

class Wavepacket13Encoder final : public ItemEncoder {
 public:
  void first(const unsigned char* raw) override { last_.read(raw); }
  void next(Encoder& e, const unsigned char* raw) override {
    WavePacket packet;
    packet.read(raw);
    encode_wave_packet(e, models_, last_, packet);
    last_ = packet;
  }

 private:
  WavePacket last_;
  WavePacketEncoding models_;
};

class BytesEncoder final : public ItemEncoder {
 public:
  explicit BytesEncoder(std::size_t count) : last_(count), models_(count) {}
  void first(const unsigned char* raw) override { std::memcpy(last_.data(), raw, last_.size()); }
  void next(Encoder& e, const unsigned char* raw) override {
    for (std::size_t i = 0; i < last_.size(); ++i) {
      models_.encode(e, i, last_[i], raw[i]);
      last_[i] = raw[i];
    }
  }

 private:
  std::vector<unsigned char> last_;
  ByteModels models_;
};

}  // namespace

std::int32_t time_multiple(std::int32_t diff, std::int32_t last_diff) {
  float ratio = static_cast<float>(diff) / static_cast<float>(last_diff);
  double rounded = ratio >= 0 ? ratio + 0.5 : ratio - 0.5;
  return rounded >= 2147483648.0 || rounded < -2147483648.0 ? INT32_MIN
                                                            : static_cast<std::int32_t>(rounded);
}

bool encode_plain_records(int format, std::size_t record_length, RecordRuns records, Encoder& e) {
  constexpr std::size_t kLengths[] = {20, 28, 26, 34};
  if (format < 0 || format > 3 || record_length != kLengths[format]) return false;
  const unsigned char* first = records.first();
  if (first == nullptr) return true;
  Point10Encoder point;
  point.first(first);
  // The items' encoders are known here: each call is made directly, not
  // through ItemEncoder, a dozen instructions a point less.
  if (format == 0) {
    records.after_first(record_length, [&](const unsigned char* p) { point.next(e, p); });
    return true;
  }
  if (format == 2) {
    Rgb12Encoder rgb;
    rgb.first(first + 20);
    records.after_first(record_length, [&](const unsigned char* p) {
      point.next(e, p);
      rgb.next(e, p + 20);
    });
    return true;
  }
  GpsTime11Encoder time;
  time.first(first + 20);
  if (format == 1) {
    records.after_first(record_length, [&](const unsigned char* p) {
      point.next(e, p);
      time.next(e, p + 20);
    });
    return true;
  }
  Rgb12Encoder rgb;
  rgb.first(first + 28);
  records.after_first(record_length, [&](const unsigned char* p) {
    point.next(e, p);
    time.next(e, p + 20);
    rgb.next(e, p + 28);
  });
  return true;
}

std::unique_ptr<ItemEncoder> make_point10_encoder() { return std::make_unique<Point10Encoder>(); }
std::unique_ptr<ItemEncoder> make_gpstime11_encoder() {
  return std::make_unique<GpsTime11Encoder>();
}
std::unique_ptr<ItemEncoder> make_rgb12_encoder() { return std::make_unique<Rgb12Encoder>(); }
std::unique_ptr<ItemEncoder> make_wavepacket13_encoder() {
  return std::make_unique<Wavepacket13Encoder>();
}
std::unique_ptr<ItemEncoder> make_bytes_encoder(std::size_t count) {
  return std::make_unique<BytesEncoder>(count);
}

}  // namespace laz
