// The dialogue as only the whole program in a process of its own shows it:
// the console's line ends, names as the system reads them, real files'
// dates and links, the system's refusals. What the dialogue asks, shows and
// makes of its answers is tested in memory (src/app/opening_test.cc).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// Windows programs write their console in text mode: a console redirected
// to a file gets CR LF there, LF elsewhere; the same text either way.
TEST_F(EndToEnd, ARedirectedConsoleHasThePlatformsLineEnds) {
  disk.write("s/x.txt", "");
  RunResult run = disk.run("s 0 r\n");
  std::string expected = dialogue(0) + "\n\n";
  if (windows_program()) {
    for (std::size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += 2) {
      expected.insert(at, 1, '\r');
    }
  }
  EXPECT_EQ(run.raw_out, expected);
}

// Answers from a file are read in the system's code page on Windows (an
// accented letter is one byte of Windows-1252 there) and used as bytes
// elsewhere; the console and the info report show them as given. Paths past
// Windows' 260 characters open too.
TEST_F(EndToEnd, AccentedAndVeryLongNamesOpen) {
  const std::string latin1_e = "\xe9";  // é in Windows-1252
  std::string on_disk = windows_program() ? "relev\u00e9s" : "relev" + latin1_e + "s";
  disk.write(on_disk + "/a.xyz", "1 2 3\n");
  RunResult run = disk.run(job_answers("relev" + latin1_e + "s", {"a"}, "r"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read(on_disk + "/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  const std::string input = "c:\\images\\relev" + latin1_e + "s\\a.xyz";
  EXPECT_EQ(disk.read(on_disk + "/r_xyz_info.txt"), info_report("1", {input}));
  EXPECT_NE(run.out.find("File number 1 named " + input), std::string::npos);

  const std::string deep =
      std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(100, 'f');
  disk.write(deep + "/a.xyz", "4 5 6\n");
  std::string folder = deep;
  std::replace(folder.begin(), folder.end(), '/', '\\');
  run = disk.run(job_answers(folder, {"a"}, "r"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read(deep + "/r.xyz"), crlf_lines({"4.000000 5.000000 6.000000"}));
}

// An earlier result that was already empty, from a job without points,
// is rewritten too: its date says it is new, for tools that go by dates.
TEST_F(EndToEnd, AnEarlierEmptyResultGetsANewDate) {
  disk.write("s/empty.xyz", "");
  disk.write("s/r.xyz", "");
  auto long_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  std::filesystem::last_write_time(disk.path("s/r.xyz"), long_ago);
  EXPECT_EQ(disk.run(job_answers("s", {"empty"}, "r")).status, 0);
  EXPECT_EQ(disk.read("s/r.xyz"), "");
  EXPECT_GT(std::filesystem::last_write_time(disk.path("s/r.xyz")),
            long_ago + std::chrono::hours(24 * 300));
}

TEST_F(EndToEnd, AResultThatIsAnInputIsRefused) {
  const std::string input = "1 2 3\n4 5 6\n";
  disk.write("s/a.xyz", input);
  disk.write("s/b.xyz", input);
  for (const char* result : {"a", "b"}) {
    RunResult refused = disk.run(job_answers("s", {"a", "b"}, result));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("would overwrite input file"), std::string::npos) << refused.err;
    EXPECT_EQ(disk.read("s/a.xyz"), input);
    EXPECT_EQ(disk.read("s/b.xyz"), input);
  }
  // Windows file names ignore case; POSIX ones do not.
  RunResult run = disk.run(job_answers("s", {"a", "b"}, "A"));
  EXPECT_EQ(disk.read("s/a.xyz"), input);
  if (windows_program()) {
    EXPECT_EQ(run.status, 1);
  } else {
    EXPECT_EQ(run.status, 0);
    std::string points = crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"});
    EXPECT_EQ(disk.read("s/A.xyz"), points + points);
  }

  // The same file under another name: a link.
  std::filesystem::create_symlink("a.xyz", disk.path("s/link.xyz"));
  run = disk.run(job_answers("s", {"a"}, "link"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "stratumix: The output file c:\\images\\s\\link.xyz would overwrite input file 1 "
            "(c:\\images\\s\\a.xyz); nothing was created.\n");
  EXPECT_EQ(disk.read("s/a.xyz"), input);
}

// A folder that is not there is told at once, before the other questions,
// and nothing is created; on a terminal the key wait follows
// (tests/key_wait_test.cc).
TEST_F(EndToEnd, AFolderThatDoesNotExistIsReportedAtOnce) {
  RunResult run = disk.run(job_answers("nowhere", {}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBanner + kFolderPrompt + "\n\tFolder c:\\images\\nowhere unknown \n");
  EXPECT_EQ(run.err, "stratumix: The folder " + as_shown("c:\\images\\nowhere") +
                         " does not exist; nothing was created.\n");
  EXPECT_FALSE(disk.exists("nowhere"));
  // A folder typed in full, c:\images\ and all, is the folder under it.
  disk.write("s/a.xyz", "1 2 3\n");
  run = disk.run(job_answers("C:\\Images\\s", {"a"}, "r"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
}

// A count from a file of answers that is no whole number ends the job
// before anything is created: the words after it are not taken for the
// result, which would be emptied.
TEST_F(EndToEnd, ACountThatIsNotAWholeNumberEmptiesNoFile) {
  disk.write("s/tile_00.xyz", "1 2 3\n");
  RunResult run = disk.run("s\ntile_00\ntile_00\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "stratumix: The number of files \"tile_00\" is not a whole number from 1 to 99; "
            "nothing was created.\n");
  EXPECT_EQ(disk.read("s/tile_00.xyz"), "1 2 3\n");
  EXPECT_FALSE(disk.exists("s/tile_00_xyz_info.txt"));
}

// Tiles as they are delivered, named without their extension.
TEST_F(EndToEnd, ATileIsFoundByItsNameWithoutExtension) {
  disk.write("s/t1.laz", "1 2 3\n");
  disk.write("s/t2.xyz.gz", "4 5 6\n");
  RunResult run = disk.run(job_answers("s", {"t1", "t2.xyz.gz"}, "r"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("File number 1 named c:\\images\\s\\t1.laz\n"), std::string::npos);
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"),
            info_report("2", {"c:\\images\\s\\t1.laz", "c:\\images\\s\\t2.xyz.gz"}));
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"}));
}

TEST_F(EndToEnd, VeryLongAnswersAreReportedNotCut) {
  std::string name(10000, 'n');
  RunResult run = disk.run(job_answers(name, {name}, name + "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("The folder c:\\images\\" + name + " "), std::string::npos);
  disk.write("s/a.xyz", "1 2 3\n");
  run = disk.run(job_answers("s", {name}, name + "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Cannot create c:\\images\\s\\" + name + "r.xyz"), std::string::npos);
  EXPECT_NE(run.out.find(file_prompt(1)), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) { return run_tests(argc, argv); }
