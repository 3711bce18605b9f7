#include "report/job_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <string_view>

namespace {

InputFacts input(std::string_view path, std::int64_t points, double x0, double x1, double y0,
                 double y1, double z0, double z1) {
  InputFacts facts;
  facts.path = path;
  facts.points = points;
  facts.extents.add(x0, y0, z0);
  facts.extents.add(x1, y1, z1);
  return facts;
}

JobFacts two_tiles_and_an_empty_file() {
  JobFacts job;
  job.result = "all.xyz";
  job.files_given = 3;
  job.files_pasted = 3;
  job.inputs.push_back(input("north.xyz", 20, 10.5, 20, 100, 200, -3.5, 12));
  job.inputs.push_back(input("south.xyz", 22, 15, 30.125, 50, 150, 1, 40));
  job.inputs.push_back(InputFacts{"empty.xyz", 0, 0, {}, {}});
  job.result_bytes = 1764;
  job.seconds = 0.125;
  return job;
}

// The overall extents are those of the points, not the starting values a
// file without points reports (6000000 and 0).
TEST(JobSummary, TheFiguresOfAllInputs) {
  JobFacts job = two_tiles_and_an_empty_file();
  EXPECT_EQ(job.points(), 42);
  EXPECT_EQ(summary_text(job),
            "Files pasted: 3 of 3\n"
            "Points: 42\n"
            "Result: all.xyz, 1764 bytes\n"
            "X_min = 10.500000 X_max = 30.125000\n"
            "Y_min = 50.000000 Y_max = 200.000000\n"
            "Z_min = -3.500000 Z_max = 40.000000\n"
            "Time: 0.12 s\n");

  job.inputs.resize(1);
  job.inputs.push_back(InputFacts{"empty.xyz", 0, 0, {}, {}});
  job.files_pasted = 1;
  job.why = "Interrupted.";
  std::string text = summary_text(job);
  EXPECT_NE(text.find("Files pasted: 1 of 3\nPoints: 20\n"), std::string::npos) << text;
  EXPECT_NE(text.find("X_min = 10.500000 X_max = 20.000000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Stopped: Interrupted.\n"), std::string::npos) << text;

  job.result = "c/r\x1b[2J\n.xyz";
  job.inputs.clear();
  text = summary_text(job);
  EXPECT_NE(text.find("Result: c/r\\x1b[2J\\x0a.xyz, 1764 bytes\n"), std::string::npos) << text;
  EXPECT_NE(summary_json(job).find("\"result\": \"c/r\\u001b[2J\\u000a.xyz\""), std::string::npos);
  EXPECT_EQ(text.find("X_min"), std::string::npos) << text;
  EXPECT_NE(text.find("Extents: none, no point\n"), std::string::npos) << text;
  // Points whose values are all NaN are points, but have no extent.
  job.inputs.push_back(InputFacts{"nan.xyz", 1, 0, {}, {}});
  EXPECT_NE(summary_text(job).find("Points: 1\n"), std::string::npos);
  EXPECT_NE(summary_text(job).find("Extents: none, NaN alone\n"), std::string::npos);
}

// An input refused, or stopped before its first point, gave nothing to the
// result: it is not "pasted in part".
TEST(JobSummary, RefusedInputsAreCountedApartFromThoseCutShort) {
  JobFacts job = two_tiles_and_an_empty_file();
  job.files_pasted = 1;
  job.inputs[1].cut_short = true;
  job.inputs[2].cut_short = true;  // refused: no point of it
  std::string text = summary_text(job);
  EXPECT_NE(text.find("Files pasted: 1 of 3\nFiles pasted in part: 1 (see the warnings)\n"
                      "Files refused: 1 (see the warnings)\n"),
            std::string::npos)
      << text;
  std::string json = summary_json(job);
  EXPECT_NE(json.find("\"files_pasted_in_part\": 1,\n  \"files_refused\": 1,"), std::string::npos)
      << json;
}

// Paths are bytes on POSIX systems: whatever they hold, the JSON text
// stays valid, with what is no character replaced.
TEST(JobSummary, JsonStringsOfAnyBytes) {
  JobFacts job = two_tiles_and_an_empty_file();
  static const std::string odd = "a \"b\"\\c\t\x01relev\xc3\xa9s\xff\xc3(\xed\xa0\x80.xyz";
  job.inputs[0].path = odd;
  job.inputs[0].notes = {"line 3: \"x\" is not a number"};
  std::string json = summary_json(job);
  const std::string unknown = "\xef\xbf\xbd";  // U+FFFD
  EXPECT_NE(json.find("\"path\": \"a \\\"b\\\"\\\\c\\u0009\\u0001relev\xc3\xa9s" + unknown +
                      unknown + "(" + unknown + unknown + unknown + ".xyz\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"notes\": [\"line 3: \\\"x\\\" is not a number\"]"), std::string::npos);
  // DEL and the C1 controls too, so that the report shown on a terminal
  // is text: U+009B and U+0085, not the bytes that are no UTF-8.
  job.inputs[0].path = "a\x7f\xc2\x9b[2J\xc2\x85\xc2\xa0\x9b.xyz";
  EXPECT_NE(summary_json(job).find("\"a\\u007f\\u009b[2J\\u0085\xc2\xa0" + unknown + ".xyz\""),
            std::string::npos)
      << summary_json(job);
  // An axis without points has no extent, rather than the starting values.
  EXPECT_NE(json.find("\"path\": \"empty.xyz\", \"points\": 0, \"bytes\": 0,\n"
                      "     \"extents\": {\"x\": null, \"y\": null, \"z\": null}"),
            std::string::npos)
      << json;
  job.inputs[1].extents.x.add(-HUGE_VAL);
  json = summary_json(job);
  EXPECT_NE(json.find("\"x\": {\"min\": null, \"max\": 30.125000}"), std::string::npos) << json;
  EXPECT_EQ(json.find("inf\""), std::string::npos) << json;
}

// Where some input states a reference system, each input tells its own,
// null for none; where none does, the report is as it was.
TEST(JobSummary, EachInputsReferenceSystem) {
  JobFacts job = two_tiles_and_an_empty_file();
  EXPECT_EQ(summary_json(job).find("crs"), std::string::npos);
  auto compound = std::make_shared<las::Crs>();
  compound->wkt =
      "COMPD_CS[\"Oregon + NAVD88\",PROJCS[\"NAD83 / Oregon LCC (m)\",AUTHORITY[\"EPSG\","
      "\"2991\"]],VERT_CS[\"NAVD88 height (ftUS)\",AUTHORITY[\"EPSG\",\"6360\"]]]";
  las::settle_codes(*compound, true);
  auto named = std::make_shared<las::Crs>();
  named->wkt = "PROJCS[\"local \"\"grid\"\"\"]";
  las::settle_codes(*named, true);
  job.inputs[0].crs = compound;
  job.inputs[1].crs = named;
  std::string json = summary_json(job);
  EXPECT_NE(json.find("\"z\": {\"min\": -3.500000, \"max\": 12.000000}},\n"
                      "     \"crs\": {\"description\": \"EPSG:2991+6360\", \"epsg\": 2991, "
                      "\"vertical_epsg\": 6360},\n     \"notes\": []}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"crs\": {\"description\": \"local \\\"grid\\\"\", \"epsg\": null, "
                      "\"vertical_epsg\": null},"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"extents\": {\"x\": null, \"y\": null, \"z\": null},\n     \"crs\": null,\n"
                      "     \"notes\": []}"),
            std::string::npos)
      << json;
}

}  // namespace
