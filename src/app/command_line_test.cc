#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/stratumix.h"
#include "app/usage.h"
#include "fake_disk.h"
#include "io/text_out.h"
#include "job/outputs.h"

namespace {

using Action = Arguments::Action;

TEST(ParseArguments, TheUsualConventions) {
  EXPECT_EQ(parse_arguments({}).action, Action::kDialogue);
  for (auto args : std::vector<std::vector<std::string>>{{"-o", "r.xyz", "a", "b"},
                                                         {"a", "--output", "r.xyz", "b"},
                                                         {"--output=r.xyz", "a", "b"},
                                                         {"-or.xyz", "a", "b"}}) {
    Arguments parsed = parse_arguments(args);
    EXPECT_EQ(parsed.action, Action::kPaste) << args[0];
    EXPECT_EQ(parsed.result, "r.xyz");
    EXPECT_EQ(parsed.inputs, (std::vector<std::string>{"a", "b"}));
  }
  Arguments parsed = parse_arguments({"-q", "-o", "r", "--", "-o", "--quiet", "-"});
  EXPECT_TRUE(parsed.quiet);
  EXPECT_EQ(parsed.inputs, (std::vector<std::string>{"-o", "--quiet", "-"}));
  EXPECT_EQ(parse_arguments({"-o", "r", "a", "--help"}).action, Action::kHelp);
  // The result's form: six decimals and CR LF unless asked.
  EXPECT_EQ(parsed.format.decimals, 6);
  EXPECT_TRUE(parsed.format.crlf);
  parsed = parse_arguments({"--decimals", "0", "--line-ends=LF", "-o", "r", "a"});
  EXPECT_EQ(parsed.format.decimals, 0);
  EXPECT_FALSE(parsed.format.crlf);
  parsed = parse_arguments({"--decimals=17", "--line-ends", "crlf", "-o", "r", "a"});
  EXPECT_EQ(parsed.format.decimals, 17);
  EXPECT_TRUE(parsed.format.crlf);
  EXPECT_EQ(parse_arguments({"--version"}).action, Action::kVersion);
}

TEST(ParseArguments, WhatIsWrongIsSaidInOneLine) {
  for (auto args : std::vector<std::vector<std::string>>{
           {"a"},
           {"-o", "r"},
           {"-o"},
           {"-o", "r", "-o", "s", "a"},
           {"--output=", "a"},
           {"-x", "-o", "r", "a"},
           {"--outputs=r", "a"},
           {"--separator=,", "--decimal-comma", "-o", "r", "a"},
           {"--decimals", "18", "-o", "r", "a"},
           {"--decimals=-1", "-o", "r", "a"},
           {"--decimals=2.5", "-o", "r", "a"},
           {"--decimals=", "-o", "r", "a"},
           {"-o", "r", "a", "--decimals"},
           {"--line-ends", "cr", "-o", "r", "a"}}) {
    Arguments parsed = parse_arguments(args);
    EXPECT_EQ(parsed.action, Action::kWrong) << args[0];
    EXPECT_FALSE(parsed.wrong.empty());
    EXPECT_EQ(parsed.wrong.find('\n'), std::string::npos);
  }
}

TEST(ParseArguments, MistakesGetAHintThatMends) {
  auto hint = [](const std::vector<std::string>& args) { return parse_arguments(args).wrong; };
  EXPECT_NE(hint({"--ouput", "r", "a"}).find("did you mean --output?"), std::string::npos);
  EXPECT_NE(hint({"--mpa=m.svg", "-o", "r", "a"}).find("did you mean --map?"), std::string::npos);
  EXPECT_NE(hint({"--no-progess", "-o", "r", "a"}).find("--no-progress?"), std::string::npos);
  // Nothing close, or two alike: no guess.
  EXPECT_EQ(hint({"--frobnicate", "-o", "r", "a"}).find("did you mean"), std::string::npos);
  EXPECT_EQ(hint({"--xy", "-o", "r", "a"}).find("did you mean"), std::string::npos);

  // An option where a value was due names the way to a file so called.
  for (const char* option :
       {"--report", "--map", "-o", "--columns", "--separator", "--decimals", "--line-ends"}) {
    std::string wrong = hint({option, "-q", "-o", "r", "a"});
    EXPECT_NE(wrong.find(std::string(option) + " ./-q"), std::string::npos) << wrong;
  }
  Arguments parsed = parse_arguments({"--report", "./-o", "-o", "r.xyz", "a"});
  EXPECT_EQ(parsed.action, Action::kPaste);
  EXPECT_EQ(parsed.report, "./-o");
  EXPECT_EQ(parse_arguments({"--report=-o", "-o", "r.xyz", "a"}).report, "-o");

  // Text in a file named for LAS or LAZ: refused, whatever the case.
  for (const char* result : {"out.las", "d/OUT.LAZ", "x.Las"})
    EXPECT_NE(hint({"-o", result, "a"}).find(".xyz or .txt"), std::string::npos) << result;
  EXPECT_EQ(parse_arguments({"-o", "las", "a"}).action, Action::kPaste);
  EXPECT_EQ(parse_arguments({"-o", "tile.las.xyz", "a"}).action, Action::kPaste);
}

// The help, the manual page and the parser tell of the same options: one
// told but not taken, or taken but in neither text, fails here.
TEST(Usage, TheHelpTheManualAndTheParserKnowTheSameOptions) {
  std::string help = usage();
  std::string manual = man_page("1.0");
  std::vector<std::string_view> told = long_options();
  EXPECT_GE(told.size(), 14u);
  for (std::string_view option : told) {
    std::string name(option);
    EXPECT_NE(help.find(" " + name + " "), std::string::npos) << name;
    std::string marked = "\\fB";
    for (char c : name) marked += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manual.find(marked + "\\fR"), std::string::npos) << name;
    Arguments parsed = parse_arguments({name, "v", "-o", "r.xyz", "a"});
    EXPECT_EQ(parsed.wrong.find("unknown option"), std::string::npos) << name;
  }
  // The first sentence, after the synopsis, names every form read.
  const std::string first = help.substr(help.find("\n\n") + 2);
  const std::string sentence = first.substr(0, first.find(". "));
  for (const char* form : {".xyz text", "delimited text", "gzip", "LAS", "LAZ"}) {
    EXPECT_NE(sentence.find(form), std::string::npos) << form << ": " << sentence;
    const std::string description = manual.substr(manual.find(".SH DESCRIPTION\n"));
    EXPECT_NE(description.substr(0, description.find(". ")).find(form), std::string::npos) << form;
  }
  for (const char* status : {"0 done", "1 nothing", "2 done", "129, 130 or 143"}) {
    EXPECT_NE(help.find(status), std::string::npos) << status;
    EXPECT_NE(manual.find(status), std::string::npos) << status;
  }
  // No text line of the page is taken for a request.
  const char* requests[] = {".TP\n", ".SH ", ".SS ",  ".PP\n", ".B ",
                            ".br\n", ".TH ", ".nf\n", ".fi\n"};
  for (std::size_t at = 0; at < manual.size(); at = manual.find('\n', at) + 1) {
    if (manual[at] != '.' && manual[at] != '\'') continue;
    bool known = false;
    for (std::string_view request : requests)
      known = known || manual.compare(at, request.size(), request) == 0;
    EXPECT_TRUE(known) << manual.substr(at, 40);
  }
}

TEST(InfoReportName, TheResultWithoutItsExtension) {
  EXPECT_EQ(info_report_for("all.xyz"), "all_xyz_info.txt");
  EXPECT_EQ(info_report_for("d/ALL.XYZ"), "d/ALL_xyz_info.txt");
  EXPECT_EQ(info_report_for("merged.txt"), "merged.txt_xyz_info.txt");
}

// The job set up from arguments and pasted, in memory.
class InProcess : public testing::Test {
 protected:
  void SetUp() override { console.capture(&out, &err); }
  void TearDown() override { console.capture(nullptr, nullptr); }
  int run(const std::vector<std::string>& arguments) { return run_stratumix(arguments, &disk); }

  MemoryDisk disk;
  std::string out;
  std::string err;
};

// A name from the shell may hold control bytes: the console shows them
// escaped, the info report as they are.
TEST_F(InProcess, PastesTheInputsInTheOrderGiven) {
  disk.files["a\x1b[2J"] = "1 2 3\n";
  disk.files["b"] = "4 5 6\n7 8 9\n";
  EXPECT_EQ(run({"-o", "r.xyz", "b", "a\x1b[2J"}), 0);
  EXPECT_EQ(disk.files["r.xyz"],
            "4.000000 5.000000 6.000000\r\n7.000000 8.000000 9.000000\r\n"
            "1.000000 2.000000 3.000000\r\n");
  EXPECT_EQ(disk.files["r_xyz_info.txt"],
            "\r\n PROGRAM STRATUMIX \r\n\r\n\r\n\tNumber of files to paste = 2 "
            "\r\n\t\tFile 1 Name : b \r\n\t\tFile 2 Name : a\x1b[2J \r\n\r\n");
  EXPECT_EQ(out.substr(0, out.find("Time: ")),
            "1/2 b: 2 points, X_min = 4.000000 X_max = 7.000000 Y_min = 5.000000 Y_max = 8.000000\n"
            "2/2 a\\x1b[2J: 1 point, X_min = 1.000000 X_max = 1.000000 Y_min = 2.000000 "
            "Y_max = 2.000000\n"
            "\nFiles pasted: 2 of 2\nPoints: 3\nResult: r.xyz, 84 bytes\n"
            "X_min = 1.000000 X_max = 7.000000\nY_min = 2.000000 Y_max = 8.000000\n"
            "Z_min = 3.000000 Z_max = 9.000000\n");
  EXPECT_EQ(err, "");

  // In another form, which the summary's size is of.
  EXPECT_EQ(run({"-q", "--decimals", "1", "--line-ends", "lf", "-o", "r.xyz", "b", "a\x1b[2J"}), 0);
  EXPECT_EQ(disk.files["r.xyz"], "4.0 5.0 6.0\n7.0 8.0 9.0\n1.0 2.0 3.0\n");
}

TEST_F(InProcess, AnyRefusalComesBeforeAnythingIsCreatedOrEmptied) {
  disk.files["a"] = "1 2 3\n";
  disk.files["r.xyz"] = "earlier";
  const std::vector<std::vector<std::string>> refused = {
      {"-o", "r.xyz", "a", "missing"},  // an input that is not there
      {"-o", "r.xyz", "a", "r.xyz"},    // the result is an input
      {"-o", "r.xyz", "r_xyz_info.txt", "a"},
      {"-o", "r.xyz"},
      // Options no file can make right.
      {"--columns", "-1,1,2", "-o", "r.xyz", "a"},
      {"--columns=1,1,2", "-o", "r.xyz", "a"},
      {"--separator", "e", "-o", "r.xyz", "a"},
      // A result every LAS reader would refuse, and an option taken for a
      // value: the result would otherwise be the option's value.
      {"-o", "r.las", "a"},
      {"--report", "-o", "r.xyz", "a"}};
  for (const auto& args : refused) {
    err.clear();
    EXPECT_EQ(run(args), 1) << args.back();
    EXPECT_NE(err, "");
    EXPECT_EQ(disk.files.size(), 2u) << args.back();
    EXPECT_EQ(disk.files["r.xyz"], "earlier");
  }
  disk.claimed["r.xyz"] = true;  // another job writes it
  err.clear();
  EXPECT_EQ(run({"-o", "r.xyz", "a"}), 1);
  EXPECT_NE(err.find("another job"), std::string::npos) << err;
  EXPECT_EQ(disk.files["r.xyz"], "earlier");
}

TEST_F(InProcess, QuietPrintsNothingButWarnings) {
  disk.files["a"] = "1 2 3\nx\n";
  EXPECT_EQ(run({"--quiet", "-o", "r.xyz", "a"}), 2);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("warning: a, line 2"), std::string::npos) << err;
}

// A map the disk will not take ends the job with status 1: the report,
// for the scripts that read it, says so too.
TEST_F(InProcess, TheReportTellsTheStatusTheJobEndsWith) {
  struct FullFolder : MemoryDisk {
    bool write_whole(const std::string& path, const std::string& bytes,
                     std::string& reason) override {
      if (path.starts_with("full/")) {
        reason = "No space left on device";
        return false;
      }
      return MemoryDisk::write_whole(path, bytes, reason);
    }
  } full;
  full.files["a"] = "1 2 3\n";
  EXPECT_EQ(
      run_stratumix({"-q", "--report", "j.json", "--map", "full/m.svg", "-o", "r.xyz", "a"}, &full),
      1);
  EXPECT_NE(err.find("Cannot write the map full/m.svg"), std::string::npos) << err;
  EXPECT_NE(full.files["j.json"].find("\"exit_status\": 1,"), std::string::npos)
      << full.files["j.json"];
}

}  // namespace
