// Pasting as only the whole program in a process of its own shows it: the
// key wait after a missing file, a folder in place of a file, a disk that
// fills up. What a job pastes and reports is tested in memory
// (src/app/treatment_test.cc).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "harness.h"
#include "tiles.h"

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

// The summary's figures of a result, from its lines: points, then X, Y
// and Z extents as the summary shows them.
std::string figures_of(const std::string& result) {
  double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
  double high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  std::size_t lines = 0;
  for (std::size_t at = 0; at < result.size(); at = result.find('\n', at) + 1, ++lines) {
    const char* p = result.c_str() + at;
    for (int axis = 0; axis < 3; ++axis) {
      char* end = nullptr;
      double value = std::strtod(p, &end);
      low[axis] = std::min(low[axis], value);
      high[axis] = std::max(high[axis], value);
      p = end;
    }
  }
  std::string text = "Points: " + std::to_string(lines) + "\n";
  for (int axis = 0; axis < 3; ++axis) {
    char line[200];
    std::snprintf(line, sizeof line, "%c_min = %f %c_max = %f\n", "XYZ"[axis], low[axis],
                  "XYZ"[axis], high[axis]);
    text += line;
  }
  return text;
}

// A disk that fills up part way through a block: the result is cut back to
// its last whole line, which is the size the report gives, and the points
// and extents it gives are those of the lines the result keeps, whatever
// the input. (A file size limit stands in for the full disk; its signal is
// left as a shell leaves it, which would end the program mid-line.)
TEST_F(EndToEnd, AFullDiskLeavesTheResultOnAWholeLine) {
  if (windows_program()) GTEST_SKIP() << "a POSIX file size limit";
  std::string csv = "X,Y,Z\n" + many_points(50000, 1);
  for (std::size_t at = 0; (at = csv.find(' ', at)) != std::string::npos;) csv[at] = ',';
  LasTile tile;
  for (int i = 0; i < 50000; ++i) tile.points.push_back({100 + i % 1000 * 100, 50 + 100 * i, i});
  // In the result's other forms too, which the lines read back are in.
  // Fewer decimals than the input's too: the extents up to the last mark
  // are rounded as the lines after it are (1.25 is the result's 1).
  for (std::string options : {"", "--line-ends lf --decimals 2 ", "--line-ends lf --decimals 0 "}) {
    for (const std::string& input : {csv, tile.bytes()}) {
      SCOPED_TRACE(options);
      disk.write("s/b.xyz", input);
      std::string job = "ulimit -f 100; " + disk.program() + " --brief " + options +
                        "-o images/s/r.xyz images/s/b.xyz > out.txt 2> err.txt; true";
      ASSERT_EQ(std::system(disk.shell_in_workspace("(" + job + ")").c_str()), 0);
      std::ifstream out(disk.work() / "out.txt");
      std::string summary(std::istreambuf_iterator<char>(out), {});
      std::string result = disk.read("s/r.xyz");
      const bool lf = options.find("lf") != std::string::npos;
      ASSERT_TRUE(result.ends_with("\n"));
      ASSERT_EQ(result.ends_with("\r\n"), !lf);
      std::string figures = figures_of(result);
      EXPECT_NE(summary.find(figures.substr(0, figures.find('\n') + 1) +
                             "Result: images/s/r.xyz, " + std::to_string(result.size()) +
                             " bytes\n" + figures.substr(figures.find('\n') + 1)),
                std::string::npos)
          << summary << figures;
    }
  }
  disk.write("s/a.xyz", many_points(50000, 1));
  std::string job = "ulimit -f 100; " + disk.program() +
                    " -q --report images/s/r.json -o images/s/r.xyz images/s/a.xyz 2> err.txt;"
                    " echo $? > status.txt";
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
  EXPECT_NE(disk.read("s/r.json").find("\"result_bytes\": " + std::to_string(result.size()) + ","),
            std::string::npos)
      << disk.read("s/r.json");
  std::string lines = std::to_string(std::count(result.begin(), result.end(), '\n'));
  EXPECT_NE(disk.read("s/r.json").find("\"points\": " + lines + ","), std::string::npos)
      << disk.read("s/r.json");
}

}  // namespace

// Files as the field's tools write them, each read as its first lines
// show, with one note a file saying how; a plain file beside them stays
// the stream of numbers it always was.
TEST_F(EndToEnd, FilesOfTheFieldsToolsPasteAsTheirUsersMeanThem) {
  disk.write("s/a.xyz",
             "\xef\xbb\xbfX,Y,Z\r\n280023.14,  5659042.10, 78.47\r\n280024.5,5659043.25,79,\r\n");
  disk.write("s/b.xyz", "//X,Y,Z,R,G,B\n1.5,2.5,3.5,255,0,0\n\n4.5,5.5,6.5,0,255,0\n");
  disk.write("s/c.xyz", "\"X\",\"Y\",\"Z\"\n\"372497.26\",\"5812645.38\",\"36.102\"\n");
  disk.write("s/d.xyz", "651216,89;6862041,98;88,19\n651217,8;6862042;88\n");
  disk.write("s/e.xyz", "3\n1.0 2.0 3.0 10 200 30 40\n1.5 2.5 3.5 10 200 30 40\n");
  disk.write("s/f.xyz",
             "gps_time x y z intensity\n245384.398229 651644.62 6862588.37 100.85 265\n");
  disk.write("s/g.xyz", "Easting\tNorthing\tElevation\n10.5\t20.25\t30\n");
  disk.write("s/h.xyz", "1 2 3 10 20 30\n4 5 6 40 50 60\n");
  disk.write("s/i.xyz", "1 2\n3 4 5 6\n");
  RunResult run = disk.run(job_answers("s", {"a", "b", "c", "d", "e", "f", "g", "h", "i"}, "r"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"280023.140000 5659042.100000 78.470000",
                        "280024.500000 5659043.250000 79.000000", "1.500000 2.500000 3.500000",
                        "4.500000 5.500000 6.500000", "372497.260000 5812645.380000 36.102000",
                        "651216.890000 6862041.980000 88.190000",
                        "651217.800000 6862042.000000 88.000000", "1.000000 2.000000 3.000000",
                        "1.500000 2.500000 3.500000", "651644.620000 6862588.370000 100.850000",
                        "10.500000 20.250000 30.000000", "1.000000 2.000000 3.000000",
                        "4.000000 5.000000 6.000000", "1.000000 2.000000 3.000000",
                        "4.000000 5.000000 6.000000"}));
  const std::string note = "stratumix: note: c:\\images\\s\\";
  EXPECT_EQ(run.err,
            note +
                "a.xyz: skipped a byte order mark and 1 header line; one point a line, fields "
                "separated by commas; X Y Z from fields 1, 2, 3 (named by the header) of 3.\n" +
                note +
                "b.xyz: skipped 1 comment line; one point a line, fields separated by "
                "commas; X Y Z from fields 1, 2, 3 (named by the header) of 6, 3 dropped.\n" +
                note +
                "c.xyz: skipped 1 header line; one point a line, fields separated by "
                "commas; X Y Z from fields 1, 2, 3 (named by the header) of 3.\n" +
                note +
                "d.xyz: one point a line, fields separated by semicolons, decimal commas; "
                "X Y Z from fields 1, 2, 3 of 3.\n" +
                note +
                "e.xyz: skipped a point count (3); one point a line, fields separated by "
                "white space; X Y Z from fields 1, 2, 3 of 7, 4 dropped; the count line "
                "says 3 points, 2 were read.\n" +
                note +
                "f.xyz: skipped 1 header line; one point a line, fields separated by white "
                "space; X Y Z from fields 2, 3, 4 (named by the header) of 5, 2 dropped.\n" +
                note +
                "g.xyz: skipped 1 header line; one point a line, fields separated by tabs; "
                "X Y Z from fields 1, 2, 3 (named by the header) of 3.\n" +
                note +
                "h.xyz: one point a line, fields separated by white space; X Y Z from "
                "fields 1, 2, 3 of 6, 3 dropped.\n");
  EXPECT_NE(run.out.find(layer(6, "c:\\images\\s\\f.xyz", "", "651644.620000 X_max = 651644.620000",
                               "6862588.370000 Y_max = 6862588.370000")),
            std::string::npos);
}

// A units row under the header, a GENERATE file's ids and END line: points
// as meant, or none at all where a point number comes first.
TEST_F(EndToEnd, UnitRowsEndLinesAndPointNumbersNeverGiveWrongPoints) {
  disk.write("s/a.xyz", "Northing,Easting,Elevation\n(m),(m),(m)\n6862166.27,651048.19,92.396\n");
  disk.write("s/b.xyz", "1 651049.19 6862167.27 92.4\n2 651050.19 6862168.27 92.5\nEND\n");
  disk.write("s/c.xyz",
             "1001 651048.19 6862166.27 92.396 FIL\n1002 651049.19 6862167.27 92.4 TOP\n");
  RunResult run = disk.run(job_answers("s", {"a", "b", "c"}, "r"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"651048.190000 6862166.270000 92.396000",
                                              "651049.190000 6862167.270000 92.400000",
                                              "651050.190000 6862168.270000 92.500000"}));
  EXPECT_NE(run.err.find("c.xyz, its first field is a whole number"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("a.xyz, "), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("b.xyz, "), std::string::npos) << run.err;
}

// Where a file cannot be read as points, or its first fields are plainly
// not X Y Z, nothing of it is pasted, and the message says why and what to
// do; a line that breaks the file's layout later stops that file.
TEST_F(EndToEnd, FilesThatCannotBeReadAsTheirUsersMeanAreRefusedWithAReason) {
  std::string numbered;
  std::string timed;
  for (int i = 0; i < 5; ++i) {
    numbered += std::to_string(1000 + i) + ",651048.19,6862166.27,92.396,FIL\n";
    timed += "24538" + std::to_string(i) + ".398229 651644.62 6862588.37 100.85 265\n";
  }
  disk.write("s/a.xyz", numbered);
  disk.write("s/b.xyz", timed);
  disk.write("s/c.xyz", "ncols 4\nnrows 4\nxllcorner 0\n");
  disk.write("s/d.xyz", std::string("PK\x03\x04", 4) + "1 2 3\n");
  disk.write("s/e.xyz", "X,Y,Z\n1,2,3\n4,5\n7,8,9\n");
  disk.write("s/f.xyz", "1;2\n3;4\n");
  RunResult run = disk.run_arguments(
      "-q -o images/s/r.xyz images/s/a.xyz images/s/b.xyz images/s/c.xyz images/s/d.xyz "
      "images/s/e.xyz images/s/f.xyz");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  const std::string hint =
      "; on the command line, give the fields of X (the easting), Y and Z with --columns, from 1 "
      "(point lists: PENZD --columns 2,3,4, PNEZD --columns 3,2,4), or read the file as numbers "
      "alone with --stream; the rest of this file is not pasted.\n";
  EXPECT_EQ(
      run.err,
      "stratumix: warning: images/s/a.xyz, its first field is a whole number on every line "
      "and the next hold decimals, as point numbers and codes are" +
          hint +
          "stratumix: warning: images/s/b.xyz, its first field only grows, and is written "
          "finer than the next, as a time is" +
          hint +
          "stratumix: warning: images/s/c.xyz, an Esri ASCII grid (ncols, nrows, ...), not a "
          "list of points: turn it into points first, as gdal_translate -of XYZ does; the "
          "rest of this file is not pasted.\n"
          "stratumix: warning: images/s/d.xyz, a zip archive, not a list of points: unpack it "
          "and paste the files inside; the rest of this file is not pasted.\n"
          "stratumix: note: images/s/e.xyz: skipped 1 header line; one point a line, fields "
          "separated by commas; X Y Z from fields 1, 2, 3 (named by the header) of 3.\n"
          "stratumix: warning: images/s/e.xyz, line 3: \"4,5\" holds 2 fields where the "
          "file's lines hold 3; the rest of this file is not pasted.\n"
          "stratumix: warning: images/s/f.xyz, line 1 holds 2 fields, and a point needs "
          "three (X Y Z); the rest of this file is not pasted.\n");
}

// The command line says what a file cannot tell; a value that makes no
// sense is refused before anything is created.
TEST_F(EndToEnd, OptionsSayHowInputsAreRead) {
  std::string numbered;
  for (int i = 0; i < 5; ++i)
    numbered += std::to_string(1000 + i) + ",651048.19,6862166.27,92.396,FIL\n";
  disk.write("s/a.xyz", numbered.substr(0, numbered.find('\n') + 1));
  disk.write("s/b.xyz", "Pt Easting Northing Elevation\n7 10.5 20.5 30.5\n");
  RunResult run = disk.run_arguments("-q --columns 2,3,4 -o images/s/r.xyz images/s/a.xyz");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"651048.190000 6862166.270000 92.396000"}));
  run = disk.run_arguments(
      "-q --columns=Easting,Northing,Elevation -o images/s/r.xyz images/s/b.xyz");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"10.500000 20.500000 30.500000"}));
  EXPECT_EQ(run.err,
            "stratumix: note: images/s/b.xyz: skipped 1 header line; one point a line, fields "
            "separated by white space; X Y Z from fields 2, 3, 4 of 4, 1 dropped.\n");

  // Six numbers a line read as two points, as before the layouts were told.
  disk.write("s/c.xyz", "1 2 3 4 5 6\n");
  disk.write("s/d.xyz", "1,5 2,5 3,5\n");
  disk.write("s/e.xyz", "1|2|3\n");
  run = disk.run_arguments("-q --stream -o images/s/r.xyz images/s/c.xyz");
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"}));
  EXPECT_EQ(run.err, "");
  run = disk.run_arguments("-q --decimal-comma -o images/s/r.xyz images/s/d.xyz");
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.500000 2.500000 3.500000"}));
  run = disk.run_arguments("-q --separator '|' -o images/s/r.xyz images/s/e.xyz");
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));

  for (const char* wrong : {"--columns 1,2", "--columns 0,1,2", "--separator", "--separator ab",
                            "--stream --columns 1,2,3"}) {
    run = disk.run_arguments(std::string("-q ") + wrong + " -o images/s/new.xyz images/s/c.xyz");
    EXPECT_EQ(run.status, 1) << wrong;
    EXPECT_EQ(run.err.rfind("stratumix: ", 0), 0u) << run.err;
    EXPECT_FALSE(disk.exists("s/new.xyz")) << wrong;
  }
}
