#include "read/text/layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>

#include "io/paths.h"
#include "num/bytes.h"
#include "num/number.h"

namespace layout {
namespace {

using bytes::is_white;
using bytes::kCtrlZ;
// Data lines looked at after the first, for what holds on every line.
constexpr int kSampled = 32;
constexpr const char* kAxisNames[] = {"X", "Y", "Z"};
constexpr const char* kSmallAxisNames[] = {"x", "y", "z"};

struct Line {
  std::string_view text;
  std::size_t offset;  // in the file
};

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_white(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_white(text.back())) text.remove_suffix(1);
  return text;
}

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

// The character that begins `text` as UTF-8, and its length; a length of 0
// when the bytes are no UTF-8 (or an overlong or a surrogate form).
char32_t utf8_character(std::string_view text, std::size_t& length) {
  auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(0);
  length = first < 0x80                    ? 1
           : first >= 0xc2 && first < 0xe0 ? 2
           : first >= 0xe0 && first < 0xf0 ? 3
           : first >= 0xf0 && first < 0xf5 ? 4
                                           : 0;
  if (length == 0 || length > text.size()) {
    length = 0;
    return 0;
  }
  char32_t c = length == 1 ? first : first & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) {
      length = 0;
      return 0;
    }
    c = (c << 6) | (byte(i) & 0x3f);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < least[length] || (c >= 0xd800 && c < 0xe000) || c > 0x10ffff) length = 0;
  return c;
}

bool is_utf8(std::string_view text) {
  for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
    utf8_character(text.substr(i), length);
    if (length == 0) return false;
  }
  return true;
}

// The small letter of a capital in the alphabets that names of axes are
// written in: Latin with the accents of German, French, Spanish and the
// Nordic languages (Latin-1 and Latin Extended-A), Greek and Cyrillic.
char32_t small_letter(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xc0 && c <= 0xde && c != 0xd7)) return c + 0x20;
  if (c >= 0x100 && c <= 0x17f) {
    // Each capital comes just before its small letter, at even points save
    // in two runs where they are odd; a few letters have no pair.
    if (c == 0x130) return 'i';
    if (c == 0x178) return 0xff;
    const bool odd_capitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17e);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17f) return c;
    return (c % 2 == 1) == odd_capitals ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3ab && c != 0x3a2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42f) return c + 0x20;
  if (c >= 0x400 && c <= 0x40f) return c + 0x50;
  if (c == 0x1e9e) return 0xdf;  // the capital sharp s
  return c;
}

void append_utf8(char32_t c, std::string& text) {
  if (c < 0x80) {
    text += static_cast<char>(c);
    return;
  }
  const int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  const unsigned lead[] = {0, 0, 0xc0, 0xe0, 0xf0};
  text += static_cast<char>(lead[length] | (c >> (6 * (length - 1))));
  for (int i = length - 2; i >= 0; --i) text += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3f));
}

// `text` in small letters, as UTF-8: read as Latin-1 (a byte a character)
// when `latin1`, otherwise as UTF-8, where a byte that is no UTF-8 is kept.
std::string in_small_letters(std::string_view text, bool latin1) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0, length = 1; i < text.size(); i += length) {
    char32_t c = static_cast<unsigned char>(text[i]);
    length = 1;
    if (c >= 0x80 && !latin1) {
      c = utf8_character(text.substr(i), length);
      if (length == 0) {
        result += text[i];
        length = 1;
        continue;
      }
    }
    append_utf8(small_letter(c), result);
  }
  return result;
}

// The lines of the start of a file, as far as a Ctrl-Z, `most` of them at
// most; the last only when it is known to be whole. LF, CR LF and a lone CR
// end a line.
std::vector<Line> lines_of(std::string_view start, std::size_t first, bool whole_file,
                           std::size_t most = SIZE_MAX) {
  std::size_t end = std::min(start.find(kCtrlZ), start.size());
  if (end < start.size()) whole_file = true;
  std::vector<Line> lines;
  // Point lines are some tens of bytes: room for them all at once, rather
  // than grown step by step.
  lines.reserve(std::min(most, (end - std::min(first, end)) / 16 + 1));
  std::size_t at = first;
  while (at < end && lines.size() < most) {
    auto stop = static_cast<std::size_t>(
        bytes::find_line_end(start.data() + at, start.data() + end) - start.data());
    if (stop == end && !whole_file) break;
    std::size_t next = stop + 1;
    if (stop < end && start[stop] == '\r') {
      // Its LF may be in the part not looked at.
      if (next == end && !whole_file) break;
      if (next < end && start[next] == '\n') ++next;
    }
    lines.push_back({start.substr(at, stop - at), at});
    at = next;
  }
  return lines;
}

// Comment marks of the tools that write point files: las2txt's "#" and
// "%", CloudCompare's "//", and those of scripts and spreadsheets.
bool is_comment(std::string_view text) {
  static constexpr std::string_view kMarks = "#%/@!*;'";
  return !text.empty() && kMarks.find(text.front()) != std::string_view::npos;
}

std::string_view without_comment_mark(std::string_view text) {
  while (is_comment(text)) text.remove_prefix(1);
  return trimmed(text);
}

number::Parsed parse(std::string_view text, bool decimal_comma) {
  if (decimal_comma && text.find(',') != std::string_view::npos) {
    std::string copy(text);
    std::replace(copy.begin(), copy.end(), ',', '.');
    return number::parse_token(copy.data(), copy.data() + copy.size());
  }
  return number::parse_token(text.data(), text.data() + text.size());
}

// Whether any word of the line is a number: a line without one is a header.
bool holds_number(std::string_view text) {
  static constexpr std::string_view kBetween = " \t\v\f,;|\"'()[]=:";
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t first = text.find_first_not_of(kBetween, at);
    if (first == std::string_view::npos) break;
    std::size_t last = std::min(text.find_first_of(kBetween, first), text.size());
    if (parse(text.substr(first, last - first), false).ok) return true;
    at = last;
  }
  return false;
}

bool is_whole_number(std::string_view text) {
  return !text.empty() && text.size() <= 18 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The separator the first data line shows: the unmistakable ones first,
// then tabs and commas where they leave fields without blanks inside;
// otherwise white space.
char find_separator(std::string_view line) {
  std::vector<Field> fields;
  auto splits_cleanly = [&](char separator) {
    split_fields(line, separator, fields);
    return fields.size() >= 2 && std::none_of(fields.begin(), fields.end(), [](const Field& f) {
             return !f.quoted && std::any_of(f.text.begin(), f.text.end(), is_white);
           });
  };
  bool quoted = false;
  bool seen[256] = {};
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    if (!quoted) seen[static_cast<unsigned char>(c)] = true;
  }
  if (seen[static_cast<unsigned char>(';')]) return ';';
  if (seen[static_cast<unsigned char>('|')]) return '|';
  if (seen[static_cast<unsigned char>('\t')] && splits_cleanly('\t')) return '\t';
  if (seen[static_cast<unsigned char>(',')] && splits_cleanly(',')) return ',';
  return ' ';
}

// Decimal commas where they cannot be mistaken: inside quotes, with another
// separator than comma or white space, and with white space only when each
// of the first three fields holds one comma and no point.
bool finds_decimal_comma(const std::vector<Field>& fields, char separator) {
  auto reads_only_with_comma = [](const Field& f) {
    return f.text.find(',') != std::string_view::npos && parse(f.text, true).ok;
  };
  if (separator == ',') {
    return std::any_of(fields.begin(), fields.end(),
                       [&](const Field& f) { return f.quoted && reads_only_with_comma(f); });
  }
  if (separator != ' ') return std::any_of(fields.begin(), fields.end(), reads_only_with_comma);
  if (fields.size() < 3) return false;
  return std::all_of(fields.begin(), fields.begin() + 3, [&](const Field& f) {
    return std::count(f.text.begin(), f.text.end(), ',') == 1 &&
           f.text.find('.') == std::string_view::npos && reads_only_with_comma(f);
  });
}

// A header's name for a field, as it is compared: no blanks, quotes or
// unit, in small letters (the header read as Latin-1 when `latin1`).
std::string name_of(std::string_view text, bool latin1 = false) {
  text = trimmed(text);
  if (std::size_t unit = text.find_first_of("(["); unit != std::string_view::npos && unit > 0) {
    text = trimmed(text.substr(0, unit));
  }
  return in_small_letters(text, latin1);
}

// The axis a header's name names, -1 for none; `weak` for the one-letter
// abbreviations E, N and H, which a station list may use for something
// else beside X, Y and Z.
int axis_named(const std::string& name, bool& weak) {
  // As survey software, GIS and national grids name them (Rechtswert and
  // Hochwert are the German grid's easting and northing), and height in
  // German, the Nordic languages, French and Spanish.
  static const char* const kNames[3][13] = {
      {"x", "e", "east", "easting", "rechtswert", "lon", "long", "longitude"},
      {"y", "n", "north", "northing", "hochwert", "lat", "latitude"},
      {"z", "h", "elevation", "height", "elev", "hoehe", "h\xc3\xb6he", "altitude", "h\xc3\xb8yde",
       "h\xc3\xb8jde", "h\xc3\xb6jd", "\xc3\xa9l\xc3\xa9vation", "elevaci\xc3\xb3n"}};
  for (int axis = 0; axis < 3; ++axis) {
    for (const char* known : kNames[axis]) {
      if (known != nullptr && name == known) {
        weak = name.size() == 1 && name != kSmallAxisNames[axis];
        return axis;
      }
    }
  }
  return -1;
}

// Fields of X Y Z as the header names them, -1 for an axis it does not
// name. kAll when it names all three once each, within the line's fields;
// kSome when it names one or two, kTwice when it names one twice, which
// say that the first three fields may not be X Y Z. A
// plain X, Y or Z beats the abbreviation of its axis; a line of three
// names that names two axes gives the third to the field it leaves, as
// "X Y mlw" does.
enum class Named { kNone, kSome, kTwice, kAll };
Named xyz_from_header(const std::vector<Field>& names, int fields, bool latin1, int xyz[3]) {
  int found[3] = {-1, -1, -1};
  bool found_weak[3] = {};
  bool twice[3] = {};
  int named = 0;  // fields that name an axis
  const std::size_t looked_at = std::min(names.size(), static_cast<std::size_t>(fields));
  std::vector<bool> names_axis(looked_at);
  for (std::size_t i = 0; i < looked_at; ++i) {
    bool weak = false;
    int axis = axis_named(name_of(names[i].text, latin1), weak);
    if (axis < 0) continue;
    names_axis[i] = true;
    ++named;
    if (found[axis] >= 0 && found_weak[axis] != weak) {
      if (weak) continue;  // the plain letter named it already
    } else if (found[axis] >= 0) {
      twice[axis] = true;
    }
    found[axis] = static_cast<int>(i);
    found_weak[axis] = weak;
  }
  if (named == 0) return Named::kNone;
  if (std::any_of(twice, twice + 3, [](bool t) { return t; })) return Named::kTwice;
  const int missing = static_cast<int>(std::count(found, found + 3, -1));
  if (missing == 1 && names.size() == 3 && fields == 3) {
    auto left = std::find(names_axis.begin(), names_axis.end(), false);
    if (left != names_axis.end()) {
      *std::find(found, found + 3, -1) = static_cast<int>(left - names_axis.begin());
    }
  }
  std::copy(found, found + 3, xyz);
  return std::count(found, found + 3, -1) > 0 ? Named::kSome : Named::kAll;
}

// Whether the lines from `first` on, as far as kSampled of them, all hold
// the same number of fields, three or more, as the points after a count
// line do; a lone number before lines of other lengths is a number.
bool counted_lines_agree(const std::vector<Line>& lines, std::size_t first) {
  std::string_view text = trimmed(lines[first].text);
  char separator = find_separator(text);
  std::vector<Field> fields;
  split_fields(text, separator, fields);
  const std::size_t count = fields.size();
  if (count < 3) return false;
  int sampled = 0;
  for (std::size_t j = first + 1; j < lines.size() && sampled < kSampled; ++j) {
    text = trimmed(lines[j].text);
    if (text.empty()) continue;
    ++sampled;
    split_fields(text, separator, fields);
    if (fields.size() != count) return false;
  }
  return true;
}

Layout refused(std::string why) {
  Layout layout;
  layout.kind = Kind::kRefused;
  layout.refusal = std::move(why);
  return layout;
}

bool first_word_is_grid(std::string_view text) {
  std::string word = lower(text.substr(0, std::min(text.find_first_of(" \t"), text.size())));
  return word == "ncols" || word == "nrows" || word == "xllcorner" || word == "xllcenter";
}

// A Leica PTX scan begins with its columns and rows, the scanner's
// position and axes (three numbers a line) and a transform (four), and a
// point follows.
constexpr std::size_t kPtxLines = 11;
bool is_ptx(const std::vector<Line>& lines) {
  if (lines.size() < kPtxLines) return false;
  std::vector<Field> fields;
  for (std::size_t i = 0; i < 10; ++i) {
    std::string_view text = trimmed(lines[i].text);
    if (i < 2) {
      if (!is_whole_number(text)) return false;
      continue;
    }
    split_fields(text, ' ', fields);
    if (fields.size() != (i < 6 ? 3u : 4u)) return false;
    for (const Field& f : fields) {
      if (!is_number(f, false)) return false;
    }
  }
  return true;
}

// X is the easting: point lists put the northing first as often as not,
// and a hint of one order alone would swap the other's axes.
std::string columns_hint() {
  return "; on the command line, give the fields of X (the easting), Y and Z with --columns, "
         "from 1 (point lists: PENZD --columns 2,3,4, PNEZD --columns 3,2,4), or read the file "
         "as numbers alone with --stream";
}

// What the first fields of the lines looked at show, for telling point
// numbers and times from coordinates.
struct FirstFields {
  std::vector<double> firsts;    // field 1 of each line, while all have one
  bool first_whole = true;       // field 1 written as a whole number on every line
  bool next_fractional = false;  // field 2 or 3 written with decimals on some line
  int first_decimals = 0;        // on the first line
  int next_decimals = 0;         // the most of fields 2 and 3, on the first line
  double first_largest = 0;      // |field 1| at most
  double next_smallest = 0;      // |field 2| and |field 3| at least
  // The first fields of every line looked at, for whole numbers before X Y.
  struct Column {
    bool whole = true;  // a whole value on every line, "326.0" as "326"
    bool number = true;
    double smallest = HUGE_VAL;  // in magnitude
    double largest = 0;
  };
  std::vector<Column> columns;
};

// How many of a line's fields FirstFields::columns follows.
constexpr std::size_t kColumnsFollowed = 8;

// The decimals a number is written with: those after its point (or its
// decimal comma), none for an exponent form.
int decimals_of(std::string_view text, bool decimal_comma) {
  std::size_t mark = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == 'e' || c == 'E' || c == 'p' || c == 'P' || c == 'x' || c == 'X') return 0;
    if (mark == std::string_view::npos && (c == '.' || (decimal_comma && c == ','))) mark = i;
  }
  if (mark == std::string_view::npos) return 0;
  return static_cast<int>(text.size() - mark - 1);
}

// Each field of a line as a number, read once for all that is asked of it.
void parse_fields(const std::vector<Field>& line, bool decimal_comma,
                  std::vector<number::Parsed>& values) {
  values.resize(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) values[i] = parse(line[i].text, decimal_comma);
}

// `values` are the line's fields as parse_fields reads them.
void look_at_first_fields(const std::vector<Field>& line, const std::vector<number::Parsed>& values,
                          bool decimal_comma, bool first_line, FirstFields& seen) {
  if (line.size() < 3 || !values[0].ok || !values[1].ok || !values[2].ok) return;
  seen.firsts.push_back(values[0].value);
  seen.columns.resize(std::min(line.size(), kColumnsFollowed));
  for (std::size_t i = 0; i < seen.columns.size(); ++i) {
    FirstFields::Column& column = seen.columns[i];
    const number::Parsed& value = values[i];
    column.number = column.number && value.ok;
    // Grid exports write rows and columns with a decimal point too.
    column.whole = column.whole && value.ok && std::isfinite(value.value) &&
                   value.value == std::floor(value.value);
    if (!value.ok) continue;
    column.smallest = std::min(column.smallest, std::fabs(value.value));
    column.largest = std::max(column.largest, std::fabs(value.value));
  }
  seen.first_whole = seen.first_whole && is_whole_number(line[0].text);
  // Decimals are counted where they can still tell something: the first
  // line's, and until fields 2 or 3 have shown some.
  if (first_line || !seen.next_fractional) {
    int next_decimals = std::max(decimals_of(line[1].text, decimal_comma),
                                 decimals_of(line[2].text, decimal_comma));
    seen.next_fractional = seen.next_fractional || next_decimals > 0;
    if (first_line) {
      seen.first_decimals = decimals_of(line[0].text, decimal_comma);
      seen.next_decimals = next_decimals;
    }
  }
  double next = std::min(std::fabs(values[1].value), std::fabs(values[2].value));
  seen.first_largest = std::max(seen.first_largest, std::fabs(values[0].value));
  seen.next_smallest = first_line ? next : std::min(seen.next_smallest, next);
}

// Why the first three fields of lines of more than three are plainly not
// X Y Z, or empty: a word or a point name among them; a first field that is
// a whole number where the next hold decimals, or that counts up one by one
// or stays the same far below them, as point numbers and codes do; a time
// that only grows, written finer than the coordinates after it. Scan lines
// of lidar tiles grow in X too, and grids step by one: the magnitudes and
// the decimals tell them apart.
std::string why_not_first_three(const std::vector<Field>& first, std::int64_t line,
                                const FirstFields& seen, bool decimal_comma) {
  for (int i = 0; i < 3; ++i) {
    if (!is_number(first[static_cast<std::size_t>(i)], decimal_comma)) {
      return "field " + number::int_text(i + 1) + " of line " + number::int_text(line) + " holds " +
             paths::quoted(first[static_cast<std::size_t>(i)].text) + ", which is no coordinate";
    }
  }
  if (seen.first_whole && seen.next_fractional) {
    return "its first field is a whole number on every line and the next hold decimals, as "
           "point numbers and codes are";
  }
  const std::vector<double>& firsts = seen.firsts;
  if (firsts.size() < 3) return "";
  bool by_one = true;
  bool same = true;
  bool grows = true;
  for (std::size_t i = 1; i < firsts.size(); ++i) {
    double step = firsts[i] - firsts[i - 1];
    by_one = by_one && step == 1 &&
             firsts[i] == static_cast<double>(static_cast<std::int64_t>(firsts[i]));
    same = same && step == 0;
    grows = grows && step > 0;
  }
  const bool far_below = seen.first_largest * 100 <= seen.next_smallest;
  if (by_one && far_below) return "its first field counts up one by one, as point numbers do";
  if (same && far_below) return "its first field is the same on every line, as no coordinate is";
  if (grows && seen.first_decimals > seen.next_decimals)
    return "its first field only grows, and is written finer than the next, as a time is";
  // Whole numbers far below the two fields after them, however they step:
  // a grid's row and column (I J X Y Z), or a point number and a code.
  const std::vector<FirstFields::Column>& columns = seen.columns;
  double largest = 0;
  for (std::size_t k = 1; k + 1 < columns.size() && k + 3 <= first.size(); ++k) {
    const FirstFields::Column& before = columns[k - 1];
    if (!before.number || !before.whole) break;
    largest = std::max(largest, before.largest);
    if (!columns[k].number || !columns[k + 1].number) break;
    if (largest * 100 <= std::min(columns[k].smallest, columns[k + 1].smallest)) {
      return k == 1 ? "its first field is a whole number far below the next two, as point "
                      "numbers and a grid's rows and columns are"
                    : "its first " + number::int_text(static_cast<std::int64_t>(k)) +
                          " fields are whole numbers far below the next two, as a grid's rows "
                          "and columns and point numbers are";
    }
  }
  return "";
}

// A line before the data: a header, or free text (a comment without its
// mark, a title), and its index.
struct Before {
  std::string_view text;
  std::size_t line;
  bool free_text;
};

// A field that holds something and is no number, with a decimal point or a
// decimal comma. Two tabs in a row leave an empty field, which is no word.
bool is_word(const Field& field) {
  return !field.text.empty() && !is_number(field, false) && !is_number(field, true);
}

bool holds_word(const std::vector<Field>& fields) {
  return std::any_of(fields.begin(), fields.end(), is_word);
}

std::vector<bool> where_words_are(const std::vector<Field>& fields) {
  std::vector<bool> words(fields.size());
  std::transform(fields.begin(), fields.end(), words.begin(), is_word);
  return words;
}

// Whether the line at `at`, which holds a number, is a title (a drawing's
// name and scale, a date) rather than the first line of points: it holds
// words, fewer numbers than the next line that holds numbers (past any
// header or comment) holds fields, and that line holds numbers alone, laid
// out otherwise, as is the one after it.
bool is_title(const std::vector<Line>& lines, std::size_t at) {
  std::vector<Field> fields;
  std::string_view text = trimmed(lines[at].text);
  const char separator = find_separator(text);
  split_fields(text, separator, fields);
  if (!holds_word(fields)) return false;
  const std::size_t count = fields.size();
  const auto numbers =
      std::count_if(fields.begin(), fields.end(), [](const Field& f) { return !is_word(f); });
  std::size_t next = at + 1;
  for (; next < lines.size(); ++next) {
    text = trimmed(lines[next].text);
    if (!text.empty() && !is_comment(text) && holds_number(text)) break;
  }
  if (next == lines.size()) return false;
  const char data_separator = find_separator(text);
  split_fields(text, data_separator, fields);
  const std::size_t data_count = fields.size();
  if (holds_word(fields) || numbers >= static_cast<std::ptrdiff_t>(data_count) ||
      (data_separator == separator && data_count == count)) {
    return false;
  }
  for (std::size_t after = next + 1; after < lines.size(); ++after) {
    text = trimmed(lines[after].text);
    if (text.empty()) continue;
    if (is_end_line(text)) return true;
    split_fields(text, data_separator, fields);
    return fields.size() == data_count && !holds_word(fields);
  }
  return true;
}

}  // namespace

void split_fields(std::string_view line, char separator, std::vector<Field>& fields) {
  fields.clear();
  const bool white = separator == ' ';
  auto is_separator = [&](char c) { return white ? is_white(c) : c == separator; };
  auto is_blank = [&](char c) { return is_white(c) && (white || c != separator); };
  const std::size_t n = line.size();
  std::size_t i = 0;
  for (;;) {
    while (i < n && is_blank(line[i])) ++i;
    if (i == n && (white || fields.empty())) break;
    Field field;
    bool taken = false;
    if (i < n && line[i] == '"') {
      std::size_t close = i + 1;
      while ((close = line.find('"', close)) != std::string_view::npos && close + 1 < n &&
             line[close + 1] == '"') {
        close += 2;
      }
      if (close != std::string_view::npos) {
        std::size_t after = close + 1;
        while (after < n && is_blank(line[after])) ++after;
        if (after == n || is_separator(line[after]) || (white && after > close + 1)) {
          field = {line.substr(i + 1, close - i - 1), true};
          i = after;
          taken = true;
        }
      }
    }
    if (!taken) {
      std::size_t first = i;
      while (i < n && !is_separator(line[i])) ++i;
      field = {trimmed(line.substr(first, i - first)), false};
    }
    fields.push_back(field);
    if (i == n) break;
    if (!white) {
      ++i;
      std::size_t rest = i;
      while (rest < n && is_blank(line[rest])) ++rest;
      if (rest == n) break;  // the empty field after a last separator
    }
  }
}

bool is_number(const Field& field, bool decimal_comma) {
  return parse(field.text, decimal_comma).ok;
}

namespace {

// The first `most` lines of the start of a file, past a byte order mark.
std::vector<Line> lines_past_mark(std::string_view start, bool whole_file, std::size_t most) {
  return lines_of(start, start.starts_with("\xef\xbb\xbf") ? 3 : 0, whole_file, most);
}

// The start of a file up to its first data line: its lines, and those
// before the data, each to be weighed for what it names, as the layout
// counts them (comments, header, a count, titles). `data` is the first
// data line's index, or the number of lines when none was seen.
struct Opening {
  std::vector<Line> lines;
  std::vector<Before> before;
  std::size_t first = 0;  // past a byte order mark
  std::size_t data = 0;
};

Opening read_lines_before_data(std::string_view start, bool whole_file, Layout& layout,
                               std::size_t most = SIZE_MAX) {
  Opening opening;
  if (start.starts_with("\xef\xbb\xbf")) {
    layout.byte_order_mark = true;
    opening.first = 3;
  }
  const std::vector<Line>& lines = opening.lines = lines_of(start, opening.first, whole_file, most);
  std::size_t d = 0;
  for (; d < lines.size(); ++d) {
    std::string_view text = trimmed(lines[d].text);
    if (text.empty()) continue;
    if (is_comment(text)) {
      ++layout.comment_lines;
      opening.before.push_back({without_comment_mark(text), d, true});
      continue;
    }
    if (!holds_number(text)) {
      ++layout.header_lines;
      opening.before.push_back({text, d, false});
      continue;
    }
    if (!layout.count_line && is_whole_number(text)) {
      // A count, if the next line that holds anything has three fields.
      std::size_t next = d + 1;
      while (next < lines.size() && trimmed(lines[next].text).empty()) ++next;
      if (next < lines.size() && counted_lines_agree(lines, next)) {
        layout.count_line = true;
        layout.count = std::stoll(std::string(text));
        continue;
      }
    }
    if (is_title(lines, d)) {
      ++layout.header_lines;
      opening.before.push_back({text, d, true});
      continue;
    }
    break;
  }
  opening.data = d;
  return opening;
}

// The first data line's separator and decimal mark, as the options say or
// as the line shows, and its fields.
void read_first_data_line(std::string_view data, const Options& options, Layout& layout,
                          std::vector<Field>& first_fields) {
  layout.separator = options.separator != 0 ? options.separator : find_separator(data);
  // Told that commas are decimal, the file has another separator.
  if (options.decimal_comma && options.separator == 0 && layout.separator == ',') {
    layout.separator = ' ';
  }
  split_fields(data, layout.separator, first_fields);
  layout.decimal_comma =
      options.decimal_comma || finds_decimal_comma(first_fields, layout.separator);
  layout.fields = static_cast<int>(first_fields.size());
}

// Where the lines of points end: before a last line that ends them (END,
// EOD), when the whole file is looked at, whose word goes to `end_word`.
std::size_t end_of_points(const std::vector<Line>& lines, std::size_t d, bool whole_file,
                          std::string& end_word) {
  std::size_t end = lines.size();
  while (end > d + 1 && trimmed(lines[end - 1].text).empty()) --end;
  if (whole_file && end > d + 1 && is_end_line(lines[end - 1].text)) {
    --end;
    end_word = lower(trimmed(lines[end].text));
  }
  return end;
}

bool numbers_only(const std::vector<Field>& line) {
  return std::all_of(line.begin(), line.end(), [](const Field& f) { return is_number(f, false); });
}

// What the data lines after the first show, as far as kSampled of them.
struct Sample {
  bool same_fields = true;
  bool all_numbers = true;  // every field of the lines looked at
  // Where the first line holds words: on every line, in a column of codes.
  bool words = false;
  bool words_in_place = true;
  int sampled = 0;
  FirstFields seen;
};

Sample sample_data_lines(const std::vector<Line>& lines, std::size_t d, std::size_t end,
                         const Layout& layout, const std::vector<Field>& first_fields) {
  Sample sample;
  std::vector<number::Parsed> values;
  parse_fields(first_fields, layout.decimal_comma, values);
  look_at_first_fields(first_fields, values, layout.decimal_comma, true, sample.seen);
  sample.words = holds_word(first_fields);
  const std::vector<bool> word_fields = where_words_are(first_fields);
  bool seen_all_lines = true;
  std::vector<Field> fields;
  for (std::size_t j = d + 1; j < end && sample.sampled < kSampled; ++j) {
    std::string_view text = trimmed(lines[j].text);
    if (text.empty()) continue;
    ++sample.sampled;
    split_fields(text, layout.separator, fields);
    parse_fields(fields, layout.decimal_comma, values);
    // Read with a decimal comma, a field may be a number that is not one
    // without it.
    sample.all_numbers =
        sample.all_numbers &&
        (layout.decimal_comma ? numbers_only(fields)
                              : std::all_of(values.begin(), values.end(),
                                            [](const number::Parsed& v) { return v.ok; }));
    if (static_cast<int>(fields.size()) != layout.fields) {
      sample.same_fields = false;
      sample.words_in_place = false;
      continue;
    }
    sample.words_in_place =
        sample.words_in_place && (!sample.words || where_words_are(fields) == word_fields);
    std::size_t before_count = sample.seen.firsts.size();
    if (seen_all_lines) {
      look_at_first_fields(fields, values, layout.decimal_comma, false, sample.seen);
    }
    seen_all_lines = sample.seen.firsts.size() > before_count;
  }
  return sample;
}

// Numbers and white space, with nothing skipped, told or ended: the plain
// stream, unless two lines or more hold the same number of numbers, more
// than three, on every line. With three fields or fewer on the first data
// line, the sample plays no part.
bool is_plain_stream(const Layout& layout, const Sample& sample,
                     const std::vector<Field>& first_fields, bool maybe_plain,
                     const std::string& end_word) {
  if (!maybe_plain || holds_word(first_fields) || !end_word.empty()) return false;
  return layout.fields <= 3 || !sample.same_fields || !sample.all_numbers ||
         !numbers_only(first_fields) || sample.sampled == 0;
}

// The fields a line before the data names, split as the data is. Free text
// (a comment, a title) names fields only when it is a header behind a
// comment mark, one name a field: las2txt's "# scale factor x y z" is not.
bool names_fields(const Before& line, const Layout& layout, std::vector<Field>& names) {
  split_fields(line.text, layout.separator, names);
  return !line.free_text || static_cast<int>(names.size()) == layout.fields;
}

// A header's name as it is compared with the names of dimensions: no
// unit, no blanks, underscores, hyphens or points, in small letters, so
// that "Return Number", "return_number" and "ReturnNumber" are one.
std::string attribute_key(std::string_view text) {
  std::string key;
  for (char c : name_of(text)) {
    if (c != ' ' && c != '_' && c != '-' && c != '.' && !is_white(c)) key += c;
  }
  return key;
}

// `text` as UTF-8: as it is, or read as Latin-1 (a byte a character).
std::string as_utf8(std::string_view text, bool latin1) {
  if (!latin1) return std::string(text);
  std::string result;
  for (char c : text) append_utf8(static_cast<unsigned char>(c), result);
  return result;
}

// Where a header names X, Y and Z, what its other fields hold: a dimension
// by its name (the first field that names it), or else an extra dimension
// by the header's own words for it. A field without a name is called by
// its number, and a name given twice gets its field's number after it, so
// that each extra dimension has a name of its own. "I" beside "J" are a
// grid's rows and columns, not intensity.
void name_attributes(Layout& layout, const std::vector<Field>& names, bool latin1) {
  layout.dims.clear();
  layout.extra.clear();
  const std::size_t named = std::min(names.size(), static_cast<std::size_t>(layout.fields));
  const bool grid = std::any_of(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(named),
                                [](const Field& f) { return attribute_key(f.text) == "j"; });
  point::DimSet taken;
  std::vector<std::string> used;  // the extra names, as they are compared
  for (std::size_t i = 0; i < named; ++i) {
    const int field = static_cast<int>(i);
    if (std::find(layout.xyz, layout.xyz + 3, field) != layout.xyz + 3) continue;
    std::optional<point::Dim> dim = attribute_named(names[i].text);
    if (grid && attribute_key(names[i].text) == "i") dim.reset();
    if (dim && !taken.has(*dim)) {
      taken.add(*dim);
      layout.dims.emplace_back(field, *dim);
      continue;
    }
    std::string name = as_utf8(trimmed(names[i].text), latin1);
    const std::string number = number::int_text(field + 1);
    if (name.empty()) name = "field " + number;
    if (std::find(used.begin(), used.end(), lower(name)) != used.end() || dim) {
      name += " (field " + number + ")";
    }
    used.push_back(lower(name));
    layout.extra.emplace_back(field, std::move(name));
  }
}

// Leica PTS: a count, then X Y Z and intensity, colour, or both, with no
// header to name them.
void pts_attributes(Layout& layout) {
  using point::Dim;
  const bool first_three = layout.xyz[0] == 0 && layout.xyz[1] == 1 && layout.xyz[2] == 2;
  if (!layout.count_line || layout.header_lines > 0 || layout.comment_lines > 0 || !first_three)
    return;
  switch (layout.fields) {
    case 4:
      layout.dims = {{3, Dim::kIntensity}};
      break;
    case 6:
      layout.dims = {{3, Dim::kRed}, {4, Dim::kGreen}, {5, Dim::kBlue}};
      break;
    case 7:
      layout.dims = {{3, Dim::kIntensity}, {4, Dim::kRed}, {5, Dim::kGreen}, {6, Dim::kBlue}};
      break;
    default:
      break;
  }
}

// The header that names the fields where --columns gives X, Y and Z: the
// first line before the data that names every field, one name each.
void attributes_by_option(Layout& layout, const std::vector<Before>& before, bool latin1) {
  std::vector<Field> names;
  for (bool any : {false, true}) {
    for (const Before& line : before) {
      if (line.free_text != any) continue;
      if (names_fields(line, layout, names) && static_cast<int>(names.size()) == layout.fields) {
        name_attributes(layout, names, latin1);
        return;
      }
    }
  }
}

// X, Y and Z in the fields --columns gives, by number or by a name that a
// line before the data holds.
Layout fields_by_option(Layout layout, const Options& options, const std::vector<Before>& before,
                        bool latin1) {
  std::vector<Field> names;
  for (int axis = 0; axis < 3; ++axis) {
    const std::string& column = options.columns[static_cast<std::size_t>(axis)];
    int field = -1;
    if (is_whole_number(column)) {
      field = column.size() > 6 ? 1 << 30 : std::stoi(column) - 1;
    } else {
      // The first line before the data that holds the name, among those
      // that may name fields first, then among any.
      for (bool any : {false, true}) {
        for (std::size_t line = 0; line < before.size() && field < 0; ++line) {
          if (!names_fields(before[line], layout, names) && !any) continue;
          for (std::size_t i = 0; i < names.size(); ++i) {
            if (name_of(names[i].text, latin1) == name_of(column)) field = static_cast<int>(i);
          }
        }
      }
      if (field < 0) {
        return refused("--columns names the field " + paths::for_message(column) +
                       ", which no header line of this file names");
      }
    }
    if (field < 0 || field >= layout.fields) {
      return refused("--columns asks for field " + paths::for_message(column) + ", and line " +
                     number::int_text(layout.data_line) + " holds " +
                     number::int_text(layout.fields));
    }
    // A number and a name may still be one field.
    for (int earlier = 0; earlier < axis; ++earlier) {
      if (layout.xyz[earlier] == field) {
        return refused("--columns gives " + std::string(kAxisNames[earlier]) + " and " +
                       kAxisNames[axis] + " the same field, " + number::int_text(field + 1) +
                       " in this file");
      }
    }
    layout.xyz[axis] = field;
  }
  layout.named = Layout::Named::kByOption;
  attributes_by_option(layout, before, latin1);
  if (layout.dims.empty() && layout.extra.empty()) pts_attributes(layout);
  return layout;
}

// X, Y and Z where the lines before the data name them. Every such line is
// weighed: the one that names the axes wins, lines that name none (units,
// comments) do not hide it, and two that name them in different fields
// leave the file a guess, as does a line that names some of them where
// none names all. False where no line names any axis.
bool fields_by_header(Layout& layout, const std::vector<Before>& before, bool latin1) {
  struct Naming {
    std::size_t line;  // in the file, from 0
    int xyz[3];
    std::vector<Field> names;
  };
  std::vector<Naming> namings;
  std::vector<Field> names;
  for (const Before& line : before) {
    if (!names_fields(line, layout, names)) continue;
    Naming naming{line.line, {}, names};
    Named named = xyz_from_header(names, layout.fields, latin1, naming.xyz);
    if (named == Named::kNone) continue;
    if (named == Named::kTwice) {
      layout = refused("line " + number::int_text(static_cast<std::int64_t>(line.line) + 1) +
                       " names one of X, Y and Z twice" + columns_hint());
      return true;
    }
    namings.push_back(naming);
  }
  const Naming* all = nullptr;
  for (const Naming& naming : namings) {
    if (std::count(naming.xyz, naming.xyz + 3, -1) == 0 && all == nullptr) all = &naming;
  }
  if (all == nullptr) {
    if (namings.empty()) return false;
    layout =
        refused("the header names some of X, Y and Z but not each of them once" + columns_hint());
    return true;
  }
  for (const Naming& naming : namings) {
    // A line that names one axis among other words is a title ("North pier
    // survey") rather than a second header: it does not outweigh the line
    // that names all three.
    if (std::count(naming.xyz, naming.xyz + 3, -1) == 2) continue;
    for (int axis = 0; axis < 3; ++axis) {
      if (naming.xyz[axis] >= 0 && naming.xyz[axis] != all->xyz[axis]) {
        const std::size_t lines_named[] = {std::min(all->line, naming.line),
                                           std::max(all->line, naming.line)};
        layout =
            refused("lines " + number::int_text(static_cast<std::int64_t>(lines_named[0]) + 1) +
                    " and " + number::int_text(static_cast<std::int64_t>(lines_named[1]) + 1) +
                    " name X, Y and Z in different fields" + columns_hint());
        return true;
      }
    }
  }
  std::copy(all->xyz, all->xyz + 3, layout.xyz);
  layout.named = Layout::Named::kByHeader;
  name_attributes(layout, all->names, latin1);
  return true;
}

// X, Y and Z where nothing names them: after the id of ARC/INFO GENERATE
// lines, which END ends, or the first three fields unless the lines plainly
// say they are not.
Layout fields_by_position(Layout layout, const Sample& sample,
                          const std::vector<Field>& first_fields, bool maybe_plain,
                          const std::string& end_word) {
  if (end_word == "end" && sample.seen.first_whole) {
    if (layout.fields == 3) {
      return refused(
          "lines of an id and two coordinates, ending in END, as ARC/INFO GENERATE writes "
          "points in the plane: they hold no Z");
    }
    layout.xyz[0] = 1;
    layout.xyz[1] = 2;
    layout.xyz[2] = 3;
    layout.named = Layout::Named::kByEndLine;
    return layout;
  }
  if (maybe_plain && sample.words && (sample.sampled == 0 || !sample.words_in_place)) {
    return refused("line " + number::int_text(layout.data_line) +
                   " mixes numbers and words, and the lines after it do not hold words in the "
                   "same fields, as a column of codes would" +
                   columns_hint());
  }
  if (layout.fields > 3) {
    std::string why =
        why_not_first_three(first_fields, layout.data_line, sample.seen, layout.decimal_comma);
    if (!why.empty()) return refused(why + columns_hint());
  }
  pts_attributes(layout);
  return layout;
}

// Whether a comment before the data ends a Horizon ASCII header, as grid
// exports of seismic interpretation write it, after their `@` lines.
bool ends_horizon_header(const std::vector<Before>& before) {
  return std::any_of(before.begin(), before.end(), [](const Before& line) {
    return line.free_text && lower(line.text).starts_with("end_of_horizon_ascii_header");
  });
}

// X, Y and Z of I J X Y Z lines, where a Horizon ASCII header says the file
// is a grid and each line's first two fields are whole values: its row and
// column. Five fields that are not so are refused: the file says they are
// no X Y.
bool fields_after_grid_indices(Layout& layout, const std::vector<Before>& before,
                               const Sample& sample) {
  if (layout.fields != 5 || !ends_horizon_header(before)) return false;
  const std::vector<FirstFields::Column>& columns = sample.seen.columns;
  const auto index = [&](std::size_t i) {
    return i < columns.size() && columns[i].number && columns[i].whole;
  };
  if (!index(0) || !index(1)) {
    layout = refused(
        "a Horizon ASCII grid whose lines are not a whole row and column, then X Y Z "
        "(I J X Y Z)" +
        columns_hint());
    return true;
  }
  layout.xyz[0] = 2;
  layout.xyz[1] = 3;
  layout.xyz[2] = 4;
  layout.named = Layout::Named::kByGridHeader;
  return true;
}

}  // namespace

// Both look at a few lines, not at all that detect() splits.
bool begins_as_ptx(std::string_view start, bool whole_file) {
  return is_ptx(lines_past_mark(start, whole_file, kPtxLines));
}

bool begins_as_ascii_grid(std::string_view start, bool whole_file) {
  for (std::size_t most = 4;; most *= 4) {
    std::vector<Line> lines = lines_past_mark(start, whole_file, most);
    for (const Line& line : lines) {
      std::string_view text = trimmed(line.text);
      if (!text.empty()) return first_word_is_grid(text);
    }
    if (lines.size() < most) return false;
  }
}

namespace {

// Whether lines of numbers may be the plain stream: nothing skipped before
// them, nothing told, white space between their numbers and no decimal
// comma. A line of numbers and words is no line of plain numbers, nor is a
// file that says where its points end.
bool may_be_plain(const Layout& layout, const Options& options) {
  const bool skipped_lines = layout.comment_lines + layout.header_lines > 0 || layout.count_line;
  const bool told = options.separator != 0 || options.decimal_comma || !options.columns.empty();
  const bool white = layout.separator == ' ' || layout.separator == '\t';
  return !skipped_lines && !told && white && !layout.decimal_comma;
}

Layout plain_stream(const Layout& layout, const Opening& opening) {
  Layout stream;
  stream.byte_order_mark = layout.byte_order_mark;
  stream.data_start = opening.first;
  return stream;
}

// The plain stream where the first line tells it alone, as most tiles' does:
// data (no count, no comment, no header or title), three fields or fewer,
// numbers alone. Nothing after it is then weighed, as long as the file goes
// on past what was looked at (and so has no last line that ends the
// points). Otherwise false, for the whole look.
bool plain_by_first_line(std::string_view start, bool whole_file, const Options& options,
                         Layout& plain) {
  if (whole_file) return false;
  Layout layout;
  const Opening opening = read_lines_before_data(start, whole_file, layout, 1);
  if (opening.data != 0 || opening.lines.empty()) return false;
  const std::string_view first = trimmed(opening.lines[0].text);
  // A count is told by the lines after it.
  if (is_whole_number(first)) return false;
  std::vector<Field> fields;
  read_first_data_line(first, options, layout, fields);
  if (layout.fields > 3 ||
      !is_plain_stream(layout, Sample{}, fields, may_be_plain(layout, options), ""))
    return false;
  plain = plain_stream(layout, opening);
  return true;
}

}  // namespace

Layout detect(std::string_view start, bool whole_file, const Options& options) {
  Layout plain;
  if (!options.stream && plain_by_first_line(start, whole_file, options, plain)) return plain;
  return detect_fully(start, whole_file, options);
}

Layout detect_fully(std::string_view start, bool whole_file, const Options& options) {
  Layout layout;
  if (options.stream) return layout;
  Opening opening = read_lines_before_data(start, whole_file, layout);
  const std::vector<Line>& lines = opening.lines;
  const std::size_t d = opening.data;
  const bool skipped_lines = layout.comment_lines + layout.header_lines > 0 || layout.count_line;
  if (d == lines.size()) {
    // Nothing but a header and comments, as far as was looked: a file
    // without points if that was all of it.
    if (!(layout.byte_order_mark || skipped_lines) || !whole_file) return Layout{};
    layout.kind = Kind::kFields;
    layout.data_start = start.size();
    layout.data_line = static_cast<std::int64_t>(lines.size()) + 1;
    return layout;
  }
  layout.data_start = lines[d].offset;
  layout.data_line = static_cast<std::int64_t>(d) + 1;
  std::vector<Field> first_fields;
  read_first_data_line(trimmed(lines[d].text), options, layout, first_fields);
  std::string end_word;
  const std::size_t end = end_of_points(lines, d, whole_file, end_word);

  const bool maybe_plain = may_be_plain(layout, options);
  // Three fields or fewer on the first data line need no sample of the
  // lines after it to be the plain stream.
  if (layout.fields <= 3 && is_plain_stream(layout, Sample{}, first_fields, maybe_plain, end_word))
    return plain_stream(layout, opening);
  const Sample sample = sample_data_lines(lines, d, end, layout, first_fields);
  if (is_plain_stream(layout, sample, first_fields, maybe_plain, end_word))
    return plain_stream(layout, opening);
  layout.kind = Kind::kFields;
  // Names are compared in small letters, the lines before the data read as
  // Latin-1 where they are no UTF-8.
  const std::vector<Before>& before = opening.before;
  const bool latin1 =
      std::any_of(before.begin(), before.end(), [](const Before& b) { return !is_utf8(b.text); });
  if (!options.columns.empty()) return fields_by_option(layout, options, before, latin1);
  if (layout.fields < 3) {
    return refused("line " + number::int_text(layout.data_line) + " holds " +
                   number::int_text(layout.fields) + (layout.fields == 1 ? " field" : " fields") +
                   ", and a point needs three (X Y Z)");
  }
  if (fields_by_header(layout, before, latin1)) return layout;
  if (fields_after_grid_indices(layout, before, sample)) return layout;
  return fields_by_position(layout, sample, first_fields, maybe_plain, end_word);
}

std::optional<point::Dim> attribute_named(std::string_view name) {
  using point::Dim;
  // The short forms and other tools' spellings that PDAL's names, compared
  // as attribute_key() makes them, do not cover.
  static constexpr struct {
    std::string_view key;
    Dim dim;
  } kAliases[] = {
      {"i", Dim::kIntensity},
      {"intens", Dim::kIntensity},
      {"inten", Dim::kIntensity},
      {"return", Dim::kReturnNumber},
      {"returnno", Dim::kReturnNumber},
      {"returnnr", Dim::kReturnNumber},
      {"returnnum", Dim::kReturnNumber},
      {"returns", Dim::kNumberOfReturns},
      {"numreturns", Dim::kNumberOfReturns},
      {"numofreturns", Dim::kNumberOfReturns},
      {"nreturns", Dim::kNumberOfReturns},
      {"returncount", Dim::kNumberOfReturns},
      {"class", Dim::kClassification},
      {"classcode", Dim::kClassification},
      {"syntheticflag", Dim::kSynthetic},
      {"keypointflag", Dim::kKeyPoint},
      {"withheldflag", Dim::kWithheld},
      {"overlapflag", Dim::kOverlap},
      {"scannerchannel", Dim::kScanChannel},
      {"channel", Dim::kScanChannel},
      {"scandirection", Dim::kScanDirectionFlag},
      {"directionofscanflag", Dim::kScanDirectionFlag},
      {"edgeofflightlineflag", Dim::kEdgeOfFlightLine},
      {"pointsource", Dim::kPointSourceId},
      {"sourceid", Dim::kPointSourceId},
      {"time", Dim::kGpsTime},
      {"r", Dim::kRed},
      {"g", Dim::kGreen},
      {"b", Dim::kBlue},
      {"nir", Dim::kInfrared},
      {"nearinfrared", Dim::kInfrared},
      {"wavepacketindex", Dim::kWavePacketDescriptorIndex},
      {"wavepacketoffset", Dim::kWaveformDataOffset},
      {"wavepacketsize", Dim::kWaveformPacketSize},
      {"wavepacketlocation", Dim::kReturnPointWaveformLocation},
      {"xt", Dim::kWaveformXt},
      {"yt", Dim::kWaveformYt},
      {"zt", Dim::kWaveformZt},
  };
  const std::string key = attribute_key(name);
  std::optional<Dim> dim = point::dim_named(key);
  if (!dim) {
    for (const auto& alias : kAliases) {
      if (alias.key == key) dim = alias.dim;
    }
  }
  if (dim && point::kXyz.has(*dim)) return std::nullopt;
  return dim;
}

bool is_end_line(std::string_view line) {
  std::string word = lower(trimmed(line));
  return word == "end" || word == "eod";
}

std::string describe(const Layout& layout, std::int64_t points,
                     const std::vector<std::string>& kept) {
  std::vector<std::string> skipped;
  if (layout.byte_order_mark) skipped.push_back("a byte order mark");
  auto lines = [](int count, const char* what) {
    return number::int_text(count) + " " + what + (count == 1 ? " line" : " lines");
  };
  if (layout.header_lines > 0) skipped.push_back(lines(layout.header_lines, "header"));
  if (layout.comment_lines > 0) skipped.push_back(lines(layout.comment_lines, "comment"));
  if (layout.count_line)
    skipped.push_back("a point count (" + number::int_text(layout.count) + ")");
  std::string text;
  if (!skipped.empty()) {
    text = "skipped ";
    for (std::size_t i = 0; i < skipped.size(); ++i) {
      if (i > 0) text += i + 1 == skipped.size() ? " and " : ", ";
      text += skipped[i];
    }
    text += "; ";
  }
  text += "one point a line, fields separated by ";
  switch (layout.separator) {
    case ' ':
      text += "white space";
      break;
    case ',':
      text += "commas";
      break;
    case ';':
      text += "semicolons";
      break;
    case '\t':
      text += "tabs";
      break;
    default:
      text += std::string("'") + layout.separator + "'";
      break;
  }
  if (layout.decimal_comma) text += ", decimal commas";
  text += "; X Y Z from fields " + number::int_text(layout.xyz[0] + 1) + ", " +
          number::int_text(layout.xyz[1] + 1) + ", " + number::int_text(layout.xyz[2] + 1);
  if (layout.named == Layout::Named::kByHeader) text += " (named by the header)";
  if (layout.named == Layout::Named::kByEndLine) {
    text += " (after the id, as ARC/INFO GENERATE writes points, ending in END)";
  }
  if (layout.named == Layout::Named::kByGridHeader) {
    text += " (after the grid's row and column, as its Horizon ASCII header says)";
  }
  text += " of " + number::int_text(layout.fields);
  if (!kept.empty()) {
    text += ", with ";
    for (std::size_t i = 0; i < kept.size(); ++i) {
      if (i > 0) text += i + 1 == kept.size() ? " and " : ", ";
      text += kept[i];
    }
  }
  const int dropped = layout.fields - 3 - static_cast<int>(kept.size());
  if (dropped > 0) text += ", " + number::int_text(dropped) + " dropped";
  if (layout.count_line && layout.count != points) {
    text += "; the count line says " + number::int_text(layout.count) + " points, " +
            number::int_text(points) + (points == 1 ? " was" : " were") + " read";
  }
  return text;
}

std::string parse_columns(std::string_view text, std::vector<std::string>& columns) {
  const std::string three =
      "option --columns needs three fields, from 1 or named by a header: --columns 1,2,3";
  columns.clear();
  std::vector<std::string> same;  // each column as another would be compared with it
  std::size_t at = 0;
  for (;;) {
    std::size_t comma = std::min(text.find(',', at), text.size());
    std::string_view column = trimmed(text.substr(at, comma - at));
    if (column.empty() || columns.size() == 3) return three;
    // A header holds no number, so a number is never a name: it must be a
    // field that a line looked at can hold.
    if (is_number(Field{column}, false)) {
      std::string shown = paths::for_message(column);
      std::size_t digits = column.find_first_not_of('0');
      std::size_t field = 0;
      bool whole = std::all_of(column.begin(), column.end(), bytes::is_digit) &&
                   digits != std::string_view::npos && column.size() - digits <= 6;
      if (whole) field = std::stoul(std::string(column.substr(digits)));
      if (!whole || field > kLookedAt) {
        return "option --columns: " + shown + " is no field number (a whole number from 1 to " +
               number::int_text(static_cast<std::int64_t>(kLookedAt)) +
               ") and no header's name (a header holds no number)";
      }
      same.push_back(number::int_text(static_cast<std::int64_t>(field)));
    } else {
      same.push_back("name " + name_of(column));
    }
    for (std::size_t axis = 0; axis < columns.size(); ++axis) {
      if (same[axis] == same.back()) {
        return std::string("option --columns gives ") + kAxisNames[axis] + " and " +
               kAxisNames[columns.size()] + " the same field, " + paths::for_message(column) +
               ": each needs its own";
      }
    }
    columns.emplace_back(column);
    if (comma == text.size()) break;
    at = comma + 1;
  }
  return columns.size() == 3 ? "" : three;
}

std::string parse_separator(std::string_view text, char& separator) {
  const std::string shown = paths::for_message(text);
  if (text == "tab" || text == "\\t" || text == "\t") {
    separator = '\t';
    return "";
  }
  if (text == "space" || text == " ") {
    separator = ' ';
    return "";
  }
  if (text.empty())
    return "option --separator needs one character, or tab or space: --separator ';'";
  const char c = text[0];
  if (text.size() > 1 || static_cast<unsigned char>(c) >= 0x80) {
    return "option --separator takes one ASCII character, or the word tab or space: " + shown +
           " is none of them";
  }
  if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-') {
    return "option --separator " + shown +
           " would split numbers, which hold digits, letters (1e3, 0x1p3, inf), '.', '+' "
           "and '-': give another character, as ';'";
  }
  if (c == '"') return "option --separator cannot be the quote, which encloses fields";
  if (is_white(c) || c == kCtrlZ) {
    return "option --separator " + shown +
           " ends lines or the text, or is white space: give tab, space or a character that "
           "shows";
  }
  separator = c;
  return "";
}

}  // namespace layout
