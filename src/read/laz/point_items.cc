#include "read/laz/point_items.h"

#include <array>
#include <cstring>
#include <vector>

#include "read/laz/median5.h"
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

void store_le(unsigned char* out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// A byte and the sum of two, as the colour and byte models wrap them.
unsigned char fold(std::int32_t value) { return static_cast<unsigned char>(value & 0xff); }
std::int32_t clamp_byte(std::int32_t value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t wrapping_multiply(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

void read_point10(const unsigned char* raw, Point10State& s) {
  s.x = little_endian_32(raw);
  s.y = little_endian_32(raw + 4);
  s.z = little_endian_32(raw + 8);
  s.intensity = raw[12] | raw[13] << 8;
  s.bits = raw[14];
  s.classification = raw[15];
  s.scan_angle = raw[16];
  s.user_data = raw[17];
  s.point_source = raw[18] | raw[19] << 8;
}

void store_point10(unsigned char* out, const Point10State& s) {
  store_le(out, static_cast<std::uint32_t>(s.x), 4);
  store_le(out + 4, static_cast<std::uint32_t>(s.y), 4);
  store_le(out + 8, static_cast<std::uint32_t>(s.z), 4);
  store_le(out + 12, static_cast<std::uint32_t>(s.intensity), 2);
  out[14] = s.bits;
  out[15] = s.classification;
  out[16] = static_cast<unsigned char>(s.scan_angle);
  out[17] = s.user_data;
  store_le(out + 18, static_cast<std::uint32_t>(s.point_source), 2);
}

// Version 1: the median of the last three differences predicts the next.
class Point10Version1 : public Item {
 public:
  explicit Point10Version1(Point10State& state) : s_(state) {}

  void first(const unsigned char* raw) override { read_point10(raw, s_); }
  void store(unsigned char* out) const override { store_point10(out, s_); }

  void next(Decoder& d) override {
    std::int32_t x_diff = dx_.decode(d, median(last_x_));
    s_.x = wrapping_add(s_.x, x_diff);
    std::uint32_t k = dx_.k();
    std::int32_t y_diff = dy_.decode(d, median(last_y_), k < 19 ? k : 19);
    s_.y = wrapping_add(s_.y, y_diff);
    k = (k + dy_.k()) / 2;
    s_.z = z_.decode(d, s_.z, k < 19 ? k : 19);
    std::uint32_t changed = d.decode_symbol(changed_);
    if (changed != 0) {
      if (changed & 32) s_.intensity = intensity_.decode(d, s_.intensity);
      if (changed & 16) s_.bits = static_cast<unsigned char>(d.decode_symbol(bit_byte_[s_.bits]));
      if (changed & 8) {
        s_.classification =
            static_cast<unsigned char>(d.decode_symbol(classification_[s_.classification]));
      }
      if (changed & 4) s_.scan_angle = scan_angle_.decode(d, s_.scan_angle, k < 3) & 0xff;
      if (changed & 2)
        s_.user_data = static_cast<unsigned char>(d.decode_symbol(user_data_[s_.user_data]));
      if (changed & 1) s_.point_source = point_source_.decode(d, s_.point_source);
    }
    last_x_[last_] = x_diff;
    last_y_[last_] = y_diff;
    last_ = last_ == 2 ? 0 : last_ + 1;
  }

 private:
  static std::int32_t median(const std::int32_t* v) {
    if (v[0] < v[1]) return v[1] < v[2] ? v[1] : v[0] < v[2] ? v[2] : v[0];
    return v[0] < v[2] ? v[0] : v[1] < v[2] ? v[2] : v[1];
  }

  Point10State& s_;
  std::int32_t last_x_[3] = {};
  std::int32_t last_y_[3] = {};
  int last_ = 0;
  IntegerDecoder dx_{32};
  IntegerDecoder dy_{32, 20};
  IntegerDecoder z_{32, 20};
  IntegerDecoder intensity_{16};
  IntegerDecoder scan_angle_{8, 2};
  IntegerDecoder point_source_{16};
  SymbolModel changed_{64};
  ModelPerByte bit_byte_, classification_, user_data_;
};

class Point10Version2 : public Item {
 public:
  explicit Point10Version2(Point10State& state) : s_(state) {}

  void first(const unsigned char* raw) override {
    read_point10(raw, s_);
    // The stream takes the first intensity as zero.
    s_.intensity = 0;
  }
  void store(unsigned char* out) const override { store_point10(out, s_); }

  void next(Decoder& d) override {
    std::uint32_t changed = d.decode_symbol(m_.changed);
    unsigned r = s_.bits & 7, n = (s_.bits >> 3) & 7;
    if (changed != 0) {
      if (changed & 32) {
        s_.bits = static_cast<unsigned char>(d.decode_symbol(m_.bit_byte[s_.bits]));
        r = s_.bits & 7;
        n = (s_.bits >> 3) & 7;
      }
      unsigned m = kReturnContext[n][r];
      if (changed & 16) {
        m_.last_intensity[m] = m_.intensity.decode(d, m_.last_intensity[m], m < 3 ? m : 3);
      }
      // Unchanged, the intensity is the last one of the point's place
      // among its returns.
      s_.intensity = m_.last_intensity[m];
      if (changed & 8) {
        s_.classification =
            static_cast<unsigned char>(d.decode_symbol(m_.classification[s_.classification]));
      }
      if (changed & 4) {
        std::uint32_t step = d.decode_symbol(m_.scan_angle[(s_.bits >> 6) & 1]);
        s_.scan_angle =
            static_cast<std::int32_t>((step + static_cast<std::uint32_t>(s_.scan_angle)) & 0xff);
      }
      if (changed & 2)
        s_.user_data = static_cast<unsigned char>(d.decode_symbol(m_.user_data[s_.user_data]));
      if (changed & 1) s_.point_source = m_.point_source.decode(d, s_.point_source);
    }
    unsigned m = kReturnContext[n][r];
    unsigned l = kReturnLevel[n][r];
    std::int32_t diff = m_.dx.decode(d, m_.last_x[m].get(), n == 1);
    s_.x = wrapping_add(s_.x, diff);
    m_.last_x[m].add(diff);
    std::uint32_t k = m_.dx.k();
    diff = m_.dy.decode(d, m_.last_y[m].get(), (n == 1) + (k < 20 ? k & ~1u : 20));
    s_.y = wrapping_add(s_.y, diff);
    m_.last_y[m].add(diff);
    k = (m_.dx.k() + m_.dy.k()) / 2;
    s_.z = m_.z.decode(d, m_.last_height[l], (n == 1) + (k < 18 ? k & ~1u : 18));
    m_.last_height[l] = s_.z;
  }

 private:
  Point10State& s_;
  Point10Models m_;
};

// GPS time, version 1: the difference as a multiple of the last one. The
// time is the double's bits, and the differences are those of its bits
// taken as an integer.
class GpsTime11Version1 : public Item {
 public:
  void first(const unsigned char* raw) override { time_ = little_endian_64(raw); }
  void store(unsigned char* out) const override { store_le(out, time_, 8); }

  void next(Decoder& d) override {
    constexpr std::int32_t kMultiMax = 512;
    if (last_diff_ == 0) {
      std::uint32_t multi = d.decode_symbol(zero_diff_);
      if (multi == 1) {
        last_diff_ = diffs_.decode(d, 0, 0);
        add(last_diff_);
      } else if (multi == 2) {
        time_ = d.read_int64();
      }
      return;
    }
    auto multi = static_cast<std::int32_t>(d.decode_symbol(multi_));
    if (multi < kMultiMax - 2) {
      std::int32_t diff;
      if (multi == 1) {
        diff = diffs_.decode(d, last_diff_, 1);
        last_diff_ = diff;
        extremes_ = 0;
      } else if (multi == 0) {
        diff = diffs_.decode(d, last_diff_ / 4, 2);
        if (++extremes_ > 3) {
          last_diff_ = diff;
          extremes_ = 0;
        }
      } else {
        diff = diffs_.decode(d, wrapping_multiply(multi, last_diff_),
                             multi < 10   ? 3
                             : multi < 50 ? 4
                                          : 5);
        if (multi == kMultiMax - 3 && ++extremes_ > 3) {
          last_diff_ = diff;
          extremes_ = 0;
        }
      }
      add(diff);
    } else if (multi < kMultiMax - 1) {
      time_ = d.read_int64();
    }
  }

 private:
  void add(std::int32_t diff) { time_ += static_cast<std::uint64_t>(std::int64_t{diff}); }

  std::uint64_t time_ = 0;
  std::int32_t last_diff_ = 0;
  int extremes_ = 0;
  SymbolModel multi_{512};
  SymbolModel zero_diff_{3};
  IntegerDecoder diffs_{32, 6};
};

// GPS time, version 2: four sequences of times, each with its difference.
class GpsTime11Version2 : public Item {
 public:
  void first(const unsigned char* raw) override { m_.time[0] = little_endian_64(raw); }
  void store(unsigned char* out) const override { store_le(out, m_.time[m_.last], 8); }

  void next(Decoder& d) override {
    constexpr std::int32_t kMulti = 500;
    constexpr std::int32_t kMultiMinus = -10;
    constexpr std::int32_t kUnchanged = kMulti - kMultiMinus + 1;
    constexpr std::int32_t kCodeFull = kMulti - kMultiMinus + 2;
    // A symbol that switches sequence says nothing of the time: the next
    // symbol does.
    for (;;) {
      if (m_.last_diff[m_.last] == 0) {
        std::uint32_t multi = d.decode_symbol(m_.zero_diff);
        if (multi == 1) {
          m_.last_diff[m_.last] = m_.diffs.decode(d, 0, 0);
          add(m_.last_diff[m_.last]);
          m_.extremes[m_.last] = 0;
        } else if (multi == 2) {
          full_time(d);
        } else if (multi > 2) {
          m_.last = (m_.last + multi - 2) & 3;
          continue;
        }
        return;
      }
      auto multi = static_cast<std::int32_t>(d.decode_symbol(m_.multi));
      std::int32_t& last_diff = m_.last_diff[m_.last];
      if (multi == 1) {
        add(m_.diffs.decode(d, last_diff, 1));
        m_.extremes[m_.last] = 0;
      } else if (multi < kUnchanged) {
        std::int32_t diff;
        if (multi == 0) {
          diff = m_.diffs.decode(d, 0, 7);
          m_.extreme(diff);
        } else if (multi < kMulti) {
          diff = m_.diffs.decode(d, wrapping_multiply(multi, last_diff), multi < 10 ? 2 : 3);
        } else if (multi == kMulti) {
          diff = m_.diffs.decode(d, wrapping_multiply(kMulti, last_diff), 4);
          m_.extreme(diff);
        } else {
          multi = kMulti - multi;
          if (multi > kMultiMinus) {
            diff = m_.diffs.decode(d, wrapping_multiply(multi, last_diff), 5);
          } else {
            diff = m_.diffs.decode(d, wrapping_multiply(kMultiMinus, last_diff), 6);
            m_.extreme(diff);
          }
        }
        add(diff);
      } else if (multi == kCodeFull) {
        full_time(d);
      } else if (multi > kCodeFull) {
        m_.last = (m_.last + static_cast<unsigned>(multi - kCodeFull)) & 3;
        continue;
      }
      return;
    }
  }

 private:
  void add(std::int32_t diff) {
    m_.time[m_.last] += static_cast<std::uint64_t>(std::int64_t{diff});
  }
  // A time that no difference gives: a new sequence begins with it, its
  // high half coded against the last time's.
  void full_time(Decoder& d) {
    m_.next = (m_.next + 1) & 3;
    auto high = static_cast<std::int32_t>(m_.time[m_.last] >> 32);
    auto decoded = static_cast<std::uint32_t>(m_.diffs.decode(d, high, 8));
    m_.time[m_.next] = std::uint64_t{decoded} << 32 | d.read_int();
    m_.last = m_.next;
    m_.last_diff[m_.last] = 0;
    m_.extremes[m_.last] = 0;
  }

  GpsTime11Models m_;
};

// Colour, version 1: which bytes changed, then each one's difference.
class Rgb12Version1 : public Item {
 public:
  void first(const unsigned char* raw) override { last_.read(raw); }
  void store(unsigned char* out) const override { last_.store(out); }
  void next(Decoder& d) override {
    std::uint32_t changed = d.decode_symbol(byte_used_);
    for (std::uint32_t i = 0; i < 6; ++i) {
      std::uint32_t& value = last_.c[i / 2];
      unsigned shift = (i & 1) * 8;
      if (changed & (1u << i)) {
        auto byte = static_cast<std::uint32_t>(
            colour_.decode(d, static_cast<std::int32_t>((value >> shift) & 0xff), i));
        value = (value & ~(0xffu << shift)) | (byte & 0xff) << shift;
      }
    }
  }

 private:
  Colour last_;
  SymbolModel byte_used_{64};
  IntegerDecoder colour_{8, 6};
};

// Colour, version 2: as the layered RGB14.
class Rgb12Version2 : public Item {
 public:
  explicit Rgb12Version2(bool values) : values_(values) {}
  void first(const unsigned char* raw) override { last_.read(raw); }
  void store(unsigned char* out) const override { last_.store(out); }
  void next(Decoder& d) override {
    if (values_) {
      decode_colour(d, models_, last_);
      return;
    }
    // The models' choice depends on no value: for coordinates alone, the
    // symbols are decoded and the colour is left.
    SymbolModel* diffs = models_.diffs;
    std::uint32_t changed = d.decode_symbol(models_.used);
    if (changed & 1) d.decode_symbol(diffs[0]);
    if (changed & 2) d.decode_symbol(diffs[1]);
    if (changed & 64) {
      if (changed & 4) d.decode_symbol(diffs[2]);
      if (changed & 16) d.decode_symbol(diffs[4]);
      if (changed & 8) d.decode_symbol(diffs[3]);
      if (changed & 32) d.decode_symbol(diffs[5]);
    }
  }

 private:
  bool values_;
  Colour last_;
  ColourModels models_;
};

class Wavepacket13 : public Item {
 public:
  void first(const unsigned char* raw) override { packet_.read(raw); }
  void store(unsigned char* out) const override { packet_.store(out); }
  void next(Decoder& d) override { decode_wave_packet(d, models_, packet_); }

 private:
  WavePacket packet_;
  WavePacketModels models_;
};

class BytesVersion1 : public Item {
 public:
  explicit BytesVersion1(int count)
      : count_(static_cast<std::uint32_t>(count)), last_(count_), bytes_(8, count_) {}
  void first(const unsigned char* raw) override { std::memcpy(last_.data(), raw, count_); }
  void store(unsigned char* out) const override { std::memcpy(out, last_.data(), count_); }
  void next(Decoder& d) override {
    for (std::uint32_t i = 0; i < count_; ++i)
      last_[i] = static_cast<unsigned char>(bytes_.decode(d, last_[i], i));
  }

 private:
  std::uint32_t count_;
  std::vector<unsigned char> last_;
  IntegerDecoder bytes_;
};

class BytesVersion2 : public Item {
 public:
  BytesVersion2(int count, bool values)
      : values_(values),
        last_(static_cast<std::size_t>(count)),
        models_(static_cast<std::size_t>(count)) {}
  void first(const unsigned char* raw) override { std::memcpy(last_.data(), raw, last_.size()); }
  void store(unsigned char* out) const override { std::memcpy(out, last_.data(), last_.size()); }
  void next(Decoder& d) override {
    if (values_) {
      for (std::size_t i = 0; i < last_.size(); ++i) last_[i] = models_.decode(d, i, last_[i]);
      return;
    }
    for (SymbolModel& model : models_.models) d.decode_symbol(model);
  }

 private:
  bool values_;
  std::vector<unsigned char> last_;
  ByteModels models_;
};

}  // namespace

void Colour::read(const unsigned char* raw) {
  for (std::size_t i = 0; i < 3; ++i) c[i] = raw[2 * i] | std::uint32_t{raw[2 * i + 1]} << 8;
}

void Colour::store(unsigned char* out) const {
  for (std::size_t i = 0; i < 3; ++i) store_le(out + 2 * i, c[i], 2);
}

// Colour, version 2, and the layered RGB14: which bytes changed; red's
// bytes from the last ones, green's and blue's from the last ones moved as
// red's did (LASzip's design). `models` are those of the bytes used and of
// the six corrections.
void decode_colour(Decoder& d, ColourModels& models, Colour& colour) {
  SymbolModel* diffs = models.diffs;
  std::uint32_t changed = d.decode_symbol(models.used);
  const Colour last = colour;
  std::uint32_t* c = colour.c;
  std::uint32_t low = last.c[0] & 0xff, high = last.c[0] >> 8;
  if (changed & 1) low = fold(static_cast<std::int32_t>(d.decode_symbol(diffs[0]) + low));
  if (changed & 2) high = fold(static_cast<std::int32_t>(d.decode_symbol(diffs[1]) + high));
  c[0] = high << 8 | low;
  if ((changed & 64) == 0) {
    c[1] = c[2] = c[0];
    return;
  }
  auto last_low = [&](int i) { return static_cast<std::int32_t>(last.c[i] & 0xff); };
  auto last_high = [&](int i) { return static_cast<std::int32_t>(last.c[i] >> 8); };
  std::int32_t diff_low = static_cast<std::int32_t>(low) - last_low(0);
  std::uint32_t green_low = last.c[1] & 0xff, blue_low = last.c[2] & 0xff;
  if (changed & 4) {
    green_low = fold(static_cast<std::int32_t>(d.decode_symbol(diffs[2])) +
                     clamp_byte(diff_low + last_low(1)));
  }
  if (changed & 16) {
    std::int32_t diff = (diff_low + (static_cast<std::int32_t>(green_low) - last_low(1))) / 2;
    blue_low =
        fold(static_cast<std::int32_t>(d.decode_symbol(diffs[4])) + clamp_byte(diff + last_low(2)));
  }
  std::int32_t diff_high = static_cast<std::int32_t>(high) - last_high(0);
  std::uint32_t green_high = last.c[1] >> 8, blue_high = last.c[2] >> 8;
  if (changed & 8) {
    green_high = fold(static_cast<std::int32_t>(d.decode_symbol(diffs[3])) +
                      clamp_byte(diff_high + last_high(1)));
  }
  if (changed & 32) {
    std::int32_t diff = (diff_high + (static_cast<std::int32_t>(green_high) - last_high(1))) / 2;
    blue_high = fold(static_cast<std::int32_t>(d.decode_symbol(diffs[5])) +
                     clamp_byte(diff + last_high(2)));
  }
  c[1] = green_high << 8 | green_low;
  c[2] = blue_high << 8 | blue_low;
}

void encode_colour(Encoder& e, ColourModels& models, const Colour& last, const Colour& colour) {
  const std::uint32_t* c = colour.c;
  const std::uint32_t* l = last.c;
  auto differs = [](std::uint32_t x, std::uint32_t y, std::uint32_t mask) {
    return ((x ^ y) & mask) != 0 ? 1u : 0u;
  };
  std::uint32_t sym = differs(l[0], c[0], 0xff) | differs(l[0], c[0], 0xff00) << 1 |
                      differs(l[1], c[1], 0xff) << 2 | differs(l[1], c[1], 0xff00) << 3 |
                      differs(l[2], c[2], 0xff) << 4 | differs(l[2], c[2], 0xff00) << 5 |
                      (differs(c[0], c[1], 0xff) | differs(c[0], c[2], 0xff) |
                       differs(c[0], c[1], 0xff00) | differs(c[0], c[2], 0xff00))
                          << 6;
  e.encode_symbol(models.used, sym);
  auto low = [](std::uint32_t v) { return static_cast<std::int32_t>(v & 0xff); };
  auto high = [](std::uint32_t v) { return static_cast<std::int32_t>(v >> 8); };
  auto byte = [](std::int32_t v) { return static_cast<std::uint32_t>(v) & 0xff; };
  std::int32_t diff_low = 0, diff_high = 0;
  if (sym & 1) {
    diff_low = low(c[0]) - low(l[0]);
    e.encode_symbol(models.diffs[0], byte(diff_low));
  }
  if (sym & 2) {
    diff_high = high(c[0]) - high(l[0]);
    e.encode_symbol(models.diffs[1], byte(diff_high));
  }
  if ((sym & 64) == 0) return;
  if (sym & 4) e.encode_symbol(models.diffs[2], byte(low(c[1]) - clamp_byte(diff_low + low(l[1]))));
  if (sym & 16) {
    diff_low = (diff_low + low(c[1]) - low(l[1])) / 2;
    e.encode_symbol(models.diffs[4], byte(low(c[2]) - clamp_byte(diff_low + low(l[2]))));
  }
  if (sym & 8)
    e.encode_symbol(models.diffs[3], byte(high(c[1]) - clamp_byte(diff_high + high(l[1]))));
  if (sym & 32) {
    diff_high = (diff_high + high(c[1]) - high(l[1])) / 2;
    e.encode_symbol(models.diffs[5], byte(high(c[2]) - clamp_byte(diff_high + high(l[2]))));
  }
}

void decode_nir(Decoder& d, NirModels& models, std::uint32_t& nir) {
  std::uint32_t used = d.decode_symbol(models.used);
  std::uint32_t low = nir & 0xff, high = nir >> 8;
  if (used & 1) low = fold(static_cast<std::int32_t>(d.decode_symbol(models.diffs[0]) + low));
  if (used & 2) high = fold(static_cast<std::int32_t>(d.decode_symbol(models.diffs[1]) + high));
  nir = high << 8 | low;
}

void encode_nir(Encoder& e, NirModels& models, std::uint32_t last, std::uint32_t nir) {
  std::uint32_t sym = ((last ^ nir) & 0xff ? 1u : 0u) | ((last ^ nir) & 0xff00 ? 2u : 0u);
  e.encode_symbol(models.used, sym);
  if (sym & 1) e.encode_symbol(models.diffs[0], (nir - last) & 0xff);
  if (sym & 2) e.encode_symbol(models.diffs[1], ((nir >> 8) - (last >> 8)) & 0xff);
}

void WavePacket::read(const unsigned char* raw) {
  index = raw[0];
  offset = little_endian_64(raw + 1);
  size = static_cast<std::uint32_t>(little_endian_32(raw + 9));
  return_point = little_endian_32(raw + 13);
  x = little_endian_32(raw + 17);
  y = little_endian_32(raw + 21);
  z = little_endian_32(raw + 25);
}

void WavePacket::store(unsigned char* out) const {
  out[0] = index;
  store_le(out + 1, offset, 8);
  store_le(out + 9, size, 4);
  store_le(out + 13, static_cast<std::uint32_t>(return_point), 4);
  store_le(out + 17, static_cast<std::uint32_t>(x), 4);
  store_le(out + 21, static_cast<std::uint32_t>(y), 4);
  store_le(out + 25, static_cast<std::uint32_t>(z), 4);
}

// The offset is the last one, the one just past the last packet, one a
// 32-bit difference away, or given whole; the rest are coded against the
// last packet's. The floats are coded as their bits.
void decode_wave_packet(Decoder& d, WavePacketModels& m, WavePacket& p) {
  p.index = static_cast<unsigned char>(d.decode_symbol(m.index));
  m.last_offset_symbol = d.decode_symbol(m.offset_diff[m.last_offset_symbol]);
  switch (m.last_offset_symbol) {
    case 0:
      break;
    case 1:
      p.offset += p.size;
      break;
    case 2:
      m.last_offset_diff = m.offset.decode(d, m.last_offset_diff);
      p.offset += static_cast<std::uint64_t>(std::int64_t{m.last_offset_diff});
      break;
    default:
      p.offset = d.read_int64();
      break;
  }
  p.size = static_cast<std::uint32_t>(m.size.decode(d, static_cast<std::int32_t>(p.size)));
  p.return_point = m.return_point.decode(d, p.return_point);
  p.x = m.xyz.decode(d, p.x, 0);
  p.y = m.xyz.decode(d, p.y, 1);
  p.z = m.xyz.decode(d, p.z, 2);
}

void encode_wave_packet(Encoder& e, WavePacketEncoding& m, const WavePacket& last,
                        const WavePacket& p) {
  e.encode_symbol(m.index, p.index);
  // The offset's difference when 32 bits hold it, else the offset whole.
  auto diff_64 = static_cast<std::int64_t>(p.offset - last.offset);
  auto diff_32 = static_cast<std::int32_t>(diff_64);
  std::uint32_t symbol = 3;
  if (diff_64 == diff_32) {
    symbol = diff_32 == 0 ? 0 : diff_32 == static_cast<std::int32_t>(last.size) ? 1 : 2;
  }
  e.encode_symbol(m.offset_diff[m.last_offset_symbol], symbol);
  m.last_offset_symbol = symbol;
  if (symbol == 2) {
    m.offset.encode(e, m.last_offset_diff, diff_32);
    m.last_offset_diff = diff_32;
  } else if (symbol == 3) {
    e.write_int64(p.offset);
  }
  m.size.encode(e, static_cast<std::int32_t>(last.size), static_cast<std::int32_t>(p.size));
  m.return_point.encode(e, last.return_point, p.return_point);
  m.xyz.encode(e, last.x, p.x, 0);
  m.xyz.encode(e, last.y, p.y, 1);
  m.xyz.encode(e, last.z, p.z, 2);
}

std::unique_ptr<Item> make_point10(int version, Point10State& state) {
  if (version == 1) return std::make_unique<Point10Version1>(state);
  return std::make_unique<Point10Version2>(state);
}

std::unique_ptr<Item> make_gpstime11(int version) {
  if (version == 1) return std::make_unique<GpsTime11Version1>();
  return std::make_unique<GpsTime11Version2>();
}

std::unique_ptr<Item> make_rgb12(int version, bool values) {
  if (version == 1) return std::make_unique<Rgb12Version1>();
  return std::make_unique<Rgb12Version2>(values);
}

std::unique_ptr<Item> make_wavepacket13() { return std::make_unique<Wavepacket13>(); }

std::unique_ptr<Item> make_bytes(int version, int count, bool values) {
  if (version == 1) return std::make_unique<BytesVersion1>(count);
  return std::make_unique<BytesVersion2>(count, values);
}

}  // namespace laz
