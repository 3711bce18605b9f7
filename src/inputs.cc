#include "inputs.h"

#include <utility>

#include "gzip_source.h"
#include "input_form.h"
#include "las_header.h"
#include "las_reader.h"
#include "points.h"
#include "read_ahead.h"

namespace {

// A reader of points (the text reader, the LAS reader) over its input's
// bytes read ahead; the reader goes first, as it uses the read-ahead until
// its last call.
template <typename Reader>
class ReadAheadPoints : public PointInput {
 public:
  explicit ReadAheadPoints(std::unique_ptr<ByteSource> source)
      : ahead_(std::move(source)), reader_(ahead_) {}

  std::int64_t copy_points(OutputFile& file, Extent& x, Extent& y, std::int64_t count) override {
    return reader_.copy_points(file, x, y, count);
  }
  const std::string& problem() const override { return reader_.problem(); }
  std::int64_t points() const override { return reader_.points(); }

 private:
  ReadAhead ahead_;
  Reader reader_;
};

// A LAZ file: nothing of it is pasted.
class RefusedInput : public PointInput {
 public:
  std::int64_t copy_points(OutputFile& /*file*/, Extent& /*x*/, Extent& /*y*/,
                           std::int64_t /*count*/) override {
    return 0;
  }
  const std::string& problem() const override { return refusal_; }
  std::int64_t points() const override { return 0; }

 private:
  std::string refusal_ = las::kCompressedRefusal;
};

}  // namespace

std::unique_ptr<PointInput> open_points(std::unique_ptr<ByteSource> plain, const std::string& path,
                                        const std::string& shown) {
  if (has_laz_name(path)) return std::make_unique<RefusedInput>();
  auto peeked = std::make_unique<PeekedSource>(std::move(plain));
  InputForm form = input_form(peeked->first());
  std::unique_ptr<ByteSource> source = std::move(peeked);
  if (form == InputForm::kGzip) source = std::make_unique<GzipSource>(std::move(source), shown);
  if (form == InputForm::kLas)
    return std::make_unique<ReadAheadPoints<LasReader>>(std::move(source));
  return std::make_unique<ReadAheadPoints<PointReader>>(std::move(source));
}
