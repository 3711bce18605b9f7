#include "write/xyz_text.h"

#include <algorithm>

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

bool find_line(std::string_view text, std::size_t from, const Format& format, std::size_t& end,
               std::size_t& next) {
  std::string_view ending = format.crlf ? "\r\n" : "\n";
  end = text.find(ending, from);
  if (end == std::string_view::npos) return false;
  next = end + ending.size();
  return true;
}

bool read_point(const char* first, const char* last, const int (&at)[3], double (&xyz)[3]) {
  int read = 0;
  const char* field = first;
  for (int column = 0;; ++column) {
    const char* gap = std::find(field, last, ' ');
    for (int axis = 0; axis < 3; ++axis) {
      if (at[axis] != column) continue;
      number::Parsed parsed = number::parse_token(field, gap);
      if (!parsed.ok || field == last) return false;
      xyz[axis] = parsed.value;
      ++read;
    }
    if (read == 3) return true;
    if (gap == last) return false;
    field = gap + 1;
  }
}

double as_written(double value, const Format& format) {
  char text[number::max_fixed_length(number::kMostDecimals)];
  char* end = number::format_fixed(value, format.decimals, text);
  number::Parsed parsed = number::parse_token(text, end);
  return parsed.ok ? parsed.value : value;
}

}  // namespace xyz
