#include "read/gzip/deflate_header.h"

#include <array>

namespace {

// Deflate's bits, lowest first, from the held ones and then from the bytes.
class Bits {
 public:
  Bits(std::uint64_t held, int held_count, const unsigned char* data, std::size_t size)
      : data_(data), size_(size) {
    // A full 64-bit hold is taken in two halves so that no shift is by 64.
    if (held_count > 32) {
      low_ = held & 0xffffffffu;
      low_count_ = 32;
      high_ = held >> 32;
      high_count_ = held_count - 32;
    } else {
      low_ = held_count > 0 ? held & ((std::uint64_t{1} << held_count) - 1) : 0;
      low_count_ = held_count > 0 ? held_count : 0;
    }
  }
  // The next `count` (at most 16) bits; false when they run out.
  bool take(int count, unsigned& value) {
    while (low_count_ < count) {
      if (high_count_ > 0) {
        int moved = high_count_ < 8 ? high_count_ : 8;
        low_ |= (high_ & ((1u << moved) - 1)) << low_count_;
        high_ >>= moved;
        high_count_ -= moved;
        low_count_ += moved;
      } else if (at_ < size_) {
        low_ |= std::uint64_t{data_[at_++]} << low_count_;
        low_count_ += 8;
      } else {
        return false;
      }
    }
    value = static_cast<unsigned>(low_ & ((std::uint64_t{1} << count) - 1));
    low_ >>= count;
    low_count_ -= count;
    return true;
  }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  std::uint64_t low_ = 0;
  int low_count_ = 0;
  std::uint64_t high_ = 0;
  int high_count_ = 0;
};

constexpr int kMaxLength = 15;

enum class Code { kRefused, kGood };

// zlib's rule for a set of code lengths: never more codes than the lengths
// leave room for; and every room used, but where all the lengths are 0 (a
// block of literals has no distance) or, outside the code of the lengths,
// a single code of length 1.
Code judge(const unsigned char* lengths, int count, bool lengths_code) {
  std::array<int, kMaxLength + 1> of_length{};
  for (int i = 0; i < count; ++i) ++of_length[lengths[i]];
  int longest = kMaxLength;
  while (longest > 0 && of_length[longest] == 0) --longest;
  if (longest == 0) return Code::kGood;
  int left = 1;
  for (int length = 1; length <= kMaxLength; ++length) {
    left = 2 * left - of_length[length];
    if (left < 0) return Code::kRefused;
  }
  if (left > 0 && (lengths_code || longest != 1)) return Code::kRefused;
  return Code::kGood;
}

// The code of the code lengths, decoded a bit at a time as a canonical code:
// the few hundred symbols of a header make a table pointless.
class LengthsCode {
 public:
  explicit LengthsCode(const unsigned char* lengths) {
    for (int symbol = 0; symbol < 19; ++symbol) ++of_length_[lengths[symbol]];
    of_length_[0] = 0;
    std::array<int, 8> first{};
    for (int length = 1; length < 8; ++length)
      first[length] = first[length - 1] + of_length_[length - 1];
    for (int symbol = 0; symbol < 19; ++symbol) {
      if (lengths[symbol] != 0) symbols_[first[lengths[symbol]]++] = symbol;
    }
  }
  // -1 when the bits run out or match no code.
  int decode(Bits& bits) const {
    int code = 0;
    int first = 0;
    int index = 0;
    for (int length = 1; length < 8; ++length) {
      unsigned bit = 0;
      if (!bits.take(1, bit)) return -1;
      code |= static_cast<int>(bit);
      int count = of_length_[length];
      if (code - first < count) return symbols_[index + code - first];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }

 private:
  std::array<int, 8> of_length_{};
  std::array<int, 19> symbols_{};
};

}  // namespace

BlockHeader read_block_header(std::uint64_t held, int held_count, const unsigned char* data,
                              std::size_t size) {
  BlockHeader header;
  Bits bits(held, held_count, data, size);
  unsigned final = 0;
  unsigned type = 0;
  if (!bits.take(1, final) || !bits.take(2, type)) return header;
  header.final = final != 0;
  if (type != 2) {
    // Stored and fixed blocks have no code to judge; a fourth type is
    // refused by both inflaters.
    header.verdict = BlockHeader::Verdict::kGood;
    return header;
  }
  unsigned literals = 0;
  unsigned distances = 0;
  unsigned given = 0;
  if (!bits.take(5, literals) || !bits.take(5, distances) || !bits.take(4, given)) return header;
  literals += 257;
  distances += 1;
  given += 4;
  header.verdict = BlockHeader::Verdict::kRefused;
  if (literals > 286 || distances > 30) return header;

  static constexpr std::array<int, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};
  unsigned char code_lengths[19] = {};
  for (unsigned i = 0; i < given; ++i) {
    unsigned length = 0;
    if (!bits.take(3, length)) return BlockHeader{BlockHeader::Verdict::kShort, header.final};
    code_lengths[kOrder[i]] = static_cast<unsigned char>(length);
  }
  // A code of lengths with no code at all decodes nothing: refused as well.
  bool any = false;
  for (unsigned char length : code_lengths) any = any || length != 0;
  if (!any || judge(code_lengths, 19, true) == Code::kRefused) return header;
  LengthsCode code(code_lengths);

  unsigned char lengths[286 + 30] = {};
  const unsigned total = literals + distances;
  unsigned filled = 0;
  while (filled < total) {
    int symbol = code.decode(bits);
    if (symbol < 0) return BlockHeader{BlockHeader::Verdict::kShort, header.final};
    if (symbol < 16) {
      lengths[filled++] = static_cast<unsigned char>(symbol);
      continue;
    }
    unsigned extra = 0;
    unsigned repeat = 0;
    unsigned char value = 0;
    if (symbol == 16) {
      if (filled == 0) return header;
      value = lengths[filled - 1];
      if (!bits.take(2, extra)) return BlockHeader{BlockHeader::Verdict::kShort, header.final};
      repeat = 3 + extra;
    } else if (symbol == 17) {
      if (!bits.take(3, extra)) return BlockHeader{BlockHeader::Verdict::kShort, header.final};
      repeat = 3 + extra;
    } else {
      if (!bits.take(7, extra)) return BlockHeader{BlockHeader::Verdict::kShort, header.final};
      repeat = 11 + extra;
    }
    if (filled + repeat > total) return header;
    for (unsigned i = 0; i < repeat; ++i) lengths[filled++] = value;
  }
  // Without an end-of-block code a block never ends.
  if (lengths[256] == 0) return header;
  if (judge(lengths, static_cast<int>(literals), false) == Code::kRefused ||
      judge(lengths + literals, static_cast<int>(distances), false) == Code::kRefused) {
    return header;
  }
  header.verdict = BlockHeader::Verdict::kGood;
  return header;
}
