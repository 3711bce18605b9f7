#include "read/inputs.h"

#include <utility>

#include "io/read_ahead.h"
#include "platform/platform.h"
#include "read/gzip/gzip_source.h"
#include "read/input_form.h"
#include "read/las/las_reader.h"
#include "read/text/fields.h"
#include "read/text/points.h"

namespace {

// A reader of points (the text reader, the LAS reader) over its input's
// bytes read ahead; the reader goes first, as it uses the read-ahead until
// its last call.
template <typename Reader>
class ReadAheadPoints : public PointInput {
 public:
  template <typename... With>
  explicit ReadAheadPoints(bool checked_at_end, std::unique_ptr<ByteSource> source,
                           const With&... with)
      : checked_at_end_(checked_at_end), ahead_(std::move(source)), reader_(ahead_, with...) {}

  std::int64_t copy_points(OutputFile& file, Extents& extents, std::int64_t count) override {
    return reader_.copy_points(file, extents, count);
  }
  const std::string& problem() const override { return reader_.problem(); }
  std::string note() const override { return reader_.note(); }
  std::int64_t points() const override { return reader_.points(); }
  LinearUnit unit() const override { return reader_.unit(); }
  void check_rest() override {
    if (!checked_at_end_) return;
    std::unique_ptr<char[]> scrap(new char[kIoBlockSize]);
    while (platform::interruption() == 0 && ahead_.read(scrap.get(), kIoBlockSize) != 0) {
    }
  }

 private:
  bool checked_at_end_;  // gzip data, whose check follows its text
  ReadAhead ahead_;
  Reader reader_;
};

// A file that is no point list the program reads: nothing of it is pasted.
class RefusedInput : public PointInput {
 public:
  explicit RefusedInput(std::string refusal) : refusal_(std::move(refusal)) {}
  std::int64_t copy_points(OutputFile& /*file*/, Extents& /*extents*/,
                           std::int64_t /*count*/) override {
    return 0;
  }
  const std::string& problem() const override { return refusal_; }
  std::int64_t points() const override { return 0; }

 private:
  std::string refusal_;
};

}  // namespace

std::unique_ptr<PointInput> open_points(std::unique_ptr<ByteSource> plain,
                                        const std::string& /*path*/, const std::string& shown,
                                        const layout::Options& options, Axes axes) {
  auto peeked = std::make_unique<PeekedSource>(std::move(plain));
  InputForm form = input_form(peeked->first());
  if (form == InputForm::kLas)
    return std::make_unique<ReadAheadPoints<LasReader>>(false, std::move(peeked), axes);
  const bool gzip = form == InputForm::kGzip;
  if (gzip) {
    peeked =
        std::make_unique<PeekedSource>(std::make_unique<GzipSource>(std::move(peeked), shown), 0);
  }
  // The text's first lines tell its layout.
  peeked->look_further(layout::kLookedAt, layout::kLinesLookedAt);
  layout::Layout found = layout::detect(peeked->first(), peeked->ended(), options);
  switch (found.kind) {
    case layout::Kind::kPlainStream:
      peeked->pass_over(found.data_start);
      break;
    case layout::Kind::kFields:
      return std::make_unique<ReadAheadPoints<FieldReader>>(gzip, std::move(peeked), found,
                                                            kIoBlockSize, true, axes);
    case layout::Kind::kRefused:
      return std::make_unique<RefusedInput>(found.refusal);
  }
  return std::make_unique<ReadAheadPoints<PointReader>>(gzip, std::move(peeked), kIoBlockSize,
                                                        axes);
}
