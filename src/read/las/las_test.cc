#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fake_disk.h"
#include "io/kept_inputs.h"
#include "io/output_file.h"
#include "io/peeked_source.h"
#include "io/read_ahead.h"
#include "num/number.h"
#include "read/las/las_header.h"
#include "read/las/las_reader.h"
#include "read/las/las_units.h"
#include "tiles.h"
#include "write/xyz_writer.h"

namespace {

std::string header_problem(const std::string& file, las::Header* header = nullptr) {
  las::Header ignored;
  std::size_t size = std::min(file.size(), las::kLongestHeader);
  return las::read_header(reinterpret_cast<const unsigned char*>(file.data()), size,
                          header != nullptr ? *header : ignored);
}

TEST(LasHeader, ReadsWhereHowManyAndHowScaled) {
  LasTile tile;
  tile.between = std::string(54, 'v');
  tile.points.resize(3);
  tile.scale[2] = 0.00025;
  tile.offset[0] = 600000;
  las::Header header;
  EXPECT_EQ(header_problem(tile.bytes(), &header), "");
  EXPECT_EQ(header.point_offset, 227u + 54u);
  EXPECT_EQ(header.point_count, 3u);
  EXPECT_EQ(header.record_length, 28u);
  EXPECT_EQ(header.scale[2], 0.00025);
  EXPECT_EQ(header.offset[0], 600000.0);

  // Version 1.4: the 64-bit count, past what the legacy one holds.
  tile.minor = 4;
  tile.format = 6;
  tile.count = 5000000000ull;
  tile.points.clear();
  EXPECT_EQ(header_problem(tile.bytes(), &header), "");
  EXPECT_EQ(header.point_count, 5000000000ull);
  EXPECT_EQ(header.point_offset, 375u + 54u);
}

TEST(LasHeader, EveryInconsistencyIsSaid) {
  struct Case {
    void (*change)(LasTile& tile, std::string& bytes);
    const char* said;
  };
  const Case kCases[] = {
      {[](LasTile&, std::string& b) { b.resize(200); },
       "the file ends inside its LAS header, after 200 bytes"},
      {[](LasTile& t, std::string& b) {
         t.minor = 4;
         b = t.bytes().substr(0, 300);
       },
       "the file ends inside its LAS header, after 300 bytes"},
      {[](LasTile&, std::string& b) { b[24] = 2; }, "LAS version 2.2 is not read (1.0 to 1.4 are)"},
      {[](LasTile&, std::string& b) { b[25] = 5; }, "LAS version 1.5 is not read (1.0 to 1.4 are)"},
      {[](LasTile&, std::string& b) { b[104] = 11; },
       "LAS point format 11 is not read (0 to 10 are)"},
      // The compressed forms' high bits are no part of the format.
      {[](LasTile&, std::string& b) { b[104] = static_cast<char>(0x8b); },
       "LAS point format 11 is not read (0 to 10 are)"},
      {[](LasTile&, std::string& b) { b[104] = 0x43; },
       "the LAS header gives records of 28 bytes, less than point format 3's 34"},
      {[](LasTile&, std::string& b) { b[94] = static_cast<char>(226); },
       "the LAS header says it is 226 bytes, less than version 1.2's 227"},
      {[](LasTile&, std::string& b) { b[96] = 100; },
       "the LAS header puts the points at byte 100, inside the header of 227 bytes"},
      {[](LasTile&, std::string& b) { b[105] = 27; },
       "the LAS header gives records of 27 bytes, less than point format 1's 28"},
      {[](LasTile& t, std::string& b) {
         t.minor = 4;
         t.legacy_count = 7;
         b = t.bytes();
       },
       "the LAS header gives two point counts, 7 and 2"},
      {[](LasTile& t, std::string& b) {
         t.minor = 4;
         t.format = 6;
         t.count = 1ull << 60;
         b = t.bytes();
       },
       "the LAS header gives 1152921504606846976 points of 30 bytes, more than any file holds"},
      // Counts past the largest signed one are still counts.
      {[](LasTile& t, std::string& b) {
         t.minor = 4;
         t.format = 6;
         b = t.bytes();
         b.replace(247, 8, 8, '\xff');  // the 64-bit count, all ones
       },
       "the LAS header gives 18446744073709551615 points of 30 bytes, more than any file holds"},
      {[](LasTile& t, std::string& b) {
         t.minor = 4;
         t.legacy_count = 5;
         t.count = (1ull << 63) + 5;
         b = t.bytes();
       },
       "the LAS header gives two point counts, 5 and 9223372036854775813"},
      {[](LasTile& t, std::string& b) {
         t.minor = 4;
         b = t.bytes();
         b[243] = 1;  // one extended record, beginning inside the points
         b[235] = static_cast<char>(144);
         b[236] = 1;
       },
       "the LAS header's 2 points reach byte 431, past where its extended records begin, at byte "
       "400"},
      {[](LasTile& t, std::string& b) {
         t.scale[1] = 0;
         b = t.bytes();
       },
       "the LAS header's Y scale or offset is not a usable number"},
      {[](LasTile& t, std::string& b) {
         t.offset[2] = std::numeric_limits<double>::quiet_NaN();
         b = t.bytes();
       },
       "the LAS header's Z scale or offset is not a usable number"},
  };
  for (const Case& c : kCases) {
    LasTile tile;
    tile.points.resize(2);
    std::string bytes = tile.bytes();
    c.change(tile, bytes);
    EXPECT_EQ(header_problem(bytes), c.said);
  }
}

struct Read {
  std::string lines;
  std::string problem;
  Extents extents;
};

// How a file is read: served `piece` bytes at a time, through a buffer of
// `buffer` bytes, in runs of `run` points; or, with `block`, through a
// read-ahead of blocks of that size, which the reader takes over whole.
// The extents kept are those of `axes`.
struct Reading {
  std::size_t piece = 97;
  std::size_t buffer = 500;
  std::int64_t run = 7;
  std::size_t block = 0;
  Axes axes = Axes::kXYZ;
};

Read read_las(const std::string& file, Reading how = {}) {
  std::int64_t run = how.run;
  TextSource source(file, how.piece);
  std::unique_ptr<ReadAhead> ahead;
  std::unique_ptr<LasReader> owned;
  if (how.block != 0) {
    ahead =
        std::make_unique<ReadAhead>(std::make_unique<TextSource>(file, how.piece), how.block, 64);
    owned = std::make_unique<LasReader>(*ahead, how.axes);
  } else {
    owned = std::make_unique<LasReader>(source, how.buffer, how.axes);
  }
  LasReader& reader = *owned;
  Read read;
  OutputFile out;
  out.open(std::make_unique<StringSink>(read.lines));
  XyzWriter writer(out, {});
  while (reader.copy_points(writer, read.extents, run) == run) {
  }
  EXPECT_EQ(reader.copy_points(writer, read.extents, run), 0);
  out.close();
  read.problem = reader.problem();
  return read;
}

// The lines and extents of the first `count` points of `tile`, from the
// exact formatter.
Read expected(const LasTile& tile, std::size_t count) {
  Read read;
  char text[number::kMaxFixed6Length];
  for (std::size_t i = 0; i < count; ++i) {
    double value[3];
    for (int axis = 0; axis < 3; ++axis) {
      value[axis] =
          tile.points[i][static_cast<std::size_t>(axis)] * tile.scale[axis] + tile.offset[axis];
      read.lines += std::string(text, number::format_fixed6(value[axis], text));
      read.lines += axis < 2 ? " " : "\r\n";
    }
    read.extents.add(value[0], value[1], value[2]);
  }
  return read;
}

// Version 1.minor, point format `format`.
struct Form {
  int minor;
  int format;
};

LasTile random_tile(Form form, std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  LasTile tile;
  tile.minor = form.minor;
  tile.format = form.format;
  tile.between = std::string(seed % 300, 'v');
  tile.offset[0] = 600000;
  tile.offset[1] = 6100000;
  for (std::size_t i = 0; i < count; ++i) {
    tile.points.push_back({static_cast<std::int32_t>(random() % 60000000),
                           static_cast<std::int32_t>(random() % 100000000),
                           static_cast<std::int32_t>(random() % 500000) - 50000});
  }
  return tile;
}

void expect_read_whole(const LasTile& tile, Reading how) {
  Read read = read_las(tile.bytes(), how);
  Read wanted = expected(tile, tile.points.size());
  EXPECT_EQ(read.problem, "");
  EXPECT_TRUE(read.lines == wanted.lines);
  int measured = how.axes == Axes::kXYZ ? 3 : 2;
  for (int axis = 0; axis < measured; ++axis) {
    EXPECT_EQ(read.extents.axis(axis).min, wanted.extents.axis(axis).min) << axis;
    EXPECT_EQ(read.extents.axis(axis).max, wanted.extents.axis(axis).max) << axis;
  }
  if (measured == 2) {
    EXPECT_FALSE(read.extents.z.met);
  }
}

TEST(LasReader, WritesEachRecordAsAPointOfText) {
  LasTile tile;
  tile.points = {{65126229, 686247418, 95904}, {-1, 0, -50000}};
  EXPECT_EQ(read_las(tile.bytes()).lines,
            "651262.290000 6862474.180000 95.904000\r\n-0.010000 0.000000 -50.000000\r\n");
  for (int format : {0, 1}) {
    SCOPED_TRACE(format);
    expect_read_whole(random_tile({2, format}, 3000, 11 + static_cast<unsigned>(format)), {});
    expect_read_whole(random_tile({0, format}, 100, 13), {1, 100, 7});
    expect_read_whole(random_tile({2, format}, 5000, 17), {1 << 20, 1 << 16, 7});
    expect_read_whole(random_tile({2, format}, 5000, 17), {1000, 0, 300, 4096});
    expect_read_whole(random_tile({2, format}, 500, 29), {97, 500, 7, 0, Axes::kXY});
  }
  // Version 1.4's own formats, counted in 64 bits only.
  for (int format = 6; format <= 10; ++format) {
    SCOPED_TRACE(format);
    expect_read_whole(random_tile({4, format}, 2000, 19 + static_cast<unsigned>(format)), {});
  }
}

TEST(LasReader, PassesOverTheBytesOfARecordPastItsFormat) {
  LasTile tile = random_tile({3, 1}, 2000, 23);
  tile.record_length = 28 + 13;
  expect_read_whole(tile, {});
  tile.record_length = 65535;
  tile.points.resize(20);
  expect_read_whole(tile, {});
  // Records longer than a block of the read-ahead, or than what it keeps
  // in front of one.
  expect_read_whole(tile, {4000, 0, 3, 4096});
  tile.record_length = 5000;
  expect_read_whole(tile, {4000, 0, 3, 1 << 16});
}

// Where scale and offset let the integers be written as decimals, the text
// and the extents must still be those of the doubles X * scale + offset: at
// the ends of the 32-bit integers, about the X that makes zero, with
// offsets far out or between two steps, next to scales that are no power
// of ten.
TEST(LasReader, IntegersWrittenAsDecimalsAreTheDoublesText) {
  // The powers of ten the most (the first 7 from 0.01 on), and offsets whose zero is "-0.000000" at
  // 0.01 (0.35) and 0.001 (0.009).
  const double kScales[] = {0.01, 0.01, 0.001, 0.001, 0.0001, 1e-5, 1e-6, 1, 0.1, 0.00025, 0.02};
  const double kOffsets[] = {0,          -0.0,       0.35,       -0.35, 0.009,   600000,
                             6100000.25, -1e9,       4294967295, 7.8e7, 0.3,     123.456789,
                             0.005,      2e7 + 0.01, -7e6,       1e-7,  -2.5e-3, -4294967296.0};
  const std::int32_t kEdges[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
  std::mt19937_64 random(43);
  auto pick = [&random](const auto& values) {
    return values[random() % (sizeof values / sizeof values[0])];
  };
  for (int round = 0; round < 300; ++round) {
    LasTile tile;
    std::int64_t zero_at[3];
    for (int axis = 0; axis < 3; ++axis) {
      // Every other round but powers of ten from 0.01 on.
      tile.scale[axis] = kScales[random() % (round % 2 == 0 ? 7 : std::size(kScales))];
      tile.offset[axis] = pick(kOffsets);
      zero_at[axis] = std::llround(std::clamp(-tile.offset[axis] / tile.scale[axis], -3e9, 3e9));
    }
    for (int i = 0; i < 2000; ++i) {
      std::array<std::int32_t, 3> point;
      for (std::size_t axis = 0; axis < 3; ++axis) {
        std::int64_t near = zero_at[axis] + static_cast<std::int64_t>(random() % 2001) - 1000;
        switch (random() % 4) {
          case 0:
            point[axis] = static_cast<std::int32_t>(static_cast<std::uint32_t>(random()));
            break;
          case 1:
            point[axis] =
                static_cast<std::int32_t>(std::clamp<std::int64_t>(near, INT32_MIN, INT32_MAX));
            break;
          case 2:
            point[axis] = pick(kEdges);
            break;
          default:
            point[axis] = static_cast<std::int32_t>(random() % 2000001) - 1000000;
        }
      }
      tile.points.push_back(point);
    }
    SCOPED_TRACE(round);
    expect_read_whole(tile, {1 << 16, 1 << 16, 1000});
  }
}

TEST(LasReader, AFileCutShortKeepsItsWholePointsAndSaysSo) {
  LasTile tile = random_tile({2, 1}, 1000, 29);
  std::string bytes = tile.bytes();
  Read read = read_las(bytes.substr(0, bytes.size() - 30));
  EXPECT_EQ(read.problem, "the file ends after 998 of the 1000 points its LAS header gives");
  EXPECT_TRUE(read.lines == expected(tile, 998).lines);

  // A header that gives more points than there are.
  tile.count = 1500;
  read = read_las(tile.bytes());
  EXPECT_EQ(read.problem, "the file ends after 1000 of the 1500 points its LAS header gives");
  EXPECT_TRUE(read.lines == expected(tile, 1000).lines);
}

// What a writer is handed: each batch's records, and whether they lie
// where they stay to the job's end, and where.
struct HandedRecords : PointSink {
  void point(const Point& /*point*/, Extents& /*extents*/, Axes /*measured*/) override {}
  void records(const ScaledRecords& records, Extents& /*extents*/, Axes /*measured*/) override {
    bytes.append(records.first, records.length * static_cast<std::size_t>(records.count));
    if (records.lasting) {
      ++lasting;
      lent.push_back({records.first, records.count});
    } else {
      ++copied;
    }
  }
  std::string bytes;
  int lasting = 0, copied = 0;
  std::vector<std::pair<const char*, std::int64_t>> lent;
};

// A tile kept whole in memory hands its records on where they lie, as the
// bytes it read, never past its end; any other source's are its copies.
TEST(LasReader, AKeptTilesRecordsAreHandedOnWhereTheyLie) {
  LasTile tile = random_tile({2, 1}, 1000, 37);
  const std::string whole = tile.bytes();
  const std::size_t points_at = whole.size() - std::size_t{1000} * 28;
  for (std::size_t cut : {0, 30}) {
    SCOPED_TRACE(cut);
    const std::string_view kept = std::string_view(whole).substr(0, whole.size() - cut);
    const std::size_t given = (kept.size() - points_at) / 28;
    auto read = [&](std::unique_ptr<ByteSource> source, HandedRecords& handed) {
      // Read as a job reads it: peeked first for its form.
      PeekedSource peeked(std::move(source));
      LasReader reader(peeked, 500, Axes::kXYZ);
      Extents extents;
      while (reader.copy_points(handed, extents, 77) != 0) {
      }
      return reader.problem();
    };
    HandedRecords lent, copied;
    const std::string problem = read(std::make_unique<KeptSource>(kept, 0), lent);
    EXPECT_EQ(read(std::make_unique<KeptSource>(std::string(kept)), copied), problem);
    EXPECT_EQ(problem,
              cut == 0 ? "" : "the file ends after 998 of the 1000 points its LAS header gives");
    EXPECT_TRUE(lent.bytes == whole.substr(points_at, given * 28));
    EXPECT_TRUE(copied.bytes == lent.bytes);
    EXPECT_GT(lent.lasting, 1);
    EXPECT_EQ(lent.copied, 0);
    EXPECT_EQ(copied.lasting, 0);
    // One after another, from the first record on.
    const char* next = kept.data() + points_at;
    for (const auto& [first, count] : lent.lent) {
      EXPECT_EQ(first, next);
      next += count * 28;
    }
  }
}

TEST(LasReader, AHeaderThatLiesOrIsCutPastesNothing) {
  LasTile tile = random_tile({2, 1}, 10, 31);
  std::string bytes = tile.bytes();
  bytes[97] = 0x10;  // the points put at byte 4096 and more
  Read read = read_las(bytes);
  EXPECT_EQ(read.lines, "");
  EXPECT_NE(read.problem.find("past the end of the file, at byte " + std::to_string(bytes.size())),
            std::string::npos)
      << read.problem;
  EXPECT_FALSE(read.extents.x.met);

  read = read_las(bytes.substr(0, 100));
  EXPECT_EQ(read.problem, "the file ends inside its LAS header, after 100 bytes");
  EXPECT_EQ(read.lines, "");

  tile.format = 0x81;
  read = read_las(tile.bytes());
  EXPECT_EQ(read.problem,
            "the LAS header says its points are compressed, but no LASzip record says how");
  EXPECT_EQ(read.lines, "");
}

TEST(LasReader, ZeroPointsAreNoPointsAndNoProblem) {
  LasTile tile = random_tile({4, 6}, 0, 37);
  Read read = read_las(tile.bytes());
  EXPECT_EQ(read.problem, "");
  EXPECT_EQ(read.lines, "");
  // What follows the points (extended records) is no point.
  tile = random_tile({2, 1}, 5, 41);
  tile.count = 3;
  read = read_las(tile.bytes());
  EXPECT_EQ(read.problem, "");
  EXPECT_TRUE(read.lines == expected(tile, 3).lines);
}

// The unit of X and Y as a LAS file's georeferencing states it, for the
// map's scale: the projected system's own unit, never its geographic
// system's degrees; unknown where nothing is said or two records disagree.
TEST(LasUnits, TheUnitTheRecordsState) {
  const char* kUtm =
      "PROJCS[\"NAD83 / UTM zone 15N\",GEOGCS[\"NAD83\",DATUM[\"D\",SPHEROID[\"GRS 1980\","
      "6378137,298.257222101]],UNIT[\"degree\",0.0174532925199433]],PROJECTION[\"TM\"],"
      "UNIT[\"metre\",1],AXIS[\"Easting\",EAST]]";
  EXPECT_EQ(wkt_linear_unit(kUtm), LinearUnit::kMetre);
  EXPECT_EQ(wkt_linear_unit("COMPD_CS[\"x\",PROJCS[\"y\",GEOGCS[\"g\",UNIT[\"degree\",0.01]],"
                            "UNIT[\"US survey foot\",0.3048006096]],VERT_CS[\"v\",UNIT[\"metre\","
                            "1]]]"),
            LinearUnit::kUsSurveyFoot);
  EXPECT_EQ(wkt_linear_unit("GEOGCS[\"WGS 84\",UNIT[\"degree\",0.01]]"), LinearUnit::kDegree);
  for (const char* unknown : {"PROJCRS[\"x\",LENGTHUNIT[\"metre\",1]]", "PROJCS[\"a\"", "",
                              "PROJCS[\"x\",UNIT[\"furlong\",201.168]]", "PROJCS[\"]\",UNIT["})
    EXPECT_EQ(wkt_linear_unit(unknown), LinearUnit::kUnknown) << unknown;

  // Records as they follow the header: 54 bytes each, then their bytes.
  auto record = [](const char* user, std::uint16_t id, const std::string& body) {
    std::string bytes(54, '\0');
    std::copy(user, user + std::strlen(user), bytes.begin() + 2);
    bytes[18] = static_cast<char>(id & 0xff);
    bytes[19] = static_cast<char>(id >> 8);
    bytes[20] = static_cast<char>(body.size() & 0xff);
    bytes[21] = static_cast<char>(body.size() >> 8);
    return bytes + body;
  };
  auto keys = [](std::initializer_list<std::array<std::uint16_t, 4>> list) {
    std::string bytes;
    auto put = [&bytes](std::uint16_t v) {
      bytes += static_cast<char>(v & 0xff);
      bytes += static_cast<char>(v >> 8);
    };
    for (std::uint16_t v : {1, 1, 0, static_cast<int>(list.size())}) put(v);
    for (const auto& key : list)
      for (std::uint16_t v : key) put(v);
    return bytes;
  };
  auto unit_of = [](const std::string& records, std::uint32_t count) {
    return las_linear_unit(reinterpret_cast<const unsigned char*>(records.data()), records.size(),
                           count);
  };
  std::string feet = record("LASF_Projection", 34735, keys({{1024, 0, 1, 1}, {3076, 0, 1, 9002}}));
  std::string other = record("LASF_Spec", 4, std::string(30, 'x'));
  EXPECT_EQ(unit_of(other + feet, 2), LinearUnit::kFoot);
  EXPECT_EQ(unit_of(other + feet, 1), LinearUnit::kUnknown);  // the count ends before it
  EXPECT_EQ(unit_of(record("LASF_Projection", 34735, keys({{1024, 0, 1, 2}})), 1),
            LinearUnit::kDegree);
  EXPECT_EQ(unit_of(feet + record("LASF_Projection", 2112, kUtm), 2), LinearUnit::kUnknown);
  EXPECT_EQ(unit_of(feet.substr(0, feet.size() - 1), 1), LinearUnit::kUnknown);  // cut
  EXPECT_EQ(unit_of(record("LASF_Projection", 2112, std::string(kUtm) + '\0'), 1),
            LinearUnit::kMetre);
}

}  // namespace
