#include "read/text/layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using layout::Kind;
using layout::Layout;

// What a file start is found to be, in short: kind, separator, decimal
// comma, fields a line, the fields of X Y Z (from 1), what was skipped.
std::string found(const std::string& start, const layout::Options& options = {}) {
  Layout l = layout::detect(start, true, options);
  if (l.kind == Kind::kPlainStream) return l.byte_order_mark ? "plain bom" : "plain";
  if (l.kind == Kind::kRefused) return "refused: " + l.refusal;
  std::string text = "fields '";
  text += l.separator;
  text += "'";
  if (l.decimal_comma) text += " decimal-comma";
  text.append(" ").append(std::to_string(l.fields)).append(" xyz ");
  for (int axis : l.xyz) text += static_cast<char>('1' + axis);
  if (l.byte_order_mark) text += " bom";
  if (l.header_lines > 0) text += " header " + std::to_string(l.header_lines);
  if (l.comment_lines > 0) text += " comments " + std::to_string(l.comment_lines);
  if (l.count_line) text += " count " + std::to_string(l.count);
  text += " from line " + std::to_string(l.data_line);
  return text;
}

struct Case {
  const char* start;
  const char* expected;
};

// All a layout holds.
std::string all_of(const Layout& l) {
  std::string text = std::to_string(static_cast<int>(l.kind)) + " " + std::to_string(l.data_start) +
                     " " + std::to_string(l.data_line) + " " + std::to_string(l.byte_order_mark) +
                     " " + std::to_string(l.header_lines) + " " + std::to_string(l.comment_lines) +
                     " " + std::to_string(l.count_line) + " " + std::to_string(l.count) + " " +
                     l.separator + " " + std::to_string(l.decimal_comma) + " " +
                     std::to_string(l.fields) + " ";
  for (int axis : l.xyz) text += std::to_string(axis) + ",";
  for (const auto& [field, dim] : l.dims) {
    text.append(std::to_string(field)).append("=").append(point::name_of(dim)).append(" ");
  }
  for (const auto& [field, name] : l.extra) {
    text.append(std::to_string(field)).append(":").append(name).append(" ");
  }
  return text + std::to_string(static_cast<int>(l.named)) + " " + l.refusal;
}

// Each case as found, and every start of it cut short (as a file looked at
// in part) found by detect() as by the whole look without its shortcut.
void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(found(c.start), c.expected) << c.start;
    const std::string start = c.start;
    for (std::size_t cut = 0; cut <= start.size(); ++cut) {
      const std::string part = start.substr(0, cut);
      ASSERT_EQ(all_of(layout::detect(part, false)), all_of(layout::detect_fully(part, false)))
          << part;
    }
  }
}

// Files of numbers and white space are the stream they always were, also
// with a point split over lines and lines of four numbers among others.
TEST(Detection, PlainFilesStayTheStream) {
  check({
      {"", "plain"},
      {" \r\n\t\n", "plain"},
      {"651216.89 6862041.98 88.19\r\n651217.00 6862042.00 88.20\r\n", "plain"},
      {"1 2\n3 4 5 6\n", "plain"},
      {"1 2 3 4 5 6\n7 8 9\n", "plain"},
      {"1\t2 3\n", "plain"},
      {"5\n6\n7\n", "plain"},
      {"1e3 -2.5E-1 0x1p3\ninf nan 1\n", "plain"},
      // Stray text stays what it was: today's warning, not a layout.
      {"1 2 3\n4 5 six\n", "plain"},
      {"1,5 7 8 9\n", "plain"},
      {"1 2 3 4\nx 5 6 7\n", "plain"},
      // Tabs are white space, and one line of six numbers is two points.
      {"651202.90\t6862401.31\n92.40\t651203.40\t6862401.31\t92.41\n", "plain"},
      {"1\t2\t3\t4\t5\t6\n7\t8\t9\n", "plain"},
      {"  680325.99\t\t6236407.04 \t175.607 \n653671.92\t6656178.90\t  344.826\n", "plain"},
      {"1 2 3 4 5 6", "plain"},
      // A byte order mark before plain numbers is passed over.
      {"\xef\xbb\xbf"
       "1 2\n3 4 5 6\n",
       "plain bom"},
  });
}

TEST(Detection, HeadersAndCommentsAreSkippedAndNameTheFields) {
  check({
      {"X Y Z\n1 2 3\n", "fields ' ' 3 xyz 123 header 1 from line 2"},
      // A blank first line tells nothing: the header after it does.
      {"\r\nX,Y,Z\r\n1,2,3\r\n", "fields ',' 3 xyz 123 header 1 from line 3"},
      {"\"X\",\"Y\",\"Z\"\n\"372497.26\",\"5812645.38\",\"36.102\"\n",
       "fields ',' 3 xyz 123 header 1 from line 2"},
      {"//X,Y,Z,R,G,B\n1,2,3,4,5,6\n", "fields ',' 6 xyz 123 comments 1 from line 2"},
      {"gps_time x y z intensity\n245384.398229 651644.62 6862588.37 100.85 265\n",
       "fields ' ' 5 xyz 234 header 1 from line 2"},
      {"PtNum,Northing,Easting,Elevation,Code\n1,6862166.27,651048.19,92.396,FIL\n",
       "fields ',' 5 xyz 324 header 1 from line 2"},
      {"Easting (m);Northing (m);Height\n1;2;3\n", "fields ';' 3 xyz 123 header 1 from line 2"},
      // las2txt's header is comments; its "x y z" names no field.
      {"# scale factor x y z 0.01 0.01 0.01\n# offset x y z 0 0 0\n1 2 3 4\n5 6 7 8\n",
       "fields ' ' 4 xyz 123 comments 2 from line 3"},
      {"% generated by las2txt\n\n1 2 3\n", "fields ' ' 3 xyz 123 comments 1 from line 3"},
      {"\xef\xbb\xbfX;Y;Z\r\n651216,89;6862041,98;88,19\r\n",
       "fields ';' decimal-comma 3 xyz 123 bom header 1 from line 2"},
  });
}

// Every line before the data is weighed for what it names: a units row or
// a comment under the header does not hide it, nor a title above it.
TEST(Detection, EveryLineBeforeTheDataIsWeighed) {
  check({
      {"Northing,Easting,Elevation\n(m),(m),(m)\n6862166.27,651048.19,92.396\n",
       "fields ',' 3 xyz 213 header 2 from line 3"},
      // A units row that names an axis where the header does.
      {"Easting,Northing,Elevation\n,,Height (m NN)\n651048.19,6862166.27,92.39\n",
       "fields ',' 3 xyz 123 header 2 from line 3"},
      {"Y X Z\n# exported by survey tool\n6862166.27 651048.19 92.396\n6862167.27 651049.19 "
       "92.4\n",
       "fields ' ' 3 xyz 213 header 1 comments 1 from line 3"},
      // Comments never name fields unless one name a field.
      {"/ X Y depth\n651048.19 6862166.27 -3.2\n651049.19 6862167.27 -3.3\n",
       "fields ' ' 3 xyz 123 comments 1 from line 2"},
      // A CAD export's title, with numbers among its words.
      {"C Lageplan 1:500 Projekt 12\n651048.19;6862166.27;92.396;\n651049.19;6862167.27;92.4;\n",
       "fields ';' 3 xyz 123 header 1 from line 2"},
      {"C Lageplan 12\nX;Y;Z;\n651048.19;6862166.27;92.396;\n",
       "fields ';' 3 xyz 123 header 2 from line 3"},
      // A plain letter beats an abbreviation; two names of one line give
      // the third axis the field they leave.
      {"GPSNR, REFNR, Middle Epoch, X, Y, Z, N\nAB01, 12, 2020.5, 4027893.1, 307045.6, "
       "4919474.9, 3\n",
       "fields ',' 7 xyz 456 header 1 from line 2"},
      {"\"X\"\t\"Y\"\t\"mlw\"\n651048.19\t6862166.27\t-3.2\n",
       "fields '\t' 3 xyz 123 header 1 from line 2"},
      {"mlw,Easting,Northing\n-3.2,651048.19,6862166.27\n",
       "fields ',' 3 xyz 231 header 1 from line 2"},
      // Capitals beyond ASCII, in UTF-8 or Latin-1.
      {"Pt;HOCHWERT;RECHTSWERT;H\xc3\x96HE\n7;6862166,27;651048,19;92,39\n",
       "fields ';' decimal-comma 4 xyz 324 header 1 from line 2"},
      {"Pt;HOCHWERT;RECHTSWERT;H\xd6HE\n7;6862166,27;651048,19;92,39\n",
       "fields ';' decimal-comma 4 xyz 324 header 1 from line 2"},
      {"Nr;X;Y;H\xc3\x98YDE\n7;651048.19;6862166.27;92.39\n",
       "fields ';' 4 xyz 234 header 1 from line 2"},
      {"Nr;\xc9L\xc9VATION;X;Y\n7;92.39;651048.19;6862166.27\n",
       "fields ';' 4 xyz 342 header 1 from line 2"},
      // A title that names one axis among its words does not outweigh the
      // header.
      {"North pier survey\nX,Y,Z\n1,2,3\n", "fields ',' 3 xyz 123 header 2 from line 3"},
  });
  for (const char* start : {
           // Two lines that name the axes differently, two names of one
           // weight for one axis, a header that names only some of them.
           "Easting,Northing,Elevation\nNorthing,Easting,Elevation\n1,2,3\n",
           "Easting,X,Y,Z\n1,2,3,4\n",
           "E,N,N\n1,2,3\n",
           "Pt,X,Y,mlw\n1,2,3,4\n",
       }) {
    EXPECT_EQ(found(start).substr(0, 9), "refused: ") << start;
  }
  layout::Options columns;
  ASSERT_EQ(layout::parse_columns("Easting,Northing,Elevation", columns.columns), "");
  EXPECT_EQ(found("Northing,Easting,Elevation\n(m),(m),(m)\n1,2,3\n", columns),
            "fields ',' 3 xyz 213 header 2 from line 3");
}

// A line that mixes numbers and words is no line of plain numbers, and ids
// or grid indices before the coordinates are no X: such files are read as
// they say (a header, an end line) or refused before any point is written.
TEST(Detection, NumbersAmongWordsAreNoStream) {
  check({
      // ARC/INFO GENERATE: an id first, END last.
      {"1 651048.19 6862166.27 92.396\n2 651049.19 6862167.27 92.4\n3 651050.19 6862168.27 "
       "92.5\nEND\n",
       "fields ' ' 4 xyz 234 from line 1"},
      {"651048.19 6862166.27 92.396\n651049.19 6862167.27 92.4\nEOD\n\n",
       "fields ' ' 3 xyz 123 from line 1"},
      {"651048.19 6862166.27 92.396 FIL\n651049.19 6862167.27 92.4 TOP\n",
       "fields ' ' 4 xyz 123 from line 1"},
      {"@ I J X Y Z\n1 1 651025 6862025 92.11\n1 2 651050 6862025 92.12\nEOD\n",
       "fields ' ' 5 xyz 345 comments 1 from line 2"},
  });
  std::string grid = "@Grid HDR 2.00\n@File_Version: 4\n@End\n";
  for (int row = 1; row <= 3; ++row) {
    for (int column = 1; column <= 4; ++column) {
      grid += std::to_string(row) + " " + std::to_string(column) + " " +
              std::to_string(651000 + 25 * column) + " " + std::to_string(6862000 + 25 * row) +
              " 92." + std::to_string(row * 10 + column) + "\n";
    }
  }
  grid += "EOD\n";
  for (const std::string& start : {
           std::string("1,651048.19,6862166.27\n2,651049.19,6862167.27\nEND\n"),
           std::string("1001 651048.19 6862166.27 92.396 FIL\n1002 651049.19 6862167.27 92.4 "
                       "TOP\n1003 651050.19 6862168.27 92.5 FIL\n"),
           std::string("2212 245384.398229 651644.62 6862588.37 100.85 265 1 G\n"
                       "2212 245384.398241 651644.80 6862588.10 100.81 270 1 G\n"
                       "2212 245384.398259 651645.02 6862587.98 100.80 198 1 V\n"),
           grid,
           // Words in no fixed field, or on one line alone.
           std::string("651048.19 6862166.27 92.396 FIL\n651049.19 6862167.27 92.4\n"),
           std::string("1 2 3 4 5 six 7 8 9\n"),
       }) {
    EXPECT_EQ(found(start).substr(0, 9), "refused: ") << start;
  }
}

// A grid's rows and columns written with a decimal point are whole values
// all the same: X Y Z come after them where a Horizon ASCII header says the
// lines are I J X Y Z, and the file is refused where nothing says so.
TEST(Detection, GridIndicesWithADecimalPointAreNeverXAndY) {
  std::string lines;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 4; ++column) {
      lines += std::to_string(326 + column) + ".0 " + std::to_string(1160 + row) + ".0 " +
               std::to_string(536812 + 12 * column) + ".50 " + std::to_string(6729231 + 12 * row) +
               ".25 -2." + std::to_string(10 + column) + "\n";
    }
  }
  const std::string header =
      "@Grid HEADER\n@Horizon: top_reservoir\n@Null value: -999.25\n"
      "#End_of_Horizon_ASCII_Header_\n";
  const std::string horizon = header + lines + "EOD\n";
  EXPECT_EQ(found(horizon), "fields ' ' 5 xyz 345 comments 4 from line 5");
  EXPECT_NE(layout::describe(layout::detect(horizon, true), 12)
                .find("X Y Z from fields 3, 4, 5 (after the grid's row and column, as its "
                      "Horizon ASCII header says) of 5, 2 dropped"),
            std::string::npos);
  for (const std::string& start : {
           // Without the marker, with no header at all, or with it and
           // rows and columns that are no whole values.
           "@Grid HEADER\n" + lines + "EOD\n",
           lines,
           header + "326.5 1160.0 536812.50 6729231.25 -2.10\n"
                    "327.5 1160.0 536825.00 6729231.25 -2.15\n"
                    "328.5 1160.0 536837.50 6729231.25 -2.20\n",
       }) {
    EXPECT_EQ(found(start).substr(0, 9), "refused: ") << start;
  }
  // A marker before three fields a line changes nothing.
  EXPECT_EQ(found(header + "536812.50 6729231.25 -2.10\n536825.00 6729231.25 -2.15\n"),
            "fields ' ' 3 xyz 123 comments 4 from line 5");
  check(
      {{"#End_of_Horizon_ASCII_Header_\n326.0 1160.0 536812.50 6729231.25 -2.10\n"
        "327.0 1160.0 536825.00 6729231.25 -2.15\nEOD\n",
        "fields ' ' 5 xyz 345 comments 1 from line 2"}});
}

TEST(Detection, SeparatorsAndDecimalCommas) {
  check({
      {"280023.14,  5659042.10, 78.47\n", "fields ',' 3 xyz 123 from line 1"},
      {"1514.6171;2267.9657;  23.3865;\n", "fields ';' 3 xyz 123 from line 1"},
      {"651216,89;6862041,98;88,19\n", "fields ';' decimal-comma 3 xyz 123 from line 1"},
      {"651216,89\t6862041,98\t88,19\n", "fields '\t' decimal-comma 3 xyz 123 from line 1"},
      {"651216.89|6862041.98|88.19|7\n", "fields '|' 4 xyz 123 from line 1"},
      {"651216,89 6862041,98 88,19\n", "fields ' ' decimal-comma 3 xyz 123 from line 1"},
      {"\"651216,89\",\"6862041,98\",\"88,19\"\n",
       "fields ',' decimal-comma 3 xyz 123 from line 1"},
      // Never with commas between unquoted fields.
      {"651216,6862041,88\n", "fields ',' 3 xyz 123 from line 1"},
      {"1,5 2.5 3,5\n", "plain"},
  });
}

TEST(Detection, CountLinesAreSkipped) {
  check({
      {"2\n1 2 3 4 5 6 7\n8 9 10 11 12 13 14\n", "fields ' ' 7 xyz 123 count 2 from line 2"},
      {"3\r\n1,2,3\r\n", "fields ',' 3 xyz 123 count 3 from line 2"},
      // A lone whole number before shorter lines is part of the stream.
      {"5\n1 2\n", "plain"},
      {"651202\n6862401 92 651203\n6862401 93\n", "plain"},
  });
}

// Where the first three fields are plainly not X Y Z, the file is refused
// with the way out, rather than pasted wrong.
TEST(Detection, FirstFieldsThatAreNotCoordinatesAreRefused) {
  for (const char* start : {
           "PT1,651048.19,6862166.27,92.396,FIL\n",
           "1000,651048.19,6862166.27,92.396\n1001,651049.19,6862167.27,92.4\n"
           "1002,651050.19,6862168.27,92.5\n1003,651051.19,6862169.27,92.6\n",
           "245384.398229 651644.62 6862588.37 100.85 265\n"
           "245384.398241 651644.80 6862588.10 100.81 270\n"
           "245384.398259 651645.02 6862587.98 100.80 198\n"
           "245384.398270 651645.40 6862587.55 100.79 230\n",
           "7 651644.62 6862588.37 100.85\n7 651644.80 6862588.10 100.81\n"
           "7 651645.02 6862587.98 100.80\n7 651645.40 6862587.55 100.79\n",
           // Point numbers however few and in whatever order, and a header
           // that puts Z elsewhere.
           "1000,651048.19,6862166.27,92.396,FIL\n",
           "17,6862166.27,651048.19,92.396\n4,6862170.01,651050.22,92.5\n",
           "Pt,Z,E\n17,6862166.27,651048.19,92.396\n",
       }) {
    std::string result = found(start);
    EXPECT_EQ(result.substr(0, 9), "refused: ") << start;
    EXPECT_NE(result.find("--columns"), std::string::npos) << result;
  }
  // Columns that vary as coordinates do go through: scan lines along X, a
  // grid stepping by one metre.
  std::string scan;
  std::string grid;
  for (int i = 0; i < 40; ++i) {
    scan += "651000." + std::to_string(10 + i) + " 6862000.05 92.41 117\n";
    grid += std::to_string(440720 + i) + " 3751320 107 2\n";
  }
  EXPECT_EQ(found(scan), "fields ' ' 4 xyz 123 from line 1");
  EXPECT_EQ(found(grid), "fields ' ' 4 xyz 123 from line 1");
  EXPECT_EQ(found("Pt,N,E,Z\n17,6862166.27,651048.19,92.396\n"),
            "fields ',' 4 xyz 324 header 1 from line 2");
  EXPECT_EQ(found("Pt;Rechtswert;Hochwert;H\xc3\xb6he\n7;651048,19;6862166,27;92,39\n"),
            "fields ';' decimal-comma 4 xyz 234 header 1 from line 2");
  EXPECT_EQ(found("651644.62 6862588.37 100.85 265\n651640.80 6862588.10 100.81 270\n"
                  "651645.02 6862587.98 100.80 198\n651641.40 6862587.55 100.79 230\n"),
            "fields ' ' 4 xyz 123 from line 1");
  // The file's bytes in the message cannot clear or recolour the terminal.
  EXPECT_EQ(found("\x1b[2J\x1b[31mRED\x9b,651048.19,6862166.27,92.396,FIL\n").substr(0, 64),
            "refused: field 1 of line 1 holds \"\\x1b[2J\\x1b[31mRED\\x9b\", which");
}

TEST(Detection, OptionsSayWhatTheFileCannot) {
  layout::Options stream;
  stream.stream = true;
  EXPECT_EQ(found("X Y Z\n1,2,3\n", stream), "plain");
  layout::Options columns;
  ASSERT_EQ(layout::parse_columns("2,3,4", columns.columns), "");
  EXPECT_EQ(found("1000,651048.19,6862166.27,92.396,FIL\n", columns),
            "fields ',' 5 xyz 234 from line 1");
  ASSERT_EQ(layout::parse_columns("easting, Northing,ELEVATION", columns.columns), "");
  EXPECT_EQ(found("Pt,Northing,Easting,Elevation\n1,2,3,4\n", columns),
            "fields ',' 4 xyz 324 header 1 from line 2");
  EXPECT_EQ(found("1,2,3,4\n", columns).substr(0, 9), "refused: ");
  ASSERT_EQ(layout::parse_columns("1,2,9", columns.columns), "");
  EXPECT_EQ(found("1,2,3,4\n", columns).substr(0, 9), "refused: ");
  // A number and a name that are one field only the file can tell.
  ASSERT_EQ(layout::parse_columns("1,x,3", columns.columns), "");
  EXPECT_EQ(found("x,y,z,w\n1,2,3,4\n", columns),
            "refused: --columns gives X and Y the same field, 1 in this file");
  layout::Options told;
  told.separator = ';';
  told.decimal_comma = true;
  EXPECT_EQ(found("1;2;3\n", told), "fields ';' decimal-comma 3 xyz 123 from line 1");
  told.separator = 0;
  EXPECT_EQ(found("1,5 2,5 3,5\n", told), "fields ' ' decimal-comma 3 xyz 123 from line 1");
}

// What the options cannot mean is refused when they are read, saying why,
// rather than by each file.
TEST(Detection, OptionsThatCannotBeTakenAreRefusedAtOnce) {
  std::vector<std::string> parsed;
  EXPECT_EQ(layout::parse_columns("007,2,65536", parsed), "");
  for (const char* wrong : {"", "1,2", "1,2,3,4", "1,,3"}) {
    EXPECT_NE(layout::parse_columns(wrong, parsed).find("needs three fields"), std::string::npos)
        << wrong;
  }
  // A header holds no number: these can only be meant as field numbers.
  for (std::string wrong : {"0", "-1", "99999999999999999999", "65537", "1.5", "1e1"}) {
    std::string why = layout::parse_columns("1,2," + wrong, parsed);
    EXPECT_NE(why.find(" " + wrong + " is no field number"), std::string::npos) << why;
  }
  EXPECT_EQ(layout::parse_columns("1,2,01", parsed),
            "option --columns gives X and Z the same field, 01: each needs its own");
  EXPECT_NE(layout::parse_columns("E,y,e [m]", parsed).find("X and Z the same field"),
            std::string::npos);

  char separator = 0;
  EXPECT_EQ(layout::parse_separator("tab", separator), "");
  EXPECT_EQ(separator, '\t');
  EXPECT_EQ(layout::parse_separator("|", separator), "");
  EXPECT_EQ(separator, '|');
  for (const char* wrong : {".", "1", "-", "+", "e", "E", "x", "n"}) {
    EXPECT_NE(layout::parse_separator(wrong, separator).find("would split numbers"),
              std::string::npos)
        << wrong;
  }
  for (const char* wrong : {";;", "\xc3\xa9", "\xe9"}) {
    EXPECT_NE(layout::parse_separator(wrong, separator).find("one ASCII character"),
              std::string::npos)
        << wrong;
  }
  for (const char* wrong : {"", "\"", "\n", "\x1a"}) {
    EXPECT_NE(layout::parse_separator(wrong, separator), "") << wrong;
  }
  EXPECT_EQ(separator, '|');
}

// Only whole lines are looked at: a start cut in a line, or between CR and
// LF, says no more than its whole lines.
TEST(Detection, ACutStartLooksAtItsWholeLinesOnly) {
  Layout l = layout::detect("X,Y,Z\r\n1,2,3\r\n4,5", false);
  EXPECT_EQ(l.kind, Kind::kFields);
  EXPECT_EQ(l.fields, 3);
  EXPECT_EQ(layout::detect("X Y Z\r", false).kind, Kind::kPlainStream);
  EXPECT_EQ(layout::detect("X Y Z\r", true).kind, Kind::kFields);
  EXPECT_EQ(layout::detect("X Y Z\r\n1 2 3\x1a junk", false).kind, Kind::kFields);
}

TEST(Detection, SplittingFields) {
  std::vector<layout::Field> fields;
  auto texts = [&](const std::string& line, char separator) {
    layout::split_fields(line, separator, fields);
    std::string joined;
    for (const layout::Field& f : fields) joined.append("[").append(f.text).append("]");
    return joined;
  };
  EXPECT_EQ(texts(" 1 ;  2;3 ; ", ';'), "[1][2][3]");
  EXPECT_EQ(texts(";;", ';'), "[][]");
  EXPECT_EQ(texts("\"a;b\" ; \"c\"\"d\";\"open", ';'), "[a;b][c\"\"d][\"open]");
  EXPECT_EQ(texts("  1 \t 2\v3  ", ' '), "[1][2][3]");
  EXPECT_EQ(texts("\"1 2\" 3", ' '), "[1 2][3]");
  EXPECT_EQ(texts("a\t b \tc", '\t'), "[a][b][c]");
}

TEST(Detection, TheNoteSaysWhatWasDone) {
  Layout l = layout::detect(
      "\xef\xbb\xbf"
      "4\n//X;Y;Z;R;G;B\n1;2;3;4;5;6\n",
      true);
  EXPECT_EQ(layout::describe(l, 4),
            "skipped a byte order mark, 1 comment line and a point count (4); one point a "
            "line, fields separated by semicolons; X Y Z from fields 1, 2, 3 (named by the "
            "header) of 6, 3 dropped");
  EXPECT_EQ(layout::describe(l, 1).substr(layout::describe(l, 4).size()),
            "; the count line says 4 points, 1 was read");
}

// What a file's layout reads beside X Y Z: each field (from 1) with the
// dimension it holds, or the name of its extra dimension in quotes.
std::string attributes_of(const Layout& l) {
  if (l.kind != Kind::kFields) return "not fields";
  std::string text;
  for (const auto& [field, dim] : l.dims) {
    text.append(text.empty() ? "" : " ").append(std::to_string(field + 1)).append("=");
    text.append(point::name_of(dim));
  }
  for (const auto& [field, name] : l.extra) {
    text.append(text.empty() ? "" : " ").append(std::to_string(field + 1)).append("=");
    text.append("\"").append(name).append("\"");
  }
  return text;
}

std::string attributes(const std::string& start, const layout::Options& options = {}) {
  Layout l = layout::detect(start, true, options);
  return l.kind == Kind::kFields ? attributes_of(l) : found(start, options);
}

// The headers the tools of the field write name the dimensions they hold,
// whatever the tool's spelling, and every other column by its name.
TEST(Attributes, EachToolsHeaderNamesItsDimensions) {
  const std::string pdal_names =
      "X,Y,Z,Intensity,ReturnNumber,NumberOfReturns,ScanDirectionFlag,EdgeOfFlightLine,"
      "Classification,ScanAngleRank,UserData,PointSourceId,GpsTime,Red,Green,Blue";
  const std::string pdal_line =
      "\n637012.24,849028.31,431.66,143,1,1,1,0,1,-9,132,7326,245380.78254,68,77,88\n";
  const std::string pdal_dims =
      "4=Intensity 5=ReturnNumber 6=NumberOfReturns 7=ScanDirectionFlag 8=EdgeOfFlightLine "
      "9=Classification 10=ScanAngleRank 11=UserData 12=PointSourceId 13=GpsTime 14=Red 15=Green "
      "16=Blue";
  EXPECT_EQ(attributes(pdal_names + pdal_line), pdal_dims);
  std::string quoted = "\"" + pdal_names + "\"";
  for (std::size_t at = 0; (at = quoted.find(',', at)) != std::string::npos; at += 3) {
    quoted.replace(at, 1, "\",\"");
  }
  EXPECT_EQ(attributes(quoted + pdal_line), pdal_dims);
  const std::vector<Case> cases = {
      // CloudCompare: its header behind "//", colours as R G B, scalar
      // fields by their names (those of a LAS file's fields with blanks).
      {"//X,Y,Z,R,G,B,Intensity\n1,2,3,10,20,30,400\n", "4=Red 5=Green 6=Blue 7=Intensity"},
      {"//X,Y,Z,Scalar field\n1,2,3,0.25\n", "4=\"Scalar field\""},
      {"//X,Y,Z,Classification,Return Number,Number Of Returns,Point Source ID,Gps Time,"
       "Scan Direction flag,Scan Angle Rank,Nx,Ny,Nz\n1,2,3,2,1,1,7,1.5,0,-3,0,0,1\n",
       "4=Classification 5=ReturnNumber 6=NumberOfReturns 7=PointSourceId 8=GpsTime "
       "9=ScanDirectionFlag 10=ScanAngleRank 11=\"Nx\" 12=\"Ny\" 13=\"Nz\""},
      // las2txt's labels, as -parse orders them.
      {"x y z intensity classification return_number number_of_returns gps_time\n"
       "704519.91 3632189.87 142.25 88 2 1 1 245384.398229\n",
       "4=Intensity 5=Classification 6=ReturnNumber 7=NumberOfReturns 8=GpsTime"},
      {"x y z R G B scan_angle user_data point_source_id edge_of_flight_line "
       "scan_direction_flag withheld_flag keypoint_flag synthetic_flag overlap_flag "
       "scanner_channel\n1 2 3 4 5 6 -12.5 0 7 0 1 0 0 0 0 2\n",
       "4=Red 5=Green 6=Blue 7=ScanAngle 8=UserData 9=PointSourceId 10=EdgeOfFlightLine "
       "11=ScanDirectionFlag 12=Withheld 13=KeyPoint 14=Synthetic 15=Overlap 16=ScanChannel"},
      // Short forms, in any case, with units.
      {"Easting;Northing;Height;CLASS;r;g;b;Time;I;NIR;Returns;Return\n"
       "1;2;3;2;10;20;30;5.5;100;40;2;1\n",
       "4=Classification 5=Red 6=Green 7=Blue 8=GpsTime 9=Intensity 10=Infrared "
       "11=NumberOfReturns 12=ReturnNumber"},
      {"X (m)\tY (m)\tZ (m)\tintensity [-]\tgps-time [s]\tInfrared\tDeviation [m]\n"
       "1\t2\t3\t4\t5\t6\t0.02\n",
       "4=Intensity 5=GpsTime 6=Infrared 7=\"Deviation [m]\""},
      // Columns that name no dimension are extra dimensions by their names:
      // a name given twice, or a dimension named again, is told by its
      // field; a field without a name is called by its number.
      {"X,Y,Z,Intensity,intensity,,M3C2 distance,m3c2 DISTANCE\n1,2,3,4,5,6,7,8\n",
       "4=Intensity 5=\"intensity (field 5)\" 6=\"field 6\" 7=\"M3C2 distance\" "
       "8=\"m3c2 DISTANCE (field 8)\""},
      // A grid's I and J are rows and columns, not intensity; other words
      // for axes, left aside by X Y Z, are no dimension either.
      {"@ I J X Y Z\n1 1 651025 6862025 92.11\n1 2 651050 6862025 92.12\nEOD\n", "1=\"I\" 2=\"J\""},
      {"GPSNR, REFNR, Middle Epoch, X, Y, Z, N\nAB01, 12, 2020.5, 4027893.1, 307045.6, "
       "4919474.9, 3\n",
       "1=\"GPSNR\" 2=\"REFNR\" 3=\"Middle Epoch\" 7=\"N\""},
      // A Latin-1 header's names come as UTF-8.
      {"X;Y;Z;Gen\xe8se\n1;2;3;4\n", "4=\"Gen\xc3\xa8se\""},
      // Without a header, nothing is named.
      {"1,2,3,4,5\n6,7,8,9,10\n", ""},
      {"X Y Z\n1 2 3\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(attributes(c.start), c.expected) << c.start;
}

// Leica PTS files carry intensity and colour by position after their
// count; other counted files of other widths carry nothing known.
TEST(Attributes, PtsFilesCarryIntensityAndColourByPosition) {
  check({
      {"2\n636110.3 849345.05 512.13 -1613 52 70 64\n636102.84 849345.19 512.00 -1998 58 76 "
       "67\n",
       "fields ' ' 7 xyz 123 count 2 from line 2"},
  });
  const std::vector<Case> cases = {
      {"2\n636110.3 849345.05 512.13 -1613 52 70 64\n636102.84 849345.19 512.00 -1998 58 76 "
       "67\n",
       "4=Intensity 5=Red 6=Green 7=Blue"},
      {"2\n6691.79 17.34 1203.03 -255\n6692.05 17.67 1201.81 -251\n", "4=Intensity"},
      {"2\n1.5 2.5 3.5 10 20 30\n4.5 5.5 6.5 40 50 60\n", "4=Red 5=Green 6=Blue"},
      {"2\n1.5 2.5 3.5 10 20\n4.5 5.5 6.5 40 50\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(attributes(c.start), c.expected) << c.start;
  // Told by --columns, the header still names the other fields.
  layout::Options options;
  ASSERT_EQ(layout::parse_columns("2,3,4", options.columns), "");
  EXPECT_EQ(attributes("id,E,N,H,intensity\n7,1.5,2.5,3.5,200\n", options), "5=Intensity 1=\"id\"");
}

TEST(Attributes, NamesOfDimensions) {
  using point::Dim;
  const std::vector<std::pair<const char*, Dim>> named = {
      {"ScanAngleRank", Dim::kScanAngleRank},
      {"scan_angle", Dim::kScanAngle},
      {"GPS Time", Dim::kGpsTime},
      {"gpstime", Dim::kGpsTime},
      {"point_source_ID", Dim::kPointSourceId},
      {"Point Source ID", Dim::kPointSourceId},
      {" Classification (ASPRS) ", Dim::kClassification},
      {"infrared", Dim::kInfrared},
      {"wavepacket_descriptor_index", Dim::kWavePacketDescriptorIndex},
      {"Xt", Dim::kWaveformXt},
  };
  for (const auto& [name, dim] : named) {
    EXPECT_EQ(layout::attribute_named(name), dim) << name;
  }
  for (const char* name : {"X", "z", "Deviation", "Rf", "intensity2", "", "classes", "t"}) {
    EXPECT_EQ(layout::attribute_named(name), std::nullopt) << name;
  }
}

// The headers of PDAL's and CloudCompare's exports of one survey, as they
// are.
TEST(Attributes, RealHeaders) {
  auto start_of = [](const char* name) {
    std::ifstream in(std::string(STRATUMIX_CORPUS) + "/" + name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.substr(0, layout::kLookedAt);
  };
  const std::string cc = start_of("pdal-autzen-bmx-cc.txt");
  const std::string m3c2 = start_of("pdal-autzen-bmx-m3c2.txt");
  if (cc.empty() || m3c2.empty()) GTEST_SKIP() << "no corpus at " STRATUMIX_CORPUS;
  const std::string flags =
      "4=Intensity 5=ReturnNumber 6=NumberOfReturns 7=ScanDirectionFlag 8=EdgeOfFlightLine "
      "9=Classification 10=Synthetic 11=KeyPoint 12=Withheld 13=Overlap 14=ScanAngleRank "
      "15=UserData 16=PointSourceId 17=GpsTime 18=ScanChannel ";
  Layout l = layout::detect(cc, false);
  EXPECT_EQ(attributes_of(l),
            flags +
                "19=\"Npoints_cloud1\" 20=\"Npoints_cloud2\" 21=\"STD_cloud1\" "
                "22=\"STD_cloud2\" 23=\"significant change\" 24=\"distance uncertainty\" "
                "25=\"M3C2 distance\" 26=\"NormalX\" 27=\"NormalY\" 28=\"NormalZ\"");
  l = layout::detect(m3c2, false);
  EXPECT_EQ(attributes_of(l),
            flags +
                "19=Red 20=Green 21=Blue 22=\"m3c2_distance\" "
                "23=\"m3c2_uncertainty\" 24=\"m3c2_significant\" 25=\"m3c2_std_dev1\" "
                "26=\"m3c2_std_dev2\" 27=\"m3c2_count1\" 28=\"m3c2_count2\"");
  // Colours before X and Y, and PTS files of intensity and colour or of
  // intensity alone; a las2txt file without its header names nothing.
  const std::vector<std::pair<const char*, const char*>> files = {
      {"pdal-autzen-point-format-3.txt", "1=Red 2=Green 5=Blue"},
      {"pdal-pts-autzen.pts", "4=Intensity 5=Red 6=Green 7=Blue"},
      {"pdal-pts-site_56_8.pts", "4=Intensity"},
      {"pdal-pts-bunny_8.pts", ""},
      {"pdal-text-crlf_test2.txt", "4=Intensity"},
      {"pdal-text-largescan.txt", "5=ScanAngleRank 4=\"OffsetTime\""},
  };
  for (const auto& [name, expected] : files) {
    const std::string start = start_of(name);
    EXPECT_EQ(attributes_of(layout::detect(start, start.size() < layout::kLookedAt)), expected)
        << name;
  }
}

}  // namespace
