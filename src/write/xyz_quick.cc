// The readers' quick loops, instantiated with the result's six-decimal
// text: the only place they meet.
#include "read/text/field_lines.h"
#include "read/text/run_loop.h"
#include "write/xyz_text.h"
#include "write/xyz_writer.h"

namespace {

template <bool kCrlf>
class SixDecimalText final : public QuickText {
  using Out = xyz::SixDecimals<kCrlf>;

 public:
  std::size_t line_room() const override { return Out::kLineRoom; }

  void copy_run(Run& run, const char* stop, const char* text_end, std::int64_t count,
                Extents& extents, Axes axes) const override {
    ::copy_run<Out>(run, stop, text_end, count, extents, axes);
  }

  std::int64_t copy_lines(const field_lines::Scan& scan, bool white, Axes axes, char*& line,
                          char*& out, const char* whole, std::int64_t count, Extents& extents,
                          std::int64_t& line_number) const override {
    using field_lines::copy_lines;
    if (axes == Axes::kXYZ) {
      return white ? copy_lines<Out, true, Axes::kXYZ>(scan, line, out, whole, count, extents,
                                                        line_number)
                   : copy_lines<Out, false, Axes::kXYZ>(scan, line, out, whole, count, extents,
                                                         line_number);
    }
    return white ? copy_lines<Out, true, Axes::kXY>(scan, line, out, whole, count, extents,
                                                     line_number)
                 : copy_lines<Out, false, Axes::kXY>(scan, line, out, whole, count, extents,
                                                      line_number);
  }
};

const SixDecimalText<true> kCrlfText;
const SixDecimalText<false> kLfText;

}  // namespace

const QuickText* XyzWriter::quick_text_of(xyz::Format format) {
  if (format.decimals != xyz::Format::kDefaultDecimals) return nullptr;
  return format.crlf ? static_cast<const QuickText*>(&kCrlfText) : &kLfText;
}
