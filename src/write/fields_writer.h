// The writer of a result of chosen columns (--fields): one point a line,
// its columns between single spaces, X, Y and Z as the plain result writes
// them, whole-number attributes as integers, GPS time in six decimals, a
// scaled extra dimension in the decimals its scale needs. A dimension an
// input lacks is written as 0.
#ifndef STRATUMIX_WRITE_FIELDS_WRITER_H_
#define STRATUMIX_WRITE_FIELDS_WRITER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/output_file.h"
#include "num/extent.h"
#include "point/dimension.h"
#include "point/las_record.h"
#include "point/point.h"
#include "read/point_sink.h"
#include "write/record_decimals.h"
#include "write/xyz_text.h"

namespace columns {

// One column of the result: a dimension, or an extra dimension by name.
struct Column {
  std::optional<point::Dim> dim;
  std::string extra;  // the name, where `dim` is none
  std::string title() const;
};

// The most columns a result may have: every line of them must fit the
// output buffer at its longest (about 330 bytes a column), and no LAS
// record has room for more named dimensions that anyone would write.
inline constexpr int kMostColumns = 256;

// Reads the value of --fields: names separated by commas, each a
// dimension (point::dim_named) or, failing that, the name of an extra
// dimension that the inputs will be asked for. Returns what is wrong, as
// the line that refuses it; empty when it is taken. A name with a control
// byte is refused: it would break the header line.
std::string parse(std::string_view text, std::vector<Column>& columns);

// Whether the columns are X, Y and Z in that order: the plain result.
bool plain(const std::vector<Column>& columns);

// Where X, Y and Z lie among the columns of the result's lines (X Y Z
// for none: the plain result); false when one of them is not written.
bool axis_columns(const std::vector<Column>& columns, int (&at)[3]);

// The line --header writes first: the columns' titles (X Y Z for none),
// one word each, a space in a LAS name written as '_'.
std::string titles_line(const std::vector<Column>& columns, bool crlf);

// What the columns ask the readers for.
point::Wanted wanted(const std::vector<Column>& columns);

// The columns an input of `schema` lacks, by title: an empty list when it
// carries them all.
std::vector<std::string> lacking(const std::vector<Column>& columns, const point::Schema& schema);

}  // namespace columns

class FieldsWriter : public PointSink {
 public:
  FieldsWriter(OutputFile& file, xyz::Format format, const std::vector<columns::Column>& columns);

  void point(const Point& point, Extents& extents, Axes measured) override;
  void records(const ScaledRecords& records, Extents& extents, Axes measured) override;

  // The line of the columns' titles, as --header writes it first.
  static void write_titles(OutputFile& file, xyz::Format format,
                           const std::vector<columns::Column>& columns);

 private:
  // Where an extra column lies in the records of one layout, or in the
  // attributes of points of one schema: found once for each.
  void know_layout(const point::RecordLayout* layout);
  void know_names(const std::vector<std::string>* names);

  OutputFile& file_;
  xyz::Format format_;
  std::vector<columns::Column> columns_;
  std::size_t line_room_ = 0;
  // How each column is written from the records of one layout.
  struct Step {
    enum class Op : std::uint8_t {
      kCoordinate,
      kWhole,
      kSmallWhole,  // an unsigned whole of one or two bytes, or bits of one
      kUnsigned64,
      kTime,
      kTimeDouble,  // a double as it lies
      kAngle,
      kReal,
      kExtra
    } op = Op::kWhole;
    int axis = 0;                            // kCoordinate
    point::FieldPlace place;                 // the others but kExtra
    std::uint32_t mask = 0;                  // kSmallWhole: of its bits from place.shift
    const point::ExtraDim* extra = nullptr;  // kExtra: null where the records hold none
  };
  static char* write_step(const Step& step, const char* record, char* out);
  template <int kDecimals, bool kXyzFirst>
  void write_decimal_records(const ScaledRecords& records, Extents& extents, Axes measured);
  // X, Y and Z first, then only small wholes and GPS times as they lie
  // (the columns most often asked for): no other kind is looked for.
  template <int kDecimals>
  void write_plain_attributes(const ScaledRecords& records, Extents& extents, Axes measured);
  // X, Y and Z from their integers, then what `tail` writes of the
  // record, each of its columns after a space.
  template <int kDecimals, class Tail>
  void write_xyz_then(const ScaledRecords& records, Extents& extents, Axes measured, Tail tail);
  bool plain_attributes_ = false;
  const point::RecordLayout* layout_ = nullptr;
  std::vector<Step> steps_;
  record_decimals::RecordText record_text_;
  const std::vector<std::string>* names_ = nullptr;
  std::vector<int> point_extra_;  // a column's index in the attributes, or -1
};

#endif  // STRATUMIX_WRITE_FIELDS_WRITER_H_
