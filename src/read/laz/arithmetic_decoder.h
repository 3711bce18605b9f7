// The entropy decoder of LAZ: Martin Isenburg's arithmetic coder for
// LASzip, after Amir Said's FastAC, with its adaptive models. The
// constants (the 2^24 renormalisation threshold, the 13- and 15-bit
// probability scales, the update cycles) are that design's; any other
// value decodes another stream. Nothing here reads a file: the decoder
// takes its bytes from a span, and asks a Refill for more when one is set.
#ifndef STRATUMIX_READ_LAZ_ARITHMETIC_DECODER_H_
#define STRATUMIX_READ_LAZ_ARITHMETIC_DECODER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace laz {

// The coder's constants (LASzip, after FastAC).
inline constexpr std::uint32_t kMinLength = 1u << 24;  // renormalised below it
inline constexpr std::uint32_t kBitShift = 13;         // a bit model's probability scale
inline constexpr std::uint32_t kBitMaxCount = 1u << kBitShift;
inline constexpr std::uint32_t kSymbolShift = 15;  // a symbol model's
inline constexpr std::uint32_t kSymbolMaxCount = 1u << kSymbolShift;

// The coder's mirror (arithmetic_encoder.h), which the program's LAZ
// compressor (laz_encoder.h) makes LAZ with.
class Encoder;

// An adaptive model of one of `symbols` values (2 to 2048).
class SymbolModel {
 public:
  explicit SymbolModel(std::uint32_t symbols) : SymbolModel(symbols, true) {}
  // Without the look-up that speeds up decoding, for a model that only
  // encodes: its updates, then, need not fill it.
  struct ForEncoding {};
  SymbolModel(std::uint32_t symbols, ForEncoding) : SymbolModel(symbols, false) {}

 private:
  friend class Decoder;
  friend class Encoder;
  // A fresh model is a copy of the one first made of its size (fresh()).
  SymbolModel(std::uint32_t symbols, bool lookup);
  // Made as the coder's design makes it: counts of one, then an update.
  struct Built {};
  SymbolModel(std::uint32_t symbols, bool lookup, Built);
  static const SymbolModel& fresh(std::uint32_t symbols, bool lookup);
  void build(bool lookup);
  void place_arrays();
  std::size_t block_size() const {
    return 2 * std::size_t{symbols_} + (table_size_ != 0 ? table_size_ + 2 : 0);
  }
  void update();

  std::uint32_t symbols_;
  std::uint32_t total_ = 0;
  std::uint32_t cycle_ = 0;
  std::uint32_t until_update_ = 0;
  // The cumulative share below each symbol, in 2^15ths, and the counts.
  std::uint32_t* distribution_ = nullptr;
  std::uint32_t* counts_ = nullptr;
  // For more than 16 symbols, where a search starts: by the top bits of
  // the value's share, the first symbol it may be (LASzip's look-up).
  std::uint32_t table_size_ = 0;
  std::uint32_t table_shift_ = 0;
  std::uint32_t* table_ = nullptr;
  // The block that holds the three arrays: one allocation a model.
  std::unique_ptr<std::uint32_t[]> block_;
};

// An adaptive model of one bit.
class BitModel {
 private:
  friend class Decoder;
  friend class Encoder;
  void update();

  std::uint32_t cycle_ = 4;
  std::uint32_t until_update_ = 4;
  std::uint32_t zero_share_ = 1u << 12;  // in 2^13ths
  std::uint32_t zeros_ = 1;
  std::uint32_t bits_ = 2;
};

// Where a decoder with no bytes left gets more: the stream of a point-wise
// LAZ, or chunks whose sizes no table gives.
class Refill {
 public:
  virtual ~Refill() = default;
  // Sets [next, end) to the bytes that follow; false at the end of them.
  virtual bool more(const unsigned char*& next, const unsigned char*& end) = 0;
};

class Decoder {
 public:
  // Reads from [next, end), then from `refill` if any. Past the end, reads
  // zeros and remembers it: a whole stream is never read past its end.
  void set_input(const unsigned char* next, const unsigned char* end, Refill* refill = nullptr);
  // Starts a stream: its first four bytes.
  void start();

  std::uint32_t decode_bit(BitModel& model);
  std::uint32_t decode_symbol(SymbolModel& model);
  // A value of `bits` equally likely bits (1 to 32).
  std::uint32_t read_bits(std::uint32_t bits);
  std::uint32_t read_int() {
    std::uint32_t low = read_short();
    return read_short() << 16 | low;
  }
  std::uint64_t read_int64() {
    std::uint64_t low = read_int();
    return std::uint64_t{read_int()} << 32 | low;
  }
  // A byte taken as it is, not decoded (the first point of a chunk).
  unsigned char raw_byte() { return next_ != end_ ? *next_++ : slow_byte(); }

  bool past_end() const { return past_end_; }
  // The bytes of the span at hand not read yet.
  const unsigned char* next() const { return next_; }
  const unsigned char* end() const { return end_; }
  // The bytes taken so far from the span and every refill.
  std::uint64_t consumed() const { return consumed_before_ + (next_ - begin_); }

 private:
  std::uint32_t read_short();
  // read_bits of more than 19 bits, in two steps.
  std::uint32_t read_many_bits(std::uint32_t bits);
  void renormalise();
  unsigned char slow_byte();

  const unsigned char* begin_ = nullptr;
  const unsigned char* next_ = nullptr;
  const unsigned char* end_ = nullptr;
  Refill* refill_ = nullptr;
  std::uint64_t consumed_before_ = 0;
  bool past_end_ = false;
  std::uint32_t value_ = 0;
  std::uint32_t length_ = 0xffffffffu;
};

// The integer decoder of LASzip (its IntegerCompressor): a value is its
// prediction plus a corrector, coded as the corrector's bit length k under
// one of `contexts` models, then its bits, the high ones modelled.
class IntegerDecoder {
 public:
  // Of values of `bits` bits (32 for any), under `contexts` contexts.
  explicit IntegerDecoder(std::uint32_t bits = 16, std::uint32_t contexts = 1);
  std::int32_t decode(Decoder& decoder, std::int32_t prediction, std::uint32_t context = 0);
  // The same, inline wherever it is called: for the layered intensity and
  // GPS time, which a point decodes only when they are asked for, and whose
  // call and return cost a tenth of their decoding.
  [[gnu::always_inline]] std::int32_t decode_inline(Decoder& decoder, std::int32_t prediction,
                                                    std::uint32_t context = 0);
  // The bit length of the last corrector, which other fields take as context.
  std::uint32_t k() const { return k_; }

 private:
  std::int32_t corrector(Decoder& decoder, SymbolModel& bits_model);
  // A model met for the first time, made off the hot path.
  [[gnu::noinline]] static SymbolModel& new_model(std::unique_ptr<SymbolModel>& model,
                                                  std::uint32_t symbols);

  // The corrector bits modelled; those below are read as they are.
  static constexpr std::uint32_t kBitsHigh = 8;
  std::uint32_t corr_bits_;
  std::uint32_t corr_range_;
  std::int32_t corr_min_;
  std::uint32_t k_ = 0;
  std::unique_ptr<std::unique_ptr<SymbolModel>[]> k_models_;
  BitModel corrector0_;
  // Those of bit lengths 1 to corr_bits_, made when first needed.
  std::unique_ptr<std::unique_ptr<SymbolModel>[]> correctors_;
};

// The hot paths, inline: a point decodes a few dozen symbols.
inline void Decoder::renormalise() {
  do {
    value_ = value_ << 8 | raw_byte();
    length_ <<= 8;
  } while (length_ < kMinLength);
}

inline std::uint32_t Decoder::decode_bit(BitModel& m) {
  std::uint32_t x = m.zero_share_ * (length_ >> kBitShift);
  std::uint32_t bit = value_ >= x;
  if (bit == 0) {
    length_ = x;
    ++m.zeros_;
  } else {
    value_ -= x;
    length_ -= x;
  }
  if (length_ < kMinLength) renormalise();
  if (--m.until_update_ == 0) m.update();
  return bit;
}

// Inline: a GPS time's difference, or a coordinate's when it is large,
// takes a few bits as they are after its modelled ones.
inline std::uint32_t Decoder::read_bits(std::uint32_t bits) {
  if (bits > 19) return read_many_bits(bits);
  length_ >>= bits;
  std::uint32_t value = value_ / length_;
  value_ -= length_ * value;
  if (length_ < kMinLength) renormalise();
  // A damaged stream can leave the value above the interval.
  return value & ((1u << bits) - 1);
}

// Always inline: in the long loops of the layered points the compiler
// would otherwise call it out of line, a call and a return a symbol.
[[gnu::always_inline]] inline std::uint32_t Decoder::decode_symbol(SymbolModel& m) {
  // The interval in locals: a model's arrays are of the same type, and
  // the compiler would otherwise store and load it again around each of
  // their reads.
  const std::uint32_t value = value_;
  const std::uint32_t length = length_ >> kSymbolShift;
  std::uint32_t upper = length_;
  std::uint32_t lower = 0;
  std::uint32_t symbol = 0;
  const std::uint32_t* distribution = m.distribution_;
  if (m.table_ != nullptr) {
    // The look-up narrows the search, bisection ends it.
    std::uint32_t share = value / length;
    // Only a damaged stream puts the value past the interval.
    std::uint32_t t = std::min(share >> m.table_shift_, m.table_size_);
    symbol = m.table_[t];
    std::uint32_t n = m.table_[t + 1] + 1;
    while (n > symbol + 1) {
      std::uint32_t k = (symbol + n) >> 1;
      if (distribution[k] > share) {
        n = k;
      } else {
        symbol = k;
      }
    }
    lower = distribution[symbol] * length;
    if (symbol + 1 != m.symbols_) upper = distribution[symbol + 1] * length;
  } else {
    // Bisection alone, by products: the same symbol.
    std::uint32_t n = m.symbols_;
    std::uint32_t k = n >> 1;
    do {
      std::uint32_t z = length * distribution[k];
      if (z > value) {
        n = k;
        upper = z;
      } else {
        symbol = k;
        lower = z;
      }
      k = (symbol + n) >> 1;
    } while (k != symbol);
  }
  value_ = value - lower;
  length_ = upper - lower;
  if (length_ < kMinLength) renormalise();
  ++m.counts_[symbol];
  if (--m.until_update_ == 0) m.update();
  return symbol;
}

// Inline, with its corrector: a call and its return cost about 18
// instructions an integer, and a point decodes three to six.
[[gnu::always_inline]] inline std::int32_t IntegerDecoder::corrector(Decoder& decoder,
                                                                     SymbolModel& bits_model) {
  k_ = decoder.decode_symbol(bits_model);
  if (k_ == 0) return static_cast<std::int32_t>(decoder.decode_bit(corrector0_));
  if (k_ >= 32) return corr_min_;
  std::unique_ptr<SymbolModel>& slot = correctors_[k_];
  SymbolModel& model = slot != nullptr ? *slot : new_model(slot, 1u << std::min(k_, kBitsHigh));
  std::uint32_t c = decoder.decode_symbol(model);
  if (k_ > kBitsHigh) {
    std::uint32_t low_bits = k_ - kBitsHigh;
    c = c << low_bits | decoder.read_bits(low_bits);
  }
  // c in [0, 2^(k-1)) stands for the negatives, the rest for 2 and up.
  if (c >= 1u << (k_ - 1)) return static_cast<std::int32_t>(c + 1);
  return static_cast<std::int32_t>(c - ((1u << k_) - 1));
}

inline std::int32_t IntegerDecoder::decode(Decoder& decoder, std::int32_t prediction,
                                           std::uint32_t context) {
  return decode_inline(decoder, prediction, context);
}

[[gnu::always_inline]] inline std::int32_t IntegerDecoder::decode_inline(Decoder& decoder,
                                                                         std::int32_t prediction,
                                                                         std::uint32_t context) {
  std::unique_ptr<SymbolModel>& slot = k_models_[context];
  SymbolModel& model = slot != nullptr ? *slot : new_model(slot, corr_bits_ + 1);
  // In 32 bits that wrap, as the coder's do.
  auto real = static_cast<std::uint32_t>(prediction) +
              static_cast<std::uint32_t>(corrector(decoder, model));
  if (static_cast<std::int32_t>(real) < 0) {
    real += corr_range_;
  } else if (real >= corr_range_) {
    real -= corr_range_;
  }
  return static_cast<std::int32_t>(real);
}

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_ARITHMETIC_DECODER_H_
