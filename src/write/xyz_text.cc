#include "write/xyz_text.h"

namespace xyz {

std::size_t six_decimal_text(const char* first, const char* last, char* out) {
  using Text = SixDecimals<true>;
  constexpr std::ptrdiff_t kLongestCopied = 40;
  if (last - first > kLongestCopied) return 0;
  // White space after the token, and the slack behind it.
  char padded[kLongestCopied + 1 + kTextSlack] = {};
  std::memcpy(padded, first, static_cast<std::size_t>(last - first));
  padded[last - first] = ' ';
  char text[Text::kLongestDecimal + 8];
  char* o = text;
  Decimal decimal;
  if (Text::copy_decimal(padded, o, decimal) != padded + (last - first)) return 0;
  auto length = static_cast<std::size_t>(o - text);
  std::memcpy(out, text, length);
  return length;
}

}  // namespace xyz
