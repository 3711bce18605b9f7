// Point files of one point a line, in fields: comma-separated lists, lines
// of X Y Z and colours or intensities, spreadsheets' decimal commas. A
// line's fields are split at the separator its layout found, X Y Z are
// taken from their fields, the attributes the layout names from theirs
// where a job wants them, and the others dropped.
#ifndef STRATUMIX_READ_TEXT_FIELDS_H_
#define STRATUMIX_READ_TEXT_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "io/disk.h"
#include "io/input_buffer.h"
#include "num/extent.h"
#include "num/number.h"
#include "point/point.h"
#include "read/point_input.h"
#include "read/point_sink.h"
#include "read/text/field_lines.h"
#include "read/text/layout.h"

class FieldReader : public PointInput {
 public:
  // Reads `source` from its first byte, passing over what the layout
  // skips. Without `quickly`, every line takes the general way, as the
  // fuzz target compares. `wanted` as want() takes it.
  FieldReader(ByteSource& source, const layout::Layout& layout,
              std::size_t buffer_size = kIoBlockSize, bool quickly = true, Axes axes = Axes::kXYZ,
              const point::Wanted& wanted = {});

  // What the job wants of each point, before the first copy_points(): of
  // the attributes the layout names, those wanted are read from every
  // line and given with each point (Point::attributes). X, Y and Z alone
  // keep the quick way; anything more takes the general way, and a line
  // whose wanted field is empty or no number stops the reading, as one of
  // X, Y or Z does.
  void want(const point::Wanted& wanted) override;

  std::int64_t copy_points(PointSink& sink, Extents& extents, std::int64_t count) override;
  const std::string& problem() const override { return problem_; }
  std::string note() const override;
  // X, Y and Z, and what the layout names beside them.
  point::Schema schema() const override;

  std::int64_t points() const override { return points_; }

 private:
  enum class Line { kPoint, kBlank, kStopped };
  bool refill();
  void take_read(std::size_t got);
  void find_whole_lines();
  Line copy_line(char*& line, PointSink& sink, Extents& extents);
  const char* line_end(const char* p) const;
  void set_problem(const std::string& what);
  bool read_number(const layout::Field& field, std::string& token, number::Parsed& parsed) const;
  bool read_attributes();

  layout::Layout layout_;
  // The quick way is taken where X, Y, Z are fields that come in that
  // order, unless the caller asks for the general way alone.
  bool quickly_;
  bool may_be_quick_;  // as the layout and the caller allow
  Axes measured_;      // the axes whose extents are kept
  // What each byte is to the quick way (field_lines.h), and what else it
  // needs of the layout.
  unsigned char classes_[256] = {};
  int want_[3] = {};  // the fields of X, Y, Z
  field_lines::Scan scan_;

  // What was read, then a NUL and zeros that the quick way may read into.
  InputBuffer buffer_;
  std::size_t position_ = 0;
  std::size_t whole_ = 0;  // the end of the last whole line read
  std::size_t end_ = 0;
  std::size_t to_skip_;  // what the layout skips, still to be read
  bool source_ended_ = false;
  bool stopped_ = false;
  std::int64_t line_ = 1;      // the number of the line at position_
  std::int64_t end_line_ = 0;  // the line of END or EOD, once read
  std::int64_t points_ = 0;
  std::vector<layout::Field> fields_;
  std::string problem_;
  // The fields of the attributes wanted, and where their values go: a
  // dimension, or an index into attributes_.extra (the schema's order).
  std::vector<std::pair<int, point::Dim>> wanted_dims_;
  std::vector<std::pair<int, std::size_t>> wanted_extra_;
  PointAttributes attributes_;
  // The names of attributes_.extra, which the writer finds its columns by.
  std::vector<std::string> extra_names_;
  std::string token_;
};

#endif  // STRATUMIX_READ_TEXT_FIELDS_H_
