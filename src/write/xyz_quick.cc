// The quick loops with the six-decimal text, the default.
#include "write/xyz_quick.h"

#include "write/xyz_writer.h"

namespace {

using xyz::SixDecimals;

const QuickTextOf<SixDecimals<true>> kSixCrlf{{}};
const QuickTextOf<SixDecimals<false>> kSixLf{{}};

}  // namespace

const QuickText* XyzWriter::quick_text_of(xyz::Format format) {
  if (format.decimals == xyz::Format::kDefaultDecimals)
    return format.crlf ? static_cast<const QuickText*>(&kSixCrlf) : &kSixLf;
  return few_decimal_text(format.decimals, format.crlf);
}
