#include "job/pasting.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "fake_disk.h"
#include "io/failure.h"
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

}  // namespace
