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

std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t wrapping_multiply(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// A model per value of a byte that is the context, made at its first use.
class ModelPerByte {
 public:
  SymbolModel& operator[](unsigned char context) {
    std::unique_ptr<SymbolModel>& model = models_[context];
    if (model == nullptr) model = std::make_unique<SymbolModel>(256);
    return *model;
  }

 private:
  std::array<std::unique_ptr<SymbolModel>, 256> models_;
};

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

// Version 1: the median of the last three differences predicts the next.
class Point10Version1 : public Item {
 public:
  explicit Point10Version1(Point10State& state) : s_(state) {}

  void first(const unsigned char* raw) override { read_point10(raw, s_); }

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

  void next(Decoder& d) override {
    std::uint32_t changed = d.decode_symbol(changed_);
    unsigned r = s_.bits & 7, n = (s_.bits >> 3) & 7;
    if (changed != 0) {
      if (changed & 32) {
        s_.bits = static_cast<unsigned char>(d.decode_symbol(bit_byte_[s_.bits]));
        r = s_.bits & 7;
        n = (s_.bits >> 3) & 7;
      }
      unsigned m = kReturnContext[n][r];
      if (changed & 16) {
        last_intensity_[m] = intensity_.decode(d, last_intensity_[m], m < 3 ? m : 3);
      }
      if (changed & 8) {
        s_.classification =
            static_cast<unsigned char>(d.decode_symbol(classification_[s_.classification]));
      }
      if (changed & 4) {
        std::uint32_t step = d.decode_symbol(scan_angle_[(s_.bits >> 6) & 1]);
        s_.scan_angle =
            static_cast<std::int32_t>((step + static_cast<std::uint32_t>(s_.scan_angle)) & 0xff);
      }
      if (changed & 2)
        s_.user_data = static_cast<unsigned char>(d.decode_symbol(user_data_[s_.user_data]));
      if (changed & 1) s_.point_source = point_source_.decode(d, s_.point_source);
    }
    unsigned m = kReturnContext[n][r];
    unsigned l = kReturnLevel[n][r];
    std::int32_t diff = dx_.decode(d, last_x_[m].get(), n == 1);
    s_.x = wrapping_add(s_.x, diff);
    last_x_[m].add(diff);
    std::uint32_t k = dx_.k();
    diff = dy_.decode(d, last_y_[m].get(), (n == 1) + (k < 20 ? k & ~1u : 20));
    s_.y = wrapping_add(s_.y, diff);
    last_y_[m].add(diff);
    k = (dx_.k() + dy_.k()) / 2;
    s_.z = z_.decode(d, last_height_[l], (n == 1) + (k < 18 ? k & ~1u : 18));
    last_height_[l] = s_.z;
  }

 private:
  Point10State& s_;
  Median5 last_x_[16], last_y_[16];
  std::int32_t last_intensity_[16] = {};
  std::int32_t last_height_[8] = {};
  IntegerDecoder intensity_{16, 4};
  IntegerDecoder point_source_{16};
  IntegerDecoder dx_{32, 2};
  IntegerDecoder dy_{32, 22};
  IntegerDecoder z_{32, 20};
  SymbolModel changed_{64};
  SymbolModel scan_angle_[2] = {SymbolModel(256), SymbolModel(256)};
  ModelPerByte bit_byte_, classification_, user_data_;
};

// GPS time, version 1: the difference as a multiple of the last one.
class GpsTime11Version1 : public Item {
 public:
  void first(const unsigned char* /*raw*/) override {}

  void next(Decoder& d) override {
    constexpr std::int32_t kMultiMax = 512;
    if (last_diff_ == 0) {
      std::uint32_t multi = d.decode_symbol(zero_diff_);
      if (multi == 1) {
        last_diff_ = time_.decode(d, 0, 0);
      } else if (multi == 2) {
        d.read_int64();
      }
      return;
    }
    auto multi = static_cast<std::int32_t>(d.decode_symbol(multi_));
    if (multi < kMultiMax - 2) {
      std::int32_t diff;
      if (multi == 1) {
        diff = time_.decode(d, last_diff_, 1);
        last_diff_ = diff;
        extremes_ = 0;
      } else if (multi == 0) {
        diff = time_.decode(d, last_diff_ / 4, 2);
        if (++extremes_ > 3) {
          last_diff_ = diff;
          extremes_ = 0;
        }
      } else {
        diff = time_.decode(d, wrapping_multiply(multi, last_diff_),
                            multi < 10   ? 3
                            : multi < 50 ? 4
                                         : 5);
        if (multi == kMultiMax - 3 && ++extremes_ > 3) {
          last_diff_ = diff;
          extremes_ = 0;
        }
      }
    } else if (multi < kMultiMax - 1) {
      d.read_int64();
    }
  }

 private:
  std::int32_t last_diff_ = 0;
  int extremes_ = 0;
  SymbolModel multi_{512};
  SymbolModel zero_diff_{3};
  IntegerDecoder time_{32, 6};
};

// GPS time, version 2: four sequences of times, each with its difference.
class GpsTime11Version2 : public Item {
 public:
  void first(const unsigned char* /*raw*/) override {}

  void next(Decoder& d) override {
    constexpr std::int32_t kMulti = 500;
    constexpr std::int32_t kMultiMinus = -10;
    constexpr std::int32_t kUnchanged = kMulti - kMultiMinus + 1;
    constexpr std::int32_t kCodeFull = kMulti - kMultiMinus + 2;
    // A symbol that switches sequence says nothing of the time: the next
    // symbol does.
    for (;;) {
      if (last_diff_[last_] == 0) {
        std::uint32_t multi = d.decode_symbol(zero_diff_);
        if (multi == 1) {
          last_diff_[last_] = time_.decode(d, 0, 0);
          extremes_[last_] = 0;
        } else if (multi == 2) {
          full_time(d);
        } else if (multi > 2) {
          last_ = (last_ + multi - 2) & 3;
          continue;
        }
        return;
      }
      auto multi = static_cast<std::int32_t>(d.decode_symbol(multi_));
      std::int32_t& last_diff = last_diff_[last_];
      if (multi == 1) {
        time_.decode(d, last_diff, 1);
        extremes_[last_] = 0;
      } else if (multi < kUnchanged) {
        std::int32_t diff;
        if (multi == 0) {
          diff = time_.decode(d, 0, 7);
          extreme(diff);
        } else if (multi < kMulti) {
          diff = time_.decode(d, wrapping_multiply(multi, last_diff), multi < 10 ? 2 : 3);
        } else if (multi == kMulti) {
          diff = time_.decode(d, wrapping_multiply(kMulti, last_diff), 4);
          extreme(diff);
        } else {
          multi = kMulti - multi;
          if (multi > kMultiMinus) {
            time_.decode(d, wrapping_multiply(multi, last_diff), 5);
          } else {
            diff = time_.decode(d, wrapping_multiply(kMultiMinus, last_diff), 6);
            extreme(diff);
          }
        }
      } else if (multi == kCodeFull) {
        full_time(d);
      } else if (multi > kCodeFull) {
        last_ = (last_ + static_cast<unsigned>(multi - kCodeFull)) & 3;
        continue;
      }
      return;
    }
  }

 private:
  // A time that no difference gives: a new sequence begins with it.
  void full_time(Decoder& d) {
    next_ = (next_ + 1) & 3;
    time_.decode(d, 0, 8);
    d.read_int();
    last_ = next_;
    last_diff_[last_] = 0;
    extremes_[last_] = 0;
  }
  // A difference far from the last one replaces it when that keeps on.
  void extreme(std::int32_t diff) {
    if (++extremes_[last_] > 3) {
      last_diff_[last_] = diff;
      extremes_[last_] = 0;
    }
  }

  unsigned last_ = 0, next_ = 0;
  std::int32_t last_diff_[4] = {};
  int extremes_[4] = {};
  SymbolModel multi_{516};
  SymbolModel zero_diff_{6};
  IntegerDecoder time_{32, 9};
};

// Colour, version 1: which bytes changed, then each one's difference.
class Rgb12Version1 : public Item {
 public:
  void first(const unsigned char* /*raw*/) override {}
  void next(Decoder& d) override {
    std::uint32_t changed = d.decode_symbol(byte_used_);
    for (std::uint32_t i = 0; i < 6; ++i)
      if (changed & (1u << i)) colour_.decode(d, 0, i);
  }

 private:
  SymbolModel byte_used_{64};
  IntegerDecoder colour_{8, 6};
};

// Colour, version 2: the same with the differences of red predicting
// green's and blue's. Only which models are used matters here.
class Rgb12Version2 : public Item {
 public:
  void first(const unsigned char* /*raw*/) override {}
  void next(Decoder& d) override {
    std::uint32_t changed = d.decode_symbol(byte_used_);
    if (changed & 1) d.decode_symbol(diff_[0]);
    if (changed & 2) d.decode_symbol(diff_[1]);
    if (changed & 64) {
      if (changed & 4) d.decode_symbol(diff_[2]);
      if (changed & 16) d.decode_symbol(diff_[4]);
      if (changed & 8) d.decode_symbol(diff_[3]);
      if (changed & 32) d.decode_symbol(diff_[5]);
    }
  }

 private:
  SymbolModel byte_used_{128};
  SymbolModel diff_[6] = {SymbolModel(256), SymbolModel(256), SymbolModel(256),
                          SymbolModel(256), SymbolModel(256), SymbolModel(256)};
};

class Wavepacket13 : public Item {
 public:
  void first(const unsigned char* /*raw*/) override {}
  void next(Decoder& d) override {
    d.decode_symbol(index_);
    last_offset_symbol_ = d.decode_symbol(offset_diff_[last_offset_symbol_]);
    if (last_offset_symbol_ == 2) {
      offset_.decode(d, 0);
    } else if (last_offset_symbol_ == 3) {
      d.read_int64();
    }
    size_.decode(d, 0);
    return_point_.decode(d, 0);
    for (std::uint32_t axis = 0; axis < 3; ++axis) xyz_.decode(d, 0, axis);
  }

 private:
  std::uint32_t last_offset_symbol_ = 0;
  SymbolModel index_{256};
  SymbolModel offset_diff_[4] = {SymbolModel(4), SymbolModel(4), SymbolModel(4), SymbolModel(4)};
  IntegerDecoder offset_{32};
  IntegerDecoder size_{32};
  IntegerDecoder return_point_{32};
  IntegerDecoder xyz_{32, 3};
};

class BytesVersion1 : public Item {
 public:
  explicit BytesVersion1(int count)
      : count_(static_cast<std::uint32_t>(count)), bytes_(8, count_) {}
  void first(const unsigned char* /*raw*/) override {}
  void next(Decoder& d) override {
    for (std::uint32_t i = 0; i < count_; ++i) bytes_.decode(d, 0, i);
  }

 private:
  std::uint32_t count_;
  IntegerDecoder bytes_;
};

class BytesVersion2 : public Item {
 public:
  explicit BytesVersion2(int count) {
    models_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) models_.emplace_back(256);
  }
  void first(const unsigned char* /*raw*/) override {}
  void next(Decoder& d) override {
    for (SymbolModel& model : models_) d.decode_symbol(model);
  }

 private:
  std::vector<SymbolModel> models_;
};

}  // namespace

std::unique_ptr<Item> make_point10(int version, Point10State& state) {
  if (version == 1) return std::make_unique<Point10Version1>(state);
  return std::make_unique<Point10Version2>(state);
}

std::unique_ptr<Item> make_gpstime11(int version) {
  if (version == 1) return std::make_unique<GpsTime11Version1>();
  return std::make_unique<GpsTime11Version2>();
}

std::unique_ptr<Item> make_rgb12(int version) {
  if (version == 1) return std::make_unique<Rgb12Version1>();
  return std::make_unique<Rgb12Version2>();
}

std::unique_ptr<Item> make_wavepacket13() { return std::make_unique<Wavepacket13>(); }

std::unique_ptr<Item> make_bytes(int version, int count) {
  if (version == 1) return std::make_unique<BytesVersion1>(count);
  return std::make_unique<BytesVersion2>(count);
}

}  // namespace laz
