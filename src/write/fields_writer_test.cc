#include "write/fields_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_twins.h"
#include "in_memory.h"
#include "num/number.h"
#include "tiles.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string first_words(const std::string& line, int count) {
  std::size_t at = 0;
  for (int w = 0; w < count && at != std::string::npos; ++w) at = line.find(' ', at + 1);
  return line.substr(0, at);
}

TEST(Columns, ParsedByNameInAnyCaseEachOnce) {
  std::vector<columns::Column> parsed;
  EXPECT_EQ(columns::parse("x,Y,z,gps_time,Deviation", parsed), "");
  ASSERT_EQ(parsed.size(), 5u);
  EXPECT_TRUE(columns::plain({parsed[0], parsed[1], parsed[2]}));
  EXPECT_EQ(parsed[3].title(), "GpsTime");
  EXPECT_EQ(parsed[4].title(), "Deviation");
  EXPECT_FALSE(parsed[4].dim);
  point::Wanted wanted = columns::wanted(parsed);
  EXPECT_TRUE(wanted.dims.has(point::Dim::kGpsTime));
  EXPECT_EQ(wanted.extra, std::vector<std::string>{"Deviation"});
  EXPECT_NE(columns::parse("X,,Z", parsed), "");
  EXPECT_NE(columns::parse("", parsed), "");
  EXPECT_NE(columns::parse("X,Intensity,intensity", parsed), "");
  EXPECT_FALSE(columns::plain({parsed.begin(), parsed.begin() + 1}));
}

// What a hostile or careless --fields gives: a list longer than any line
// could hold is refused at once, however long, a name repeated in another
// case or spelling is named twice, and a name with a control byte, which
// would break the header line or reach the terminal as it is, is refused
// with the byte shown, not sent.
TEST(Columns, AHostileListIsRefusedWithAPlainLine) {
  std::vector<columns::Column> parsed;
  std::string many;
  for (int i = 0; i < 40000; ++i) {
    if (i > 0) many += ',';
    many += 'e';
    many += std::to_string(i);
  }
  const std::string too_many = columns::parse(many, parsed);
  EXPECT_NE(too_many.find("at most"), std::string::npos) << too_many;
  std::string most = "X";
  for (int i = 1; i < columns::kMostColumns; ++i) most += ",e" + std::to_string(i);
  EXPECT_EQ(columns::parse(most, parsed), "");
  EXPECT_NE(columns::parse(most + ",Y", parsed), "");

  EXPECT_EQ(columns::parse("Deviation,deviation", parsed), "--fields names deviation twice");
  EXPECT_NE(columns::parse("GpsTime,gps_time", parsed), "");
  for (const char* odd : {"a\nb", "a\tb", "\x1b[2J", "a\rb", "x\x7f"}) {
    const std::string refusal = columns::parse(std::string("X,") + odd, parsed);
    EXPECT_NE(refusal, "") << odd;
    for (char c : refusal)
      EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f) << refusal;
  }
  // Bytes past ASCII are a name's own (UTF-8); spaces are a LAS name's.
  EXPECT_EQ(columns::parse("Ampl\xc3\xaftude,Echo Width", parsed), "");
}

// Columns whose text may be longer than their kind's: a whole-number
// dimension of text that holds a number no integer writes (1e300) still
// fits the room the line reserved, however the lines fall in the buffer,
// and a header writes one word a column.
TEST(FieldsLines, EveryValueFitsItsLineAndEveryTitleIsOneWord) {
  std::string written;
  OutputFile file;
  file.open(std::make_unique<StringSink>(written));
  std::vector<columns::Column> chosen;
  ASSERT_EQ(columns::parse("Intensity,Echo Width", chosen), "");
  FieldsWriter::write_titles(file, {}, chosen);
  FieldsWriter writer(file, {}, chosen);
  PointAttributes attributes;
  attributes.value[static_cast<int>(point::Dim::kIntensity)] = -1e300;
  Point p;
  p.attributes = &attributes;
  Extents extents;
  for (int i = 0; i < 2000; ++i) writer.point(p, extents, Axes::kXYZ);
  file.close();
  const std::vector<std::string> lines = lines_of(written);
  ASSERT_EQ(lines.size(), 2001u);
  EXPECT_EQ(lines[0], "Intensity Echo_Width");
  const std::string value = number::fixed_text(-1e300, 0) + " 0";
  for (std::size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(lines[i], value) << i;
}

// A LAS file of three points of format 1 with an extra byte, as a tile
// whose values are known.
class FieldsJob : public InMemory {};

TEST_F(FieldsJob, EveryColumnOfAPointOfTextAsTheWriterWritesIt) {
  OutputFile file;
  std::string written;
  struct Collect : public ByteSink {
    explicit Collect(std::string& to) : to_(to) {}
    void write(const char* data, std::size_t size) override { to_.append(data, size); }
    void close() override {}
    std::uint64_t kept() const override { return to_.size(); }
    bool cut(std::uint64_t /*size*/) override { return false; }
    std::string& to_;
  };
  file.open(std::make_unique<Collect>(written));
  std::vector<columns::Column> chosen;
  ASSERT_EQ(columns::parse("Intensity,X,GpsTime,ScanAngle,Deviation,Classification", chosen), "");
  FieldsWriter::write_titles(file, {}, chosen);
  FieldsWriter writer(file, {}, chosen);
  Extents extents;
  std::vector<std::string> names = {"deviation"};
  PointAttributes attributes;
  attributes.extra_names = &names;
  attributes.value[static_cast<int>(point::Dim::kIntensity)] = 12.5;  // no whole number: kept
  attributes.value[static_cast<int>(point::Dim::kGpsTime)] = 245380.78255;
  attributes.value[static_cast<int>(point::Dim::kScanAngle)] = -12.006;
  attributes.value[static_cast<int>(point::Dim::kClassification)] = 2;
  attributes.extra = {0.25};
  Point p;
  p.xyz[0].value = 651202.9;
  p.xyz[0].keep_text("651202.90", "651202.90" + 9);
  p.attributes = &attributes;
  writer.point(p, extents, Axes::kXYZ);
  // Without attributes every column but the coordinates is 0.
  p.attributes = nullptr;
  writer.point(p, extents, Axes::kXYZ);
  file.close();
  EXPECT_EQ(written,
            "Intensity X GpsTime ScanAngle Deviation Classification\r\n"
            "12.5 651202.900000 245380.782550 -12.006 0.25 2\r\n"
            "0 651202.900000 0.000000 0.000 0 0\r\n");
}

TEST_F(FieldsJob, CoordinatesOfEveryLasFileAreThoseOfThePlainResult) {
  if (!std::filesystem::exists(STRATUMIX_CORPUS)) GTEST_SKIP() << "no corpus";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(STRATUMIX_CORPUS)) {
    const std::string name = entry.path().filename().string();
    if (!name.ends_with(".las")) continue;
    disk.files["t.las"] = corpus_file(name);
    for (const char* decimals : {"6", "2"}) {
      const std::string common = std::string("-q --decimals ") + decimals + " ";
      JobRun plain = disk.run_arguments(common + "-o p.xyz t.las");
      JobRun chosen = disk.run_arguments(common + "--fields X,Y,Z,Intensity -o f.txt t.las");
      EXPECT_EQ(plain.status, chosen.status) << name;
      std::vector<std::string> p = lines_of(disk.files["p.xyz"]);
      std::vector<std::string> f = lines_of(disk.files["f.txt"]);
      ASSERT_EQ(p.size(), f.size()) << name;
      for (std::size_t i = 0; i < p.size(); ++i) {
        ASSERT_EQ(first_words(f[i], 3), p[i]) << name << " line " << i + 1;
      }
    }
    ++files;
  }
  EXPECT_GT(files, 50);
}

TEST_F(FieldsJob, ALackingColumnIsZeroWithANoteAndAnUnknownNameCreatesNothing) {
  disk.files["a.xyz"] = "1 2 3\n4 5 6\n";
  JobRun run = disk.run_arguments("-q --header --fields X,Z,Intensity -o r.txt a.xyz");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.files["r.txt"], "X Z Intensity\r\n1.000000 3.000000 0\r\n4.000000 6.000000 0\r\n");
  EXPECT_NE(run.err.find("a.xyz: it has no Intensity, written as 0."), std::string::npos)
      << run.err;

  disk.files.erase("r.txt");
  run = disk.run_arguments("-q --fields X,Y,Z,Deviaton -o r.txt a.xyz");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--fields names Deviaton, which no input carries; they carry X, Y, Z"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(disk.files.count("r.txt"), 0u);
}

// A disk that fills up part way: the summary's figures are those of the
// lines the result keeps, read back by the columns they were written in,
// past the header line, in either line end; not a result cut back to
// nothing because its header is no point, nor Z's values taken for X's.
TEST_F(FieldsJob, AFullDiskLeavesFiguresOfTheLinesKeptWhateverTheColumns) {
  std::string text;
  for (int i = 0; i < 30000; ++i) {
    text += std::to_string(1000 + i % 977) + ".5 " + std::to_string(-i) + " " +
            std::to_string(i % 301) + ".25 " + std::to_string(i % 65536) + "\n";
  }
  disk.files["a.txt"] = "X Y Z Intensity\n" + text;
  for (const char* options :
       {"--header --fields Z,Intensity,Y,X", "--fields Intensity,Y,X,Z --line-ends lf",
        "--header --fields X,Y,Z --decimals 17", "--header"}) {
    SCOPED_TRACE(options);
    disk.files.erase("r.txt");
    disk.room["r.txt"] = 300000;
    JobRun run = disk.run_arguments(std::string("--brief ") + options + " -o r.txt a.txt");
    EXPECT_EQ(run.status, 1) << run.err;
    const std::string& result = disk.files["r.txt"];
    std::vector<std::string> lines = lines_of(result);
    const bool header = std::string(options).find("--header") != std::string::npos;
    ASSERT_GT(lines.size(), 1000u);
    std::vector<std::string> titles;
    {
      std::vector<columns::Column> chosen;
      std::string list =
          std::string(options).find("--fields") == std::string::npos
              ? "X,Y,Z"
              : std::string(options).substr(std::string(options).find("--fields") + 9);
      list = list.substr(0, list.find(' '));
      ASSERT_EQ(columns::parse(list, chosen), "");
      for (const columns::Column& column : chosen) titles.push_back(column.title());
    }
    if (header) {
      std::string line;
      for (const std::string& title : titles) line += (line.empty() ? "" : " ") + title;
      EXPECT_EQ(lines[0], line);
      lines.erase(lines.begin());
    }
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    double high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const std::string& line : lines) {
      std::istringstream words(line);
      for (const std::string& title : titles) {
        std::string word;
        words >> word;
        const int axis = title == "X" ? 0 : title == "Y" ? 1 : title == "Z" ? 2 : -1;
        if (axis < 0) continue;
        const double value = std::strtod(word.c_str(), nullptr);
        low[axis] = std::min(low[axis], value);
        high[axis] = std::max(high[axis], value);
      }
    }
    std::string figures = "Points: " + std::to_string(lines.size()) + "\nResult: r.txt, " +
                          std::to_string(result.size()) + " bytes\n";
    for (int axis = 0; axis < 3; ++axis) {
      const std::string name(1, "XYZ"[axis]);
      figures += name + "_min = " + number::fixed6_text(low[axis]) + " " + name +
                 "_max = " + number::fixed6_text(high[axis]) + "\n";
    }
    EXPECT_NE(run.out.find(figures), std::string::npos) << run.out << figures;
  }
}

// The tile's Extra Bytes record lays a deprecated array of three shorts,
// 7 undocumented bytes, a deprecated pair of bytes, a 32-bit "Intensity"
// and a 64-bit "Time" after format 3's fields; its writer put each
// point's GPS time, cut to whole seconds, in "Time".
TEST_F(FieldsJob, ExtraBytesByTheirNamesPastTheBytesThatNameNothing) {
  if (!std::filesystem::exists(STRATUMIX_CORPUS)) GTEST_SKIP() << "no corpus";
  disk.files["e.las"] = corpus_file("lazperf-extrabytes.las");
  JobRun run = disk.run_arguments("-q --fields GpsTime,time -o f.txt e.las");
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = lines_of(disk.files["f.txt"]);
  ASSERT_EQ(lines.size(), 1065u);
  for (const std::string& line : lines) {
    const std::size_t space = line.find(' ');
    ASSERT_EQ(line.substr(space + 1), line.substr(0, line.find('.'))) << line;
  }
}

// Every LAZ of the corpus that has its LAS twin gives, with every column
// its format carries, the twin's lines: each item of each compressor and
// version rebuilt as the LAS holds it, read ahead and alone.
TEST_F(FieldsJob, EveryColumnOfEachLazIsItsLasTwins) {
  if (!std::filesystem::exists(STRATUMIX_CORPUS)) GTEST_SKIP() << "no corpus";
  for (const auto& [name, twin] : kCorpusTwins) {
    disk.files["t.las"] = corpus_file(twin);
    disk.files["t.laz"] = corpus_file(name);
    // Every dimension of every format: those a format lacks are 0 in both.
    std::string every;
    for (int d = 0; d < point::kDimCount; ++d) {
      if (d > 0) every += ',';
      every += point::name_of(static_cast<point::Dim>(d));
    }
    JobRun las = disk.run_arguments("-q --fields " + every + " -o l.txt t.las");
    JobRun laz = disk.run_arguments("-q --fields " + every + " -o z.txt t.laz t.laz");
    EXPECT_EQ(las.status, laz.status) << name << las.err << laz.err;
    EXPECT_EQ(disk.files["l.txt"] + disk.files["l.txt"], disk.files["z.txt"]) << name;
  }
}

// A variable-length record of `user` and `id` around `body`.
std::string variable_record(const char* user, std::uint16_t id, const std::string& body) {
  std::string record(54, '\0');
  std::memcpy(record.data() + 2, user, std::strlen(user));
  record[18] = static_cast<char>(id & 0xff);
  record[19] = static_cast<char>(id >> 8);
  record[20] = static_cast<char>(body.size() & 0xff);
  record[21] = static_cast<char>(body.size() >> 8);
  return record + body;
}

std::string extra_descriptor(int type, const char* name) {
  std::string d(192, '\0');
  d[2] = static_cast<char>(type);
  std::memcpy(d.data() + 4, name, std::strlen(name));
  return d;
}

// A file whose extra bytes were appended to by a second writer holds two
// Extra Bytes records: the second's descriptors follow the first's, so
// that its dimension is read where it lies, not over the first's.
TEST_F(FieldsJob, TwoExtraBytesRecordsDescribeTheBytesInTurn) {
  LasTile tile;
  tile.format = 0;
  tile.record_length = 20 + 2 + 1;
  tile.between = variable_record("LASF_Spec", 4, extra_descriptor(3, "Deviation")) +
                 variable_record("LASF_Spec", 4, extra_descriptor(1, "confidence"));
  tile.records = 2;
  for (std::int32_t i = 0; i < 40; ++i) tile.points.push_back({i, i, i});
  disk.files["t.las"] = tile.bytes();
  JobRun run = disk.run_arguments("-q --fields Deviation,Confidence -o f.txt t.las");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = lines_of(disk.files["f.txt"]);
  ASSERT_EQ(lines.size(), 40u);
  for (unsigned i = 0; i < 40; ++i) {
    // The tile fills byte b of record i with i * 7 + b.
    const unsigned deviation = ((i * 7 + 20) & 0xff) | ((i * 7 + 21) & 0xff) << 8;
    EXPECT_EQ(lines[i], std::to_string(deviation) + " " + std::to_string((i * 7 + 22) & 0xff));
  }
}

// The wave packet's 32-bit reals are written in the fewest decimals that
// give each back: no digit of theirs is lost, none made up.
TEST_F(FieldsJob, RealsOfTheWavePacketReadBackAsTheyLie) {
  LasTile tile;
  tile.format = 4;
  const float reals[] = {2.0593415e-08f, -0.25f, 1234.5677f, 3.3333333e-5f, 0.0f, 7.0e-10f};
  for (std::int32_t i = 0; i < 6; ++i) tile.points.push_back({i, i, i});
  std::string bytes = tile.bytes();
  const std::size_t first = bytes.size() - std::size_t{6} * 57;
  for (std::size_t i = 0; i < 6; ++i) {
    // Xt, 17 bytes into format 4's wave packet, which begins at byte 28.
    std::memcpy(bytes.data() + first + i * 57 + 28 + 17, &reals[i], 4);
  }
  disk.files["w.las"] = bytes;
  JobRun run = disk.run_arguments("-q --fields WaveformXt -o f.txt w.las");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = lines_of(disk.files["f.txt"]);
  ASSERT_EQ(lines.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    const std::string& text = lines[i];
    number::Parsed back = number::parse_token(text.data(), text.data() + text.size());
    ASSERT_TRUE(back.ok) << text;
    EXPECT_EQ(static_cast<float>(back.value), reals[i]) << text;
    // And one decimal fewer would not.
    const std::size_t point = text.find('.');
    if (point == std::string::npos || text.size() - point - 1 <= 1) continue;
    const std::string shorter =
        number::fixed_text(back.value, static_cast<int>(text.size() - point - 2));
    number::Parsed less = number::parse_token(shorter.data(), shorter.data() + shorter.size());
    EXPECT_NE(static_cast<float>(less.value), reals[i]) << text;
  }
  EXPECT_EQ(lines[0], "0.000000020593415");
}

// A LAS file's Extra Bytes record that lies: a name of 32 bytes without
// its NUL, a name of terminal commands, a dimension past the record,
// undocumented bytes of 255. What lies within the record is read where it
// lies, the rest names nothing, and no name reaches the terminal as bytes
// that would clear it.
TEST_F(FieldsJob, AnExtraBytesRecordThatLiesNamesOnlyWhatTheRecordHolds) {
  std::string full_name = extra_descriptor(1, "");
  std::memcpy(full_name.data() + 4, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef", 32);
  std::string undocumented = extra_descriptor(0, "");
  undocumented[3] = static_cast<char>(255);
  LasTile tile;
  tile.format = 0;
  tile.record_length = 20 + 1 + 1;
  tile.between = variable_record("LASF_Spec", 4,
                                 full_name + extra_descriptor(1, "\x1b[2J\x1b]0;x\x07") +
                                     extra_descriptor(10, "past") + undocumented +
                                     extra_descriptor(1, "after"));
  tile.records = 1;
  for (std::int32_t i = 0; i < 5; ++i) tile.points.push_back({i, i, i});
  disk.files["t.las"] = tile.bytes();
  JobRun run = disk.run_arguments("-q --fields ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef -o f.txt t.las");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = lines_of(disk.files["f.txt"]);
  ASSERT_EQ(lines.size(), 5u);
  for (unsigned i = 0; i < 5; ++i) EXPECT_EQ(lines[i], std::to_string((i * 7 + 20) & 0xff));
  for (const char* name : {"past", "after"}) {
    run = disk.run_arguments(std::string("-q --fields X,") + name + " -o g.txt t.las");
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.err.find("which no input carries"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
    EXPECT_EQ(disk.files.count("g.txt"), 0u);
  }
}

// A text file's own named columns, beside X Y Z and the dimensions, are
// written with their values: not as the 0 of a column the input lacks,
// which no note would tell. "nan" stays nan; an empty one stops the file.
TEST_F(FieldsJob, ATextFilesOwnColumnsKeepTheirValues) {
  disk.files["a.txt"] = "X Y Z Intensity Deviation Range\n1 2 3 4 0.5 10\n4 5 6 7 nan -2.25\n";
  JobRun run = disk.run_arguments("-q --fields X,range,Intensity,deviation -o r.txt a.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.files["r.txt"], "1.000000 10 4 0.5\r\n4.000000 -2.25 7 nan\r\n");
  disk.files["b.txt"] = "X,Y,Deviation,Z\n1,2,0.5,3\n4,5,,6\n";
  run = disk.run_arguments("-q --fields X,Deviation -o s.txt b.txt");
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(disk.files["s.txt"], "1.000000 0.5\r\n");
  EXPECT_NE(run.err.find("field 3 (Deviation) is empty"), std::string::npos) << run.err;
}

}  // namespace

namespace {

void put_le(std::string& to, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    to[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

// Records of format 1 whose values reach the edges of the quick ways:
// coordinates about zero and far from it, intensities of one to five
// digits, classifications with the flags set above their five bits, and
// the bytes after them set.
std::string format1_records(int count) {
  std::string records(static_cast<std::size_t>(count) * 28, '\0');
  const std::int32_t kEdges[] = {
      0, -1, 1, 99, -100, 123456789, -987654321, 2147483647, -2147483647 - 1};
  const std::uint32_t kIntensities[] = {0, 9, 10, 99, 100, 999, 1000, 9999, 10000, 65535};
  std::uint64_t seed = 7;
  auto next = [&seed] {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::uint32_t>(seed >> 32);
  };
  for (int i = 0; i < count; ++i) {
    const std::size_t at = static_cast<std::size_t>(i) * 28;
    for (std::size_t axis = 0; axis < 3; ++axis) {
      const std::uint32_t pick = next();
      const std::int32_t value =
          pick % 3 == 0 ? kEdges[(pick / 3 + axis) % 9] : static_cast<std::int32_t>(next()) / 997;
      put_le(records, at + 4 * axis, static_cast<std::uint32_t>(value), 4);
    }
    put_le(records, at + 12, i % 2 == 0 ? kIntensities[i / 2 % 10] : next() & 0xffff, 2);
    put_le(records, at + 14, next() & 0xff, 1);  // returns, scan direction, edge
    put_le(records, at + 15, next() & 0xff, 1);  // flags and a class of five bits
    // A scan angle and user data of any bits: a small whole is read with
    // the byte after it, which must not reach its text.
    put_le(records, at + 16, next() & 0xffff, 2);
    const double time = 245379.0 + static_cast<double>(next() % 100000000) / 1e7;
    std::uint64_t bits;
    std::memcpy(&bits, &time, sizeof bits);
    put_le(records, at + 20, bits, 8);
  }
  return records;
}

}  // namespace

// Records are written from their integers where the scales allow it, and
// from the values of their fields otherwise: the lines and extents must be
// those of the same points written by value, whatever the columns' order.
TEST(FieldsRecords, WrittenFromTheirIntegersAsFromTheirValues) {
  const std::string records = format1_records(3000);
  const point::RecordLayout layout = point::RecordLayout::of_format(1, 28);
  struct Scales {
    double scale[3];
    double offset[3];
  };
  const Scales kScales[] = {
      {{0.01, 0.01, 0.01}, {0, 0, 0}},                     // thousandths
      {{0.001, 0.001, 0.0001}, {500000, -4000000, -0.0}},  // millionths
      {{0.000001, 0.01, 0.1}, {-1.5, 300.25, 12}},         // millionths again
      {{0.025, 0.01, 0.01}, {0, 0, 0}},                    // from values
      {{1, 1, 1}, {0, 0, 0}},                              // integer parts too long
  };
  // The common six, which have a plan of their own, also with wholes of
  // bits that do not begin their byte; X Y Z then other small wholes and
  // times; and columns in any order, step by step.
  const char* kColumns[] = {"X,Y,Z,Intensity,Classification,GpsTime",
                            "X,Y,Z,NumberOfReturns,ReturnNumber,GpsTime",
                            "X,Y,Z,GpsTime,Classification,ReturnNumber,Intensity",
                            "X,Y,Z,Classification",
                            "Intensity,Z,X,Classification,Y,GpsTime",
                            "X,Y,Z,Classification,UserData,GpsTime",
                            "GpsTime,Y,X"};
  for (const Scales& s : kScales) {
    for (const char* list : kColumns) {
      // Either line end, and Z measured or not: each its own loop.
      for (int variant = 0; variant < 4; ++variant) {
        const bool crlf = variant < 2;
        const Axes measured = variant % 2 == 0 ? Axes::kXYZ : Axes::kXY;
        std::vector<columns::Column> chosen;
        ASSERT_EQ(columns::parse(list, chosen), "");
        const xyz::Format format{6, crlf};
        std::string from_records, from_values;
        Extents record_extents, value_extents;
        {
          OutputFile file;
          file.open(std::make_unique<StringSink>(from_records));
          FieldsWriter writer(file, format, chosen);
          writer.records({records.data(), 28, 3000, s.scale, s.offset, &layout}, record_extents,
                         measured);
          file.close();
        }
        {
          OutputFile file;
          file.open(std::make_unique<StringSink>(from_values));
          FieldsWriter writer(file, format, chosen);
          PointAttributes attributes;
          Point p;
          p.attributes = &attributes;
          for (int i = 0; i < 3000; ++i) {
            const char* record = records.data() + static_cast<std::ptrdiff_t>(i) * 28;
            for (int axis = 0; axis < 3; ++axis) {
              std::int32_t integer;
              std::memcpy(&integer, record + std::ptrdiff_t{4} * axis, 4);
              p.xyz[axis].value = static_cast<double>(integer) * s.scale[axis] + s.offset[axis];
            }
            for (point::Dim dim :
                 {point::Dim::kIntensity, point::Dim::kClassification, point::Dim::kGpsTime,
                  point::Dim::kReturnNumber, point::Dim::kNumberOfReturns, point::Dim::kUserData}) {
              attributes.value[static_cast<int>(dim)] = point::value_of(layout, record, dim);
            }
            writer.point(p, value_extents, measured);
          }
          file.close();
        }
        ASSERT_TRUE(from_records == from_values)
            << list << " scale " << s.scale[0] << ": " << lines_of(from_records)[0] << " | "
            << lines_of(from_values)[0];
        for (int axis = 0; axis < 3; ++axis) {
          const Extent& a = axis == 0   ? record_extents.x
                            : axis == 1 ? record_extents.y
                                        : record_extents.z;
          const Extent& b = axis == 0   ? value_extents.x
                            : axis == 1 ? value_extents.y
                                        : value_extents.z;
          EXPECT_EQ(a.min, b.min) << list << " axis " << axis;
          EXPECT_EQ(a.max, b.max) << list << " axis " << axis;
        }
      }
    }
  }
}
