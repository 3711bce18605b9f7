// The whole program, run as its operator runs it: answers on standard
// input, and every byte of the console, the result and the info report
// compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

namespace {

TEST_F(EndToEnd, TheTypicalRun) {
  disk.write("survey1/north.xyz", "600000.12 6100000.5 12.25\r\n600010 6100010.75 13\r\n");
  disk.write("survey1/south.xyz", "1e3 -2.5E-1 7.1234567\n1 2 3");
  RunResult run = disk.run(answers("survey1", {"north", "south"}, "all"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, dialogue(2) + "\n\n" +
                         layer(1, "c:\\images\\survey1\\north.xyz", "",
                               "600000.120000 X_max = 600010.000000",
                               "6100000.500000 Y_max = 6100010.750000") +
                         layer(2, "c:\\images\\survey1\\south.xyz", "",
                               "1.000000 X_max = 1000.000000", "-0.250000 Y_max = 2.000000"));
  EXPECT_EQ(disk.read("survey1/all.xyz"),
            crlf_lines({"600000.120000 6100000.500000 12.250000",
                        "600010.000000 6100010.750000 13.000000", "1000.000000 -0.250000 7.123457",
                        "1.000000 2.000000 3.000000"}));
  EXPECT_EQ(disk.read("survey1/all_xyz_info.txt"),
            info_report("2", {"c:\\images\\survey1\\north.xyz", "c:\\images\\survey1\\south.xyz"}));
}

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
  RunResult run = disk.run(answers("relev" + latin1_e + "s", {"a"}, "r"));
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
  run = disk.run(answers(folder, {"a"}, "r"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read(deep + "/r.xyz"), crlf_lines({"4.000000 5.000000 6.000000"}));
}

TEST_F(EndToEnd, AnswersOnOneLineMakeTheSameJob) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/b.xyz", "4 5 6\n");
  RunResult by_line = disk.run("s\n2\na\nb\nr\n");
  std::string result = disk.read("s/r.xyz");
  std::string report = disk.read("s/r_xyz_info.txt");
  RunResult one_line = disk.run("s 2 a b r\n");
  EXPECT_EQ(one_line.status, 0);
  EXPECT_EQ(one_line.out, by_line.out);
  EXPECT_EQ(disk.read("s/r.xyz"), result);
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), report);
  EXPECT_EQ(result, crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"}));
}

TEST_F(EndToEnd, ACountThatIsNotANumberBecomesTheResultName) {
  disk.write("s/keep.txt", "");
  RunResult run = disk.run("s\nabc\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dialogue(0) + "\n\n");
  EXPECT_EQ(run.err,
            "stratumix: note: the number of files \"abc\" is not a number, so no file is asked "
            "for.\n");
  EXPECT_EQ(disk.read("s/abc.xyz"), "");
  EXPECT_EQ(disk.read("s/abc_xyz_info.txt"), info_report("0", {}));
}

TEST_F(EndToEnd, ACountGluedToAWordLeavesTheWordForTheFirstFile) {
  disk.write("s/abc.xyz", "1 2 3\n");
  disk.write("s/b.xyz", "4 5 6\n");
  RunResult run = disk.run("s\n2abc\nb\nr\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, dialogue(2).size()), dialogue(2));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"),
            info_report("2", {"c:\\images\\s\\abc.xyz", "c:\\images\\s\\b.xyz"}));
}

TEST_F(EndToEnd, ACountOfZeroOrLessAsksOnlyForTheResult) {
  for (const char* count : {"0", "-5", "-2147483648"}) {
    disk.write("s/x.txt", "");
    RunResult run = disk.run(std::string("s\n") + count + "\nr\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, dialogue(0) + "\n\n");
    EXPECT_EQ(disk.read("s/r.xyz"), "");
    EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report(count, {}));
  }
}

TEST_F(EndToEnd, ANameTypedWithItsExtensionGetsItAgain) {
  disk.write("s/a.xyz.xyz", "1 1 1\n");
  RunResult run = disk.run(answers("s", {"a.xyz"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("1", {"c:\\images\\s\\a.xyz.xyz"}));
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 1.000000 1.000000"}));
}

TEST_F(EndToEnd, AnExistingResultIsEmptiedAndRewritten) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/r.xyz", "old old old\r\n");
  disk.write("s/r_xyz_info.txt", std::string(10000, 'o'));
  RunResult run = disk.run(answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("1", {"c:\\images\\s\\a.xyz"}));

  // An earlier result that was already empty, from a job without points,
  // is rewritten too: its date says it is new, for tools that go by dates.
  disk.write("s/empty.xyz", "");
  disk.write("s/r.xyz", "");
  auto long_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  std::filesystem::last_write_time(disk.path("s/r.xyz"), long_ago);
  EXPECT_EQ(disk.run(answers("s", {"empty"}, "r")).status, 0);
  EXPECT_EQ(disk.read("s/r.xyz"), "");
  EXPECT_GT(std::filesystem::last_write_time(disk.path("s/r.xyz")),
            long_ago + std::chrono::hours(24 * 300));
}

TEST_F(EndToEnd, MoreThan99FilesAreRefusedBeforeAnythingIsCreated) {
  for (const char* count : {"100", "99999999999999", "-2147483649"}) {
    disk.write("s/x.txt", "");
    RunResult run = disk.run(std::string("s\n") + count + "\nr\n");
    EXPECT_EQ(run.status, 1) << count;
    EXPECT_EQ(run.out, kBanner + kFolderPrompt + kCountPrompt);
    EXPECT_NE(run.err.find(count), std::string::npos) << run.err;
    EXPECT_FALSE(disk.exists("s/r.xyz"));
    EXPECT_FALSE(disk.exists("s/r_xyz_info.txt"));
  }
}

TEST_F(EndToEnd, NinetyNineFilesFitTheJob) {
  std::vector<std::string> names;
  std::vector<std::string> paths;
  std::vector<std::string> points;
  for (int i = 1; i <= 99; ++i) {
    std::string name = std::to_string(i).insert(0, 1, 'f');
    names.push_back(name);
    paths.push_back("c:\\images\\s\\" + name + ".xyz");
    disk.write("s/" + name + ".xyz", std::to_string(i) + " 0 -0\n");
    points.push_back(std::to_string(i) + ".000000 0.000000 -0.000000");
  }
  RunResult run = disk.run(answers("s", names, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("99", paths));
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines(points));
}

TEST_F(EndToEnd, AnswersThatEndEarlyCreateNothing) {
  const std::vector<std::string> partial = {"", "s\n", "s\n2\n", "s\n2\na\n", "s\n2\na\nb\n"};
  const std::vector<std::string> console = {
      kBanner + kFolderPrompt, kBanner + kFolderPrompt + kCountPrompt,
      kBanner + kFolderPrompt + kCountPrompt + file_prompt(1),
      kBanner + kFolderPrompt + kCountPrompt + file_prompt(1) + file_prompt(2), dialogue(2)};
  disk.write("s/a.xyz", "1 2 3\n");
  for (std::size_t i = 0; i < partial.size(); ++i) {
    RunResult run = disk.run(partial[i]);
    EXPECT_EQ(run.status, 1) << i;
    EXPECT_EQ(run.out, console[i]) << i;
    EXPECT_EQ(run.err,
              "stratumix: The answers ended before the job was complete; nothing was "
              "created.\n");
    EXPECT_FALSE(disk.exists("s/b.xyz"));
  }
}

TEST_F(EndToEnd, AResultThatIsAnInputIsRefused) {
  const std::string input = "1 2 3\n4 5 6\n";
  disk.write("s/a.xyz", input);
  disk.write("s/b.xyz", input);
  for (const char* result : {"a", "b"}) {
    RunResult refused = disk.run(answers("s", {"a", "b"}, result));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("would overwrite input file"), std::string::npos) << refused.err;
    EXPECT_EQ(disk.read("s/a.xyz"), input);
    EXPECT_EQ(disk.read("s/b.xyz"), input);
  }
  // Windows file names ignore case; POSIX ones do not.
  RunResult run = disk.run(answers("s", {"a", "b"}, "A"));
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
  run = disk.run(answers("s", {"a"}, "link"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "stratumix: The output file c:\\images\\s\\link.xyz would overwrite input file 1 "
            "(c:\\images\\s\\a.xyz); nothing was created.\n");
  EXPECT_EQ(disk.read("s/a.xyz"), input);
}

TEST_F(EndToEnd, AnOutputFolderThatDoesNotExistIsReported) {
  RunResult run = disk.run(answers("nowhere", {}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, dialogue(0));
  EXPECT_NE(run.err.find("Cannot create c:\\images\\nowhere\\r.xyz"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
}

TEST_F(EndToEnd, AnAnswerWithANulByteIsRefused) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/a", "");
  RunResult run = disk.run(std::string("s\n1\na") + std::string(1, '\0') + "b\nr\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("NUL"), std::string::npos) << run.err;
  EXPECT_FALSE(disk.exists("s/r.xyz"));
}

TEST_F(EndToEnd, VeryLongAnswersAreReportedNotCut) {
  std::string name(10000, 'n');
  RunResult run = disk.run(answers(name, {name}, name + "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Cannot create c:\\images\\" + name), std::string::npos);
  EXPECT_NE(run.out.find(file_prompt(1)), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) { return run_tests(argc, argv); }
