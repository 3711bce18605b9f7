// The arithmetic coder's encoding side, the decoder's mirror (LASzip's
// coder, after FastAC, with the same constants and models): the program's
// LAZ compressor (laz_encoder.h) codes with it, through the items'
// encoders, which share the decoders' models.
#ifndef STRATUMIX_READ_LAZ_ARITHMETIC_ENCODER_H_
#define STRATUMIX_READ_LAZ_ARITHMETIC_ENCODER_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "read/laz/arithmetic_decoder.h"

namespace laz {

// The coder's encoding side (LASzip's, after FastAC), writing to memory.
// The stream's bytes are written in place, past the vector's bytes before
// the stream: the vector is made longer ahead of them, up to 64 KiB at a time,
// and cut to the stream's end by done(), which must come before its size
// is read.
class Encoder {
 public:
  explicit Encoder(std::vector<unsigned char>& out) : out_(out), start_(out.size()) {}
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // The codings are inline wherever they are called, forced: an item's
  // encoder then codes a whole point in one function. Left to itself, the
  // compiler keeps the integer coder out of line (a call, six registers
  // saved and restored, each integer), and forcing that alone in makes it
  // put the symbols' coding out of line instead, which costs more.
  [[gnu::always_inline]] void encode_bit(BitModel& m, std::uint32_t bit) {
    std::uint32_t x = m.zero_share_ * (length_ >> kBitShift);
    if (bit == 0) {
      length_ = x;
      ++m.zeros_;
    } else {
      add(x);
      length_ -= x;
    }
    if (length_ < kMinLength) renormalise();
    if (--m.until_update_ == 0) m.update();
  }

  [[gnu::always_inline]] void encode_symbol(SymbolModel& m, std::uint32_t symbol) {
    const std::uint32_t* distribution = m.distribution_;
    std::uint32_t unit = length_ >> kSymbolShift;
    std::uint32_t x = distribution[symbol] * unit;
    // The last symbol takes the interval's top, its rounding included.
    std::uint32_t top = symbol + 1 == m.symbols_ ? length_ : distribution[symbol + 1] * unit;
    add(x);
    length_ = top - x;
    if (length_ < kMinLength) renormalise();
    ++m.counts_[symbol];
    if (--m.until_update_ == 0) m.update();
  }

  [[gnu::always_inline]] void write_bits(std::uint32_t bits, std::uint32_t value) {
    if (bits > 19) {
      write_short(value & 0xffff);
      value >>= 16;
      bits -= 16;
    }
    length_ >>= bits;
    add(value * length_);
    if (length_ < kMinLength) renormalise();
  }

  // The length is at least 2^24 between codings: a short takes it below
  // 2^16, and exactly two bytes out bring it back, with no loop.
  void write_short(std::uint32_t value) {
    length_ >>= 16;
    add(value * length_);
    if (next_ >= limit_) grow();
    next_[0] = static_cast<unsigned char>(base_ >> 24);
    next_[1] = static_cast<unsigned char>(base_ >> 16);
    next_ += 2;
    base_ <<= 16;
    length_ <<= 16;
  }

  void write_int(std::uint32_t value) {
    write_short(value & 0xffff);
    write_short(value >> 16);
  }

  void write_int64(std::uint64_t value) {
    write_int(static_cast<std::uint32_t>(value & 0xffffffffu));
    write_int(static_cast<std::uint32_t>(value >> 32));
  }

  // The last bytes, as many as the decoder reads ahead; the vector ends
  // with them.
  void done() {
    std::uint32_t before = base_;
    bool another_byte = true;
    if (length_ > 2 * kMinLength) {
      base_ += kMinLength;
      length_ = kMinLength >> 1;
    } else {
      base_ += kMinLength >> 1;
      length_ = kMinLength >> 9;
      another_byte = false;
    }
    if (before > base_) carry();
    renormalise();
    if (next_ >= limit_) grow();
    *next_++ = 0;
    *next_++ = 0;
    if (another_byte) *next_++ = 0;
    out_.resize(written());
    next_ = limit_ = nullptr;
  }

 private:
  [[gnu::always_inline]] void add(std::uint32_t x) {
    std::uint32_t before = base_;
    base_ += x;
    if (before > base_) carry();
  }
  // The stream's value never passes 1, so a carry stops within it.
  void carry() {
    if (next_ == nullptr) return;
    unsigned char* first = out_.data() + start_;
    for (unsigned char* p = next_; p != first;) {
      if (*--p != 0xff) {
        ++*p;
        return;
      }
      *p = 0;
    }
  }
  [[gnu::always_inline]] void renormalise() {
    // The interval is never empty: at most three bytes leave it.
    if (next_ >= limit_) grow();
    unsigned char* next = next_;
    std::uint32_t base = base_, length = length_;
    do {
      *next++ = static_cast<unsigned char>(base >> 24);
      base <<= 8;
    } while ((length <<= 8) < kMinLength);
    next_ = next;
    base_ = base;
    length_ = length;
  }
  std::size_t written() const {
    return next_ == nullptr ? start_ : static_cast<std::size_t>(next_ - out_.data());
  }
  // Lengthened a step at a time, even within what the vector holds: its
  // new bytes are zeroed, and zeroing all it holds at once touched pages
  // that the stream never reached. The steps grow with the stream, from
  // 4 KiB (a small layer's) to 64 KiB; its room doubles when it is full.
  void grow() {
    std::size_t at = written();
    std::size_t size = at + std::clamp<std::size_t>(at - start_, 4096, std::size_t{64} << 10);
    if (size > out_.capacity()) out_.reserve(std::max(size, 2 * out_.capacity()));
    out_.resize(size);
    next_ = out_.data() + at;
    limit_ = out_.data() + size - 3;
  }

  std::vector<unsigned char>& out_;
  std::size_t start_;  // the stream's first byte
  unsigned char* next_ = nullptr;
  // Room is made once the next byte reaches this, fewer than four bytes
  // before the vector's end (a renormalisation writes at most three): one
  // comparison a renormalisation. Null before the first room.
  unsigned char* limit_ = nullptr;
  std::uint32_t base_ = 0;
  std::uint32_t length_ = 0xffffffffu;
};

// The integer coder's encoding side.
class IntegerEncoder {
 public:
  explicit IntegerEncoder(std::uint32_t bits = 16, std::uint32_t contexts = 1)
      : corr_bits_(bits != 0 && bits < 32 ? bits : 32),
        corr_range_(bits != 0 && bits < 32 ? 1u << bits : 0) {
    k_models_.reserve(contexts);
    for (std::uint32_t i = 0; i < contexts; ++i)
      k_models_.emplace_back(corr_bits_ + 1, SymbolModel::ForEncoding{});
  }

  // Inline, with the symbols' coding (see Encoder).
  [[gnu::always_inline]] void encode(Encoder& e, std::int32_t prediction, std::int32_t real,
                                     std::uint32_t context = 0) {
    auto c = static_cast<std::int32_t>(static_cast<std::uint32_t>(real) -
                                       static_cast<std::uint32_t>(prediction));
    if (corr_range_ != 0) {
      auto half = static_cast<std::int32_t>(corr_range_ / 2);
      if (c < -half) {
        c += static_cast<std::int32_t>(corr_range_);
      } else if (c > half - 1) {
        c -= static_cast<std::int32_t>(corr_range_);
      }
    }
    std::uint32_t magnitude =
        c <= 0 ? 0u - static_cast<std::uint32_t>(c) : static_cast<std::uint32_t>(c) - 1;
    // The bits of the magnitude, in one instruction rather than a loop a bit.
    auto k = static_cast<std::uint32_t>(std::bit_width(magnitude));
    k_ = k;
    // What follows k worked out before its coding, so that fewer values
    // live across it: c itself for k 0, else its bits.
    // (Its mask in 64 bits: k is 32 for the one difference that needs all.)
    std::uint32_t v = k == 0  ? static_cast<std::uint32_t>(c)
                      : c < 0 ? static_cast<std::uint32_t>(c) +
                                    static_cast<std::uint32_t>((std::uint64_t{1} << k) - 1)
                              : static_cast<std::uint32_t>(c) - 1;
    e.encode_symbol(k_models_[context], k);
    if (k == 0) {
      e.encode_bit(zero_or_one_, v);
      return;
    }
    if (k == 32) return;
    std::unique_ptr<SymbolModel>& corrector = correctors_[k - 1];
    if (corrector == nullptr) make_corrector(corrector);
    if (k <= 8) {
      e.encode_symbol(*corrector, v);
    } else {
      std::uint32_t low_bits = k - 8;
      e.encode_symbol(*corrector, v >> low_bits);
      e.write_bits(low_bits, v & ((1u << low_bits) - 1));
    }
  }
  std::uint32_t k() const { return k_; }

 private:
  // Made at its first use, as the decoder makes it, out of the way of the
  // coding itself.
  [[gnu::noinline]] void make_corrector(std::unique_ptr<SymbolModel>& corrector) const {
    corrector = std::make_unique<SymbolModel>(1u << std::min(k_, 8u), SymbolModel::ForEncoding{});
  }

  std::uint32_t corr_bits_;
  std::uint32_t corr_range_;
  std::uint32_t k_ = 0;
  std::vector<SymbolModel> k_models_;
  BitModel zero_or_one_;
  // Those of bit lengths 1 to 32 (no more than corr_bits_ are used).
  std::unique_ptr<SymbolModel> correctors_[32];
};

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_ARITHMETIC_ENCODER_H_
