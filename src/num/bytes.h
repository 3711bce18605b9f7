// Byte-level helpers shared by the readers: the little-endian integers of
// the binary formats; for text, classes of bytes, and digits found and read
// eight or sixteen at a time. The word tricks are
// the well-known SWAR ones ("SIMD within a register"), as simdjson and
// fast_float read eight digits at once (Daniel Lemire's and Wojciech
// Mula's write-ups); each constant's derivation is beside it.
#ifndef STRATUMIX_NUM_BYTES_H_
#define STRATUMIX_NUM_BYTES_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace bytes {

// The unsigned integer of `size` bytes (at most 8) at `p`, least
// significant first, as LAS and LAZ store every number.
inline std::uint64_t little_endian(const unsigned char* p, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

constexpr bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// The C library's white space, which separates words: a table, since the
// hot path asks this of every separator byte.
struct WhiteSpace {
  bool table[256] = {};
  constexpr WhiteSpace() {
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool operator()(char c) const { return table[static_cast<unsigned char>(c)]; }
};
inline constexpr WhiteSpace is_white;

// The Ctrl-Z byte that ends a text file, as DOS editors wrote it.
inline constexpr char kCtrlZ = 0x1a;

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

// A word of load8 with its bytes the other way round, its first byte
// highest, so that words compare as their texts do. Compilers turn the
// shifts into one byte swap.
inline std::uint64_t first_high(std::uint64_t w) {
  return (w << 56) | ((w & 0xff00) << 40) | ((w & 0xff0000) << 24) | ((w & 0xff000000) << 8) |
         ((w >> 8) & 0xff000000) | ((w >> 24) & 0xff0000) | ((w >> 40) & 0xff00) | (w >> 56);
}

// Eight bytes of text as one word, its first byte highest.
inline std::uint64_t load8_first_high(const char* p) { return first_high(load8(p)); }

// The inverse of load8.
inline void store8(char* p, std::uint64_t word) {
  if constexpr (std::endian::native == std::endian::big) {
    std::uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i) swapped = (swapped << 8) | ((word >> (8 * i)) & 0xff);
    word = swapped;
  }
  std::memcpy(p, &word, sizeof word);
}

// "00000000" as a word.
inline constexpr std::uint64_t kZeros = 0x3030303030303030;
// ".0000000" as a word.
inline constexpr std::uint64_t kPointZeros = 0x303030303030302e;

// How many of the eight bytes of `word` are digits before the first that is
// not. Each byte less '0' (0x30 in every byte: kZeros) is a digit's value
// when below 10: a byte below '0' wraps and sets its high bit, and one of
// 10 or more reaches 0x80 once 0x76 (= 0x80 - 10) is added. So the high
// bit of that difference, or of it plus 0x76, marks any other byte.
// (Borrows and carries between bytes start only at or after the first
// non-digit, so the bytes before it are judged right.)
inline int leading_digits(std::uint64_t word) {
  std::uint64_t value = word - kZeros;
  std::uint64_t not_digit = ((value + 0x7676767676767676) | value) & 0x8080808080808080;
  return std::countr_zero(not_digit) / 8;  // 8 for none: countr_zero(0) is 64
}

// Bit i set where byte i of the eight in `word` (as load8 gives them) is
// not a digit. Unlike leading_digits, right after the first such byte too:
// each byte is compared on its own, its high bit kept out of the way of
// borrows and carries. With the high bit set first, (byte | 0x80) - 0x30
// keeps it exactly when the low seven bits are at least '0'; the low seven
// bits plus 0x46 (= 0x80 - ('9' + 1)) reach the high bit exactly when they
// are above '9'; and the byte's own high bit must be clear. The multiply
// gathers the eight high bits into the top byte: bit 7 of byte i, moved to
// bit 8i, times 2^(56 - 7i) (0x0102040810204080 holds one bit per byte i at
// 56 - 7i) lands at bit 56 + i, and no two products meet below bit 64.
inline unsigned not_digit_bits(std::uint64_t word) {
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  std::uint64_t at_least_0 = (word | kHigh) - 0x3030303030303030;
  std::uint64_t above_9 = (word & ~kHigh) + 0x4646464646464646;
  std::uint64_t digit = ~word & at_least_0 & ~above_9 & kHigh;
  // One bit a byte, byte i's as bit i.
  return static_cast<unsigned>((((digit ^ kHigh) >> 7) * 0x0102040810204080) >> 56);
}

// Bit i set where byte i of the sixteen at `p` is not a digit, and bit 16,
// so that there is always a first: a number and its decimals in one look.
inline constexpr unsigned kPastSixteen = 1u << 16;
inline unsigned not_digits_16_by_words(const char* p) {
  return not_digit_bits(load8(p)) | not_digit_bits(load8(p + 8)) << 8 | kPastSixteen;
}
// The same with SSE2, where there is: its compare is signed, so digits are
// moved to the bottom of the signed range first ('0' + 0x80 - '0' is -128,
// '9' becomes -119, below -118 = 0x80 + 10 as a signed byte). A build
// with STRATUMIX_WORD_SCAN takes the words instead, for its tests.
inline unsigned not_digits_16(const char* p) {
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(STRATUMIX_WORD_SCAN)
  __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i moved = _mm_add_epi8(text, _mm_set1_epi8(static_cast<char>(0x80 - '0')));
  __m128i digits = _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(0x80 + 10)));
  return (~static_cast<unsigned>(_mm_movemask_epi8(digits)) & 0xffff) | kPastSixteen;
#else
  return not_digits_16_by_words(p);
#endif
}

// The first CR or LF in [p, end), or end: sixteen bytes a look with SSE2
// where there is (lines of point text are tens of bytes, too short for two
// memchr calls a line to pay), a byte at a time otherwise.
inline const char* find_line_end(const char* p, const char* end) {
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(STRATUMIX_WORD_SCAN)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; end - p >= 16; p += 16) {
    __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    auto ends = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(text, cr), _mm_cmpeq_epi8(text, lf))));
    if (ends != 0) return p + std::countr_zero(ends);
  }
#endif
  while (p != end && *p != '\r' && *p != '\n') ++p;
  return p;
}

// The value of the first `count` (at most 8) digits of `word`, in three
// steps that each join neighbours: bytes into pairs (a * 10 + b, the
// multiply by 10 and the shift by 8 adding each byte to ten times the one
// before), pairs into fours and fours into eight, the last two steps at
// once: 0x000f424000000064 is 10^6 << 32 | 100 and 0x0000271000000001 is
// 10^4 << 32 | 1, so the top half of the sum is p1 * 10^6 + p2 * 10^4 +
// p3 * 100 + p4 for the pairs p1 to p4.
inline std::uint64_t digits_value(std::uint64_t word, int count) {
  if (count == 0) return 0;
  // Keep the digits as the low end of an eight-digit number: leading zeros.
  word = (word - kZeros) << (8 * (8 - count));
  word = word * 10 + (word >> 8);
  return (((word & 0x000000ff000000ff) * 0x000f424000000064) +
          (((word >> 16) & 0x000000ff000000ff) * 0x0000271000000001)) >>
         32;
}

}  // namespace bytes

#endif  // STRATUMIX_NUM_BYTES_H_
