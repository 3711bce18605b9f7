#include "inputs.h"

#include <utility>

#include "points.h"
#include "read_ahead.h"

namespace {

// A text of points, its bytes read ahead; the reader goes first, as it
// uses the read-ahead until its last call.
class TextPoints : public PointInput {
 public:
  explicit TextPoints(std::unique_ptr<ByteSource> source)
      : ahead_(std::move(source)), reader_(ahead_) {}

  std::int64_t copy_points(OutputFile& file, Extent& x, Extent& y, std::int64_t count) override {
    return reader_.copy_points(file, x, y, count);
  }
  const std::string& problem() const override { return reader_.problem(); }

 private:
  ReadAhead ahead_;
  PointReader reader_;
};

}  // namespace

std::unique_ptr<PointInput> open_points(std::unique_ptr<ByteSource> source) {
  return std::make_unique<TextPoints>(std::move(source));
}
