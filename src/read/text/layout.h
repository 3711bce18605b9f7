// How a point file lays out its points, as its first lines show: where the
// data begins (past a byte order mark, a header, comments, a point count),
// what separates the fields, the decimal mark, which fields hold X Y Z and
// how many fields a line holds; or why it is no point list the program
// reads. Plain files of numbers and white space are left to the stream of
// numbers read since the first version.
#ifndef STRATUMIX_READ_TEXT_LAYOUT_H_
#define STRATUMIX_READ_TEXT_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "point/dimension.h"

namespace layout {

enum class Kind {
  kPlainStream,  // every three numbers a point, whatever the lines
  kFields,       // one point a line, X Y Z taken from its fields
  kRefused,      // not a point list: nothing of it is pasted
};

// What the command line says of every input, for what a file cannot tell.
struct Options {
  bool stream = false;  // the plain stream, whatever the lines
  char separator = 0;   // 0: as the first data line shows; ' ' white space
  bool decimal_comma = false;
  // The fields of X, Y and Z: three numbers from 1, or names from a header.
  std::vector<std::string> columns;
};

struct Layout {
  Kind kind = Kind::kPlainStream;
  // Where the first data line begins, and its number from 1; for the
  // plain stream, where its text begins.
  std::size_t data_start = 0;
  std::int64_t data_line = 1;
  bool byte_order_mark = false;
  int header_lines = 0;
  int comment_lines = 0;
  bool count_line = false;
  std::int64_t count = 0;  // what the count line says
  char separator = ' ';    // ' ' for runs of white space
  bool decimal_comma = false;
  int fields = 3;  // on every data line
  int xyz[3] = {0, 1, 2};
  // How X Y Z were found: by the header, by --columns, after the id of
  // ARC/INFO GENERATE lines, which END ends, or after the row and column of
  // a grid that a Horizon ASCII header announces.
  enum class Named { kNot, kByHeader, kByOption, kByEndLine, kByGridHeader } named = Named::kNot;
  // The other fields that hold something of each point, as a header names
  // them or as a Leica PTS file lays them out (intensity and colour after
  // X Y Z): fields (from 0) that hold a dimension, and fields a header
  // names otherwise, by that name, each in the order of the fields.
  std::vector<std::pair<int, point::Dim>> dims;
  std::vector<std::pair<int, std::string>> extra;
  std::string refusal;  // kRefused: what the file is and what to do, for a message
};

// How much of a file detect() wants to see, at most: its first lines are
// enough, and a pipe is not held up longer than that.
inline constexpr std::size_t kLookedAt = std::size_t{64} << 10;
inline constexpr int kLinesLookedAt = 48;

// Looks at the start of a file: `whole_file` when `start` is all of it, so
// that its last line is whole even without a line end. A pure function of
// its arguments. Text that is no list of points (a scan, a grid, binary
// data) is told before, by the input's detection.
Layout detect(std::string_view start, bool whole_file, const Options& options = {});
// The same without the shortcut for a first line that tells the plain
// stream alone, which detect() takes first: for the tests that hold the two
// to the same answer.
Layout detect_fully(std::string_view start, bool whole_file, const Options& options = {});

// Whether the start of a file is that of a Leica PTX scan (its columns and
// rows, the scanner's position and axes, a transform), or of an Esri ASCII
// grid (ncols, nrows, ...).
bool begins_as_ptx(std::string_view start, bool whole_file);
bool begins_as_ascii_grid(std::string_view start, bool whole_file);

// One field of a line: its text without the blanks and quotes around it.
struct Field {
  std::string_view text;
  bool quoted = false;
};

// Splits one line, without its line end, at `separator` (' ': runs of white
// space). Blanks around a field and double quotes around it are dropped;
// so is an empty last field after a separator, as some programs end every
// line with one. A quote that is not closed leaves the rest of the line as
// the field.
void split_fields(std::string_view line, char separator, std::vector<Field>& fields);

// Whether a line is a word that ends a file's points, as ARC/INFO GENERATE
// (END) and grid exports (EOD) write it: only blank lines and such words
// may follow it.
bool is_end_line(std::string_view line);

// Whether the field reads whole as one number, as strtod reads it; a comma
// counts as the decimal point when `decimal_comma`.
bool is_number(const Field& field, bool decimal_comma);

// The dimension a header's name for a field names, beside X, Y and Z: as
// PDAL, CloudCompare and las2txt write them, in any case, with or without
// blanks, underscores or a unit ("Return Number", "return_number",
// "GpsTime", "gps_time"), and the short forms people type ("class", "r",
// "time", "nir"). None for X, Y, Z and for another name.
std::optional<point::Dim> attribute_named(std::string_view name);

// What the one note on a file read by this layout says: what was skipped,
// the separator, which fields became X Y Z and how many were dropped.
// `points` is how many were read, for a count line to be compared with;
// `kept` names the other fields read as well, which are not dropped.
std::string describe(const Layout& layout, std::int64_t points,
                     const std::vector<std::string>& kept = {});

// Reads the value of --columns ("2,3,4", "Easting,Northing,Elevation"):
// three different fields, each a number from 1 (a header holds no number,
// so anything that reads as a number must be one) or a name. Returns what
// is wrong with it, as the line that refuses it; empty when it is taken.
std::string parse_columns(std::string_view text, std::vector<std::string>& columns);
// Reads the value of --separator: one ASCII character that no number holds
// and that neither ends a line nor is white space, or "tab", "space".
// Returns what is wrong, as parse_columns does.
std::string parse_separator(std::string_view text, char& separator);

}  // namespace layout

#endif  // STRATUMIX_READ_TEXT_LAYOUT_H_
