// The points of an ASPRS LAS file, written as the points of text are: the
// program's own reader, for no LAS library comes with the systems it is
// built on.
#ifndef STRATUMIX_LAS_READER_H_
#define STRATUMIX_LAS_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disk.h"
#include "extent.h"
#include "las_header.h"
#include "output_file.h"
#include "point_input.h"

// Reads the header, passes over what lies between it and the points (the
// variable-length records), then the records, in large blocks, each as
// "%f %f %f" of X * scale + offset, Y and Z alike, in double precision.
// Anything past the header's count of points (extended records) is left.
class LasReader : public PointInput {
 public:
  explicit LasReader(ByteSource& source, std::size_t buffer_size = kIoBlockSize);

  std::int64_t copy_points(OutputFile& file, Extent& x, Extent& y, std::int64_t count) override;

  // An inconsistent header, refused before any point, or a file that ends
  // before its last point.
  const std::string& problem() const override { return problem_; }
  std::int64_t points() const override { return pasted_; }

 private:
  bool start();
  // Makes at least `needed` bytes lie at position_, reading on; false when
  // the file ends first.
  bool fill(std::size_t needed);
  void write_records(OutputFile& file, Extent& x, Extent& y, std::int64_t count);

  ByteSource& source_;
  std::vector<unsigned char> buffer_;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  std::uint64_t bytes_read_ = 0;
  bool started_ = false;
  las::Header header_;
  std::uint64_t points_left_ = 0;
  std::int64_t pasted_ = 0;
  std::string problem_;
};

#endif  // STRATUMIX_LAS_READER_H_
