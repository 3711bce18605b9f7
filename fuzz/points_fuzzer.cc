// Arbitrary bytes as a point file: the reader must never crash, hang or
// write an ill-formed line, and every number it pastes must be what C's
// strtod reads in the text, written as C's printf("%f") writes it. The same
// bytes, taken eight at a time as doubles, check the formatter alone (and
// its quick way). As a LAS file, read as they are when they begin with
// LASF, else laid over a sound header (so that zero bytes leave it sound),
// they must give only the records' own points, each as printf writes
// X * scale + offset, and all of them unless the header or the file's end
// is said to be wrong, and the extents of those points. Read by the layout
// their first lines show, lines of fields must give, quickly or not, the
// X Y Z fields of each line as strtod reads them, and nothing else, as far
// as a line END or EOD, after which only blank lines and such lines may go.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake_disk.h"
#include "io/failure.h"
#include "io/output_file.h"
#include "io/read_ahead.h"
#include "num/number.h"
#include "read/las/las_header.h"
#include "read/las/las_reader.h"
#include "read/text/fields.h"
#include "read/text/layout.h"
#include "read/text/points.h"
#include "write/fields_writer.h"
#include "write/xyz_writer.h"

namespace {

// Read-ahead blocks larger than the reader's buffer: the case where a block
// taken whole may leave more text than the buffer holds.
constexpr std::size_t kSmallBlock = 64;
constexpr std::size_t kSmallBuffer = 48;

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The words of the text, as far as the Ctrl-Z that ends it.
std::vector<std::string> words_of(const char* data, std::size_t size) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t i = 0; i < size && data[i] != 0x1a; ++i) {
    if (!is_white(data[i])) {
      word += data[i];
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

std::string c_fixed6(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
  char text[400];
  std::snprintf(text, sizeof text, "%f", value);
  return text;
}

// strtod's reading of a whole word, or false if it does not take all of it.
bool c_reads(const std::string& word, double& value) {
  if (word.empty() || word.find('\0') != std::string::npos) return false;
  char* end = nullptr;
  value = std::strtod(word.c_str(), &end);
  return *end == '\0';
}

std::string extents_text(const Extents& extents) {
  std::string said;
  for (int axis = 0; axis < 3; ++axis) {
    const Extent& extent = extents.axis(axis);
    char text[number::kMaxFixed6Length];
    said += std::string(text, number::format_fixed6(extent.min, text)) + " ";
    said += std::string(text, number::format_fixed6(extent.max, text)) + " ";
  }
  return said;
}

// Every dimension as a column after X Y Z, then `extra` by their names as
// an input gives them, whatever their bytes, as far as a result takes.
std::vector<columns::Column> every_column(const std::vector<std::string>& extra) {
  std::string list = "X,Y,Z";
  for (int d = 3; d < point::kDimCount; ++d)
    list += "," + std::string(point::name_of(static_cast<point::Dim>(d)));
  std::vector<columns::Column> chosen;
  if (!columns::parse(list, chosen).empty()) fail("every dimension refused", list);
  for (const std::string& name : extra) {
    if (chosen.size() >= static_cast<std::size_t>(columns::kMostColumns)) break;
    columns::Column column;
    column.extra = name;
    chosen.push_back(std::move(column));
  }
  return chosen;
}

// Lines of many columns cut to their first three, as the plain result's.
std::string first_three_columns(const std::string& lines) {
  std::string cut;
  for (std::size_t at = 0; at < lines.size();) {
    std::size_t end = lines.find("\r\n", at);
    if (end == std::string::npos) fail("a line of columns without CR LF", lines.substr(at));
    std::size_t third = at;
    for (int gap = 0; gap < 3 && third != std::string::npos && third < end; ++gap)
      third = lines.find(' ', third + (gap == 0 ? 0 : 1));
    if (third == std::string::npos || third > end) third = end;
    cut += lines.substr(at, third - at) + "\r\n";
    at = end + 2;
  }
  return cut;
}

// The general way and the fast path read a text given a few bytes at a
// time; `whole_blocks` gives it in blocks of read-ahead larger than the
// reader's buffer, which the reader takes over whole.
// `problem` gets what stopped the reading, `extents` the extents met.
std::string paste(const char* data, std::size_t size, bool fast, std::string& problem,
                  std::string& extents, bool whole_blocks = false, xyz::Format format = {}) {
  std::string text(data, size);
  TextSource pieces(text);
  ReadAhead blocks(std::make_unique<TextSource>(text, 1 << 20), kSmallBlock, 16);
  PointReader reader_of_pieces(pieces, 4096);
  PointReader reader_of_blocks(blocks, kSmallBuffer, Axes::kXYZ, XyzWriter::quick_text_of(format));
  PointReader& reader = whole_blocks ? reader_of_blocks : reader_of_pieces;
  std::string lines;
  OutputFile file;
  file.open(std::make_unique<StringSink>(lines));
  XyzWriter writer(file, format);
  Extents met;
  Point point;
  if (fast) {
    // Runs of one point and of many, as the pasting loop asks for them.
    for (std::int64_t run = 1; reader.copy_points(writer, met, run) >= run;
         run = run == 1 ? 7 : 1) {
    }
  } else {
    while (reader.next(point)) {
      writer.point(point, met, Axes::kXYZ);
    }
  }
  file.close();
  problem = reader.problem();
  extents = extents_text(met);
  return lines;
}

void check_formatter(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    double value;
    std::memcpy(&value, data + i, sizeof value);
    char text[number::kMaxFixed6Length];
    std::string ours(text, number::format_fixed6(value, text));
    if (ours != c_fixed6(value)) fail("format_fixed6 differs from printf", ours);
    char quick[number::kMaxFixed6Length + 8];
    if (std::string(quick, number::format_fixed6_quickly(value, quick)) != ours) {
      fail("format_fixed6_quickly differs from format_fixed6", ours);
    }
  }
}

// A sound header of version 1.4, point format 1, points right after it,
// as many as the bytes after it hold whole.
std::string sound_las_header(std::size_t size) {
  std::string header(las::kLongestHeader, '\0');
  auto put = [&header](std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      header[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
  };
  std::uint64_t count = size > header.size() ? (size - header.size()) / 28 : 0;
  header.replace(0, 4, "LASF");
  put(24, 1, 1);
  put(25, 4, 1);
  put(94, header.size(), 2);
  put(96, header.size(), 4);
  put(104, 1, 1);
  put(105, 28, 2);
  put(107, count, 4);
  for (std::size_t axis = 0; axis < 3; ++axis) {
    double scale = 0.001;
    double offset = 600000.0 * static_cast<double>(axis);
    std::uint64_t bits;
    std::memcpy(&bits, &scale, 8);
    put(131 + 8 * axis, bits, 8);
    std::memcpy(&bits, &offset, 8);
    put(155 + 8 * axis, bits, 8);
  }
  put(247, count, 8);
  return header;
}

std::int32_t little_endian_32(const std::string& bytes, std::uint64_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::uint64_t>(i)]);
  return static_cast<std::int32_t>(value);
}

void check_las(const char* data, std::size_t size);

// The records read whole, every dimension and extra dimension written in
// columns: X Y Z as the plain result has them, for as many points or, for
// LAZ whose further layers are damaged, a prefix of them.
void check_las_fields(const std::string& file, const std::string& plain) {
  std::vector<std::string> extra;
  {
    TextSource source(file, 1000);
    LasReader reader(source, 500);
    OutputFile out;
    std::string scrap;
    out.open(std::make_unique<StringSink>(scrap));
    XyzWriter writer(out, {});
    Extents extents;
    reader.copy_points(writer, extents, 1);
    extra = reader.schema().extra;
  }
  const std::vector<columns::Column> chosen = every_column(extra);
  TextSource source(file, 61);
  LasReader reader(source, 100);
  reader.set_laz_workers(2);
  reader.want(columns::wanted(chosen));
  std::string lines;
  OutputFile out;
  out.open(std::make_unique<StringSink>(lines));
  FieldsWriter writer(out, {}, chosen);
  Extents extents;
  for (std::int64_t run = 1; reader.copy_points(writer, extents, run) >= run;
       run = run == 1 ? 9 : 1) {
  }
  out.close();
  const std::string xyz = first_three_columns(lines);
  if (xyz == plain) return;
  if (reader.problem().empty() || xyz.size() > plain.size() ||
      plain.compare(0, xyz.size(), xyz) != 0)
    fail("LAS records in columns give other X Y Z than the plain result", reader.problem());
}

// The LAZ reading on one thread and on several, with and without the
// chunk table (in order only, as from a pipe): the same, or, without the
// table, the points of a prefix with a problem said.
void check_laz_threads(const std::string& file, const std::string& lines,
                       const std::string& problem) {
  for (int way = 0; way < 3; ++way) {
    TextSource source(file, 1000);
    if (way == 2) source.in_order_only();
    LasReader reader(source, 500);
    reader.set_laz_workers(way == 1 ? 1 : 3);
    std::string read_lines;
    OutputFile out;
    out.open(std::make_unique<StringSink>(read_lines));
    XyzWriter writer(out, {});
    Extents extents;
    while (reader.copy_points(writer, extents, 1000) != 0) {
    }
    out.close();
    if (way < 2 && (read_lines != lines || reader.problem() != problem))
      fail("LAZ on several threads differs from one", reader.problem());
    if (way == 2 && read_lines != lines && reader.problem().empty())
      fail("LAZ read in order gave other points without a problem", reader.problem());
  }
}

// The bytes as a LAZ file's compressed points, behind a sound header and
// LASzip record: their first byte picks the compressor and items, their
// second the chunk size.
void check_laz(const char* data, std::size_t size) {
  if (size < 2) return;
  struct Kind {
    int format, compressor, record_length;
    std::vector<std::array<int, 3>> items;  // type, size, version
  };
  static const Kind kKinds[] = {
      {0, 2, 20, {{6, 20, 2}}},
      {3, 2, 37, {{6, 20, 2}, {7, 8, 2}, {8, 6, 2}, {0, 3, 2}}},
      {1, 1, 28, {{6, 20, 1}, {7, 8, 1}}},
      {2, 2, 26, {{6, 20, 1}, {8, 6, 1}}},
      {6, 3, 30, {{10, 30, 3}}},
      {7, 3, 38, {{10, 30, 3}, {11, 6, 3}, {14, 2, 3}}},
      {8, 3, 38, {{10, 30, 3}, {12, 8, 3}}},
      {4, 2, 57, {{6, 20, 2}, {7, 8, 2}, {9, 29, 1}}},
  };
  const Kind& kind = kKinds[static_cast<unsigned char>(data[0]) % std::size(kKinds)];
  std::string vlr(54 + 34 + 6 * kind.items.size(), '\0');
  auto put = [](std::string& to, std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      to[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
  };
  vlr.replace(2, 14, "laszip encoded");
  put(vlr, 18, 22204, 2);
  put(vlr, 20, vlr.size() - 54, 2);
  put(vlr, 54, static_cast<std::uint64_t>(kind.compressor), 2);
  put(vlr, 54 + 12, static_cast<unsigned char>(data[1]) + 1u, 4);
  put(vlr, 54 + 32, kind.items.size(), 2);
  for (std::size_t i = 0; i < kind.items.size(); ++i) {
    for (std::size_t j = 0; j < 3; ++j)
      put(vlr, 54 + 34 + 6 * i + 2 * j, static_cast<std::uint64_t>(kind.items[i][j]), 2);
  }
  std::string file = sound_las_header(0);
  put(file, 96, file.size() + vlr.size(), 4);
  put(file, 100, 1, 4);
  put(file, 104, 0x80u | static_cast<unsigned>(kind.format), 1);
  put(file, 105, static_cast<std::uint64_t>(kind.record_length), 2);
  // As many points as could be: up to 64 a byte.
  std::uint64_t count = (size - 2) * 64;
  put(file, 107, kind.format < 6 ? count : 0, 4);
  put(file, 247, count, 8);
  file += vlr;
  file.append(data + 2, size - 2);
  check_las(file.data(), file.size());
}

void check_las(const char* data, std::size_t size) {
  std::string file(data, size);
  if (file.compare(0, 4, "LASF") != 0) {
    std::string header = sound_las_header(size);
    for (std::size_t i = 0; i < header.size() && i < size; ++i)
      file[i] = static_cast<char>(file[i] ^ header[i]);
    if (size < header.size()) file += header.substr(size);
  }
  las::Header h;
  std::string said = las::read_header(reinterpret_cast<const unsigned char*>(file.data()),
                                      std::min(file.size(), las::kLongestHeader), h);
  // Small pieces and a small buffer, so that records straddle reads; and
  // small blocks of a read-ahead, taken over whole, that records outgrow.
  std::string lines;
  std::string problem;
  Extents extents;
  std::int64_t points = 0;
  for (bool whole_blocks : {false, true}) {
    TextSource source(file, 61);
    ReadAhead blocks(std::make_unique<TextSource>(file, 1 << 20), kSmallBlock, 16);
    LasReader reader_of_pieces(source, 100);
    LasReader reader_of_blocks(blocks);
    LasReader& reader = whole_blocks ? reader_of_blocks : reader_of_pieces;
    std::string read_lines;
    OutputFile out;
    out.open(std::make_unique<StringSink>(read_lines));
    XyzWriter writer(out, {});
    Extents read_extents;
    std::int64_t read_points = 0;
    for (std::int64_t run = 1;; run = run == 1 ? 5 : 1) {
      std::int64_t copied = reader.copy_points(writer, read_extents, run);
      read_points += copied;
      if (copied < run) break;
    }
    out.close();
    if (!whole_blocks) {
      lines = read_lines;
      problem = reader.problem();
      extents = read_extents;
      points = read_points;
    } else if (read_lines != lines || reader.problem() != problem ||
               extents_text(read_extents) != extents_text(extents)) {
      fail("LAS blocks taken whole differ from pieces read", reader.problem());
    }
  }
  if (!said.empty()) {
    if (points != 0 || problem != said) fail("a refused LAS header pasted or said other", problem);
    return;
  }
  check_las_fields(file, lines);
  auto pasted = static_cast<std::uint64_t>(points);
  if (pasted > h.point_count) fail("more LAS points than the header gives", lines);
  if (pasted < h.point_count && problem.empty()) fail("LAS points left out in silence", lines);
  if (h.compressed) {
    check_laz_threads(file, lines, problem);
    return;
  }
  std::size_t line_start = 0;
  Extents c_extents;
  for (std::uint64_t i = 0; i < pasted; ++i) {
    std::uint64_t record = h.point_offset + i * h.record_length;
    if (record + h.record_length > file.size()) fail("a LAS point from past the end", lines);
    std::string line;
    double value[3];
    for (std::uint64_t axis = 0; axis < 3; ++axis) {
      value[axis] = little_endian_32(file, record + 4 * axis) * h.scale[axis] + h.offset[axis];
      line += c_fixed6(value[axis]) + (axis < 2 ? " " : "\r\n");
    }
    c_extents.add(value[0], value[1], value[2]);
    if (lines.compare(line_start, line.size(), line) != 0)
      fail("a LAS point not as printf writes it", line);
    line_start += line.size();
  }
  if (line_start != lines.size()) fail("more LAS lines than points", lines);
  if (extents_text(extents) != extents_text(c_extents))
    fail("LAS extents other than the points'", lines);
}

// The points a layout of fields gives, from the text's own lines.
// `whole` tells whether every line gave a point.
std::string fields_as_c_reads(const std::string& text, const layout::Layout& found, bool& whole) {
  std::string expected;
  whole = false;
  std::string_view rest(text);
  rest = rest.substr(0, std::min(rest.find('\x1a'), rest.size()));
  rest.remove_prefix(std::min(found.data_start, rest.size()));
  std::vector<layout::Field> fields;
  bool ended = false;  // by a line END or EOD, after which only blank lines and such lines go
  while (!rest.empty()) {
    std::size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
    layout::split_fields(rest.substr(0, end), found.separator, fields);
    std::size_t next =
        end + (end + 1 < rest.size() && rest[end] == '\r' && rest[end + 1] == '\n' ? 2 : 1);
    rest.remove_prefix(std::min(next, rest.size()));
    if (fields.empty()) continue;
    if (fields.size() == 1 && !fields[0].quoted && layout::is_end_line(fields[0].text)) {
      ended = true;
      continue;
    }
    if (ended || static_cast<int>(fields.size()) != found.fields) return expected;
    std::string line;
    for (int axis = 0; axis < 3; ++axis) {
      std::string word(fields[static_cast<std::size_t>(found.xyz[axis])].text);
      if (found.decimal_comma) std::replace(word.begin(), word.end(), ',', '.');
      double value;
      if (!c_reads(word, value)) return expected;
      line += c_fixed6(value) + (axis < 2 ? " " : "\r\n");
    }
    expected += line;
  }
  whole = rest.empty();
  return expected;
}

std::string paste_fields(const std::string& text, const layout::Layout& found, bool quickly,
                         std::string& problem, std::string& extents,
                         const point::Wanted& wanted = {}) {
  TextSource pieces(text, 7);
  FieldReader reader(pieces, found, 96, quickly, Axes::kXYZ, wanted);
  std::string lines;
  OutputFile file;
  file.open(std::make_unique<StringSink>(lines));
  XyzWriter writer(file, {});
  Extents met;
  for (std::int64_t run = 1; reader.copy_points(writer, met, run) >= run; run = run == 1 ? 7 : 1) {
  }
  file.close();
  problem = reader.problem();
  extents = extents_text(met);
  return lines;
}

void check_layouts(const char* data, std::size_t size) {
  std::string text(data, size);
  // A cut start must never be taken for more than it shows, and the
  // shortcut of a first line that tells the plain stream must find what the
  // whole look finds.
  const std::string_view cut = std::string_view(text).substr(0, size / 2);
  const layout::Layout quick = layout::detect(cut, false);
  const layout::Layout whole_look = layout::detect_fully(cut, false);
  if (quick.kind != whole_look.kind || quick.data_start != whole_look.data_start ||
      quick.data_line != whole_look.data_line || quick.fields != whole_look.fields ||
      quick.separator != whole_look.separator || quick.refusal != whole_look.refusal ||
      quick.byte_order_mark != whole_look.byte_order_mark)
    fail("the first line's shortcut differs from the whole look", std::string(cut));
  layout::Layout found = layout::detect(text, true);
  if (found.kind != layout::Kind::kFields) return;
  // A grid's row and column are never X and Y: after them come X Y Z.
  if (found.named == layout::Layout::Named::kByGridHeader &&
      (found.fields != 5 || found.xyz[0] != 2 || found.xyz[1] != 3 || found.xyz[2] != 4))
    fail("a Horizon ASCII grid's X Y Z taken from other fields than 3 to 5", text);
  std::string problem;
  std::string extents;
  std::string quick_problem;
  std::string quick_extents;
  std::string lines = paste_fields(text, found, false, problem, extents);
  if (paste_fields(text, found, true, quick_problem, quick_extents) != lines ||
      quick_problem != problem || quick_extents != extents) {
    fail("fields read quickly differ from the general way", lines);
  }
  bool whole = false;
  std::string expected = fields_as_c_reads(text, found, whole);
  // A line longer than the small buffer stops the reading early.
  if (problem.find("longer than") != std::string::npos) {
    expected.resize(std::min(expected.size(), lines.size()));
    whole = false;
  }
  if (lines != expected)
    fail("fields pasted other than strtod reads them", lines + " <> " + expected);
  if (problem.empty() != whole)
    fail("fields stopped without a reason, or went on after one", problem);
  // Every attribute the layout names, read too, gives the same X Y Z, as
  // far as a field of them that is no number, which stops the reading.
  point::Wanted all;
  for (const auto& field_dim : found.dims) all.dims.add(field_dim.second);
  for (const auto& field_name : found.extra) all.extra.push_back(field_name.second);
  if (all.only_xyz()) return;
  std::string attributes_problem;
  std::string scrap;
  std::string with_attributes = paste_fields(text, found, true, attributes_problem, scrap, all);
  const bool shorter = with_attributes.size() < lines.size();
  if (lines.compare(0, with_attributes.size(), with_attributes) != 0 ||
      (shorter && attributes_problem.empty()) ||
      (!shorter && problem.empty() && !attributes_problem.empty()))
    fail("fields read with their attributes differ from X Y Z alone", with_attributes);
  // The same in columns of every dimension and attribute: X Y Z first.
  std::vector<std::string> names;
  for (const auto& field_name : found.extra) names.push_back(field_name.second);
  const std::vector<columns::Column> chosen = every_column(names);
  TextSource pieces(text, 7);
  FieldReader reader(pieces, found, 96, true, Axes::kXYZ, columns::wanted(chosen));
  std::string in_columns;
  OutputFile file;
  file.open(std::make_unique<StringSink>(in_columns));
  FieldsWriter writer(file, {}, chosen);
  Extents met;
  for (std::int64_t run = 1; reader.copy_points(writer, met, run) >= run; run = run == 1 ? 7 : 1) {
  }
  file.close();
  if (first_three_columns(in_columns) != with_attributes || reader.problem() != attributes_problem)
    fail("fields in columns differ from X Y Z with their attributes", in_columns);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  check_formatter(bytes, size);
  const char* data = reinterpret_cast<const char*>(bytes);
  check_las(data, size);
  check_laz(data, size);
  check_layouts(data, size);
  std::string problem;
  std::string fast_problem;
  std::string extents;
  std::string fast_extents;
  std::string lines = paste(data, size, false, problem, extents);
  if (paste(data, size, true, fast_problem, fast_extents) != lines || fast_problem != problem ||
      fast_extents != extents) {
    fail("the fast path differs from the general one", lines);
  }
  // In another number of decimals and line end, the fast path writes what
  // the general way writes from the values.
  const xyz::Format other{static_cast<int>(size % 9), size % 18 < 9};
  std::string other_problem;
  std::string other_extents;
  std::string other_lines = paste(data, size, false, other_problem, other_extents, false, other);
  if (paste(data, size, true, fast_problem, fast_extents, false, other) != other_lines ||
      fast_problem != other_problem || fast_extents != other_extents) {
    fail("the fast path differs from the general one in other decimals",
         std::to_string(other.decimals) + " decimals: " + other_lines);
  }
  // Through blocks larger than the buffer the same, but where a word no
  // longer fits the smaller buffer.
  std::string block_problem;
  std::string block_extents;
  std::string block_lines = paste(data, size, true, block_problem, block_extents, true);
  if (block_problem.find("bytes or more") != std::string::npos) {
    if (lines.compare(0, block_lines.size(), block_lines) != 0) {
      fail("blocks taken whole paste other points", block_lines);
    }
  } else if (block_lines != lines || block_problem != problem || block_extents != extents) {
    fail("blocks taken whole differ from the general way",
         block_lines + block_problem + " <> " + lines + problem);
  }

  std::vector<std::string> words = words_of(data, size);
  std::size_t word = 0;
  std::size_t line_start = 0;
  // The extents of the values strtod reads, which the reader's must be.
  Extents c_extents;
  while (line_start < lines.size()) {
    std::size_t line_end = lines.find("\r\n", line_start);
    if (line_end == std::string::npos) fail("a line without CR LF", lines.substr(line_start));
    std::string line = lines.substr(line_start, line_end - line_start);
    std::size_t field_start = 0;
    double values[3];
    for (int axis = 0; axis < 3; ++axis, ++word) {
      std::size_t field_end = axis < 2 ? line.find(' ', field_start) : line.size();
      if (field_end == std::string::npos) fail("a line of fewer than three numbers", line);
      double value;
      if (word >= words.size() || !c_reads(words[word], value)) {
        fail("pasted a word strtod does not read", line);
      }
      if (line.substr(field_start, field_end - field_start) != c_fixed6(value)) {
        fail("a number not as printf writes it", line + " from " + words[word]);
      }
      values[axis] = value;
      field_start = field_end + 1;
    }
    if (field_start != line.size() + 1) fail("a line of more than three numbers", line);
    c_extents.add(values[0], values[1], values[2]);
    line_start = line_end + 2;
  }
  if (extents_text(c_extents) != extents) {
    fail("extents other than those of the values read", extents + "<> " + extents_text(c_extents));
  }
  // Reading stops early only at a word that is no number (or too long to
  // be held), or at an incomplete last point.
  if (problem.empty() && word != words.size()) fail("stopped without a reason", problem);
  if (!problem.empty() && word + 3 <= words.size()) {
    bool whole_point = true;
    std::size_t length = 0;
    double ignored;
    for (std::size_t i = word; i < word + 3; ++i) {
      whole_point = whole_point && c_reads(words[i], ignored);
      length += words[i].size();
    }
    if (whole_point && length < 1000) fail("stopped at a whole point", problem);
  }
  for (const std::string& w : words) {
    double expected;
    bool ok = c_reads(w, expected);
    number::Parsed parsed = number::parse_token(w.data(), w.data() + w.size());
    if (parsed.ok != ok) fail("parse_token and strtod disagree on", w);
    bool same = std::isnan(expected) ? std::isnan(parsed.value) &&
                                           std::signbit(parsed.value) == std::signbit(expected)
                                     : std::memcmp(&expected, &parsed.value, sizeof expected) == 0;
    if (ok && !same) fail("parse_token reads another value than strtod in", w);
  }
  return 0;
}
