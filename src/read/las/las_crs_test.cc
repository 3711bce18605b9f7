#include "read/las/las_crs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "fake_disk.h"
#include "read/las/las_reader.h"
#include "read/las/las_units.h"
#include "tiles.h"

namespace {

std::vector<std::uint8_t> shorts(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values) {
    bytes.push_back(static_cast<std::uint8_t>(v & 0xff));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  return bytes;
}

// A key directory of version 1.1.0 holding `keys` (four shorts each).
std::vector<std::uint8_t> key_directory(std::initializer_list<std::initializer_list<int>> keys) {
  std::vector<std::uint8_t> bytes = shorts({1, 1, 0, static_cast<int>(keys.size())});
  for (const auto& key : keys) {
    std::vector<std::uint8_t> more = shorts(key);
    bytes.insert(bytes.end(), more.begin(), more.end());
  }
  return bytes;
}

std::string little(std::uint64_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string user_id(const std::string& user) { return user + std::string(16 - user.size(), '\0'); }

// A record before the points, and one after them.
std::string vlr(std::uint16_t id, const std::string& body) {
  return las_projection_record(id, body);
}
std::string evlr(const std::string& user, std::uint16_t id, const std::string& body,
                 std::uint64_t length_said = ~0ull) {
  return std::string(2, '\0') + user_id(user) + little(id, 2) +
         little(length_said != ~0ull ? length_said : body.size(), 8) + std::string(32, '\0') + body;
}

std::string as_text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// A LAS 1.4 file of two points with `before` among its records before the
// points and `after` as its extended records.
std::string las14(const std::string& before, std::uint32_t before_count, const std::string& after,
                  std::uint32_t after_count, bool wkt_bit, std::size_t points = 2) {
  LasTile tile;
  tile.minor = 4;
  tile.format = 6;
  tile.between = before;
  tile.records = before_count;
  tile.points.assign(points, {1, 2, 3});
  std::string file = tile.bytes();
  if (wkt_bit) file[6] = 0x10;
  if (after_count != 0) {
    file.replace(235, 8, little(file.size(), 8));
    file.replace(243, 4, little(after_count, 4));
  }
  return file + after;
}

// Takes the points and keeps nothing.
class NoSink : public PointSink {
 public:
  void point(const Point& /*point*/, Extents& /*extents*/, Axes /*measured*/) override {}
  void records(const ScaledRecords& /*records*/, Extents& /*extents*/, Axes /*measured*/) override {
  }
};

struct Read {
  las::Crs crs;
  std::string note;
  std::string problem;
  std::int64_t points = 0;
};

Read read_file(const std::string& file, bool in_order_only = false) {
  TextSource source(file);
  if (in_order_only) source.in_order_only();
  LasReader reader(source);
  NoSink none;
  Extents extents;
  Read read;
  read.points = reader.copy_points(none, extents, 100);
  read.crs = reader.crs();
  read.note = reader.note();
  read.problem = reader.problem();
  return read;
}

const std::string kUtm10 =
    R"(PROJCS["NAD83 / UTM zone 10N",GEOGCS["NAD83",DATUM["North_American_Datum_1983",)"
    R"(SPHEROID["GRS 1980",6378137,298.257222101,AUTHORITY["EPSG","7019"]],)"
    R"(AUTHORITY["EPSG","6269"]],AUTHORITY["EPSG","4269"]],PROJECTION["Transverse_Mercator"],)"
    R"(UNIT["metre",1,AUTHORITY["EPSG","9001"]],AUTHORITY["EPSG","26910"]])";

TEST(LasCrs, GeoTiffKeysGiveTheirCodesAndTellDamage) {
  struct Case {
    std::vector<std::uint8_t> keys;
    std::string ascii;
    int horizontal, vertical;
    const char* name;
    bool damaged;
  } cases[] = {
      // A projected system by its code, and its citation.
      {key_directory({{1024, 0, 1, 1}, {3072, 0, 1, 26910}, {3073, 34737, 16, 0}}),
       "NAD83 / UTM 10N|", 26910, 0, "NAD83 / UTM 10N", false},
      // A projected system the keys define: not the geographic system it
      // rests on, whose code is there too.
      {key_directory({{1024, 0, 1, 1}, {2048, 0, 1, 4269}, {3072, 0, 1, 32767}}), "", 0, 0, "",
       false},
      // Projected by its model, its projection in keys of its own.
      {key_directory({{1024, 0, 1, 1}, {2048, 0, 1, 4269}, {3075, 0, 1, 8}}), "", 0, 0, "", false},
      // Geographic, with a vertical system.
      {key_directory({{1024, 0, 1, 2}, {2048, 0, 1, 4326}, {4096, 0, 1, 5703}}), "", 4326, 5703, "",
       false},
      // The directory cut short: the keys there are read, and it is said.
      {[] {
         auto keys = key_directory({{3072, 0, 1, 2994}, {4096, 0, 1, 5703}});
         keys.resize(keys.size() - 4);
         return keys;
       }(),
       "", 2994, 0, "", true},
      {shorts({1, 1}), "", 0, 0, "", true},
      // A citation past the ASCII parameters.
      {key_directory({{3072, 0, 1, 2994}, {1026, 34737, 40, 0}}), "short|", 2994, 0, "", true},
  };
  for (const Case& c : cases) {
    las::Crs crs;
    crs.geokeys = c.keys;
    crs.ascii.assign(c.ascii.begin(), c.ascii.end());
    std::string damage = las::settle_codes(crs, false);
    EXPECT_EQ(crs.horizontal_epsg, c.horizontal) << c.name;
    EXPECT_EQ(crs.vertical_epsg, c.vertical) << c.name;
    EXPECT_EQ(crs.name, c.name);
    EXPECT_EQ(!damage.empty(), c.damaged) << damage;
    EXPECT_FALSE(crs.empty());
  }
}

TEST(LasCrs, WktGivesItsOutermostCodesAndName) {
  struct Case {
    std::string wkt;
    int horizontal, vertical;
    const char* name;
  } cases[] = {
      // The last code of the outermost system, not those within it.
      {kUtm10, 26910, 0, "NAD83 / UTM zone 10N"},
      {"COMPD_CS[\"NAD83 / Oregon + NAVD88\",PROJCS[\"NAD83 / "
       "Oregon\",AUTHORITY[\"EPSG\",\"2991\"]],"
       "VERT_CS[\"NAVD88 height (ftUS)\",AUTHORITY[\"EPSG\",\"6360\"]]]",
       2991, 6360, "NAD83 / Oregon + NAVD88"},
      // A vertical system some writers put inside the horizontal one.
      {"PROJCS[\"a\",UNIT[\"US survey foot\",0.3048006,AUTHORITY[\"EPSG\",\"9003\"]],"
       "AUTHORITY[\"EPSG\",\"2903\"],VERTCS[\"NAVD88\",AUTHORITY[\"EPSG\",\"5703\"]]]",
       2903, 5703, "a"},
      // WKT 2, over several lines, with a quote within a name.
      {"PROJCRS[\"WGS 84 / UTM zone 23S \"\"x\"\"\",\n  BASEGEOGCRS[\"WGS "
       "84\",ID[\"EPSG\",4326]],\n"
       "  CONVERSION[\"UTM zone 23S\",METHOD[\"Transverse Mercator\",ID[\"EPSG\",9807]]],\n"
       "  CS[Cartesian,2],\n  ID[\"EPSG\",32723]]",
       32723, 0, "WGS 84 / UTM zone 23S \"x\""},
      {"BOUNDCRS[SOURCECRS[GEOGCRS[\"NAD27\",ID[\"EPSG\",4267]]],TARGETCRS[GEOGCRS[\"WGS 84\","
       "ID[\"EPSG\",4326]]]]",
       4267, 0, "NAD27"},
      {"VERT_CS[\"NAVD88 height\",AUTHORITY[\"EPSG\",\"5703\"]]", 0, 5703, "NAVD88 height"},
      // Named, without a code.
      {"GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\"],UNIT[\"Degree\",0.0174532925199433]]", 0, 0,
       "GCS_WGS_1984"},
      // Not read: no name, no code, and no crash.
      {"PROJCS[\"cut", 0, 0, ""},
      {"nothing here", 0, 0, ""},
      {std::string(100000, '[') + std::string(100000, ']'), 0, 0, ""},
      {[] {
         std::string deep;
         for (int i = 0; i < 5000; ++i) deep += "A[\"n\",";
         return deep;
       }(),
       0, 0, ""},
  };
  for (const Case& c : cases) {
    int horizontal = -1, vertical = -1;
    std::string name = "?";
    las::wkt_codes(c.wkt, horizontal, vertical, name);
    EXPECT_EQ(horizontal, c.horizontal) << c.wkt.substr(0, 60);
    EXPECT_EQ(vertical, c.vertical) << c.wkt.substr(0, 60);
    EXPECT_EQ(name, c.name);
  }
}

// The last text read is answered again, from any thread, for that text
// alone: one of the same length that differs by a letter is read afresh.
TEST(LasCrs, AWktReadAgainIsAnsweredAsTheFirstTime) {
  std::string feet = kUtm10;
  feet.replace(feet.find("26910"), 5, "26911");
  feet.replace(feet.find("\"metre\",1,"), 10, "\"foot\",1, ");
  ASSERT_EQ(feet.size(), kUtm10.size());
  auto check = [&](const std::string& wkt, int& failures) {
    int horizontal = 0, vertical = 0;
    std::string name;
    las::wkt_codes(wkt, horizontal, vertical, name);
    const bool first = &wkt == &kUtm10;
    if (horizontal != (first ? 26910 : 26911) || vertical != 0 || name != "NAD83 / UTM zone 10N" ||
        wkt_linear_unit(wkt) != (first ? LinearUnit::kMetre : LinearUnit::kFoot))
      ++failures;
  };
  int failures = 0;
  for (const std::string* wkt :
       std::initializer_list<const std::string*>{&kUtm10, &kUtm10, &feet, &feet, &kUtm10, &feet})
    check(*wkt, failures);
  EXPECT_EQ(failures, 0);
  // Two threads at once, each asking in its own order.
  int failed[2] = {};
  std::thread other([&] {
    for (int i = 0; i < 3000; ++i) check(i % 3 == 0 ? kUtm10 : feet, failed[1]);
  });
  for (int i = 0; i < 3000; ++i) check(i % 2 == 0 ? feet : kUtm10, failed[0]);
  other.join();
  EXPECT_EQ(failed[0] + failed[1], 0);
}

TEST(LasCrs, DescribedAndComparedByCodesElseByRecords) {
  las::Crs none;
  EXPECT_EQ(none.describe(), "");
  EXPECT_TRUE(none.empty());

  las::Crs coded;
  coded.wkt = kUtm10;
  las::settle_codes(coded, true);
  EXPECT_EQ(coded.describe(), "EPSG:26910");
  las::Crs keys;
  keys.geokeys = key_directory({{1024, 0, 1, 1}, {3072, 0, 1, 26910}});
  las::settle_codes(keys, false);
  // The same code in either form is the same system.
  EXPECT_TRUE(coded.same_as(keys));
  EXPECT_TRUE(keys.same_as(coded));
  EXPECT_FALSE(coded.same_as(none));
  EXPECT_TRUE(none.same_as(las::Crs{}));
  // A vertical system makes another.
  las::Crs with_height = keys;
  with_height.geokeys = key_directory({{1024, 0, 1, 1}, {3072, 0, 1, 26910}, {4096, 0, 1, 5703}});
  las::settle_codes(with_height, false);
  EXPECT_EQ(with_height.describe(), "EPSG:26910+5703");
  EXPECT_FALSE(with_height.same_as(keys));

  // Without codes: the same records, the WKT's layout aside, but not the
  // spaces within its names.
  las::Crs named;
  named.wkt = "GEOGCS[\"GCS WGS 1984\",UNIT[\"Degree\",0.0174532925199433]]";
  las::settle_codes(named, true);
  EXPECT_EQ(named.describe(), "GCS WGS 1984");
  las::Crs spaced = named;
  spaced.wkt = "GEOGCS[ \"GCS WGS 1984\",\r\n  UNIT[\"Degree\", 0.0174532925199433] ]";
  EXPECT_TRUE(named.same_as(spaced));
  spaced.wkt = "GEOGCS[\"GCS WGS  1984\",UNIT[\"Degree\",0.0174532925199433]]";
  EXPECT_FALSE(named.same_as(spaced));
  las::Crs defined;
  defined.geokeys = key_directory({{1024, 0, 1, 1}, {3072, 0, 1, 32767}, {3075, 0, 1, 8}});
  defined.doubles = {1, 2, 3, 4, 5, 6, 7, 8};
  las::Crs other_doubles = defined;
  other_doubles.doubles[7] = 9;
  EXPECT_TRUE(defined.same_as(las::Crs(defined)));
  EXPECT_FALSE(defined.same_as(other_doubles));
  EXPECT_FALSE(defined.same_as(named));
}

TEST(LasCrs, ReadBeforeAndAfterThePoints) {
  const std::string keys = as_text(key_directory({{1024, 0, 1, 2}, {2048, 0, 1, 4326}}));
  // WKT among the extended records; GeoTIFF keys first unless the header's
  // bit says the WKT is the file's system.
  for (bool wkt_bit : {false, true}) {
    Read read =
        read_file(las14(vlr(34735, keys), 1,
                        evlr("other", 7, "x") + evlr("LASF_Projection", 2112, kUtm10), 2, wkt_bit));
    EXPECT_EQ(read.problem, "");
    EXPECT_EQ(read.points, 2);
    EXPECT_EQ(read.note, "");
    EXPECT_EQ(read.crs.wkt, kUtm10);
    EXPECT_EQ(read.crs.geokeys, std::vector<std::uint8_t>(keys.begin(), keys.end()));
    EXPECT_EQ(read.crs.horizontal_epsg, wkt_bit ? 26910 : 4326);
  }
  // A file without points still states its system.
  Read empty = read_file(las14(vlr(2112, kUtm10 + std::string(3, '\0')), 1, "", 0, true, 0));
  EXPECT_EQ(empty.problem, "");
  EXPECT_EQ(empty.crs.wkt, kUtm10);
  EXPECT_EQ(empty.crs.describe(), "EPSG:26910");
  // No record, or an empty one: no system.
  EXPECT_TRUE(read_file(las14("", 0, "", 0, false)).crs.empty());
  for (const std::string& blank :
       {std::string(4, '\0'), std::string(" \n"), std::string("''\0", 3)}) {
    Read read = read_file(las14(vlr(2112, blank), 1, "", 0, true));
    EXPECT_TRUE(read.crs.empty());
    EXPECT_EQ(read.note, "");
  }
}

TEST(LasCrs, DamagedOrHugeExtendedRecordsCostNoPoint) {
  struct Case {
    std::string after;
    std::uint32_t count;
    bool in_order_only;
    const char* note;
    bool kept = false;  // the records before the damage
  } cases[] = {
      // A length no file holds: never allocated.
      {evlr("LASF_Projection", 2112, kUtm10, std::uint64_t{1} << 40), 1, false,
       "its extended record LASF_Projection 2112 of 1099511627776 bytes is passed over"},
      {evlr("LASF_Projection", 2112, kUtm10, kUtm10.size() + 10), 1, false,
       "its extended records run past the end of the file"},
      {evlr("LASF_Projection", 2112, kUtm10), 3, false,
       "its extended records run past the end of the file", true},
      // Cut short in a record that is passed over: as damaged.
      {evlr("LASF_Projection", 2112, kUtm10) + evlr("other", 7, "xyz", 4), 2, false,
       "its extended records run past the end of the file", true},
      {evlr("LASF_Projection", 2112, kUtm10), 1, true,
       "its extended records are not read, as the input is read in one pass"},
      {evlr("LASF_Projection", 2112, kUtm10, ~0ull - 1), 1, false,
       "an extended record's length is unusable"},
  };
  for (const Case& c : cases) {
    Read read = read_file(las14("", 0, c.after, c.count, true), c.in_order_only);
    EXPECT_EQ(read.problem, "");
    EXPECT_EQ(read.points, 2);
    EXPECT_EQ(read.note, c.note);
    EXPECT_EQ(read.crs.describe(), c.kept ? "EPSG:26910" : "");
  }
  // A cut key directory is read as far as it goes, and said.
  std::string cut = as_text(key_directory({{3072, 0, 1, 2994}, {4096, 0, 1, 5703}}));
  cut.resize(cut.size() - 8);
  Read read = read_file(las14(vlr(34735, cut), 1, "", 0, false));
  EXPECT_EQ(read.points, 2);
  EXPECT_EQ(read.crs.describe(), "EPSG:2994");
  EXPECT_EQ(read.note, "its GeoTIFF key directory is cut short, 1 of its 2 keys there");
}

// Real files, their codes as LAStools' lasinfo reads them.
TEST(LasCrs, CorpusFilesInBothForms) {
  if (!std::filesystem::exists(STRATUMIX_CORPUS)) GTEST_SKIP() << "no corpus";
  struct Case {
    const char* file;
    const char* described;
    bool wkt, keys;
  } cases[] = {
      {"liblas-srs.las", "EPSG:32617", false, true},
      {"lazperf-point10.las.laz", "EPSG:26910", false, true},
      {"lazperf-1815.laz", "EPSG:6580+5703", false, true},
      {"lastools-test.laz", "EPSG:32128", false, true},
      {"pdal-epsg_4326.las", "EPSG:4326", false, true},
      {"pdal-wontcompress3.las", "EPSG:26919", true, false},
      {"pdal-autzen-bmx-2010.las", "EPSG:2991+6360", true, false},
      {"laspy-1_4_w_evlr.laz", "EPSG:2903+5703", true, false},
      {"laspy-fullwave.laz", "EPSG:32723", true, false},
      {"pdal-autzen_clip_4326.copc.laz", "EPSG:4326", true, false},
      // The WKT is the system, but names no code: the keys' is taken.
      {"laspy-file_with_both_wkt_and_geotiff_vlrs.las", "EPSG:32104", true, true},
      // The keys in the records before the points, the WKT after them.
      {"laspy-simple1_4.las", "EPSG:4326", true, true},
      // A system the file defines: its name.
      {"pdal-autzen_trim.las", "NAD_1983_HARN_Lambert_Conformal_Conic", true, true},
      {"pdal-autzen_trim.laz", "NAD_1983_HARN_Lambert_Conformal_Conic", true, true},
      {"laspy-simple1_3.las", "vertical EPSG:5030", false, true},
      {"laszip-5points_14.las", "", false, false},
      {"lazperf-point10-1.0.laz", "", false, false},
  };
  std::vector<las::Crs> read;
  for (const Case& c : cases) {
    std::ifstream in(std::string(STRATUMIX_CORPUS) + "/" + c.file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty()) << c.file;
    Read file = read_file(bytes);
    EXPECT_EQ(file.crs.describe(), c.described) << c.file;
    EXPECT_EQ(!file.crs.wkt.empty(), c.wkt) << c.file;
    EXPECT_EQ(!file.crs.geokeys.empty(), c.keys) << c.file;
    EXPECT_EQ(file.note, "") << c.file;
    read.push_back(file.crs);
  }
  // The same code in either form; the compressed copy of a file whose
  // system has no code.
  EXPECT_TRUE(read[4].same_as(read[9]));
  EXPECT_TRUE(read[12].same_as(read[13]));
  EXPECT_FALSE(read[12].same_as(read[1]));
  EXPECT_TRUE(read[15].same_as(read[16]));
  EXPECT_FALSE(read[0].same_as(read[1]));
}

}  // namespace
