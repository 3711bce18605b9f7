#include "app/opening.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "in_memory.h"

namespace {

// The dialogue, answered in memory: the console, the result and the info
// report byte for byte.
class Dialogue : public InMemory {};

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
  JobRun run = disk.run("s\n2\na\nb\nr\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.events, (std::vector<std::string>{"claimed " + kResult, "claimed " + kReport,
                                                   "emptied " + kReport, "emptied " + kResult,
                                                   "read " + kA, "read " + kB}));
  EXPECT_EQ(disk.files[kResult], "1.000000 2.000000 3.000000\r\n4.000000 5.000000 6.000000\r\n");
  EXPECT_NE(run.out.find("\n\n\tFile number 2 named " + kB), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
}

// Answers that end before the last question set nothing up; the next run
// reads its own answers, not what this one left.
TEST_F(Dialogue, AnswersThatEndEarlyChangeNothing) {
  disk.files[kA] = "1 2 3\n";
  disk.files[kResult] = "earlier\r\n";
  JobRun run = disk.run("s\n2\na\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "stratumix: The answers ended before the job was complete; nothing was created.\n");
  EXPECT_TRUE(disk.events.empty());
  EXPECT_EQ(disk.files[kResult], "earlier\r\n");
  EXPECT_EQ(disk.run("s 1 a r").status, 0);
  EXPECT_EQ(disk.files[kResult], "1.000000 2.000000 3.000000\r\n");
}

TEST_F(Dialogue, TheTypicalRun) {
  disk.write("survey1/north.xyz", "600000.12 6100000.5 12.25\r\n600010 6100010.75 13\r\n");
  disk.write("survey1/south.xyz", "1e3 -2.5E-1 7.1234567\n1 2 3");
  JobRun run = disk.run(job_answers("survey1", {"north", "south"}, "all"));
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

TEST_F(Dialogue, AnswersOnOneLineMakeTheSameJob) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/b.xyz", "4 5 6\n");
  JobRun by_line = disk.run("s\n2\na\nb\nr\n");
  std::string result = disk.read("s/r.xyz");
  std::string report = disk.read("s/r_xyz_info.txt");
  JobRun one_line = disk.run("s 2 a b r\n");
  EXPECT_EQ(one_line.status, 0);
  EXPECT_EQ(one_line.out, by_line.out);
  EXPECT_EQ(disk.read("s/r.xyz"), result);
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), report);
  EXPECT_EQ(result, crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"}));
}

// A tile's name typed for the count, or "2.5", once made the next answer
// the result and emptied that file: from a file of answers the job now
// ends before anything is created...
TEST_F(Dialogue, ACountThatIsNotAWholeNumberEmptiesNothing) {
  disk.write("s/tile_00.xyz", "1 2 3\n");
  disk.write("s/5.xyz", "4 5 6\n");
  for (const char* count : {"tile_00", "2.5", "2abc", "+", "0x10"}) {
    JobRun run = disk.run(std::string("s\n") + count + "\ntile_00\n5\nr\n");
    EXPECT_EQ(run.status, 1) << count;
    EXPECT_EQ(run.out, kBanner + kFolderPrompt + kCountPrompt);
    EXPECT_EQ(run.err, std::string("stratumix: The number of files \"") + count +
                           "\" is not a whole number from 1 to 99; nothing was created.\n");
    EXPECT_TRUE(disk.events.empty()) << count;
    EXPECT_EQ(disk.read("s/tile_00.xyz"), "1 2 3\n");
    EXPECT_EQ(disk.read("s/5.xyz"), "4 5 6\n");
    EXPECT_FALSE(disk.exists("s/r.xyz"));
  }
}

// ...and a person at a terminal is asked again, the rest of the line typed
// in error dropped.
TEST_F(Dialogue, AtATerminalACountThatIsNotAWholeNumberIsAskedAgain) {
  disk.answers_at_terminal = true;
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/tile_00.xyz", "7 8 9\n");
  JobRun run = disk.run("s\ntile_00 a\n2.5\n1\na\nr\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::string again =
      "\n\t\"tile_00\" is not a whole number: type a whole number from "
      "1 to 99." +
      kCountPrompt +
      "\n\t\"2.5\" is not a whole number: type a whole "
      "number from 1 to 99." +
      kCountPrompt;
  EXPECT_EQ(run.out.substr(0, (kBanner + kFolderPrompt + kCountPrompt + again).size()),
            kBanner + kFolderPrompt + kCountPrompt + again);
  EXPECT_EQ(disk.read("s/tile_00.xyz"), "7 8 9\n");
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("1", {"c:\\images\\s\\a.xyz"}));
}

TEST_F(Dialogue, ACountOfZeroOrLessAsksOnlyForTheResult) {
  for (const char* count : {"0", "-5", "-2147483648"}) {
    JobRun run = disk.run(std::string("s\n") + count + "\nr\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, dialogue(0) + "\n\n");
    EXPECT_EQ(disk.read("s/r.xyz"), "");
    EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report(count, {}));
  }
}

TEST_F(Dialogue, ANameTypedWithItsExtensionGetsItAgain) {
  disk.write("s/a.xyz.xyz", "1 1 1\n");
  JobRun run = disk.run(job_answers("s", {"a.xyz"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("1", {"c:\\images\\s\\a.xyz.xyz"}));
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 1.000000 1.000000"}));
}

// Tiles as they are delivered: where <name>.xyz is not there, the name as
// typed when it is a file, or the one file of the name in a tile's form.
// The console and the info report name the file taken.
TEST_F(Dialogue, ANameWithoutItsXyzFileTakesTheTileOfThatName) {
  disk.write("s/a.laz", "1 1 1\n");
  disk.write("s/b.las", "2 2 2\n");
  disk.write("s/c.xyz.gz", "3 3 3\n");
  disk.write("s/d.csv", "4 4 4\n");
  disk.write("s/e.txt", "5 5 5\n");
  disk.write("s/f.laz", "6 6 6\n");
  disk.write("s/g.xyz", "7 7 7\n");
  disk.write("s/g.las", "0 0 0\n");
  JobRun run = disk.run(job_answers("s", {"a", "b", "c", "d", "e", "f.laz", "g"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> taken = {"c:\\images\\s\\a.laz",    "c:\\images\\s\\b.las",
                                          "c:\\images\\s\\c.xyz.gz", "c:\\images\\s\\d.csv",
                                          "c:\\images\\s\\e.txt",    "c:\\images\\s\\f.laz",
                                          "c:\\images\\s\\g.xyz"};
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("7", taken));
  for (std::size_t i = 0; i < taken.size(); ++i) {
    EXPECT_NE(run.out.find("File number " + std::to_string(i + 1) + " named " + taken[i] + "\n"),
              std::string::npos)
        << taken[i];
  }
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"1.000000 1.000000 1.000000", "2.000000 2.000000 2.000000",
                        "3.000000 3.000000 3.000000", "4.000000 4.000000 4.000000",
                        "5.000000 5.000000 5.000000", "6.000000 6.000000 6.000000",
                        "7.000000 7.000000 7.000000"}));

  // Two tiles of one name: neither is taken for the other, and the
  // operator is told how to name the one meant.
  disk.write("s/h.las", "1 1 1\n");
  disk.write("s/h.laz", "1 1 1\n");
  run = disk.run(job_answers("s", {"h"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\n\tFile c:\\images\\s\\h.xyz unknown \n"), std::string::npos) << run.out;
  EXPECT_EQ(run.err.rfind("stratumix: note: h may be any of c:\\images\\s\\h.las, "
                          "c:\\images\\s\\h.laz: type the name with its extension.\n",
                          0),
            0u)
      << run.err;
}

// A folder that is not there is told at once, before the other questions;
// a full path typed as the folder is taken as the folder under c:\images.
TEST_F(Dialogue, TheFolderIsCheckedAtOnceAndMayBeTypedInFull) {
  disk.folders = {"c:\\images\\block7"};
  disk.write("block7/a.xyz", "1 2 3\n");
  JobRun run = disk.run(job_answers("blok7", {"a"}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBanner + kFolderPrompt + "\n\tFolder c:\\images\\blok7 unknown \n");
  EXPECT_EQ(run.err,
            "stratumix: The folder c:\\images\\blok7 does not exist; nothing was created.\n");
  EXPECT_TRUE(disk.events.empty());
  for (const char* folder : {"C:\\images\\block7", "c:\\IMAGES\\block7\\", "block7"}) {
    run = disk.run(job_answers(folder, {"a"}, "r"));
    EXPECT_EQ(run.status, 0) << folder << run.err;
    EXPECT_EQ(disk.read("block7/r_xyz_info.txt"), info_report("1", {"c:\\images\\block7\\a.xyz"}));
    EXPECT_EQ(disk.read("block7/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  }
}

TEST_F(Dialogue, AnExistingResultIsEmptiedAndRewritten) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/r.xyz", "old old old\r\n");
  disk.write("s/r_xyz_info.txt", std::string(10000, 'o'));
  JobRun run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("1", {"c:\\images\\s\\a.xyz"}));
}

TEST_F(Dialogue, MoreThan99FilesAreRefusedBeforeAnythingIsCreated) {
  for (const char* count : {"100", "99999999999999", "-2147483649"}) {
    JobRun run = disk.run(std::string("s\n") + count + "\nr\n");
    EXPECT_EQ(run.status, 1) << count;
    EXPECT_EQ(run.out, kBanner + kFolderPrompt + kCountPrompt);
    EXPECT_NE(run.err.find(count), std::string::npos) << run.err;
    // Where a bigger job goes.
    if (count[0] != '-') {
      EXPECT_NE(run.err.find("The command line takes any number: stratumix -o RESULT INPUT..."),
                std::string::npos)
          << run.err;
    }
    EXPECT_FALSE(disk.exists("s/r.xyz"));
    EXPECT_FALSE(disk.exists("s/r_xyz_info.txt"));
  }
}

TEST_F(Dialogue, NinetyNineFilesFitTheJob) {
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
  JobRun run = disk.run(job_answers("s", names, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), info_report("99", paths));
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines(points));
}

TEST_F(Dialogue, AnswersThatEndEarlyCreateNothing) {
  const std::vector<std::string> partial = {"", "s\n", "s\n2\n", "s\n2\na\n", "s\n2\na\nb\n"};
  const std::vector<std::string> console = {
      kBanner + kFolderPrompt, kBanner + kFolderPrompt + kCountPrompt,
      kBanner + kFolderPrompt + kCountPrompt + file_prompt(1),
      kBanner + kFolderPrompt + kCountPrompt + file_prompt(1) + file_prompt(2), dialogue(2)};
  disk.write("s/a.xyz", "1 2 3\n");
  for (std::size_t i = 0; i < partial.size(); ++i) {
    JobRun run = disk.run(partial[i]);
    EXPECT_EQ(run.status, 1) << i;
    EXPECT_EQ(run.out, console[i]) << i;
    EXPECT_EQ(run.err,
              "stratumix: The answers ended before the job was complete; nothing was "
              "created.\n");
    EXPECT_FALSE(disk.exists("s/b.xyz"));
  }
}

TEST_F(Dialogue, AnAnswerWithANulByteIsRefused) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/a", "");
  JobRun run = disk.run(std::string("s\n1\na") + std::string(1, '\0') + "b\nr\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("NUL"), std::string::npos) << run.err;
  EXPECT_FALSE(disk.exists("s/r.xyz"));
}

}  // namespace
