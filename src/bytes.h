// Byte-level helpers shared by the readers of text: classes of bytes, and
// digits taken eight at a time.
#ifndef STRATUMIX_BYTES_H_
#define STRATUMIX_BYTES_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace bytes {

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

inline constexpr double kPowersOf10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr std::uint64_t kIntPowersOf10[] = {1,
                                                   10,
                                                   100,
                                                   1000,
                                                   10000,
                                                   100000,
                                                   1000000,
                                                   10000000,
                                                   100000000,
                                                   1000000000,
                                                   10000000000,
                                                   100000000000,
                                                   1000000000000,
                                                   10000000000000,
                                                   100000000000000,
                                                   1000000000000000,
                                                   10000000000000000,
                                                   100000000000000000,
                                                   1000000000000000000};

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
// not. Each byte less '0' is a digit's value when below 10: the high bit of
// that difference, or of it plus 0x76, marks any other byte. (Borrows and
// carries between bytes start only at or after the first non-digit.)
inline int leading_digits(std::uint64_t word) {
  std::uint64_t value = word - kZeros;
  std::uint64_t not_digit = ((value + 0x7676767676767676) | value) & 0x8080808080808080;
  return std::countr_zero(not_digit) / 8;  // 8 for none: countr_zero(0) is 64
}

// Bit i set where byte i of the eight in `word` (as load8 gives them) is
// not a digit. Unlike leading_digits, right after the first such byte too:
// each byte is compared on its own, its high bit kept out of the way of
// borrows and carries.
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
// moved to the bottom of the signed range first.
inline unsigned not_digits_16(const char* p) {
#if defined(__SSE2__) || defined(_M_X64)
  __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i moved = _mm_add_epi8(text, _mm_set1_epi8(static_cast<char>(0x80 - '0')));
  __m128i digits = _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(0x80 + 10)));
  return (~static_cast<unsigned>(_mm_movemask_epi8(digits)) & 0xffff) | kPastSixteen;
#else
  return not_digits_16_by_words(p);
#endif
}

// The value of the first `count` (at most 8) digits of `word`.
inline std::uint64_t digits_value(std::uint64_t word, int count) {
  if (count == 0) return 0;
  // Keep the digits as the low end of an eight-digit number: leading zeros.
  word = (word - kZeros) << (8 * (8 - count));
  word = word * 10 + (word >> 8);
  return (((word & 0x000000ff000000ff) * 0x000f424000000064) +
          (((word >> 16) & 0x000000ff000000ff) * 0x0000271000000001)) >>
         32;
}

// The digits of an integer below 10^8, with no leading zero (but "0"), as
// load8_first_high reads them in text: one word that orders such integers
// as their values. Comparing it to the text's own word spares turning the
// text into a number.
inline std::int64_t digits_key(std::uint32_t value) {
  std::uint64_t key = static_cast<unsigned char>('0' + value % 10);
  for (int shift = 8; value >= 10; shift += 8) {
    value /= 10;
    key |= static_cast<std::uint64_t>('0' + value % 10) << shift;
  }
  return static_cast<std::int64_t>(key);
}

// Whether the byte at `p` ends a line: a LF, or a CR but for the CR of a
// CR LF pair (old Mac files end their lines with a lone CR). Looks at the
// byte after `p`.
inline bool ends_line(const char* p) { return *p == '\n' || (*p == '\r' && p[1] != '\n'); }

// The number of line ends in [first, last), for messages only; looks at
// the byte at `last`.
inline std::int64_t count_line_ends(const char* first, const char* last) {
  std::int64_t count = 0;
  for (; first != last; ++first) count += ends_line(first);
  return count;
}

}  // namespace bytes

#endif  // STRATUMIX_BYTES_H_
