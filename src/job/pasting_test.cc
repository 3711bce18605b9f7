#include "job/pasting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_disk.h"
#include "io/failure.h"
#include "num/number.h"
#include "read/laz/laz_encoder.h"
#include "tiles.h"

namespace {

// What a job tells its observer, in order.
class Heard : public PastingObserver {
 public:
  std::vector<std::string> events;
  InputFacts& input_begun(std::int32_t m, const std::string& path) override {
    events.push_back("begun " + std::to_string(m) + " " + path);
    facts_.emplace_back();
    return facts_.back();
  }
  void input_ended(const Extents& extents) override {
    events.push_back("ended, " + std::to_string(facts_.back().points) + " points, X to " +
                     std::to_string(static_cast<int>(extents.x.max)));
  }
  void input_unopened(const std::string& path) override { events.push_back("unopened " + path); }
  const InputFacts& facts(std::size_t i) const { return facts_[i]; }

 private:
  std::deque<InputFacts> facts_;  // each where it was begun
};

// A job pasted without a whole run: on a disk in memory, into a result in
// memory, with the console captured.
struct Fixture {
  MemoryDisk disk;
  std::string result_bytes;
  std::string info_bytes;
  OutputFile result;
  OutputFile info_report;
  Console console;
  std::string out;
  std::string err;
  std::unique_ptr<PointInput> input;
  bool incomplete = false;
  Heard heard;
  Job job;

  explicit Fixture(std::vector<std::string> inputs) {
    result.open(std::make_unique<StringSink>(result_bytes));
    info_report.open(std::make_unique<StringSink>(info_bytes));
    console.capture(&out, &err);
    job.inputs = std::move(inputs);
    job.result = &result;
    job.info_report = &info_report;
  }
  void paste() { ::paste(job, disk, console, heard, PastingLeft{input, incomplete}); }
};

TEST(PastingAJob, ADamagedInputLeavesNoneOfItsPointsAndStopsTheJobThere) {
  Fixture f({"a", "b", "c"});
  f.disk.files["a"] = "1 2 3\n4 5 6\n";
  std::string damaged = gzip_member("7 8 9\n");
  damaged[damaged.size() - 8] ^= 1;  // its CRC
  f.disk.files["b"] = damaged;
  f.disk.files["c"] = "10 11 12\n";
  try {
    f.paste();
    ADD_FAILURE() << "the damaged input did not stop the job";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status, 1);
    EXPECT_NE(failure.message.find("none of its points are pasted"), std::string::npos)
        << failure.message;
  }
  f.result.close();
  EXPECT_EQ(f.result_bytes, "1.000000 2.000000 3.000000\r\n4.000000 5.000000 6.000000\r\n");
  EXPECT_EQ(f.heard.events,
            (std::vector<std::string>{"begun 1 a", "ended, 2 points, X to 4", "begun 2 b"}));
  EXPECT_EQ(f.heard.facts(1).points, 0);
  // The damaged input's reader is left to the run, to end with it.
  EXPECT_NE(f.input, nullptr);
  EXPECT_FALSE(f.incomplete);
}

TEST(PastingAJob, TextThatIsNotPointsIsToldEvenWhenALaterInputStopsTheJob) {
  Fixture f({"a", "missing"});
  f.disk.files["a"] = "1 2 3\nx\n";
  f.job.measure_z = false;
  EXPECT_THROW(f.paste(), Failure);
  EXPECT_TRUE(f.incomplete);
  EXPECT_EQ(f.heard.events,
            (std::vector<std::string>{"begun 1 a", "ended, 1 points, X to 1", "unopened missing"}));
  EXPECT_TRUE(f.heard.facts(0).cut_short);
  EXPECT_NE(f.err.find("warning: a, line 2"), std::string::npos) << f.err;
  EXPECT_NE(f.err.find("Cannot open"), std::string::npos) << f.err;
  // Closed before the job stopped: what was pasted stays.
  EXPECT_FALSE(f.result.is_open());
}

// Every word the pasting tells its observer, with the facts as they then
// are: an input read ahead must tell the same as one read in its turn.
class Told : public PastingObserver {
 public:
  std::string log;
  // Stops the job as an interruption would, after input `stop_input`
  // reached `stop_points` points.
  std::int32_t stop_input = 0;
  std::int64_t stop_points = 0;

  void job_begun() override { log += "job\n"; }
  InputFacts& input_begun(std::int32_t m, const std::string& path) override {
    m_ = m;
    pasted_ = 0;
    facts_.emplace_back();
    log +=
        "begun " + std::to_string(m) + " " + std::filesystem::path(path).filename().string() + "\n";
    return facts_.back();
  }
  void points_begin() override { log += "points\n"; }
  // Runs end where the reading thread has made points ahead, as far as it
  // got: only their order is told, not where they end.
  void points_pasted() override {
    if (facts_.back().points <= pasted_) log += "points pasted out of order\n";
    pasted_ = facts_.back().points;
  }
  void run_ended(std::int64_t before, std::int64_t now) override {
    if (now != pasted_ || before >= now) log += "a run told wrong\n";
    if (m_ == stop_input && now >= stop_points) throw Failure{1, "stopped"};
  }
  void input_ended(const Extents& extents) override {
    log += "ended " + facts() + ", " + std::to_string(facts_.back().bytes) + " bytes, Y to " +
           number::fixed6_text(extents.y.max) + "\n";
  }
  void input_unopened(const std::string& path) override {
    log += "unopened " + std::filesystem::path(path).filename().string() + "\n";
  }
  // The facts of every input, the last as a stop left them.
  std::vector<std::string> all_facts() const {
    std::vector<std::string> all;
    for (const InputFacts& f : facts_) all.push_back(facts_of(f));
    return all;
  }
  std::int64_t points() const {
    std::int64_t points = 0;
    for (const InputFacts& f : facts_) points += f.points;
    return points;
  }

 private:
  // The bytes an input gave before its end are the reading thread's, as
  // far as it has gone: not told here.
  static std::string facts_of(const InputFacts& f) {
    std::string text = std::to_string(f.points) + " points, X " +
                       number::fixed6_text(f.extents.x.min) + " to " +
                       number::fixed6_text(f.extents.x.max) + (f.cut_short ? ", cut short" : "");
    if (f.crs != nullptr) text += ", in " + f.crs->describe();
    for (const std::string& note : f.notes) text += "; " + note;
    return text;
  }
  std::string facts() const { return facts_of(facts_.back()); }
  std::int32_t m_ = 0;
  std::int64_t pasted_ = 0;
  std::deque<InputFacts> facts_;
};

// The system's disk, read in turn: inputs are read one after the other.
class InTurnDisk : public SystemDisk {
 public:
  InTurnDisk() : SystemDisk(false) {}
  bool reads_ahead() const override { return false; }
};

// Files of a job on the system's disk, in a folder of the test's own.
class Folder {
 public:
  Folder()
      : path_(std::filesystem::temp_directory_path() /
              ("stratumix-pasting-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::string write(const std::string& name, const std::string& bytes) {
    std::string file = (path_ / name).string();
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  std::string path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// All a job leaves, whichever way its inputs are read.
struct Outcome {
  std::string result;
  std::string told;
  std::vector<std::string> facts;
  std::int64_t points = 0;  // as the facts count them
  std::string out;
  std::string err;
  std::string failure;
  bool incomplete = false;
};

Outcome paste_on(Disk& disk, const std::vector<std::string>& inputs, std::int32_t stop_input = 0,
                 std::int64_t stop_points = 0, xyz::Format format = {},
                 const std::vector<FilterMaker>& filters = {}) {
  Outcome outcome;
  OutputFile result;
  OutputFile info_report;
  std::string info_bytes;
  result.open(std::make_unique<StringSink>(outcome.result));
  info_report.open(std::make_unique<StringSink>(info_bytes));
  Console console;
  console.capture(&outcome.out, &outcome.err);
  Told told;
  told.stop_input = stop_input;
  told.stop_points = stop_points;
  Job job;
  job.inputs = inputs;
  job.result = &result;
  job.info_report = &info_report;
  job.format = format;
  job.filters = filters;
  std::unique_ptr<PointInput> input;
  try {
    paste(job, disk, console, told, PastingLeft{input, outcome.incomplete});
  } catch (const Failure& failure) {
    outcome.failure = std::to_string(failure.status) + " " + failure.message;
    result.close();
  }
  outcome.told = told.log;
  outcome.facts = told.all_facts();
  outcome.points = told.points();
  return outcome;
}

// Lidar-like text of `count` points, from `seed`.
std::string lidar_text(int count, int seed) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    int k = i * 7919 + seed * 104729;
    text += std::to_string(600000 + k % 500000) + "." + std::to_string(10 + k % 89) + " " +
            std::to_string(6100000 + (k / 7) % 900000) + ".5 " + std::to_string(k % 400) + ".125\n";
  }
  return text;
}

// A job stopped in the middle of an input stops where its reading thread
// had got to: the same inputs before it, and as many points as it says.
void expect_same(const Outcome& ahead, const Outcome& in_turn, bool stopped) {
  for (const Outcome* outcome : {&ahead, &in_turn}) {
    EXPECT_EQ(std::count(outcome->result.begin(), outcome->result.end(), '\n'), outcome->points);
  }
  EXPECT_EQ(ahead.told, in_turn.told);
  EXPECT_EQ(ahead.failure, in_turn.failure);
  EXPECT_EQ(ahead.incomplete, in_turn.incomplete);
  if (stopped) {
    const std::size_t common = std::min(ahead.result.size(), in_turn.result.size());
    EXPECT_EQ(ahead.result.substr(0, common), in_turn.result.substr(0, common));
    ASSERT_EQ(ahead.facts.size(), in_turn.facts.size());
    EXPECT_EQ(std::vector<std::string>(ahead.facts.begin(), ahead.facts.end() - 1),
              std::vector<std::string>(in_turn.facts.begin(), in_turn.facts.end() - 1));
    return;
  }
  EXPECT_EQ(ahead.result, in_turn.result);
  EXPECT_EQ(ahead.facts, in_turn.facts);
  EXPECT_EQ(ahead.out, in_turn.out);
  EXPECT_EQ(ahead.err, in_turn.err);
}

// Inputs read ahead on other cores leave what the same inputs read one
// after the other do, to the byte and the word, however the job ends:
// whole, at an input that fails, or stopped in the middle of an input.
TEST(PastingAJob, InputsReadAheadLeaveWhatInputsReadInTurnDo) {
  Folder folder;
  std::vector<std::string> tiles;
  for (int t = 0; t < 9; ++t) {
    // Small tiles and larger ones of several runs (4096 points a run).
    tiles.push_back(
        folder.write("t" + std::to_string(t) + ".xyz", lidar_text(t % 3 == 0 ? 10000 : 300, t)));
  }
  const std::string gzip = folder.write("g.xyz.gz", gzip_member(lidar_text(9000, 11)));
  const std::string noted = folder.write("h.xyz", "X Y Z\n" + lidar_text(50, 12));
  const std::string words = folder.write("w.xyz", lidar_text(20, 13) + "end of points\n9 9 9\n");
  std::string damaged_bytes = gzip_member(lidar_text(5000, 14));
  damaged_bytes[damaged_bytes.size() - 8] ^= 1;  // its CRC
  const std::string damaged = folder.write("d.xyz.gz", damaged_bytes);
  // Its text stops being points, and only the rest of its data tells that
  // the text was garbled.
  std::string garbled_bytes = gzip_member(lidar_text(100, 15) + "x\n" + lidar_text(5000, 16));
  garbled_bytes[garbled_bytes.size() - 8] ^= 1;
  const std::string garbled = folder.write("e.xyz.gz", garbled_bytes);
  // Its points up to the cut stay.
  const std::string gzip_bytes = gzip_member(lidar_text(9000, 17));
  const std::string cut = folder.write("c.xyz.gz", gzip_bytes.substr(0, gzip_bytes.size() / 2));
  const std::string refused = folder.write("z.xyz", std::string("PK\3\4", 4) + "zip");
  const std::string fields = folder.write("f.csv", "X,Y,Z\n1,2,3\n4.5,6.25,7\n");
  // LAS and LAZ, of several runs, and a LAS file cut short among its points
  // (pasted up to the cut, and told).
  LasTile las;
  for (std::int32_t i = 0; i < 9000; ++i) las.points.push_back({i * 7, i * 3 - 5000, i % 500});
  const std::string las_bytes = las.bytes();
  const std::string las_file = folder.write("l.las", las_bytes);
  const std::string laz_file = folder.write("l.laz", laz::compress_las(las_bytes, 1000));
  const std::string las_cut = folder.write("k.las", las_bytes.substr(0, las_bytes.size() - 999));
  const std::string missing = folder.path("missing.xyz");
  // Opened, but read in its turn (no file to read again), and failing.
  const std::string unreadable = folder.path("");

  SystemDisk ahead(false);
  InTurnDisk in_turn;
  auto job = [&](std::vector<std::string> inputs, std::int32_t stop_input = 0,
                 std::int64_t stop_points = 0) {
    SCOPED_TRACE(testing::Message() << inputs.size() << " inputs, stopped at " << stop_input);
    Outcome read_ahead = paste_on(ahead, inputs, stop_input, stop_points);
    expect_same(read_ahead, paste_on(in_turn, inputs, stop_input, stop_points), stop_input != 0);
    return read_ahead;
  };

  std::vector<std::string> whole = tiles;
  whole.insert(whole.begin() + 2, gzip);
  whole.insert(whole.begin() + 4, noted);
  whole.insert(whole.begin() + 6, words);
  whole.insert(whole.begin() + 8, refused);
  whole.insert(whole.begin() + 9, fields);
  whole.insert(whole.begin() + 10, las_file);
  whole.insert(whole.begin() + 11, laz_file);
  whole.insert(whole.begin() + 12, las_cut);
  Outcome all = job(whole);
  EXPECT_EQ(all.failure, "");
  EXPECT_TRUE(all.incomplete);
  EXPECT_NE(all.err.find("note: "), std::string::npos) << all.err;

  // Stopped by an input that fails, after inputs read ahead beyond it.
  for (const std::string& failing : {damaged, garbled, cut, missing, unreadable}) {
    std::vector<std::string> inputs = tiles;
    inputs.insert(inputs.begin() + 4, failing);
    Outcome stopped = job(inputs);
    EXPECT_NE(stopped.failure, "");
    EXPECT_LT(stopped.result.size(), all.result.size());
  }
  // Stopped as by an interruption, in the middle of a larger input, and
  // at the end of a small one.
  job(whole, 4, 8192);
  job(whole, 2, 1);
  for (std::int32_t las_input : {11, 12}) {  // LAS, LAZ
    EXPECT_LT(job(whole, las_input, 5000).result.size(), all.result.size());
  }
}

// Each input's reference system reaches its facts, one shared by the
// inputs in the same system, the same read ahead or in turn; an input in
// another system than the first's is warned of, and the job goes on.
TEST(PastingAJob, TilesInAnotherSystemAreWarnedOf) {
  Folder folder;
  auto tile = [&](const std::string& name, std::uint16_t id, const std::string& body) {
    LasTile las;
    las.points = {{1, 2, 3}, {4, 5, 6}};
    las.between = las_projection_record(id, body);
    las.records = 1;
    return folder.write(name, las.bytes());
  };
  // GeoTIFF keys: version 1.1.0, one key, ProjectedCSTypeGeoKey.
  auto keys = [](int code) {
    const int shorts[] = {1, 1, 0, 1, 3072, 0, 1, code};
    std::string bytes;
    for (int s : shorts) bytes += {static_cast<char>(s & 0xff), static_cast<char>(s >> 8)};
    return bytes;
  };
  const std::vector<std::string> inputs = {
      tile("a.las", 34735, keys(26910)),
      folder.write("b.xyz", "1 2 3\n"),
      tile("c.las", 2112, "PROJCS[\"NAD83 / UTM zone 10N\",AUTHORITY[\"EPSG\",\"26910\"]]"),
      tile("d.las", 34735, keys(32617)),
      tile("e.las", 34735, keys(32617)),
  };
  SystemDisk ahead(false);
  InTurnDisk in_turn;
  Outcome outcome = paste_on(ahead, inputs);
  expect_same(outcome, paste_on(in_turn, inputs), false);
  EXPECT_EQ(outcome.failure, "");
  ASSERT_EQ(outcome.facts.size(), 5u);
  EXPECT_EQ(outcome.facts[0], "2 points, X 0.010000 to 0.040000, in EPSG:26910");
  EXPECT_EQ(outcome.facts[1], "1 points, X 1.000000 to 1.000000");
  EXPECT_EQ(outcome.facts[2], "2 points, X 0.010000 to 0.040000, in EPSG:26910");
  const std::string told = "its reference system, EPSG:32617, is not that of " + inputs[0] +
                           ", EPSG:26910: the result holds the coordinates of both as they are";
  EXPECT_EQ(outcome.facts[3], "2 points, X 0.010000 to 0.040000, in EPSG:32617; " + told);
  // Told once a system.
  EXPECT_EQ(outcome.facts[4], "2 points, X 0.010000 to 0.040000, in EPSG:32617");
  EXPECT_EQ(outcome.err, "stratumix: warning: " + inputs[3] + ": " + told + ".\n");
  EXPECT_FALSE(outcome.incomplete);
}

// Two systems of one name, stated otherwise (no EPSG code to compare), are
// told apart by how each is stated, not named twice alike.
TEST(PastingAJob, TilesOfOneNameStatedOtherwiseAreToldHow) {
  Folder folder;
  auto tile = [&](const std::string& name, const std::string& records, std::uint32_t count) {
    LasTile las;
    las.points = {{1, 2, 3}};
    las.between = records;
    las.records = count;
    return folder.write(name, las.bytes());
  };
  // GeoTIFF keys: version 1.1.0, one key, the projected system's citation
  // among the ASCII parameters.
  const int shorts[] = {1, 1, 0, 1, 3073, 34737, 11, 0};
  std::string keys;
  for (int s : shorts) keys += {static_cast<char>(s & 0xff), static_cast<char>(s >> 8)};
  const std::vector<std::string> inputs = {
      tile("a.las", las_projection_record(2112, "PROJCS[\"Local grid\",UNIT[\"metre\",1]]"), 1),
      tile("b.las",
           las_projection_record(34735, keys) + las_projection_record(34737, "Local grid|"), 2),
  };
  InTurnDisk in_turn;
  Outcome outcome = paste_on(in_turn, inputs);
  EXPECT_EQ(outcome.failure, "");
  EXPECT_EQ(outcome.err, "stratumix: warning: " + inputs[1] +
                             ": its reference system, Local grid (GeoTIFF keys), is not that of " +
                             inputs[0] +
                             ", Local grid (WKT): the result holds the coordinates of both as "
                             "they are.\n");
}

// Keeps every point, or one in `every`, counting those of its input.
class EveryNth : public PointFilter {
 public:
  explicit EveryNth(int every) : every_(every) {}
  std::string name() const override { return "every " + std::to_string(every_); }
  bool keep(const Point& /*point*/) override { return seen_++ % every_ == 0; }
  bool keep(const ScaledRecords& /*records*/, const char* /*record*/) override {
    return seen_++ % every_ == 0;
  }

 private:
  int every_;
  std::int64_t seen_ = 0;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end + 1 - at));
    at = end + 1;
  }
  return lines;
}

// The filters stand between each input's reader and the writer, whatever
// the input's form and however it is read: one that keeps every point
// leaves the result, the extents and every word told as they are without
// it; one that keeps every other point of each input leaves its lines 1,
// 3, 5, ... and the extents of those alone.
TEST(PastingAJob, FiltersStandBetweenEachInputsReaderAndTheWriter) {
  Folder folder;
  LasTile las;
  for (std::int32_t i = 0; i < 9001; ++i) las.points.push_back({i * 7, i * 3 - 5000, i % 500});
  const std::string las_bytes = las.bytes();
  const std::vector<std::string> inputs = {
      folder.write("t.xyz", lidar_text(10001, 1)),
      folder.write("g.xyz.gz", gzip_member(lidar_text(5001, 2))),
      folder.write("f.csv", "X,Y,Z\n1,2,3\n4.5,6.25,7\n8,9,10\n"),
      folder.write("l.las", las_bytes),
      folder.write("l.laz", laz::compress_las(las_bytes, 1000)),
  };
  const std::vector<FilterMaker> keep_all = {[] { return std::make_unique<EveryNth>(1); }};
  const std::vector<FilterMaker> every_other = {[] { return std::make_unique<EveryNth>(2); }};
  SystemDisk ahead(false);
  InTurnDisk in_turn;
  const Outcome plain = paste_on(in_turn, inputs);
  for (Disk* disk : std::initializer_list<Disk*>{&ahead, &in_turn}) {
    const Outcome all = paste_on(*disk, inputs, 0, 0, {}, keep_all);
    EXPECT_EQ(all.result, plain.result);
    EXPECT_EQ(all.told, plain.told);
    EXPECT_EQ(all.facts, plain.facts);
    EXPECT_EQ(all.err, plain.err);
  }
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    const std::vector<std::string> lines = lines_of(paste_on(in_turn, {input}).result);
    std::string kept;
    for (std::size_t i = 0; i < lines.size(); i += 2) kept += lines[i];
    for (Disk* disk : std::initializer_list<Disk*>{&ahead, &in_turn}) {
      const Outcome half = paste_on(*disk, {input, input}, 0, 0, {}, every_other);
      EXPECT_EQ(half.result, kept + kept);
    }
  }
  // The extents are those of the points kept: of the LAS tile's 9001
  // points, one in seven keeps the 1st to the 8996th, whose X is 629.65,
  // not the last's 630.
  for (Disk* disk : std::initializer_list<Disk*>{&ahead, &in_turn}) {
    for (const std::string& tile : {inputs[3], inputs[4]}) {
      const Outcome seventh =
          paste_on(*disk, {tile}, 0, 0, {}, {[] { return std::make_unique<EveryNth>(7); }});
      EXPECT_EQ(seventh.facts, std::vector<std::string>{"1286 points, X 0.000000 to 629.650000"});
    }
  }
}

// The lines printf writes of `points` with `decimals` decimals: "%.Nf %.Nf
// %.Nf", ended by CR LF or LF.
std::string printf_lines(const std::vector<std::array<double, 3>>& points, int decimals,
                         bool crlf) {
  std::string lines;
  char line[1200];
  for (const auto& p : points) {
    std::snprintf(line, sizeof line, "%.*f %.*f %.*f", decimals, p[0], decimals, p[1], decimals,
                  p[2]);
    lines += line;
    lines += crlf ? "\r\n" : "\n";
  }
  return lines;
}

// Every form of input gives its numbers to the result as printf writes them
// with the decimals the job asks for, 0 to 17, exact binary ties rounded to
// even, and its lines ended as the job asks: plain text (its quick way and
// the general one), fields between commas and semicolons with decimal
// commas, quoted fields, gzip, LAS (scales whose decimals are written from
// the integers, and others) and LAZ; read ahead and in turn.
TEST(PastingAJob, TheResultHoldsTheDecimalsAndLineEndsTheJobAsksFor) {
  // Ties of few decimals (0.125, 2.5, -0.375, 0.5), decimals that are no
  // ties (1.005 lies below), large and small, and forms the quick way
  // leaves: exponents, hexadecimal, a plus, leading zeros, "-0".
  const std::vector<std::array<const char*, 3>> tokens = {
      {"0.125", "2.5", "-0.375"},
      {"1.005", "0.5", "3.5"},
      {"651216.89", "5812646.38", "-12.7"},
      {"7", "-0.0", "0.000001"},
      {"1e3", "0x1.8p1", "+0012.0625"},
      {"99999999.999999", "123456789.123456789", "1e-7"},
      {"4503599627370497.5", "0.1", "-2.675"}};
  std::vector<std::array<double, 3>> values;
  std::string plain;
  std::string semicolons = "X;Y;Z\n";
  std::string quoted = "\"x\",\"y\",\"z\"\n";
  for (const auto& t : tokens) {
    std::array<double, 3> v{};
    for (int axis = 0; axis < 3; ++axis) {
      v[axis] = std::strtod(t[axis], nullptr);
      std::string comma = t[axis];
      std::replace(comma.begin(), comma.end(), '.', ',');
      semicolons += comma + (axis < 2 ? ";" : "\n");
      quoted += "\"" + std::string(t[axis]) + (axis < 2 ? "\"," : "\"\n");
      plain += std::string(t[axis]) + (axis < 2 ? " " : "\r\n");
    }
    values.push_back(v);
  }
  LasTile decimal;  // scales of 0.01 and 0.001: written from the integers
  LasTile general;  // a scale of 0.003 and an offset: from the values
  general.scale[0] = 0.003;
  general.offset[0] = 651000.25;
  general.offset[2] = -3.5;
  for (std::int32_t i : {0, 125, -375, 12345, -1, 2147483647, -2147483647 - 1}) {
    decimal.points.push_back({i, i / 3, -(i / 2)});
    general.points.push_back({i, i / 3, -(i / 2)});
  }
  std::vector<std::array<double, 3>> las_values;
  for (const LasTile* tile : {&decimal, &general}) {
    for (const auto& p : tile->points) {
      las_values.push_back({p[0] * tile->scale[0] + tile->offset[0],
                            p[1] * tile->scale[1] + tile->offset[1],
                            p[2] * tile->scale[2] + tile->offset[2]});
    }
  }
  // A tile in two decimals, as most lidar text is.
  std::vector<std::array<double, 3>> two_decimal_values;
  std::string two_decimals;
  for (int i = 0; i < 3000; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "%d.%02d %d.%02d %d.%02d\r\n", 600000 + i * 7, i % 100,
                  5800000 + i, (i * 37) % 100, i % 500 - 20, (i * 11) % 100);
    two_decimals += line;
    double v[3];
    std::sscanf(line, "%lf %lf %lf", &v[0], &v[1], &v[2]);
    two_decimal_values.push_back({v[0], v[1], v[2]});
  }

  Folder folder;
  std::vector<std::string> inputs = {
      folder.write("plain.xyz", plain),
      folder.write("semicolons.csv", semicolons),
      folder.write("quoted.csv", quoted),
      folder.write("gzip.xyz.gz", gzip_member(plain)),
      folder.write("decimal.las", decimal.bytes()),
      folder.write("general.las", general.bytes()),
      folder.write("decimal.laz", laz::compress_las(decimal.bytes(), 3)),
      folder.write("lidar.xyz", two_decimals)};
  std::vector<std::array<double, 3>> all;
  for (const auto* part : {&values, &values, &values, &values})
    all.insert(all.end(), part->begin(), part->end());
  all.insert(all.end(), las_values.begin(), las_values.end());
  all.insert(all.end(), las_values.begin(), las_values.begin() + 7);
  all.insert(all.end(), two_decimal_values.begin(), two_decimal_values.end());

  SystemDisk ahead(false);
  InTurnDisk in_turn;
  for (xyz::Format format :
       {xyz::Format{0, true}, xyz::Format{2, true}, xyz::Format{3, false}, xyz::Format{6, false},
        xyz::Format{6, true}, xyz::Format{7, true}, xyz::Format{17, false}}) {
    SCOPED_TRACE(testing::Message() << format.decimals << " decimals, CR LF " << format.crlf);
    const std::string expected = printf_lines(all, format.decimals, format.crlf);
    for (Disk* disk : {static_cast<Disk*>(&ahead), static_cast<Disk*>(&in_turn)}) {
      Outcome outcome = paste_on(*disk, inputs, 0, 0, format);
      EXPECT_EQ(outcome.failure, "");
      EXPECT_EQ(outcome.points, static_cast<std::int64_t>(all.size()));
      EXPECT_EQ(outcome.result, expected);
    }
  }
  // The two-decimal tile comes out as it went in.
  Outcome same = paste_on(ahead, {inputs.back()}, 0, 0, {2, true});
  EXPECT_EQ(same.result, two_decimals);
}

}  // namespace
