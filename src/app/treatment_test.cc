#include "app/treatment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "in_memory.h"
#include "read/laz/laz_encoder.h"
#include "tiles.h"

namespace {

// Whole jobs pasted in memory: the result's bytes, the extents on the
// console, the warnings and the statuses.
class Pasting : public InMemory {};

const std::string kA = "c:\\images\\s\\a.xyz";
const std::string kB = "c:\\images\\s\\b.xyz";
const std::string kC = "c:\\images\\s\\c.xyz";

TEST_F(Pasting, FilesWithoutPointsReportTheStartingExtents) {
  disk.write("s/a.xyz", "");
  disk.write("s/b.xyz", " \r\n\t\n");
  JobRun run = disk.run(job_answers("s", {"a", "b"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dialogue(2) + "\n\n" + layer(1, kA, "", kEmptyExtentsX, kEmptyExtentsY) +
                         layer(2, kB, "", kEmptyExtentsX, kEmptyExtentsY));
  EXPECT_EQ(disk.read("s/r.xyz"), "");
}

TEST_F(Pasting, ExtentsAreTheValuesMetNotTheStartingValues) {
  // Projected coordinates: every Y above 6000000. And a file below zero.
  disk.write("s/a.xyz", "600000 6100000 1\n1200000 7100000 2\n900000.5 6500000.25 3\n");
  disk.write("s/b.xyz", "-5 -7 0\n-1.5 -2 0\nnan nan 0\n-3 -9.75 0\n");
  JobRun run = disk.run(job_answers("s", {"a", "b"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            dialogue(2) + "\n\n" +
                layer(1, kA, "", "600000.000000 X_max = 1200000.000000",
                      "6100000.000000 Y_max = 7100000.000000") +
                layer(2, kB, "", "-5.000000 X_max = -1.500000", "-9.750000 Y_max = -2.000000"));
  EXPECT_EQ(
      disk.read("s/r.xyz"),
      crlf_lines({"600000.000000 6100000.000000 1.000000", "1200000.000000 7100000.000000 2.000000",
                  "900000.500000 6500000.250000 3.000000", "-5.000000 -7.000000 0.000000",
                  "-1.500000 -2.000000 0.000000", "nan nan 0.000000",
                  "-3.000000 -9.750000 0.000000"}));
}

TEST_F(Pasting, ProgressEveryHundredThousandPointsOfAFile) {
  disk.write("s/a.xyz", many_points(250000, 600000));
  disk.write("s/b.xyz", many_points(99999, 700000));
  JobRun run = disk.run(job_answers("s", {"a", "b"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.out.substr(dialogue(2).size()),
      "\n\n" +
          layer(1, kA, "\t\trecord 100000            \r    \t\trecord 200000            \r    ",
                "600000.250000 X_max = 600999.250000", "6100000.500000 Y_max = 6349999.500000") +
          layer(2, kB, "", "700000.250000 X_max = 700999.250000",
                "6100000.500000 Y_max = 6199998.500000"));
  std::string result = disk.read("s/r.xyz");
  EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 349999);
  EXPECT_EQ(result.substr(0, 39), "600000.250000 6100000.500000 1.000000\r\n");
  EXPECT_EQ(result.substr(result.size() - 39), "700998.250000 6199998.500000 1.000000\r\n");
}

TEST_F(Pasting, TextThatIsNotPointsEndsThatFileWithAWarning) {
  disk.write("s/a.xyz", "1 2 3\n4 5 six\n7 8 9\n");
  disk.write("s/b.xyz", "1 1 1\nX Y Z\n");
  disk.write("s/c.xyz", "10 20 30\n40 50\n");
  JobRun run = disk.run(job_answers("s", {"a", "b", "c"}, "r"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "stratumix: warning: " + kA +
                ", line 2: \"six\" is not a number; the rest of this file is not pasted.\n"
                "stratumix: warning: " +
                kB +
                ", line 2: \"X\" is not a number; the rest of this file is not pasted.\n"
                "stratumix: warning: " +
                kC +
                ", line 2: \"40 50\" is not a whole point (X Y Z); the rest of this file is not "
                "pasted.\n");
  EXPECT_EQ(run.out,
            dialogue(3) + "\n\n" +
                layer(1, kA, "", "1.000000 X_max = 1.000000", "2.000000 Y_max = 2.000000") +
                layer(2, kB, "", "1.000000 X_max = 1.000000", "1.000000 Y_max = 1.000000") +
                layer(3, kC, "", "10.000000 X_max = 10.000000", "20.000000 Y_max = 20.000000"));
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"1.000000 2.000000 3.000000", "1.000000 1.000000 1.000000",
                        "10.000000 20.000000 30.000000"}));
}

// A tile in gzip or LAS pastes as the same points in text would, named
// .xyz in the dialogue; a fault in one stops as a read error does, and
// compressed LAS is refused.
TEST_F(Pasting, TilesAsDeliveredPasteAsTheirPointsInText) {
  std::string text = many_points(150000, 600000);
  LasTile tile;
  tile.offset[1] = 6100000;
  for (int i = 0; i < 120000; ++i)
    tile.points.push_back({60000025 + i % 1000 * 100, 50 + 100 * i, 1000});
  std::string las_text = many_points(120000, 600000);
  disk.write("s/a.xyz", text);
  disk.write("s/b.xyz", las_text);
  JobRun as_text = disk.run(job_answers("s", {"a", "b"}, "r"));
  std::string result = disk.read("s/r.xyz");
  disk.write("s/a.xyz", gzip_member(text.substr(0, 1000)) + gzip_member(text.substr(1000)));
  disk.write("s/b.xyz", tile.bytes());
  JobRun run = disk.run(job_answers("s", {"a", "b"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, as_text.out);
  EXPECT_TRUE(disk.read("s/r.xyz") == result);
  // The LAS tile compressed (LAZ), named .xyz for the dialogue: the same.
  disk.write("s/b.xyz", laz::compress_las(tile.bytes(), 50000));
  run = disk.run(job_answers("s", {"a", "b"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, as_text.out);
  EXPECT_TRUE(disk.read("s/r.xyz") == result);

  // Every rule of text holds inside gzip. (The command line names the
  // files by the paths given.)
  disk.files["images/s/a.xyz"] = gzip_member("X,Y,Z\n1,1,1\n");
  tile.format = 0x81;
  disk.files["images/s/b.laz"] = tile.bytes().substr(0, 400);
  tile.format = 1;
  disk.files["images/s/c.las"] = tile.bytes().substr(0, 227 + 28 * 2 + 5);
  std::string packed = gzip_member(text);
  disk.files["images/s/d.xyz.gz"] = packed.substr(0, packed.size() / 2);
  run = disk.run_arguments("-q -o images/s/r.xyz images/s/a.xyz images/s/b.laz images/s/c.las");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "stratumix: note: images/s/a.xyz: skipped 1 header line; one point a line, fields "
            "separated by commas; X Y Z from fields 1, 2, 3 (named by the header) of 3.\n"
            "stratumix: warning: images/s/b.laz, the LAS header says its points are compressed, "
            "but no LASzip record says how; the rest of this file is not pasted.\n"
            "stratumix: warning: images/s/c.las, the file ends after 2 of the 120000 "
            "points its LAS header gives; the rest of this file is not pasted.\n");
  EXPECT_EQ(disk.files["images/s/r.xyz"],
            crlf_lines({"1.000000 1.000000 1.000000", "600000.250000 6100000.500000 1.000000",
                        "600001.250000 6100001.500000 1.000000"}));
  // A LAZ whose second chunk (of three) is damaged keeps the first's points.
  tile.format = 1;
  std::string laz = laz::compress_las(tile.bytes(), 50000);
  laz[laz.size() * 6 / 10] ^= 0x20;
  disk.files["images/s/e.laz"] = laz;
  run = disk.run_arguments("-q -o images/s/r.xyz images/s/e.laz");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("stratumix: warning: images/s/e.laz, the LAZ chunk that begins at point "
                          "50001 is damaged (its decoding does not end at its ",
                          0),
            0)
      << run.err;
  std::string first_chunk = disk.files["images/s/r.xyz"];
  EXPECT_EQ(std::count(first_chunk.begin(), first_chunk.end(), '\n'), 50000);
  // The tile's lines follow the 150000 of a.xyz in the result above.
  std::size_t tile_lines = 0;
  for (int line = 0; line < 150000; ++line) tile_lines = result.find('\n', tile_lines) + 1;
  EXPECT_EQ(result.compare(tile_lines, first_chunk.size(), first_chunk), 0);
  run = disk.run_arguments("-q -o images/s/r.xyz images/s/d.xyz.gz");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("stratumix: Cannot read images/s/d.xyz.gz: the gzip data is cut short, "
                          "after ",
                          0),
            0)
      << run.err;
  result = disk.files["images/s/r.xyz"];
  EXPECT_GT(result.size(), 1000000u);
  EXPECT_EQ(result.substr(result.size() - 2), "\r\n");

  // Damaged data, whose check comes only at the member's end: none of its
  // points stay, whether the garbled text read as points to the end or
  // stopped at a word that is none, nor do the report's figures count them.
  std::string garbled = text;
  garbled.replace(garbled.size() / 2, 8, "74.4.05 ");
  for (const std::string& inner : {text, garbled}) {
    packed = gzip_member(inner);
    packed[packed.size() - 6] ^= 0x55;  // its check sum
    disk.files["images/s/e.xyz.gz"] = packed;
    run = disk.run_arguments(
        "-q --report images/s/j.json -o images/s/r.xyz images/s/a.xyz images/s/e.xyz.gz");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("stratumix: note: images/s/a.xyz", 0), 0) << run.err;
    EXPECT_NE(run.err.find("stratumix: Cannot read images/s/e.xyz.gz: the gzip data is corrupt "
                           "(incorrect data check), after "),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(run.err.ends_with("; none of its points are pasted\n")) << run.err;
    EXPECT_EQ(disk.files["images/s/r.xyz"], crlf_lines({"1.000000 1.000000 1.000000"}));
    EXPECT_NE(disk.files["images/s/j.json"].find("\"path\": \"images/s/e.xyz.gz\", \"points\": 0,"),
              std::string::npos)
        << disk.files["images/s/j.json"];
  }
}

// White space is white space however long; a lone CR ends a line as LF
// and CR LF do, for the line numbers of warnings too.
TEST_F(Pasting, AnyWhiteSpaceSeparatesAndEveryKindOfLineEndCounts) {
  std::string wide_gap(1 << 20, ' ');
  for (std::size_t i = 0; i < wide_gap.size(); i += 1000) wide_gap[i] = '\n';
  disk.write("s/a.xyz", "1" + wide_gap + "2 3\n4 5 6\n");
  disk.write("s/b.xyz", "1 2 3\r4 5 6\r\n7 8 x\r");
  JobRun run = disk.run(job_answers("s", {"a", "b"}, "r"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "stratumix: warning: " + kB +
                         ", line 3: \"x\" is not a number; the rest of this file is not pasted.\n");
  std::string two = crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"});
  EXPECT_EQ(disk.read("s/r.xyz"), two + two);

  // A point cut short after such a gap is told at the line where it starts.
  disk.write("s/a.xyz", "\r\n\r9 9" + wide_gap);
  run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "stratumix: warning: " + kA +
                         ", line 3: \"9 9\" is not a whole point (X Y Z); the rest of this file is "
                         "not pasted.\n");
}

TEST_F(Pasting, NumbersMakePointsWhateverTheLines) {
  disk.write("s/a.xyz", "1\n2\n3 4\n5\n6\n");     // points split over lines
  disk.write("s/b.xyz", "1 2 3 4 5 6\n7 8 9\n");  // more than three numbers on a line
  JobRun run = disk.run(job_answers("s", {"a", "b"}, "r"));
  EXPECT_EQ(run.status, 0);
  std::string two = crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"});
  EXPECT_EQ(disk.read("s/r.xyz"), two + two + crlf_lines({"7.000000 8.000000 9.000000"}));
  EXPECT_EQ(run.out.substr(dialogue(2).size()),
            "\n\n" + layer(1, kA, "", "1.000000 X_max = 4.000000", "2.000000 Y_max = 5.000000") +
                layer(2, kB, "", "1.000000 X_max = 7.000000", "2.000000 Y_max = 8.000000"));
}

TEST_F(Pasting, ATextFileFromAnOldEditorReadsWhole) {
  // CR LF lines, a last line without its break, then the Ctrl-Z end mark.
  disk.write("s/a.xyz",
             "1.5 2.5 3.5\r\n4 5 6\x1a"
             "garbage after the end\r\n");
  disk.write("s/b.xyz", "1.5 2.5 3.5\r4 5 6");  // lone CRs separate numbers too
  JobRun run = disk.run(job_answers("s", {"a", "b"}, "r"));
  EXPECT_EQ(run.status, 0);
  std::string points = crlf_lines({"1.500000 2.500000 3.500000", "4.000000 5.000000 6.000000"});
  EXPECT_EQ(disk.read("s/r.xyz"), points + points);
}

}  // namespace
