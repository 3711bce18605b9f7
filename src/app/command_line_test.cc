#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  EXPECT_EQ(parsed.writing.format.decimals, 6);
  EXPECT_TRUE(parsed.writing.format.crlf);
  parsed = parse_arguments({"--decimals", "0", "--line-ends=LF", "-o", "r", "a"});
  EXPECT_EQ(parsed.writing.format.decimals, 0);
  EXPECT_FALSE(parsed.writing.format.crlf);
  parsed = parse_arguments({"--decimals=17", "--line-ends", "crlf", "-o", "r", "a"});
  EXPECT_EQ(parsed.writing.format.decimals, 17);
  EXPECT_TRUE(parsed.writing.format.crlf);
  EXPECT_EQ(parse_arguments({"--version"}).action, Action::kVersion);
}

TEST(ParseArguments, WhatIsWrongIsSaidInOneLine) {
  for (auto args :
       std::vector<std::vector<std::string>>{{"a"},
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

  // An option where a value was due names the way to a file so called;
  // where the value is no file, that way would only make a wrong value.
  for (const char* option : {"--report", "--map", "-o"}) {
    std::string wrong = hint({option, "-q", "-o", "r", "a"});
    EXPECT_NE(wrong.find(std::string(option) + " ./-q"), std::string::npos) << wrong;
  }
  for (const char* option : {"--columns", "--separator", "--decimals", "--line-ends"}) {
    std::string wrong = hint({option, "-q", "-o", "r", "a"});
    EXPECT_NE(wrong.find(std::string(option) + " would take -q, an option"), std::string::npos)
        << wrong;
    EXPECT_EQ(wrong.find("./"), std::string::npos) << wrong;
  }
  // A negative number is a value, wrong as such, not an option.
  EXPECT_EQ(hint({"--decimals", "-1", "-o", "r", "a"}),
            "--decimals takes a number of decimals from 0 to 17, not -1");
  EXPECT_EQ(hint({"--columns", "-1,2,3", "-o", "r", "a"})
                .rfind("option --columns: -1 is no field "
                       "number",
                       0),
            0u)
      << hint({"--columns", "-1,2,3", "-o", "r", "a"});
  EXPECT_NE(hint({"--separator", "-1", "-o", "r", "a"}).find("-1 is none of them"),
            std::string::npos);
  // A long option typed with one dash.
  EXPECT_NE(hint({"-decimals", "2", "-o", "r", "a"}).find("did you mean --decimals?"),
            std::string::npos)
      << hint({"-decimals", "2", "-o", "r", "a"});
  EXPECT_NE(hint({"-mpa=m.svg", "-o", "r", "a"}).find("did you mean --map?"), std::string::npos);
  EXPECT_EQ(hint({"-x", "-o", "r", "a"}), "unknown option -x");
  Arguments parsed = parse_arguments({"--report", "./-o", "-o", "r.xyz", "a"});
  EXPECT_EQ(parsed.action, Action::kPaste);
  EXPECT_EQ(parsed.report, "./-o");
  EXPECT_EQ(parse_arguments({"--report=-o", "-o", "r.xyz", "a"}).report, "-o");

  // Text in a file named for LAS or LAZ: refused, whatever the case; the
  // name alone asks for LAS or LAZ.
  for (const char* result : {"out.las", "d/OUT.LAZ", "x.Las"}) {
    EXPECT_NE(hint({"--format", "text", "-o", result, "a"}).find("is named for LA"),
              std::string::npos)
        << result;
    EXPECT_EQ(parse_arguments({"-o", result, "a"}).action, Action::kPaste) << result;
  }
  using Form = WriterOptions::Form;
  EXPECT_EQ(parse_arguments({"-o", "x.Las", "a"}).writing.form, Form::kLas);
  EXPECT_EQ(parse_arguments({"-o", "x.LAZ", "a"}).writing.form, Form::kLaz);
  EXPECT_EQ(parse_arguments({"--format", "LAZ", "-o", "x.bin", "a"}).writing.form, Form::kLaz);
  EXPECT_EQ(parse_arguments({"-o", "x.xyz", "a"}).writing.form, Form::kText);
  // Options of one form given for another.
  EXPECT_NE(hint({"--scale", "0.01", "-o", "x.xyz", "a"}).find("--scale is for a LAS"),
            std::string::npos);
  EXPECT_NE(hint({"--fields", "X,Y", "-o", "x.las", "a"}).find("--fields is for a text"),
            std::string::npos);
  EXPECT_NE(hint({"--scale", "0,1", "-o", "x.las", "a"}).find("--scale takes"), std::string::npos);
  EXPECT_NE(hint({"--offset", "1,2", "-o", "x.las", "a"}).find("--offset takes three"),
            std::string::npos);
  Arguments scaled = parse_arguments({"--scale", "0.01,0.01,0.001", "-o", "x.las", "a"});
  EXPECT_TRUE(scaled.writing.scale_given);
  EXPECT_EQ(scaled.writing.scale[2], 0.001);
  EXPECT_EQ(parse_arguments({"--scale", "0.5", "-o", "x.las", "a"}).writing.scale[1], 0.5);
  EXPECT_NE(hint({"--format", "shp", "-o", "x", "a"}).find("--format takes"), std::string::npos);
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
  for (const char* status : {"0 done", "1 refused before anything", "2 done", "129, 130 or 143"}) {
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

// The help tells the one rule the program follows: an input refused for
// its form ends the job with 2, not 1, as text that is not points does.
TEST(Usage, TheExitStatusesAreTheProgramsOwn) {
  const std::string help = usage();
  const std::string two = help.substr(help.find("; 2 done"));
  EXPECT_NE(two.find("a form\nrefused (zip"), std::string::npos) << two;
  EXPECT_EQ(help.find("not all was pasted"), std::string::npos);
  MemoryDisk disk;
  disk.files["a.zip"] = std::string("PK\x03\x04", 4) + "1 2 3\n";
  disk.files["b"] = "1 2 3\nx\n";
  std::string out;
  std::string err;
  console.capture(&out, &err);
  EXPECT_EQ(run_stratumix({"-q", "-o", "r.xyz", "a.zip"}, &disk), 2);
  EXPECT_EQ(run_stratumix({"-q", "-o", "r.xyz", "b"}, &disk), 2);
  EXPECT_EQ(run_stratumix({"-q", "-o", "r.xyz", "missing"}, &disk), 1);
  console.capture(nullptr, nullptr);
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
      {"--format", "text", "-o", "r.las", "a"},
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

// Every input that cannot be read is named in one run, up to ten, and how
// many more; nothing is created.
TEST_F(InProcess, EveryUnreadableInputIsNamedAtOnce) {
  std::vector<std::string> arguments = {"-o", "r.xyz"};
  for (int i = 0; i < 300; ++i) {
    std::string name = std::string("t").append(std::to_string(i));
    // Three missing among 300.
    if (i != 17 && i != 150 && i != 299) disk.files[name] = "1 2 3\n";
    arguments.push_back(name);
  }
  EXPECT_EQ(run(arguments), 1);
  EXPECT_EQ(err,
            "stratumix: Cannot read t17: No such file or directory\n"
            "stratumix: Cannot read t150: No such file or directory\n"
            "stratumix: Cannot read t299: No such file or directory\n"
            "stratumix: 3 inputs cannot be read; nothing was created.\n");
  EXPECT_EQ(disk.files.count("r.xyz"), 0u);

  // Past ten, the rest are counted.
  for (int i = 0; i < 13; ++i) disk.files.erase(arguments[static_cast<std::size_t>(i) + 2]);
  err.clear();
  EXPECT_EQ(run(arguments), 1);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 11) << err;
  EXPECT_NE(err.find("stratumix: Cannot read t9: No such file or directory\n"), std::string::npos);
  EXPECT_EQ(err.find("t10:"), std::string::npos) << err;
  EXPECT_TRUE(err.ends_with(
      "stratumix: 16 inputs cannot be read (the first 10 named above, 6 more); nothing was "
      "created.\n"))
      << err;

  // Checked on every core, where the disk lets it, they are told the same,
  // in the inputs' order.
  class AheadDisk : public MemoryDisk {
   public:
    bool reads_ahead() const override { return true; }
  } ahead;
  ahead.files = disk.files;
  const std::string told = err;
  for (int round = 0; round < 5; ++round) {
    err.clear();
    EXPECT_EQ(run_stratumix(arguments, &ahead), 1);
    EXPECT_EQ(err, told);
  }
  EXPECT_EQ(ahead.files.count("r.xyz"), 0u);

  // One alone is told as it always was.
  err.clear();
  EXPECT_EQ(run({"-o", "r.xyz", "t20", "missing"}), 1);
  EXPECT_EQ(err,
            "stratumix: Cannot read missing: No such file or directory; nothing was "
            "created.\n");
}

#ifndef _WIN32
// A Windows path means a folder of Windows; here it would be one file of
// that long name in the working folder.
TEST_F(InProcess, AWindowsPathIsRefusedOnOtherSystems) {
  disk.files["a"] = "1 2 3\n";
  disk.files["C:\\images\\a.xyz"] = "1 2 3\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-o", "C:\\images\\survey1\\all.xyz", "a"},
        std::vector<std::string>{"-o", "r.xyz", "C:\\images\\a.xyz"},
        std::vector<std::string>{"--report", "d:\\j.json", "-o", "r.xyz", "a"}}) {
    err.clear();
    EXPECT_EQ(run(args), 1);
    EXPECT_NE(err.find("is a Windows path"), std::string::npos) << err;
    EXPECT_NE(err.find("give the folder's Linux path"), std::string::npos) << err;
    EXPECT_EQ(disk.files.size(), 2u);
  }
  // A name that only holds a backslash is a name like any other.
  EXPECT_EQ(run({"-q", "-o", "C:all\\r.xyz", "a"}), 0);
}
#endif

// An input that gives no point is warned of, on both faces, and the
// report keeps the warning; the job is done all the same.
TEST_F(InProcess, AnInputThatGivesNoPointIsWarnedOf) {
  disk.files["a"] = "1 2 3\n";
  disk.files["empty"] = "";
  disk.files["notes"] = "# survey of the north pier\n# no points yet\n";
  EXPECT_EQ(run({"-q", "--report", "j.json", "-o", "r.xyz", "a", "empty", "notes"}), 0);
  EXPECT_NE(err.find("stratumix: warning: empty gives no point: the file is empty.\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("stratumix: warning: notes gives no point: none of its text is a point.\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("warning: a "), std::string::npos) << err;
  EXPECT_NE(disk.files["j.json"].find("no point: the file is empty"), std::string::npos)
      << disk.files["j.json"];

  // The dialogue says it on standard error, its console as it was.
  err.clear();
  disk.files["c:\\images\\s\\e.xyz"] = "";
  Answers typed("s 1 e r");
  EXPECT_EQ(run_stratumix({}, &disk, &typed), 0);
  EXPECT_EQ(err, "stratumix: warning: c:\\images\\s\\e.xyz gives no point: the file is empty.\n");
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
