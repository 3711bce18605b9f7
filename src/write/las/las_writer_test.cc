#include "write/las/las_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "app/stratumix.h"
#include "corpus_twins.h"
#include "fake_disk.h"
#include "io/failure.h"
#include "io/text_out.h"
#include "tiles.h"
#include "write/las/las_plan.h"
#include "write/las/laz_chunks.h"

namespace {

using lasout::Form;
using lasout::InputHeader;
using lasout::Options;
using lasout::Plan;

std::uint64_t le(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

double le_double(const std::string& bytes, std::size_t at) {
  std::uint64_t bits = le(bytes, at, 8);
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

// A LAS input as the plan sees it. Every call names a format then a scale,
// which no test reads as the other.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
InputHeader las_input(const std::string& path, int format, double scale, double offset = 0) {
  InputHeader input;
  input.path = path;
  input.las = true;
  input.format = format;
  input.points = 10;
  for (int axis = 0; axis < 3; ++axis) {
    input.scale[axis] = scale;
    input.offset[axis] = offset;
    input.min[axis] = offset;
    input.max[axis] = offset + 100;
  }
  return input;
}

std::string notes(const Plan& plan) {
  std::string all;
  for (const std::string& note : plan.notes) all += note + "\n";
  return all;
}

std::string failure_of(const std::vector<InputHeader>& inputs, const Options& options = {}) {
  try {
    lasout::compose(inputs, options);
  } catch (const Failure& failure) {
    return failure.message;
  }
  return "";
}

TEST(LasPlan, TheSmallestFormatThatLosesNothing) {
  struct Case {
    std::vector<int> formats;
    int format;
    int minor;
  } cases[] = {{{0}, 0, 2}, {{1}, 1, 2},    {{2, 1}, 3, 2}, {{1, 7}, 7, 4},
               {{4}, 4, 3}, {{0, 6}, 6, 4}, {{3, 8}, 8, 4}, {{5, 6}, 10, 4}};
  for (const Case& c : cases) {
    std::vector<InputHeader> inputs;
    for (int format : c.formats) inputs.push_back(las_input("f", format, 0.01));
    Plan plan = lasout::compose(inputs, {});
    EXPECT_EQ(plan.format, c.format) << c.formats.size() << " " << c.formats.back();
    EXPECT_EQ(plan.version_minor, c.minor) << c.format;
  }
  // Text with classes may need 1.4's.
  InputHeader text;
  text.path = "t.xyz";
  text.dims = {point::Dim::kX, point::Dim::kY, point::Dim::kZ, point::Dim::kClassification};
  EXPECT_EQ(lasout::compose({las_input("a", 1, 0.01), text}, {}).format, 6);
  // More points than 32 bits count.
  std::vector<InputHeader> big = {las_input("a", 1, 0.01)};
  big[0].points = std::uint64_t{1} << 32;
  EXPECT_EQ(lasout::compose(big, {}).format, 6);
}

TEST(LasPlan, ScalesAndOffsetsJoinExactlyOrAreRefused) {
  Plan plan = lasout::compose({las_input("a", 1, 0.01), las_input("b", 1, 0.001)}, {});
  EXPECT_EQ(plan.scale[0], 0.001);
  EXPECT_FALSE(plan.may_round);
  // 0.01 and 0.003: no scale holds both.
  std::string why = failure_of({las_input("a.las", 1, 0.01), las_input("b.las", 1, 0.003)});
  EXPECT_NE(why.find("b.las has X in steps of 0.003, a.las of 0.01"), std::string::npos) << why;
  EXPECT_NE(why.find("--scale"), std::string::npos);
  Options options;
  options.scale_given = true;
  EXPECT_TRUE(
      lasout::compose({las_input("a", 1, 0.01), las_input("b", 1, 0.003)}, options).may_round);
  // Offsets half a step apart.
  why = failure_of({las_input("a.las", 1, 0.01, 0), las_input("b.las", 1, 0.01, 0.005)});
  EXPECT_NE(why.find("offsets"), std::string::npos) << why;
  // Far apart, the offset keeps both in 32-bit integers.
  plan = lasout::compose({las_input("a", 1, 0.001, 0), las_input("b", 1, 0.001, 1000000)}, {});
  for (double bound : {0.0, 1000100.0})
    EXPECT_LT(std::abs((bound - plan.offset[0]) / plan.scale[0]), 2147483647.0);
  // Too far for any offset at that scale.
  why = failure_of({las_input("a", 1, 0.001, 0), las_input("b", 1, 0.001, 1e7)});
  EXPECT_NE(why.find("32-bit integers"), std::string::npos) << why;
}

TEST(LasPlan, TimesRecordsAndExtraBytesMustAgree) {
  InputHeader week = las_input("week.las", 1, 0.01);
  InputHeader standard = las_input("std.las", 1, 0.01);
  standard.global_encoding = 1;
  std::string why = failure_of({week, standard});
  EXPECT_NE(why.find("week.las has GPS week time, std.las adjusted standard GPS time"),
            std::string::npos)
      << why;
  // Format 0 carries no time, so it cannot disagree.
  EXPECT_EQ(lasout::compose({las_input("a", 0, 0.01), standard}, {}).global_encoding & 1, 1);

  // A record every input holds alike is kept; one they hold apart is left
  // out with a note; reference systems that differ are refused.
  InputHeader a = las_input("a.las", 1, 0.01), b = las_input("b.las", 1, 0.01);
  a.vlrs = {{"shared", 1, "", "x"}, {"own", 2, "", "a"}};
  b.vlrs = {{"shared", 1, "", "x"}, {"own", 2, "", "b"}};
  Plan plan = lasout::compose({a, b}, {});
  ASSERT_EQ(plan.vlrs.size(), 1u);
  EXPECT_EQ(plan.vlrs[0].user, "shared");
  EXPECT_NE(notes(plan).find("records not every input holds alike are left out: own 2"),
            std::string::npos)
      << notes(plan);
  a.crs.wkt = "LOCAL_CS[\"a\"]";
  b.crs.wkt = "LOCAL_CS[\"b\"]";
  a.crs.name = b.crs.name = "Local";
  InputHeader a_too = a;
  a_too.path = "a2.las";
  // Told a line a system, however many tiles share it, and by the form it
  // comes in where only its name would tell it.
  why = failure_of({a, b, a_too});
  EXPECT_NE(why.find("reference systems differ: a.las and 1 more: Local (WKT); b.las: Local (WKT)"),
            std::string::npos)
      << why;
  // Unless one file's is taken: as WKT, which 1.4 says it is.
  Options from_b;
  from_b.crs_from = "b.las";
  plan = lasout::compose({a, b, las_input("c.las", 6, 0.01)}, from_b);
  EXPECT_EQ(plan.global_encoding & 16, 16);
  EXPECT_EQ(std::count(plan.vlrs.begin(), plan.vlrs.end(),
                       lasout::Vlr{"LASF_Projection", 2112, "OGC WKT",
                                   std::string("LOCAL_CS[\"b\"]") + '\0'}),
            1);
  EXPECT_NE(notes(plan).find("state no reference system are taken to be in the result's: c.las\n"),
            std::string::npos)
      << notes(plan);
  a.crs = b.crs = {};

  // Extra bytes: those both describe alike kept, the others noted.
  auto descriptor = [](const char* name, int type) {
    std::string d(192, '\0');
    d[2] = static_cast<char>(type);
    d.replace(4, std::strlen(name), name);
    return d;
  };
  a.extra_descriptors = {descriptor("height", 9), descriptor("class2", 1)};
  b.extra_descriptors = {descriptor("height", 9)};
  plan = lasout::compose({a, b}, {});
  ASSERT_EQ(plan.extra.size(), 1u);
  EXPECT_EQ(plan.extra[0].name, "height");
  EXPECT_EQ(plan.record_length, 28u + 4u);
  EXPECT_NE(notes(plan).find("left out: class2"), std::string::npos) << notes(plan);
}

TEST(LasPlan, TheHeaderTellsTheTotals) {
  Plan plan = lasout::compose({las_input("a", 7, 0.01)}, {});
  plan.software = "STRATUMIX 9";
  lasout::Totals totals;
  std::string record(plan.record_length, '\0');
  record[14] = 0x21;  // the first of two returns
  record[0] = 5;
  totals.add(record.data(), true);
  record[14] = 0x22;  // the second
  record[0] = 9;
  totals.add(record.data(), true);
  std::string header = lasout::header_bytes(plan, totals);
  EXPECT_EQ(header.substr(26, 5), "MERGE");
  EXPECT_EQ(header.substr(58, 11), "STRATUMIX 9");
  EXPECT_EQ(le(header, 94, 2), 375u);
  EXPECT_EQ(le(header, 107, 4), 0u);  // no legacy count for format 7
  EXPECT_EQ(le(header, 247, 8), 2u);
  EXPECT_EQ(le(header, 255, 8), 1u);
  EXPECT_EQ(le(header, 263, 8), 1u);
  EXPECT_DOUBLE_EQ(le_double(header, 179), 0.09);  // max X
  EXPECT_DOUBLE_EQ(le_double(header, 187), 0.05);  // min X
}

// The totals of a run of records are those of its records one by one:
// bounds of either sign, return numbers 0 and past 5 or 15 in their
// fields, added to totals that were empty or not.
TEST(LasPlan, TheTotalsOfARunAreThoseOfItsRecords) {
  std::mt19937 random(41);
  for (bool extended : {false, true}) {
    for (std::size_t count : {1, 2, 333}) {
      const std::size_t length = extended ? 30 : 28;
      std::string records(count * length, '\0');
      for (char& c : records) c = static_cast<char>(random());
      lasout::Totals one_by_one, run;
      for (int before = 0; before < 2; ++before) {
        for (std::size_t i = 0; i < count; ++i) one_by_one.add(&records[i * length], extended);
        run.add_run(records.data(), count, length, extended);
        EXPECT_EQ(run.points, one_by_one.points);
        for (int axis = 0; axis < 3; ++axis) {
          EXPECT_EQ(run.min[axis], one_by_one.min[axis]) << axis;
          EXPECT_EQ(run.max[axis], one_by_one.max[axis]) << axis;
        }
        for (int i = 0; i < 15; ++i) EXPECT_EQ(run.by_return[i], one_by_one.by_return[i]) << i;
        for (char& c : records) c = static_cast<char>(random());
      }
    }
  }
  lasout::Totals none;
  none.add_run(nullptr, 0, 28, false);
  EXPECT_EQ(none.points, 0u);
}

TEST(LasPlan, WaveformDataFollowsEachInputInTurn) {
  const lasout::Vlr one{"LASF_Spec", 100, "", std::string(26, '\1')};
  lasout::Vlr other = one;
  other.body[3] = 9;
  std::vector<InputHeader> inputs = {las_input("a", 4, 0.01), las_input("b", 9, 0.01),
                                     las_input("c", 5, 0.01), las_input("d", 1, 0.01)};
  inputs[0].waveform = {"a", 300, 100};
  inputs[1].waveform = {"b.wdp", 60, 50};
  for (int i : {0, 1, 2}) inputs[static_cast<std::size_t>(i)].vlrs.push_back(one);
  Plan plan = lasout::compose(inputs, {});
  // d, without wave packets, need not hold the descriptor.
  EXPECT_NE(std::find(plan.vlrs.begin(), plan.vlrs.end(), one), plan.vlrs.end());
  EXPECT_EQ(plan.wave_bytes, 150u);
  ASSERT_EQ(plan.waves.size(), 3u);
  EXPECT_EQ(plan.wave_of("a")->shift, 0u);
  EXPECT_EQ(plan.wave_of("b")->shift, 100u);
  EXPECT_TRUE(plan.wave_of("b")->carried);
  EXPECT_FALSE(plan.wave_of("c")->carried);
  EXPECT_EQ(plan.wave_of("d"), nullptr);
  EXPECT_NE(notes(plan).find("cannot be found"), std::string::npos) << notes(plan);
  EXPECT_NE(notes(plan).find("c\n"), std::string::npos) << notes(plan);
  // Given twice, an input's data is carried once.
  inputs.push_back(inputs[1]);
  plan = lasout::compose(inputs, {});
  EXPECT_EQ(plan.wave_bytes, 150u);
  EXPECT_EQ(plan.waves.back().shift, 100u);
  inputs.pop_back();
  // A descriptor of the same index that differs: both kept, the later
  // input's under the first free index, its points' indexes with it; one
  // alike under another index is the same descriptor.
  inputs[1].vlrs.back() = other;
  lasout::Vlr moved = one;
  moved.id = 104;
  inputs[2].vlrs.back() = moved;
  plan = lasout::compose(inputs, {});
  EXPECT_EQ(plan.wave_bytes, 150u);
  EXPECT_TRUE(plan.wave_of("b")->carried);
  auto descriptor = [&plan](std::uint16_t id) {
    auto found = std::find_if(plan.vlrs.begin(), plan.vlrs.end(),
                              [id](const lasout::Vlr& vlr) { return vlr.id == id; });
    return found == plan.vlrs.end() ? std::string() : found->body;
  };
  EXPECT_EQ(descriptor(100), one.body);
  EXPECT_EQ(descriptor(101), other.body);
  EXPECT_EQ(descriptor(104), "");
  EXPECT_EQ(plan.wave_of("a")->index[1], 1u);
  EXPECT_EQ(plan.wave_of("b")->index[1], 2u);
  EXPECT_EQ(plan.wave_of("c")->index[5], 1u);
  EXPECT_EQ(plan.wave_of("c")->index[1], 0u);  // c has no descriptor 1
  EXPECT_NE(notes(plan).find("given other indexes, their points' with them: b\n"),
            std::string::npos)
      << notes(plan);
  // The header promises the record once it is written.
  lasout::Totals totals;
  EXPECT_EQ(le(lasout::header_bytes(plan, totals), 6, 2) & 2, 0u);
  totals.waveform_at = 123456;
  const std::string header = lasout::header_bytes(plan, totals);
  EXPECT_EQ(le(header, 6, 2) & 6, 2u);
  EXPECT_EQ(le(header, 227, 8), 123456u);
}

// Whole jobs, in-process, through the program's own reader.
class LasJob : public testing::Test {
 protected:
  void SetUp() override { console.capture(&out, &err); }
  void TearDown() override { console.capture(nullptr, nullptr); }
  int run(std::vector<std::string> arguments) {
    out.clear();
    err.clear();
    return run_stratumix(std::move(arguments), &disk);
  }
  // Every attribute of every point of `inputs`, as text.
  std::string fields(const std::vector<std::string>& inputs,
                     const std::string& list = kEveryField) {
    std::vector<std::string> arguments = {"-q", "--fields", list, "-o", "fields.txt"};
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    EXPECT_EQ(run(arguments), 0) << err;
    return disk.files["fields.txt"];
  }
  std::uint64_t header_count(const std::string& las) {
    return las[25] >= 4 ? le(las, 247, 8) : le(las, 107, 4);
  }

  static constexpr const char* kEveryField =
      "X,Y,Z,Intensity,ReturnNumber,NumberOfReturns,Classification,Synthetic,KeyPoint,"
      "Withheld,ScanDirectionFlag,EdgeOfFlightLine,UserData,PointSourceId,GpsTime,Red,"
      "Green,Blue";
  MemoryDisk disk;
  std::string out;
  std::string err;
};

// Text of `count` points with a time and the columns `more` names, their
// values from `seed`.
std::string points_text(int count, const std::string& more, int seed) {
  std::string text = "X Y Z GpsTime" + more + "\n";
  for (int i = 0; i < count; ++i) {
    text += std::to_string(1000 + i * 7 % 501) + "." + std::to_string(10 + (i + seed) % 90) + " " +
            std::to_string(5000 + i % 333) + ".5 " + std::to_string(i % 50) + ".25 " +
            std::to_string(300000 + i) + ".5";
    if (!more.empty()) {
      text += " " + std::to_string((i * 31 + seed) % 65536) + " " + std::to_string(i % 256) + " " +
              std::to_string((i + 7) % 256) + " " + std::to_string(1 + i % 40) + " " +
              std::to_string(1 + i % 3) + " 3";
    }
    text += "\n";
  }
  return text;
}

TEST_F(LasJob, FormatsOneAndSevenRoundTripAloneAndMerged) {
  disk.files["one.xyz"] = points_text(300, "", 1);
  disk.files["seven.xyz"] =
      points_text(200, " Red Green Blue Classification ReturnNumber NumberOfReturns", 2);
  ASSERT_EQ(run({"-q", "-o", "one.las", "one.xyz"}), 0) << err;
  ASSERT_EQ(run({"-q", "-o", "seven.las", "seven.xyz"}), 0) << err;
  EXPECT_EQ(disk.files["one.las"][104], 1);
  EXPECT_EQ(disk.files["one.las"][25], 2);
  EXPECT_EQ(disk.files["seven.las"][104], 7);
  EXPECT_EQ(disk.files["seven.las"][25], 4);
  EXPECT_EQ(header_count(disk.files["one.las"]), 300u);
  const std::string one = fields({"one.xyz"});
  const std::string seven = fields({"seven.xyz"});
  EXPECT_EQ(fields({"one.las"}), one);
  EXPECT_EQ(fields({"seven.las"}), seven);
  // Each input's extents and the result's, as a text result tells them.
  auto extents = [this](const char* result) {
    EXPECT_EQ(run({"-o", result, "one.las", "seven.las", "one.las"}), 0) << err;
    std::string lines;
    for (std::size_t at = out.find("_min"); at != std::string::npos; at = out.find("_min", at)) {
      const std::size_t begin = out.rfind('\n', at) + 1;
      at = out.find('\n', at);
      lines += out.substr(begin, at - begin + 1);
    }
    return lines;
  };
  const std::string text = extents("r.xyz");
  EXPECT_NE(text.find("3/3 one.las: 300 points"), std::string::npos) << text;
  EXPECT_EQ(extents("r.las"), text);
  EXPECT_EQ(extents("r.laz"), text);
  for (const char* result : {"r.las", "r.laz"}) {
    // Alone, as LAS and LAZ.
    ASSERT_EQ(run({"-q", "-o", result, "one.las"}), 0) << err;
    EXPECT_EQ(fields({result}), one) << result;
    ASSERT_EQ(run({"-q", "-o", result, "seven.las"}), 0) << err;
    EXPECT_EQ(fields({result}), seven) << result;
    // Merged: format 1 becomes 7, every attribute kept.
    ASSERT_EQ(run({"-q", "-o", result, "one.las", "seven.las"}), 0) << err;
    EXPECT_EQ(disk.files[result][104] & 63, 7) << result;
    EXPECT_EQ(header_count(disk.files[result]), 500u);
    EXPECT_EQ(fields({result}), one + seven) << result;
  }
  EXPECT_EQ(static_cast<unsigned char>(disk.files["r.laz"][104]), 128u + 7u);
}

// Records laid out as the result's are copied many at a time, across the
// chunks of a LAZ result and the blocks of a LAS one.
TEST_F(LasJob, RecordsCopiedAsTheyAreFillChunkAfterChunk) {
  disk.files["many.xyz"] = points_text(60003, "", 3);
  ASSERT_EQ(run({"-q", "-o", "many.las", "many.xyz"}), 0) << err;
  const std::string expected = fields({"many.xyz"}, "X,Y,Z,GpsTime");
  for (const char* result : {"r.las", "r.laz"}) {
    ASSERT_EQ(run({"-q", "-o", result, "many.las"}), 0) << err;
    EXPECT_EQ(header_count(disk.files[result]), 60003u) << result;
    EXPECT_EQ(fields({result}, "X,Y,Z,GpsTime"), expected) << result;
  }
}

TEST_F(LasJob, ScalesThatDivideJoinExactlyOthersOnlyWhenRoundingIsAsked) {
  disk.files["a.xyz"] = "X Y Z\n1.25 2.5 3.75\n10.5 20.25 30\n";
  disk.files["b.xyz"] = "X Y Z\n1.001 2.002 3.003\n";
  ASSERT_EQ(run({"-q", "--scale", "0.01", "-o", "a.las", "a.xyz"}), 0) << err;
  ASSERT_EQ(run({"-q", "--scale", "0.001", "-o", "b.las", "b.xyz"}), 0) << err;
  ASSERT_EQ(run({"-q", "--scale", "0.003", "-o", "c.las", "b.xyz"}), 0) << err;
  // Rounded to 0.003, b's numbers are counted.
  ASSERT_EQ(run({"--brief", "--scale", "0.003", "-o", "c.las", "b.xyz"}), 0) << err;
  EXPECT_NE(out.find("Rounded: 1 points, by 0.001 at most"), std::string::npos) << out;
  ASSERT_EQ(run({"-q", "-o", "ab.las", "a.las", "b.las"}), 0) << err;
  EXPECT_EQ(le_double(disk.files["ab.las"], 131), 0.001);
  EXPECT_EQ(fields({"ab.las"}, "X,Y,Z"), fields({"a.xyz", "b.xyz"}, "X,Y,Z"));
  // 0.01 and 0.003: refused, nothing created.
  disk.files.erase("ac.las");
  EXPECT_EQ(run({"-o", "ac.las", "a.las", "c.las"}), 1);
  EXPECT_NE(err.find("cannot be joined without rounding"), std::string::npos) << err;
  EXPECT_NE(err.find("0.003"), std::string::npos) << err;
  EXPECT_EQ(disk.files.count("ac.las"), 0u);
  EXPECT_EQ(disk.files.count("ac.las_xyz_info.txt"), 0u);
  // Asked for, the rounding is done and told.
  ASSERT_EQ(run({"--report", "ac.json", "--scale", "0.01", "-o", "ac.las", "a.las", "c.las"}), 0);
  EXPECT_NE(out.find("Rounded: 1 points"), std::string::npos) << out;
  EXPECT_NE(disk.files["ac.json"].find("\"rounded_points\": 1"), std::string::npos);
  EXPECT_NE(disk.files["ac.json"].find("\"format\": \"LAS 1.2, point format 0\""),
            std::string::npos)
      << disk.files["ac.json"];
}

TEST_F(LasJob, TextAndLasTogether) {
  disk.files["t.xyz"] = "X Y Z GpsTime\n1.5 2.5 3.5 10.25\n4 5 6 11\n";
  disk.files["u.xyz"] = points_text(50, "", 3);
  ASSERT_EQ(run({"-q", "-o", "u.las", "u.xyz"}), 0) << err;
  ASSERT_EQ(run({"-q", "-o", "r.laz", "t.xyz", "u.las"}), 0) << err;
  EXPECT_EQ(fields({"r.laz"}), fields({"t.xyz", "u.xyz"}));
}

TEST_F(LasJob, AFullDiskLeavesAHeaderOfTheWholePointsItHolds) {
  // More than the writer's buffer, so that some of it reaches the disk.
  disk.files["a.xyz"] = points_text(20000, "", 4);
  ASSERT_EQ(run({"-q", "-o", "whole.las", "a.xyz"}), 0) << err;
  const std::string whole = disk.files["whole.las"];
  const std::uint64_t first = le(whole, 96, 4);
  const std::uint64_t length = le(whole, 105, 2);
  // Room for the header and 15000.5 points.
  disk.room["r.las"] = static_cast<std::size_t>(first + 15000 * length + length / 2);
  EXPECT_EQ(run({"--brief", "-o", "r.las", "a.xyz"}), 1);
  const std::string cut = disk.files["r.las"];
  const std::uint64_t held = header_count(cut);
  EXPECT_GT(held, 0u);
  EXPECT_EQ(cut.size(), first + held * length);
  EXPECT_EQ(cut.substr(first), whole.substr(first, static_cast<std::size_t>(held * length)));
  EXPECT_NE(out.find("Points: " + std::to_string(held) + "\n"), std::string::npos) << out;
  // LAZ keeps its whole chunks, with their table.
  disk.files["big.xyz"] = points_text(120000, "", 5);
  ASSERT_EQ(run({"-q", "-o", "whole.laz", "big.xyz"}), 0) << err;
  // Three chunks, compressed on several threads, written in their order.
  EXPECT_EQ(fields({"whole.laz"}, "X,Y,Z,GpsTime"), fields({"big.xyz"}, "X,Y,Z,GpsTime"));
  disk.room["r.laz"] = disk.files["whole.laz"].size() - 2000;
  EXPECT_EQ(run({"-q", "-o", "r.laz", "big.xyz"}), 1);
  EXPECT_EQ(header_count(disk.files["r.laz"]), 100000u);
  ASSERT_EQ(run({"-q", "-o", "back.xyz", "r.laz"}), 0) << err;
  const std::string back = disk.files["back.xyz"];
  EXPECT_EQ(std::count(back.begin(), back.end(), '\n'), 100000);
}

TEST_F(LasJob, ADamagedInputsPointsAreTakenBackWithTheHeadersCounts) {
  disk.files["a.xyz"] = "1 2 3\n4 5 6\n";
  std::string damaged = gzip_member("7 8 9\n10 11 12\n");
  damaged[damaged.size() - 8] ^= 1;  // its CRC
  disk.files["b.gz"] = damaged;
  EXPECT_EQ(run({"-q", "-o", "r.las", "a.xyz", "b.gz"}), 1);
  EXPECT_NE(err.find("none of its points are pasted"), std::string::npos) << err;
  const std::string las = disk.files["r.las"];
  EXPECT_EQ(header_count(las), 2u);
  EXPECT_EQ(las.size(), le(las, 96, 4) + 2 * le(las, 105, 2));
  EXPECT_EQ(fields({"r.las"}, "X,Y,Z"), fields({"a.xyz"}, "X,Y,Z"));
}

TEST_F(LasJob, TextWavePacketsPointAtNoWaveformData) {
  disk.files["w.xyz"] =
      "X Y Z WavePacketDescriptorIndex WaveformDataOffset WaveformPacketSize\n"
      "1 2 3 1 60 4\n4 5 6 0 64 4\n";
  ASSERT_EQ(run({"-o", "r.las", "w.xyz", "w.xyz"}), 0) << err;
  EXPECT_NE(err.find("is not known"), std::string::npos) << err;
  EXPECT_NE(err.find("set to 0: w.xyz, w.xyz."), std::string::npos) << err;
  EXPECT_EQ(disk.files["r.las"][104], 4);
  EXPECT_EQ(fields({"r.las"}, "WavePacketDescriptorIndex,WaveformDataOffset"),
            "0 60\r\n0 64\r\n0 60\r\n0 64\r\n");
}

TEST_F(LasJob, RefusalsCreateNothing) {
  disk.files["a.xyz"] = "1 2 3\n";
  disk.files["b.xyz"] = "1 2 3\n";
  ASSERT_EQ(run({"-q", "-o", "week.las", "--format", "las", "a.xyz"}), 0);
  // A time of another kind: the header's global encoding says so.
  disk.files["w.xyz"] = "X Y Z GpsTime\n1 2 3 4\n";
  ASSERT_EQ(run({"-q", "-o", "week.las", "w.xyz"}), 0) << err;
  std::string standard = disk.files["week.las"];
  standard[6] = 1;
  disk.files["std.las"] = standard;
  EXPECT_EQ(run({"-o", "r.las", "week.las", "std.las"}), 1);
  EXPECT_NE(err.find("GPS times differ"), std::string::npos) << err;
  EXPECT_EQ(disk.files.count("r.las"), 0u);
}

#ifdef STRATUMIX_CORPUS
TEST_F(LasJob, CorpusFilesRoundTripAloneAndMerged) {
  const std::vector<std::string> names = {"laspy-simple1_4.las", "lazperf-extrabytes.laz",
                                          "lastools-simple1_3-fmt5.las", "lastools-test.laz",
                                          "laspy-simple.copc.laz"};
  for (const std::string& name : names) {
    disk.files[name] = corpus_file(name);
    if (disk.files[name].empty()) GTEST_SKIP() << "no corpus";
  }
  for (const std::string& name : names) {
    const std::string before = fields({name});
    for (const char* result : {"r.las", "r.laz"}) {
      ASSERT_EQ(run({"-q", "-o", result, name}), 0) << name << err;
      EXPECT_EQ(fields({result}), before) << name << " " << result;
      // A COPC input's octree is not the result's: its record would send a
      // COPC reader to pages that are not there.
      EXPECT_EQ(disk.files[result].find(std::string("copc\0\0\0\0", 8)), std::string::npos)
          << name << " " << result;
    }
  }
  // Two tiles of one survey, merged.
  ASSERT_EQ(run({"-q", "-o", "m.laz", names[0], names[0]}), 0) << err;
  EXPECT_EQ(fields({"m.laz"}), fields({names[0], names[0]}));
}
// The records of a LAS file: where they begin, their length and count.
struct Records {
  explicit Records(const std::string& las)
      : bytes(las),
        first(le(las, 96, 4)),
        length(le(las, 105, 2)),
        count(las[25] >= 4 ? le(las, 247, 8) : le(las, 107, 4)),
        format(las[104] & 63) {}
  // The wave packet's index, offset and size of record `i`.
  std::uint64_t wave(std::uint64_t i, int field) const {
    const std::size_t index_at = format == 4 ? 28 : format == 5 ? 34 : format == 9 ? 30 : 38;
    const std::size_t at = static_cast<std::size_t>(first + i * length) + index_at;
    return field == 0 ? le(bytes, at, 1) : field == 1 ? le(bytes, at + 1, 8) : le(bytes, at + 9, 4);
  }
  const std::string& bytes;
  std::uint64_t first, length, count;
  int format;
};

// A .wdp file: the record's header, then `size` bytes from `seed`.
std::string wdp_file(std::size_t size, int seed) {
  std::string bytes(60 + size, '\0');
  bytes.replace(2, 9, "LASF_Spec");
  bytes[18] = bytes[19] = '\xff';
  for (std::size_t i = 0; i < size; ++i)
    bytes[60 + i] =
        static_cast<char>((i * 7 + static_cast<std::size_t>(seed) * 13 + i / 251) & 0xff);
  return bytes;
}

// Each point of `result` after `skip` has the wave packet of the input's
// point (its descriptor's `index` where the result numbers it anew), its
// samples the same bytes as `data` held where the input's offset pointed,
// or no descriptor where `data` held none: how many kept theirs.
int waves_kept(const Records& result, std::uint64_t skip, const Records& input,
               const std::string& data, std::uint64_t index = 0) {
  const std::uint64_t start = le(result.bytes, 227, 8);
  int kept = 0;
  for (std::uint64_t i = 0; i < input.count; ++i) {
    const std::uint64_t offset = input.wave(i, 1), size = input.wave(i, 2);
    EXPECT_EQ(result.wave(skip + i, 2), size);
    if (input.wave(i, 0) != 0 && offset + size <= data.size()) {
      EXPECT_EQ(result.wave(skip + i, 0), index != 0 ? index : input.wave(i, 0)) << i;
      const std::uint64_t moved = result.wave(skip + i, 1);
      EXPECT_EQ(result.bytes.substr(static_cast<std::size_t>(start + moved),
                                    static_cast<std::size_t>(size)),
                data.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size)))
          << i;
      ++kept;
    } else {
      EXPECT_EQ(result.wave(skip + i, 0), 0u) << i;
      EXPECT_EQ(result.wave(skip + i, 1), offset) << i;
    }
  }
  return kept;
}

// Tiles of two sensors whose descriptors share an index: both are kept, and
// the points of the later tile point at its own under another index.
TEST_F(LasJob, WavePacketDescriptorsThatDifferAreBothKept) {
  const std::string nine = corpus_file("lastools-fullwave-fmt9.las");
  if (nine.empty()) GTEST_SKIP() << "no corpus";
  disk.files["a.las"] = nine;
  std::string& b = disk.files["b.las"] = nine;
  // The descriptor, the first record after the header: another spacing of
  // its samples.
  const std::size_t body = le(b, 94, 2) + 54;
  ASSERT_EQ(le(b, body - 54 + 18, 2), 100u);
  b[body + 6] = static_cast<char>(b[body + 6] + 1);
  disk.files["a.wdp"] = wdp_file(300000, 1);
  disk.files["b.wdp"] = wdp_file(300000, 2);
  const Records a_records(disk.files["a.las"]), b_records(b);
  for (const char* result : {"r.las", "r.laz"}) {
    ASSERT_EQ(run({"-q", "-o", result, "a.las", "b.las"}), 0) << err;
    EXPECT_NE(err.find("given other indexes, their points' with them: b.las"), std::string::npos)
        << err;
    ASSERT_EQ(run({"-q", "-o", "back.las", result}), 0) << err;
    const std::string& las = disk.files["back.las"];
    // The descriptors by their record's ID.
    std::map<std::uint64_t, std::string> descriptors;
    for (std::size_t at = le(las, 94, 2), n = le(las, 100, 4); n > 0; --n) {
      const std::size_t length = le(las, at + 20, 2);
      if (las.compare(at + 2, 9, "LASF_Spec") == 0 && le(las, at + 18, 2) >= 100)
        descriptors[le(las, at + 18, 2)] = las.substr(at + 54, length);
      at += 54 + length;
    }
    EXPECT_EQ(descriptors[100], disk.files["a.las"].substr(body, 26)) << result;
    EXPECT_EQ(descriptors[101], b.substr(body, 26)) << result;
    const Records r(las);
    ASSERT_EQ(r.count, a_records.count + b_records.count);
    EXPECT_GT(waves_kept(r, 0, a_records, disk.files["a.wdp"]), 50) << result;
    EXPECT_GT(waves_kept(r, a_records.count, b_records, disk.files["b.wdp"], 2), 50) << result;
  }
}

TEST_F(LasJob, WaveformDataFollowsItsPointsIntoTheResult) {
  const std::vector<std::string> names = {"lastools-fullwave-fmt9.las",
                                          "lastools-fullwave-fmt10.las", "laspy-simple1_3.las",
                                          "lastools-simple1_3-fmt5.las"};
  for (const std::string& name : names) {
    disk.files[name] = corpus_file(name);
    if (disk.files[name].empty()) GTEST_SKIP() << "no corpus";
  }
  // External waveform data beside the first two, holding the samples of
  // their first points only.
  disk.files["lastools-fullwave-fmt9.wdp"] = wdp_file(300000, 1);
  disk.files["lastools-fullwave-fmt10.wdp"] = wdp_file(200000, 2);
  const Records nine(disk.files[names[0]]), ten(disk.files[names[1]]);
  for (const char* result : {"r.las", "r.laz"}) {
    ASSERT_EQ(run({"-o", result, names[0], names[1]}), 0) << err;
    EXPECT_NE(err.find("lie outside their input's waveform data"), std::string::npos) << err;
    std::string las = disk.files[result];
    if (std::string(result) == "r.laz") {
      // Read back as LAS: its one record carried as it lies.
      ASSERT_EQ(run({"-q", "-o", "back.las", result}), 0) << err;
      las = disk.files["back.las"];
    }
    const Records r(las);
    ASSERT_EQ(r.count, nine.count + ten.count);
    EXPECT_EQ(le(las, 6, 2) & 6, 2u) << result;
    const std::uint64_t start = le(las, 227, 8);
    EXPECT_EQ(le(las, 235, 8), start);
    EXPECT_EQ(le(las, 243, 4), 1u);
    EXPECT_EQ(le(las, static_cast<std::size_t>(start) + 18, 2), 65535u);
    EXPECT_EQ(le(las, static_cast<std::size_t>(start) + 20, 8), 500000u);
    EXPECT_EQ(las.size(), start + 60 + 500000);
    EXPECT_GT(waves_kept(r, 0, nine, disk.files["lastools-fullwave-fmt9.wdp"]), 50) << result;
    EXPECT_GT(waves_kept(r, nine.count, ten, disk.files["lastools-fullwave-fmt10.wdp"]), 30)
        << result;
  }
  // A record in the file is carried whole; data not found is told.
  ASSERT_EQ(run({"-o", "s.las", names[2], names[3]}), 0) << err;
  EXPECT_NE(err.find("cannot be found"), std::string::npos) << err;
  EXPECT_NE(err.find(names[3]), std::string::npos) << err;
  const std::string& input = disk.files[names[2]];
  const std::string& s = disk.files["s.las"];
  const std::uint64_t from = le(input, 227, 8), to = le(s, 227, 8);
  ASSERT_GT(to, 0u);
  EXPECT_EQ(s.substr(static_cast<std::size_t>(to) + 60),
            input.substr(static_cast<std::size_t>(from) + 60));
  const Records fifth(disk.files[names[3]]);
  const Records merged(s);
  for (std::uint64_t i = 0; i < fifth.count; ++i)
    ASSERT_EQ(merged.wave(Records(input).count + i, 0), 0u);
}

TEST_F(LasJob, AFullDiskInTheWaveformDataLeavesThePointsWithoutIt) {
  disk.files["a.las"] = corpus_file("lastools-fullwave-fmt9.las");
  if (disk.files["a.las"].empty()) GTEST_SKIP() << "no corpus";
  disk.files["a.wdp"] = wdp_file(800000, 3);
  for (const std::string result : {"r.las", "r.laz"}) {
    ASSERT_EQ(run({"-q", "-o", "whole" + result, "a.las"}), 0) << err;
    const std::size_t start = static_cast<std::size_t>(le(disk.files["whole" + result], 227, 8));
    disk.room[result] = start + 400000;
    EXPECT_EQ(run({"-q", "-o", result, "a.las"}), 1);
    const std::string& cut = disk.files[result];
    EXPECT_EQ(cut.size(), start) << result;
    EXPECT_EQ(le(cut, 6, 2) & 2, 0u);
    EXPECT_EQ(le(cut, 227, 8), 0u);
    EXPECT_EQ(le(cut, 243, 4), 0u);
    EXPECT_EQ(Records(cut).count, Records(disk.files["a.las"]).count) << result;
  }
  ASSERT_EQ(run({"-q", "-o", "back.las", "r.laz"}), 0) << err;
  EXPECT_EQ(Records(disk.files["back.las"]).count, Records(disk.files["a.las"]).count);
}
#endif

// A disk whose inputs may be read ahead, as the system's: a LAS result's
// small tiles are then read whole for their headers and kept for their
// turn.
class AheadDisk : public MemoryDisk {
 public:
  bool reads_ahead() const override { return true; }
};

TEST_F(LasJob, TilesKeptFromTheirHeadersArePastedAsIfOpenedAgain) {
  disk.files["one.xyz"] = points_text(300, "", 1);
  disk.files["seven.xyz"] =
      points_text(200, " Red Green Blue Classification ReturnNumber NumberOfReturns", 2);
  disk.files["t.xyz"] = "X Y Z\n1.5 2.5 3.5\n";
  ASSERT_EQ(run({"-q", "-o", "one.las", "one.xyz"}), 0) << err;
  ASSERT_EQ(run({"-q", "-o", "seven.laz", "seven.xyz"}), 0) << err;
  // A file given twice is kept twice; text is read in its turn.
  const std::vector<std::string> inputs = {"one.las", "seven.laz", "t.xyz", "one.las"};
  auto reads_of = [](const MemoryDisk& on, const std::string& name) {
    return std::count(on.events.begin(), on.events.end(), "read " + name);
  };
  for (const char* result : {"r.las", "r.laz"}) {
    std::vector<std::string> arguments = {"-q", "-o", result};
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    disk.events.clear();
    ASSERT_EQ(run(arguments), 0) << err;
    EXPECT_EQ(reads_of(disk, "one.las"), 4) << result;
    AheadDisk ahead;
    ahead.files = disk.files;
    ahead.files.erase(result);
    ASSERT_EQ(run_stratumix(arguments, &ahead), 0) << err;
    EXPECT_EQ(ahead.files[result], disk.files[result]) << result;
    EXPECT_EQ(ahead.files[std::string(result) + "_xyz_info.txt"],
              disk.files[std::string(result) + "_xyz_info.txt"]);
    // Each tile opened once, as it is checked, and never again; text is
    // opened for its check too, and read as before.
    EXPECT_EQ(reads_of(ahead, "one.las"), 2) << result;
    EXPECT_EQ(reads_of(ahead, "seven.laz"), 1) << result;
    EXPECT_EQ(reads_of(ahead, "t.xyz"), reads_of(disk, "t.xyz") + 1) << result;
  }
}

// Kept tiles lend their records to a LAZ result's chunks where they lie;
// a larger tile, read in its turn, has its records copied; another at its
// own offset has them converted. However they meet in a chunk, the result
// is the one that copies them all.
TEST_F(LasJob, RecordsLentCopiedAndConvertedMakeTheSameChunks) {
  disk.files["big.xyz"] = points_text(60003, "", 4);
  disk.files["small.xyz"] = points_text(3001, "", 5);
  disk.files["moved.xyz"] =
      "X Y Z GpsTime\n" + points_text(2000, "", 6).substr(14) + "90000.5 70000.5 1.25 7.5\n";
  for (const char* name : {"big", "small", "moved"})
    ASSERT_EQ(run({"-q", "-o", std::string(name) + ".las", std::string(name) + ".xyz"}), 0) << err;
  const std::vector<std::string> inputs = {"small.las", "big.las",   "small.las", "moved.las",
                                           "small.las", "small.las", "big.las"};
  std::vector<std::string> arguments = {"-q", "-o", "r.laz"};
  arguments.insert(arguments.end(), inputs.begin(), inputs.end());
  ASSERT_EQ(run(arguments), 0) << err;
  AheadDisk ahead;
  ahead.files = disk.files;
  ahead.files.erase("r.laz");
  ASSERT_EQ(run_stratumix(arguments, &ahead), 0) << err;
  EXPECT_TRUE(ahead.files["r.laz"] == disk.files["r.laz"]);
  EXPECT_EQ(header_count(ahead.files["r.laz"]), 2 * 60003u + 4 * 3001u + 2001u);
  disk.files["lent.laz"] = ahead.files["r.laz"];
  EXPECT_EQ(fields({"lent.laz"}, "X,Y,Z,GpsTime"), fields(inputs, "X,Y,Z,GpsTime"));
}

// A chunk of fewer than 50000 records, the last, cannot be compressed:
// memory runs out.
void compress_unless_last(const laz::ChunkFormat& format, laz::RecordRuns records,
                          std::vector<unsigned char>& out) {
  if (records.count() < 50000) throw std::bad_alloc();
  laz::compress_chunk(format, records, out);
}

// A chunk whose compression fails on a worker does not end the program, as a
// failure out of a thread would: the job is told where it writes the
// chunk, and the chunks before it are written.
TEST(LazChunks, AChunkThatRunsOutOfMemoryIsToldWhereItIsWritten) {
  Plan plan = lasout::compose({las_input("a", 1, 0.01)}, {});
  std::string written;
  OutputFile file;
  file.open(std::make_unique<StringSink>(written));
  auto chunks = lasout::make_laz_chunks(plan, file, compress_unless_last);
  chunks->begin();
  const std::string records(std::size_t{plan.record_length} * 50007, '\0');
  chunks->place_all(records.data(), 50007);
  EXPECT_THROW(chunks->finish(), std::bad_alloc);
  chunks.reset();
  file.close();
  // The place of the table, not yet known, then the first chunk.
  std::vector<unsigned char> first;
  laz::compress_chunk({1, plan.record_length, 3},
                      reinterpret_cast<const unsigned char*>(records.data()), 50000, first);
  EXPECT_EQ(written, std::string(8, '\xff') + std::string(first.begin(), first.end()));
}

// The chunks' counts a compressor was handed, in any order.
std::mutex counted_mutex;
std::vector<std::uint64_t> counted;
void count_only(const laz::ChunkFormat& /*format*/, laz::RecordRuns records,
                std::vector<unsigned char>& /*out*/) {
  std::lock_guard<std::mutex> lock(counted_mutex);
  counted.push_back(records.count());
}

// Records of many extra bytes go in chunks of fewer than 50000 points, at
// most 64 MiB of them, so that the chunks a core holds fit in a 32-bit
// program; the LASzip record says so.
TEST(LazChunks, LongRecordsGoInChunksOfAtMost64MiB) {
  Plan plan = lasout::compose({las_input("a", 1, 0.01)}, {});
  const std::pair<std::uint32_t, std::uint32_t> kPoints[] = {
      {28, 50000}, {1342, 50000}, {1343, 49969}, {61230, 1096}, {65535, 1024}};
  for (auto [length, points] : kPoints) {
    plan.record_length = length;
    EXPECT_EQ(le(lasout::laszip_record_for(plan), 12, 4), points) << length;
  }
  counted.clear();
  std::string written;
  OutputFile file;
  file.open(std::make_unique<StringSink>(written));
  auto chunks = lasout::make_laz_chunks(plan, file, count_only);
  // Where the header and its records go.
  const std::string header(static_cast<std::size_t>(plan.point_offset()), '\0');
  file.write_block(header.data(), header.size());
  chunks->begin();
  const std::string records(std::size_t{65535} * 1030, '\0');
  chunks->lend_all(records.data(), 1030);
  chunks->finish();
  chunks.reset();
  file.close();
  std::sort(counted.begin(), counted.end());
  EXPECT_EQ(counted, (std::vector<std::uint64_t>{6, 1024}));
}

// Memory that runs out while a result is closed after a failed job (its
// last block written, its last chunks compressed) is told as it would be
// during the job: once, status 1, and a LAS or LAZ header that tells no
// more points than the file holds. It ended the program before.
TEST_F(LasJob, MemoryThatRunsOutAsAFailedJobsResultIsClosedIsTold) {
  disk.files["a.xyz"] = points_text(300, "", 1);
  // Gzip data whose check fails: the job stops there, status 1.
  std::string corrupt = gzip_member(points_text(50, "", 2));
  corrupt[corrupt.size() - 6] ^= 0x55;
  disk.files["b.xyz.gz"] = corrupt;
  for (const char* result : {"r.txt", "r.las", "r.laz"}) {
    // Room for what the job writes before it fails; none for the rest.
    ASSERT_EQ(run({"-q", "-o", result, "a.xyz", "b.xyz.gz"}), 1) << result;
    const std::size_t whole = disk.files[result].size();
    disk.files.erase(result);
    disk.memory_runs_out.insert(result);
    disk.room[result] = std::string(result) == "r.txt" ? 0 : 800;
    EXPECT_EQ(run({"-q", "-o", result, "a.xyz", "b.xyz.gz"}), 1) << result;
    EXPECT_NE(err.find("stratumix: Out of memory.\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("Out of memory."), err.rfind("Out of memory.")) << err;
    EXPECT_LT(disk.files[result].size(), whole) << result;
    if (std::string(result) != "r.txt") {
      EXPECT_EQ(header_count(disk.files[result]), 0u) << result;
    }
  }
}

}  // namespace
