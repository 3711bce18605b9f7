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
// bytes from `source`, a ReadAhead or the plain source; the reader goes
// first, as it uses the source until its last call.
template <typename Reader, typename Source>
class ReaderOver : public PointInput {
 public:
  template <typename... With>
  explicit ReaderOver(bool checked_at_end, std::unique_ptr<Source> source, const With&... with)
      : checked_at_end_(checked_at_end), source_(std::move(source)), reader_(*source_, with...) {}

  std::int64_t copy_points(PointSink& sink, Extents& extents, std::int64_t count) override {
    return reader_.copy_points(sink, extents, count);
  }
  const std::string& problem() const override { return reader_.problem(); }
  bool problem_at_end() const override { return reader_.problem_at_end(); }
  std::string note() const override { return reader_.note(); }
  std::int64_t points() const override { return reader_.points(); }
  LinearUnit unit() const override { return reader_.unit(); }
  const las::Crs& crs() const override { return reader_.crs(); }
  point::Schema schema() const override { return reader_.schema(); }
  void want(const point::Wanted& wanted) override { reader_.want(wanted); }
  void check_rest() override {
    if (!checked_at_end_) return;
    std::unique_ptr<char[]> scrap(new char[kIoBlockSize]);
    while (platform::interruption() == 0 && source_->read(scrap.get(), kIoBlockSize) != 0) {
    }
  }

 private:
  bool checked_at_end_;  // gzip data, whose check follows its text
  std::unique_ptr<Source> source_;
  Reader reader_;
};

// `Reader` over `source`, read in place or ahead, with `with` after the
// source for the reader; `checked_at_end` as ReaderOver's.
template <typename Reader, typename... With>
std::unique_ptr<PointInput> in_place(bool checked_at_end, std::unique_ptr<ByteSource> source,
                                     const With&... with) {
  return std::make_unique<ReaderOver<Reader, ByteSource>>(checked_at_end, std::move(source),
                                                          with...);
}
template <typename Reader, typename... With>
std::unique_ptr<PointInput> ahead(bool checked_at_end, std::unique_ptr<ByteSource> source,
                                  const With&... with) {
  return std::make_unique<ReaderOver<Reader, ReadAhead>>(
      checked_at_end, std::make_unique<ReadAhead>(std::move(source)), with...);
}

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
  // Only in gzip is it read as text.
  if (start.starts_with("LASF")) {
    return "a LAS or LAZ file in gzip, which is not read: unpack it (gunzip) and paste the file "
           "inside";
  }
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
                                        const layout::Options& options, Axes axes, Reading reading,
                                        const QuickText* quick) {
  auto peeked = std::make_unique<PeekedSource>(std::move(plain));
  InputForm form = input_form(peeked->first());
  const bool own_thread = reading == Reading::kAhead;
  if (form == InputForm::kLas) {
    return own_thread ? ahead<LasReader>(false, std::move(peeked), axes)
                      : in_place<LasReader>(false, std::move(peeked), kIoBlockSize, axes);
  }
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
      return own_thread
                 ? ahead<FieldReader>(gzip, std::move(peeked), found, kIoBlockSize, true, axes)
                 : in_place<FieldReader>(gzip, std::move(peeked), found, kIoBlockSize, true, axes);
    case layout::Kind::kRefused:
      return std::make_unique<RefusedInput>(found.refusal);
  }
  // Read in place, the quick way has no reading thread to share it with.
  return own_thread ? ahead<PointReader>(gzip, std::move(peeked), kIoBlockSize, axes, quick)
                    : in_place<PointReader>(gzip, std::move(peeked), kIoBlockSize, axes);
}
