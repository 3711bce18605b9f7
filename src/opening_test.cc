#include "opening.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "answers.h"
#include "fake_disk.h"
#include "stratumix.h"
#include "text_out.h"

namespace {

// The dialogue, answered in memory.
class Dialogue : public testing::Test {
 protected:
  void SetUp() override { console.capture(&out, &err); }
  void TearDown() override { console.capture(nullptr, nullptr); }
  int run(const std::string& typed) {
    Answers answers(typed);
    return run_stratumix({}, &disk, &answers);
  }

  MemoryDisk disk;
  std::string out;
  std::string err;
};

const std::string kA = "c:\\images\\s\\a.xyz";
const std::string kB = "c:\\images\\s\\b.xyz";
const std::string kResult = "c:\\images\\s\\r.xyz";
const std::string kReport = "c:\\images\\s\\r_xyz_info.txt";

// Both outputs are held before either is emptied, and no input is read
// before both are: a job refused half way changes nothing.
TEST_F(Dialogue, ClaimsBothOutputsBeforeEmptyingEitherAndReadsLast) {
  disk.files[kA] = "1 2 3\n";
  disk.files[kB] = "4 5 6\n";
  disk.files[kResult] = "earlier\r\n";
  EXPECT_EQ(run("s\n2\na\nb\nr\n"), 0);
  EXPECT_EQ(disk.events, (std::vector<std::string>{"claimed " + kResult, "claimed " + kReport,
                                                   "emptied " + kReport, "emptied " + kResult,
                                                   "read " + kA, "read " + kB}));
  EXPECT_EQ(disk.files[kResult], "1.000000 2.000000 3.000000\r\n4.000000 5.000000 6.000000\r\n");
  EXPECT_NE(out.find("\n\n\tFile number 2 named " + kB), std::string::npos) << out;
  EXPECT_EQ(err, "");
}

// Answers that end before the last question set nothing up; the next run
// reads its own answers, not what this one left.
TEST_F(Dialogue, AnswersThatEndEarlyChangeNothing) {
  disk.files[kA] = "1 2 3\n";
  disk.files[kResult] = "earlier\r\n";
  EXPECT_EQ(run("s\n2\na\n"), 1);
  EXPECT_EQ(err,
            "stratumix: The answers ended before the job was complete; nothing was created.\n");
  EXPECT_TRUE(disk.events.empty());
  EXPECT_EQ(disk.files[kResult], "earlier\r\n");
  err.clear();
  EXPECT_EQ(run("s 1 a r"), 0);
  EXPECT_EQ(disk.files[kResult], "1.000000 2.000000 3.000000\r\n");
}

}  // namespace
