// The quick loops with the texts of other numbers of decimals, up to seven.
#include "write/xyz_quick.h"

namespace {

using xyz::FewDecimals;

// One for each number of decimals up to seven; six has its own.
template <bool kCrlf>
struct FewDecimalTexts {
  QuickTextOf<FewDecimals<kCrlf>> of[FewDecimals<kCrlf>::kMost + 1] = {
      QuickTextOf<FewDecimals<kCrlf>>({0}), QuickTextOf<FewDecimals<kCrlf>>({1}),
      QuickTextOf<FewDecimals<kCrlf>>({2}), QuickTextOf<FewDecimals<kCrlf>>({3}),
      QuickTextOf<FewDecimals<kCrlf>>({4}), QuickTextOf<FewDecimals<kCrlf>>({5}),
      QuickTextOf<FewDecimals<kCrlf>>({6}), QuickTextOf<FewDecimals<kCrlf>>({7})};
};
const FewDecimalTexts<true> kFewCrlf;
const FewDecimalTexts<false> kFewLf;

}  // namespace

const QuickText* few_decimal_text(int decimals, bool crlf) {
  if (decimals < 0 || decimals > FewDecimals<true>::kMost) return nullptr;
  const auto index = static_cast<std::size_t>(decimals);
  return crlf ? static_cast<const QuickText*>(&kFewCrlf.of[index]) : &kFewLf.of[index];
}
