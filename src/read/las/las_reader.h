// The points of an ASPRS LAS file, written as the points of text are: the
// program's own reader, for no LAS library comes with the systems it is
// built on.
#ifndef STRATUMIX_READ_LAS_LAS_READER_H_
#define STRATUMIX_READ_LAS_LAS_READER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "io/disk.h"
#include "io/input_buffer.h"
#include "io/read_ahead.h"
#include "num/extent.h"
#include "point/las_record.h"
#include "point/point.h"
#include "read/las/las_crs.h"
#include "read/las/las_header.h"
#include "read/las/las_units.h"
#include "read/laz/arithmetic_decoder.h"
#include "read/laz/laszip_vlr.h"
#include "read/laz/layers.h"
#include "read/point_input.h"
#include "read/point_sink.h"

namespace laz {
class LazPoints;
}

// Reads the header, passes over what lies between it and the points (the
// variable-length records), then the records, in large blocks, given to
// the sink as they lie, with the header's scales and offsets. Anything
// past the header's count of points (extended records) is left. A
// compressed file (LAZ) is decoded on the way, to the same records.
class LasReader : public PointInput, private laz::Refill {
 public:
  // Keeps the extents of `axes`.
  explicit LasReader(ByteSource& source, std::size_t buffer_size = kIoBlockSize,
                     Axes axes = Axes::kXYZ);
  // Takes the read-ahead's blocks over whole, instead of copying them.
  explicit LasReader(ReadAhead& ahead, Axes axes = Axes::kXYZ);

  ~LasReader() override;
  std::int64_t copy_points(PointSink& sink, Extents& extents, std::int64_t count) override;

  // An inconsistent header, refused before any point, or a file that ends
  // before its last point; for LAZ, a record or item not read, or a chunk
  // found damaged.
  const std::string& problem() const override { return problem_; }
  // A LAZ stream found damaged only at its end, all its points given.
  bool problem_at_end() const override { return problem_at_end_; }
  // Damage that cost no point: to a LAZ file, or to the records of its
  // reference system.
  std::string note() const override;
  std::int64_t points() const override { return pasted_; }
  LinearUnit unit() const override { return unit_; }
  // The reference system its records state: known once the first points
  // are asked for.
  const las::Crs& crs() const override { return crs_; }
  // The format's dimensions and the extra bytes the file describes: known
  // once the first points are asked for.
  point::Schema schema() const override;
  // What the job writes or tests of each point (X, Y, Z alone unless set):
  // LAZ points are decoded that far.
  void want(const point::Wanted& wanted) override;
  // The threads that decode a LAZ file's chunks: one a core unless set.
  void set_laz_workers(unsigned workers) { laz_workers_ = workers; }
  // What of a LAZ file's points is decoded (laz/layers.h), set before the
  // first points: X, Y and Z alone unless set, as records of 12 bytes;
  // with any other field, whole records of the header's length.
  void set_laz_layers(laz::Layers layers) { laz_layers_ = layers; }

 private:
  // The machine's cores, asked of the system once: a job of thousands of
  // tiles makes a reader for each.
  static unsigned cores();

  bool start();
  // Makes at least `needed` bytes lie at position_, reading on; false when
  // the file ends first.
  bool fill(std::size_t needed);
  // The LASzip record, from the records before the points (`records`,
  // `size` bytes, past the header); false when the file is refused.
  bool start_laz(const unsigned char* records, std::size_t size);
  std::int64_t copy_laz_points(PointSink& sink, Extents& extents, std::int64_t count);
  // The bytes read and not yet taken, for the LAZ decoder.
  bool more(const unsigned char*& next, const unsigned char*& end) override;

  ByteSource& source_;
  // The file's bytes where they stay in memory to the job's end, if they
  // do: its records are handed on from there.
  std::string_view lasting_;
  Axes measured_;  // the axes whose extents are kept
  // Over a read-ahead, its blocks taken whole.
  InputBuffer buffer_;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  std::uint64_t bytes_read_ = 0;
  bool started_ = false;
  las::Header header_;
  std::uint64_t points_left_ = 0;
  std::int64_t pasted_ = 0;
  std::string problem_;
  bool problem_at_end_ = false;
  std::string note_;
  std::string crs_note_;
  std::string extra_note_;  // extra bytes whose scale or offset is not applied
  LinearUnit unit_ = LinearUnit::kUnknown;
  las::Crs crs_;
  // The records as they lie in the file, and as LAZ points are decoded.
  point::RecordLayout layout_ = point::RecordLayout::coordinates_only();
  point::RecordLayout laz_layout_;
  laz::Laszip laszip_;
  std::unique_ptr<laz::LazPoints> laz_;
  unsigned laz_workers_ = cores();
  laz::Layers laz_layers_ = laz::kXyzOnly;
};

#endif  // STRATUMIX_READ_LAS_LAS_READER_H_
