// The layered POINT14 item (versions 3 and 4), what both of its coders
// share: the models, the rules that choose a model from what came before,
// and the GPS time's coding each way, so that the decoder
// (layered_chunk.cc) and the encoder (point14_encoder.cc) cannot drift
// apart. `Integers` is either side's integer coder. Each scanner channel
// has its own models; the sizes and contexts are LASzip's.
#ifndef STRATUMIX_READ_LAZ_POINT14_MODELS_H_
#define STRATUMIX_READ_LAZ_POINT14_MODELS_H_

#include <cstdint>
#include <memory>

#include "read/laz/arithmetic_decoder.h"
#include "read/laz/arithmetic_encoder.h"
#include "read/laz/median5.h"
#include "read/laz/point_items.h"
#include "read/laz/return_contexts.h"

namespace laz {

// The layer of the returns, X and Y, and that of Z: what changed (by the
// last point's place among its returns and whether its time changed), the
// channel's step, the returns, and the coordinates with what predicts them.
template <class Integers>
struct Point14ModelsOf {
  std::unique_ptr<SymbolModel> changed[8];
  SymbolModel channel{3};
  std::unique_ptr<SymbolModel> number_of_returns[16];
  std::unique_ptr<SymbolModel> return_number_model[16];
  SymbolModel same_time_return{13};
  Integers dx{32, 2};
  Integers dy{32, 22};
  Integers dz{32, 20};
  std::int32_t last_z[8] = {};
  Median5 x_diffs[12], y_diffs[12];
};

// The layers past Z: classification, flags, intensity, scan angle, user
// data, point source and GPS time (which, unlike GPSTIME11, has no symbol
// for an unchanged time: the returns' layer says it).
template <class Integers>
struct Point14FieldModelsOf {
  std::unique_ptr<SymbolModel> classification[64];
  std::unique_ptr<SymbolModel> flags[64];
  std::unique_ptr<SymbolModel> user_data[64];
  Integers intensity{16, 4};
  Integers scan_angle{16, 2};
  Integers point_source{16};
  SymbolModel gps_multi{515};
  SymbolModel gps_zero_diff{5};
  Integers gps{32, 9};
};

// Most models are made the first time their context is met.
inline SymbolModel& made(std::unique_ptr<SymbolModel>& model, std::uint32_t symbols) {
  if (model == nullptr) model = std::make_unique<SymbolModel>(symbols);
  return *model;
}

// The bits of the symbol that says what changed from the last point: the
// return number's step (1 up, 2 down, 3 coded), then one bit each.
inline constexpr std::uint32_t kReturnStep = 3;
inline constexpr std::uint32_t kReturnsChanged = 1u << 2;
inline constexpr std::uint32_t kAngleChanged = 1u << 3;
inline constexpr std::uint32_t kTimeChanged = 1u << 4;
inline constexpr std::uint32_t kSourceChanged = 1u << 5;
inline constexpr std::uint32_t kChannelChanged = 1u << 6;

// Which of the eight models codes what changed: the last point's return
// number first (1), last (2), and whether its time changed (4).
inline unsigned change_context(unsigned r, unsigned n, bool time_changed) {
  return (r == 1 ? 1u : 0u) + (r >= n ? 2u : 0u) + (time_changed ? 4u : 0u);
}

// A new channel is coded as its step from the one before, one to three.
inline std::uint32_t channel_step(unsigned from, unsigned to) { return (to + 4 - from - 1) % 4; }
inline unsigned channel_after(unsigned from, std::uint32_t step) { return (from + step + 1) % 4; }

// A return number that changed while the time did not is coded as its step
// from the last, two to fifteen.
inline std::uint32_t return_step(unsigned from, unsigned to) { return (to + 16 - from - 2) % 16; }
inline unsigned return_after(unsigned from, std::uint32_t step) { return (from + step + 2) % 16; }

// The point's place among its returns: first (2), last (1), both (3).
inline unsigned return_place(unsigned r, unsigned n) {
  return (r == 1 ? 2u : 0u) + (r >= n ? 1u : 0u);
}

// The last height of the eight kept that predicts Z: by the distance
// between return number and number of returns.
inline unsigned return_level(unsigned n, unsigned r) {
  unsigned distance = n > r ? n - r : r - n;
  return distance < 7 ? distance : 7;
}

// The medians of X and Y differences used: by the return's place and
// whether the time changed.
inline unsigned coordinate_slot(unsigned n, unsigned r, bool time_changed) {
  return static_cast<unsigned>(kReturnContext14[n][r]) << 1 | (time_changed ? 1u : 0u);
}

// The contexts of X, Y and Z: a single return, and how many bits the
// differences before took (X's for Y, X's and Y's for Z).
inline std::uint32_t x_context(unsigned n) { return n == 1 ? 1u : 0u; }
inline std::uint32_t y_context(unsigned n, std::uint32_t x_bits) {
  return (n == 1 ? 1u : 0u) + (x_bits < 20 ? x_bits & ~1u : 20u);
}
inline std::uint32_t z_context(unsigned n, std::uint32_t x_bits, std::uint32_t y_bits) {
  std::uint32_t k = (x_bits + y_bits) / 2;
  return (n == 1 ? 1u : 0u) + (k < 18 ? k & ~1u : 18u);
}

// The classification's model: by the last class (its five low bits) and
// whether the point is its pulse's only return.
inline unsigned classification_context(unsigned last, unsigned place) {
  return ((last & 0x1fu) << 1) + (place == 3 ? 1u : 0u);
}

// The last intensity of the eight kept that predicts it.
inline unsigned intensity_slot(unsigned place, bool time_changed) {
  return place << 1 | (time_changed ? 1u : 0u);
}

inline unsigned user_data_context(unsigned last) { return last / 4; }

// The context of the items past POINT14 (colour, near infrared, wave
// packet, extra bytes). In version 3, LASzip's readers hand them the
// point's scanner channel only when it changes, and channel 0 otherwise,
// and every writer follows; version 4 hands them the channel.
inline unsigned items_context(bool follow_channel, bool channel_changed, unsigned channel) {
  return follow_channel || channel_changed ? channel : 0;
}

// The items past POINT14 keep contexts of their own, four at most. Moving
// to `context`: one met for the first time takes its values from the one
// before (`fresh` makes it); one met again gives its models, and its values
// too when they follow the channel (version 4), the values of the one
// before otherwise (version 3, LASzip's design). The context whose values
// the point goes on from.
template <class Context, class Fresh>
Context* switch_items_context(std::unique_ptr<Context> (&contexts)[4], unsigned& current,
                              unsigned context, bool follow_channel, Fresh fresh) {
  Context* values = contexts[current].get();
  if (context == current) return values;
  current = context;
  bool first_time = contexts[context] == nullptr;
  if (first_time) contexts[context] = fresh(*values);
  return first_time || follow_channel ? contexts[context].get() : values;
}

// The GPS times of a channel: four sequences of times (the doubles' bits),
// each with its last difference and how many differences too far for it
// followed.
struct GpsTimes {
  std::uint64_t time[4] = {};
  std::int32_t diff[4] = {};
  int extremes[4] = {};
  unsigned last = 0, next = 0;

  std::uint64_t current() const { return time[last]; }
};

// LASzip's multiples of the last difference, up to 500 and down to -10,
// and the symbols past them: a full time, or another sequence.
inline constexpr std::int32_t kTimeMulti = 500;
inline constexpr std::int32_t kTimeMultiMinus = -10;
inline constexpr std::int32_t kTimeCodeFull = kTimeMulti - kTimeMultiMinus + 1;

inline std::int32_t wrapping_product(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// A time that changed, decoded into `t`; the difference most times are
// (the last one again, give or take) decoded inline. Inline in the point's
// loop: now that the symbol decoder is always inlined, its call and return
// were a tenth of its cost.
[[gnu::always_inline]] inline void decode_gps_time(Decoder& d,
                                                   Point14FieldModelsOf<IntegerDecoder>& m,
                                                   GpsTimes& t) {
  auto full_time = [&] {
    t.next = (t.next + 1) & 3;
    auto high = static_cast<std::int32_t>(t.time[t.last] >> 32);
    auto decoded = static_cast<std::uint32_t>(m.gps.decode(d, high, 8));
    t.time[t.next] = std::uint64_t{decoded} << 32 | d.read_int();
    t.last = t.next;
    t.diff[t.last] = 0;
    t.extremes[t.last] = 0;
  };
  // Differences too far for the last one, four times running, replace it.
  auto extreme = [&](std::int32_t diff) {
    if (++t.extremes[t.last] > 3) {
      t.diff[t.last] = diff;
      t.extremes[t.last] = 0;
    }
  };
  auto add = [&](std::int32_t diff) {
    t.time[t.last] += static_cast<std::uint64_t>(std::int64_t{diff});
  };
  for (;;) {
    std::int32_t& last_diff = t.diff[t.last];
    if (last_diff == 0) {
      std::uint32_t multi = d.decode_symbol(m.gps_zero_diff);
      if (multi == 0) {
        last_diff = m.gps.decode(d, 0, 0);
        add(last_diff);
        t.extremes[t.last] = 0;
      } else if (multi == 1) {
        full_time();
      } else {
        t.last = (t.last + multi - 1) & 3;
        continue;
      }
      return;
    }
    auto multi = static_cast<std::int32_t>(d.decode_symbol(m.gps_multi));
    if (multi == 1) {
      add(m.gps.decode_inline(d, last_diff, 1));
      t.extremes[t.last] = 0;
    } else if (multi < kTimeCodeFull) {
      std::int32_t diff;
      if (multi == 0) {
        diff = m.gps.decode(d, 0, 7);
        extreme(diff);
      } else if (multi < kTimeMulti) {
        diff = m.gps.decode(d, wrapping_product(multi, last_diff), multi < 10 ? 2 : 3);
      } else if (multi == kTimeMulti) {
        diff = m.gps.decode(d, wrapping_product(kTimeMulti, last_diff), 4);
        extreme(diff);
      } else {
        multi = kTimeMulti - multi;
        if (multi > kTimeMultiMinus) {
          diff = m.gps.decode(d, wrapping_product(multi, last_diff), 5);
        } else {
          diff = m.gps.decode(d, wrapping_product(kTimeMultiMinus, last_diff), 6);
          extreme(diff);
        }
      }
      add(diff);
    } else if (multi == kTimeCodeFull) {
      full_time();
    } else {
      t.last = (t.last + static_cast<unsigned>(multi - kTimeCodeFull)) & 3;
      continue;
    }
    return;
  }
}

// The mirror: a time that changed, `time`, coded from `t`, which then holds
// it as the decoder will.
inline void encode_gps_time(Encoder& e, Point14FieldModelsOf<IntegerEncoder>& m, GpsTimes& t,
                            std::uint64_t time) {
  for (;;) {
    auto diff64 = static_cast<std::int64_t>(time - t.time[t.last]);
    auto diff = static_cast<std::int32_t>(diff64);
    bool fits = diff64 == diff;
    int other = 0;
    if (!fits) {
      for (unsigned i = 1; i < 4 && other == 0; ++i) {
        auto d = static_cast<std::int64_t>(time - t.time[(t.last + i) & 3]);
        if (d == static_cast<std::int32_t>(d)) other = static_cast<int>(i);
      }
    }
    bool zero = t.diff[t.last] == 0;
    if (!fits && other != 0) {
      e.encode_symbol(zero ? m.gps_zero_diff : m.gps_multi,
                      static_cast<std::uint32_t>(zero ? other + 1 : kTimeCodeFull + other));
      t.last = (t.last + static_cast<unsigned>(other)) & 3;
      continue;
    }
    if (!fits) {
      e.encode_symbol(zero ? m.gps_zero_diff : m.gps_multi,
                      zero ? 1u : static_cast<std::uint32_t>(kTimeCodeFull));
      m.gps.encode(e, static_cast<std::int32_t>(t.time[t.last] >> 32),
                   static_cast<std::int32_t>(time >> 32), 8);
      e.write_int(static_cast<std::uint32_t>(time));
      t.next = (t.next + 1) & 3;
      t.last = t.next;
      t.diff[t.last] = 0;
      t.extremes[t.last] = 0;
    } else if (zero) {
      e.encode_symbol(m.gps_zero_diff, 0);
      m.gps.encode(e, 0, diff, 0);
      t.diff[t.last] = diff;
      t.extremes[t.last] = 0;
    } else {
      std::int32_t& last_diff = t.diff[t.last];
      std::int32_t multi = time_multiple(diff, last_diff);
      auto extreme = [&] {
        if (++t.extremes[t.last] > 3) {
          last_diff = diff;
          t.extremes[t.last] = 0;
        }
      };
      if (multi == 1) {
        e.encode_symbol(m.gps_multi, 1);
        m.gps.encode(e, last_diff, diff, 1);
        t.extremes[t.last] = 0;
      } else if (multi > 0 && multi < kTimeMulti) {
        e.encode_symbol(m.gps_multi, static_cast<std::uint32_t>(multi));
        m.gps.encode(e, wrapping_product(multi, last_diff), diff, multi < 10 ? 2 : 3);
      } else if (multi >= kTimeMulti) {
        e.encode_symbol(m.gps_multi, kTimeMulti);
        m.gps.encode(e, wrapping_product(kTimeMulti, last_diff), diff, 4);
        extreme();
      } else if (multi < 0 && multi > kTimeMultiMinus) {
        e.encode_symbol(m.gps_multi, static_cast<std::uint32_t>(kTimeMulti - multi));
        m.gps.encode(e, wrapping_product(multi, last_diff), diff, 5);
      } else if (multi < 0) {
        e.encode_symbol(m.gps_multi, kTimeMulti - kTimeMultiMinus);
        m.gps.encode(e, wrapping_product(kTimeMultiMinus, last_diff), diff, 6);
        extreme();
      } else {
        e.encode_symbol(m.gps_multi, 0);
        m.gps.encode(e, 0, diff, 7);
        extreme();
      }
    }
    t.time[t.last] = time;
    return;
  }
}

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_POINT14_MODELS_H_
