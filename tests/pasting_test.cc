// Pasting as only the whole program in a process of its own shows it: the
// key wait after a missing file, a folder in place of a file, a disk that
// fills up. What a job pastes and reports is tested in memory
// (src/treatment_test.cc).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "harness.h"

namespace {

const std::string kA = "c:\\images\\s\\a.xyz";
const std::string kB = "c:\\images\\s\\b.xyz";
const std::string kC = "c:\\images\\s\\c.xyz";

TEST_F(EndToEnd, AMissingFileStopsTheRunAfterTheFilesBeforeIt) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/c.xyz", "7 8 9\n");
  RunResult run = disk.run(job_answers("s", {"a", "b", "c"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            dialogue(3) + "\n\n" +
                layer(1, kA, "", "1.000000 X_max = 1.000000", "2.000000 Y_max = 2.000000") +
                "\n\tFile " + kB + " unknown \n");
  EXPECT_EQ(run.err, "stratumix: Cannot open " + as_shown(kB) + ": No such file or directory\n");
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("3", {kA, kB, kC}));
}

TEST_F(EndToEnd, AFolderInPlaceOfAnInputIsAFileThatCannotBeOpened) {
  disk.write("s/a.xyz/inside", "");
  RunResult run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dialogue(1) + "\n\n\n\tFile " + kA + " unknown \n");
}

TEST_F(EndToEnd, AFullDiskIsAFailureNamingTheFile) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  disk.write("s/a.xyz", many_points(50000, 1));
  std::filesystem::create_symlink("/dev/full", disk.path("s/r.xyz"));
  RunResult run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "stratumix: Cannot write " + as_shown("c:\\images\\s\\r.xyz") +
                         ": No space left on device\n");

  std::filesystem::remove(disk.path("s/r.xyz"));
  std::filesystem::remove(disk.path("s/r_xyz_info.txt"));
  std::filesystem::create_symlink("/dev/full", disk.path("s/r_xyz_info.txt"));
  run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "stratumix: Cannot write " + as_shown("c:\\images\\s\\r_xyz_info.txt") +
                         ": No space left on device\n");
  // The report is written before the result is emptied: an earlier result
  // stays as it was.
  EXPECT_FALSE(disk.exists("s/r.xyz"));
  disk.write("s/r.xyz", "earlier\r\n");
  run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n");
}

// A disk that fills up part way through a block: the result is cut back to
// its last whole line. (A file size limit stands in for the full disk.)
TEST_F(EndToEnd, AFullDiskLeavesTheResultOnAWholeLine) {
  if (windows_program()) GTEST_SKIP() << "a POSIX file size limit";
  disk.write("s/a.xyz", many_points(50000, 1));
  std::string job = "trap '' XFSZ; ulimit -f 100; " + disk.program() +
                    " -q -o images/s/r.xyz images/s/a.xyz 2> err.txt; echo $? > status.txt";
  ASSERT_EQ(std::system(disk.shell_in_workspace("(" + job + ")").c_str()), 0);
  std::ifstream status(disk.work() / "status.txt");
  std::string code(std::istreambuf_iterator<char>(status), {});
  EXPECT_EQ(code, "1\n");
  std::string result = disk.read("s/r.xyz");
  EXPECT_GT(result.size(), 0u);
  EXPECT_LE(result.size(), 100u * 1024);
  EXPECT_TRUE(result.ends_with("\r\n")) << result.substr(result.size() - 20);
  std::string pasted;
  for (int i = 0; pasted.size() < result.size(); ++i) {
    pasted += std::to_string(1 + i % 1000) + ".250000 " + std::to_string(6100000 + i) +
              ".500000 1.000000\r\n";
  }
  EXPECT_EQ(result, pasted.substr(0, result.size()));
}

}  // namespace
