#include "read/detect.h"

#include <utility>

#include "io/peeked_source.h"
#include "io/read_ahead.h"
#include "platform/platform.h"
#include "read/gzip/gzip_source.h"
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
                           ReadingThread* thread, const With&... with)
      : checked_at_end_(checked_at_end),
        ahead_(std::move(source), kIoBlockSize, ReadAhead::kDefaultFront, ReadAhead::kDefaultBack,
               thread),
        reader_(ahead_, with...) {}

  std::int64_t copy_points(PointSink& sink, Extents& extents, std::int64_t count) override {
    return reader_.copy_points(sink, extents, count);
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
  std::int64_t copy_points(PointSink& /*sink*/, Extents& /*extents*/,
                           std::int64_t /*count*/) override {
    return 0;
  }
  const std::string& problem() const override { return refusal_; }
  std::int64_t points() const override { return 0; }

 private:
  std::string refusal_;
};

}  // namespace

InputForm input_form(std::string_view first) {
  if (first.starts_with("\x1f\x8b")) return InputForm::kGzip;
  if (first.starts_with("LASF")) return InputForm::kLas;
  return InputForm::kText;
}

std::string refusal_of_other_text(std::string_view start, bool whole_file) {
  if (start.starts_with("PK\x03\x04"))
    return "a zip archive, not a list of points: unpack it and paste the files inside";
  if (start.starts_with("\xff\xfe") || start.starts_with("\xfe\xff")) {
    return "UTF-16 text (as Excel saves \"Unicode Text\"), which is not read: save it as CSV or "
           "as UTF-8 text";
  }
  if (layout::begins_as_ptx(start, whole_file)) {
    return "a PTX scan (scanner position and transform before its points), not a list of "
           "points: export it as XYZ or PTS with the transform applied";
  }
  if (layout::begins_as_ascii_grid(start, whole_file)) {
    return "an Esri ASCII grid (ncols, nrows, ...), not a list of points: turn it into points "
           "first, as gdal_translate -of XYZ does";
  }
  return "";
}

std::unique_ptr<PointInput> open_points(std::unique_ptr<ByteSource> plain,
                                        const std::string& /*path*/, const std::string& shown,
                                        const layout::Options& options, Axes axes,
                                        ReadingThread* thread, const QuickText* quick) {
  auto peeked = std::make_unique<PeekedSource>(std::move(plain));
  InputForm form = input_form(peeked->first());
  if (form == InputForm::kLas)
    return std::make_unique<ReadAheadPoints<LasReader>>(false, std::move(peeked), thread, axes);
  const bool gzip = form == InputForm::kGzip;
  if (gzip) {
    peeked =
        std::make_unique<PeekedSource>(std::make_unique<GzipSource>(std::move(peeked), shown), 0);
  }
  // The text's first lines tell its layout.
  peeked->look_further(layout::kLookedAt, layout::kLinesLookedAt);
  if (!options.stream) {
    std::string refusal = refusal_of_other_text(peeked->first(), peeked->ended());
    if (!refusal.empty()) return std::make_unique<RefusedInput>(refusal);
  }
  layout::Layout found = layout::detect(peeked->first(), peeked->ended(), options);
  switch (found.kind) {
    case layout::Kind::kPlainStream:
      peeked->pass_over(found.data_start);
      break;
    case layout::Kind::kFields:
      return std::make_unique<ReadAheadPoints<FieldReader>>(gzip, std::move(peeked), thread, found,
                                                            kIoBlockSize, true, axes);
    case layout::Kind::kRefused:
      return std::make_unique<RefusedInput>(found.refusal);
  }
  return std::make_unique<ReadAheadPoints<PointReader>>(gzip, std::move(peeked), thread,
                                                        kIoBlockSize, axes, quick);
}
