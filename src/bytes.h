// Byte-level helpers shared by the readers of text: eight bytes at a time.
#ifndef STRATUMIX_BYTES_H_
#define STRATUMIX_BYTES_H_

#include <bit>
#include <cstdint>
#include <cstring>

namespace bytes {

// Eight bytes of text as one little-endian word: its first byte lowest.
inline std::uint64_t load8(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    std::uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i) swapped = (swapped << 8) | ((word >> (8 * i)) & 0xff);
    word = swapped;
  }
  return word;
}

// The number of line ends in [first, last), eight bytes at a time: a byte
// of the word XOR "\n\n..." is zero exactly where the text has a '\n'. Each
// byte of `sums` counts its column, for at most 255 words at a time.
inline std::int64_t count_line_ends(const char* first, const char* last) {
  constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7f;
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  std::int64_t count = 0;
  while (last - first >= 8) {
    std::uint64_t sums = 0;
    for (int i = 0; i < 255 && last - first >= 8; ++i, first += 8) {
      std::uint64_t word = load8(first) ^ 0x0a0a0a0a0a0a0a0a;
      std::uint64_t nonzero = ((word & kLow7) + kLow7) | word;
      sums += (~nonzero >> 7) & kOnes;
    }
    for (int i = 0; i < 8; ++i) count += static_cast<std::int64_t>((sums >> (8 * i)) & 0xff);
  }
  for (; first != last; ++first) count += *first == '\n';
  return count;
}

}  // namespace bytes

#endif  // STRATUMIX_BYTES_H_
