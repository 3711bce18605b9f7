// The readers' quick loops (run_loop.h, field_lines.h) with a text of the
// writer's as their `Out`: a QuickText for each text. Each text's loops are
// instantiated in a file of their own (xyz_quick.cc, xyz_quick_few.cc), so
// that the compiler inlines within each as it would in a small file.
#ifndef STRATUMIX_WRITE_XYZ_QUICK_H_
#define STRATUMIX_WRITE_XYZ_QUICK_H_

#include "read/point_sink.h"
#include "read/text/field_lines.h"
#include "read/text/run_loop.h"
#include "write/xyz_text.h"

template <class Text>
class QuickTextOf final : public QuickText {
 public:
  explicit constexpr QuickTextOf(Text text) : text_(text) {}

  std::size_t line_room() const override { return text_.line_room(); }

  void copy_run(Run& run, const char* stop, const char* text_end, std::int64_t count,
                Extents& extents, Axes axes) const override {
    ::copy_run(text_, run, stop, text_end, count, extents, axes);
  }
  // In xyz_quick_boxed.cc.
  void copy_boxed_run(Run& run, const char* stop, const char* text_end, std::int64_t count,
                      Extents& extents, Axes axes) const override;

  std::int64_t copy_lines(const field_lines::Scan& scan, bool white, Axes axes, char*& line,
                          char*& out, const char* whole, std::int64_t count, Extents& extents,
                          std::int64_t& line_number) const override {
    using field_lines::copy_lines;
    if (axes == Axes::kXYZ) {
      return white ? copy_lines<Text, true, Axes::kXYZ>(text_, scan, line, out, whole, count,
                                                        extents, line_number)
                   : copy_lines<Text, false, Axes::kXYZ>(text_, scan, line, out, whole, count,
                                                         extents, line_number);
    }
    return white ? copy_lines<Text, true, Axes::kXY>(text_, scan, line, out, whole, count, extents,
                                                     line_number)
                 : copy_lines<Text, false, Axes::kXY>(text_, scan, line, out, whole, count, extents,
                                                      line_number);
  }

 private:
  Text text_;
};

// The quick ways of fewer decimals than six, or seven (FewDecimals), or
// null for more.
const QuickText* few_decimal_text(int decimals, bool crlf);

#endif  // STRATUMIX_WRITE_XYZ_QUICK_H_
