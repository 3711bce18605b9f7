// The writer of the result's text (xyz_text.h): what every reader gives its
// points to, whatever its input's form.
#ifndef STRATUMIX_WRITE_XYZ_WRITER_H_
#define STRATUMIX_WRITE_XYZ_WRITER_H_

#include <cstdint>
#include <memory>
#include <optional>

#include "io/output_file.h"
#include "num/extent.h"
#include "read/point_sink.h"
#include "write/record_decimals.h"
#include "write/xyz_text.h"

// The plain result's pass-through: the quick ways write the input's own
// numbers straight into its file.
class TextPassThrough : public PassThrough {
 public:
  TextPassThrough(OutputFile& file, const QuickText& quick) : file_(file), quick_(quick) {}
  const QuickText& text() const override { return quick_; }
  void pass_runs(Run& run, const char* stop, const char* text_end, std::int64_t count,
                 Extents& extents, Axes axes) override;
  std::int64_t pass_lines(const field_lines::Scan& scan, bool white, Axes axes, char*& line,
                          const char* whole, std::int64_t count, Extents& extents,
                          std::int64_t& line_number) override;
  void pass_block(std::unique_ptr<char[]>& block, std::size_t size, std::size_t room) override {
    file_.write_block(block, size, room);
  }

 private:
  OutputFile& file_;
  const QuickText& quick_;
};

class XyzWriter : public PointSink {
 public:
  XyzWriter(OutputFile& file, xyz::Format format);

  void point(const Point& point, Extents& extents, Axes measured) override;
  void records(const ScaledRecords& records, Extents& extents, Axes measured) override;
  PassThrough* pass_through() override { return pass_ ? &*pass_ : nullptr; }

  // The quick ways for `format`: none but for six decimals, whose text
  // plain decimals are made into from their digits alone.
  static const QuickText* quick_text_of(xyz::Format format);

 private:
  // How LAS records of one scale and offset are written: from their
  // integers as they are where that gives the text of their values
  // (record_decimals.h), else from their values.
  using RecordText = record_decimals::RecordText;
  template <bool kCrlf>
  void write_six_decimals(const ScaledRecords& records, Extents& extents, Axes measured);
  template <bool kCrlf>
  void write_records(const ScaledRecords& records, Extents& extents, Axes measured);
  template <bool kCrlf, int kDecimals, Axes kAxes>
  void write_decimal_records(const ScaledRecords& records, Extents& extents);
  void write_records_in(const ScaledRecords& records, Extents& extents, Axes measured);

  OutputFile& file_;
  xyz::Format format_;
  std::optional<TextPassThrough> pass_;
  RecordText record_text_;
};

#endif  // STRATUMIX_WRITE_XYZ_WRITER_H_
