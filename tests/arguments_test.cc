// The command-line mode, run as a script runs it: the inputs and the result
// as arguments, paths relative to the working directory.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "harness.h"

namespace {

const std::string kTryHelp = "Try 'stratumix --help'.\n";

std::string pasted(int m, const std::string& path, const std::string& x, const std::string& y) {
  return layer(m, path, "", x, y);
}

TEST_F(EndToEnd, TheCommandLinePastesTheInputsIntoTheResult) {
  disk.write("s/north.xyz", "600000.12 6100000.5 12.25\n");
  disk.write("s/south.xyz", "1e3 -2.5E-1 7.1234567\n");
  RunResult run = disk.run_arguments("-o images/s/all.xyz images/s/north.xyz images/s/south.xyz");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "\n\n" +
                         pasted(1, "images/s/north.xyz", "600000.120000 X_max = 600000.120000",
                                "6100000.500000 Y_max = 6100000.500000") +
                         pasted(2, "images/s/south.xyz", "1000.000000 X_max = 1000.000000",
                                "-0.250000 Y_max = -0.250000"));
  EXPECT_EQ(disk.read("s/all.xyz"), crlf_lines({"600000.120000 6100000.500000 12.250000",
                                                "1000.000000 -0.250000 7.123457"}));
  EXPECT_EQ(disk.read("s/all_xyz_info.txt"),
            info_report("2", {"images/s/north.xyz", "images/s/south.xyz"}));

  run = disk.run_arguments("--quiet --output images/s/merged.txt images/s/south.xyz");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(disk.read("s/merged.txt"), crlf_lines({"1000.000000 -0.250000 7.123457"}));
  EXPECT_EQ(disk.read("s/merged.txt_xyz_info.txt"), info_report("1", {"images/s/south.xyz"}));

  // ".." after a link leads where the link leads, not back: no clash here.
  if (windows_program()) return;  // Windows resolves ".." by the name
  std::filesystem::create_directories(disk.path("s/sub"));
  std::filesystem::create_directories(disk.path("w"));
  std::filesystem::create_directory_symlink("../s/sub", disk.path("w/link"));
  run = disk.run_arguments("-q -o images/w/south.xyz images/w/link/../south.xyz");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read("w/south.xyz"), crlf_lines({"1000.000000 -0.250000 7.123457"}));
}

// Any name the system can show: accented letters of the ANSI code page and
// letters outside it, given on the command line in UTF-8 (Windows takes
// them from its wide command line).
TEST_F(EndToEnd, TheCommandLineTakesNamesInAnyLanguage) {
  setenv("LC_ALL", "C.UTF-8", 1);  // Wine reads the arguments in the locale's encoding
  disk.write("s/relev\u00e9s.xyz", "1 2 3\n");
  disk.write("s/\u03a9mega.xyz", "4 5 6\n");
  const std::string inputs[] = {"images/s/relev\u00e9s.xyz", "images/s/\u03a9mega.xyz"};
  RunResult run =
      disk.run_arguments("-o 'images/s/\u00cele-de-France.xyz' " + inputs[0] + " " + inputs[1]);
  unsetenv("LC_ALL");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read("s/\u00cele-de-France.xyz"),
            crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"}));
  EXPECT_EQ(disk.read("s/\u00cele-de-France_xyz_info.txt"),
            info_report("2", {inputs[0], inputs[1]}));
  EXPECT_NE(run.out.find("File number 2 named " + inputs[1]), std::string::npos) << run.out;
}

TEST_F(EndToEnd, TheCommandLineTakesMoreThan99Inputs) {
  std::string inputs;
  std::vector<std::string> paths;
  std::string points;
  for (int i = 1; i <= 150; ++i) {
    std::string name = "s/t" + std::to_string(1000 + i) + ".xyz";
    disk.write(name, std::to_string(i) + " 0 0\n");
    inputs += " images/" + name;
    paths.push_back("images/" + name);
    points += std::to_string(i) + ".000000 0.000000 0.000000\r\n";
  }
  // On Windows the program expands the pattern itself, in name order.
  std::string pattern = windows_program() ? "'images/s/t*.xyz'" : "images/s/t*.xyz";
  for (const std::string& given : {inputs, " " + pattern}) {
    RunResult run = disk.run_arguments("-q -o images/r.xyz" + given);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(disk.read("r.xyz"), points);
    EXPECT_EQ(disk.read("r_xyz_info.txt"), info_report("150", paths));
  }
}

TEST_F(EndToEnd, TheCommandLineChecksEverythingBeforeCreatingAnything) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/r.xyz", "earlier\r\n");
  struct Case {
    std::string arguments;
    std::string message;  // the start of the one line on standard error
  };
  std::vector<Case> refused = {
      {"-o images/s/r.xyz images/s/a.xyz images/s/none.xyz",
       "stratumix: Cannot read images/s/none.xyz: No such file or directory"},
      {"-o images/s/r.xyz images/s/a.xyz images/s", "stratumix: Cannot read images/s: "},
      {"-o images/s/r.xyz images/s/a.xyz images/s/r.xyz", "stratumix: The output file"},
      {"-o images/s/r.xyz ./images/s/r.xyz", "stratumix: The output file"},
      {"-o images/s/r.xyz images/s/nothing*.xyz", "stratumix: "},
      {"-o images/nowhere/r.xyz images/s/a.xyz", "stratumix: Cannot create images/nowhere/r.xyz"},
      // A line break in a name would split the message, an empty name vanish.
      {"-o images/s/r.xyz 'images/s/a\nb.xyz'", "stratumix: Cannot read images/s/a\\x0ab.xyz: "},
      {"-o images/s/r.xyz ''", "stratumix: Cannot read '': "},
  };
  // Readable to access(), yet no file to open: found before anything is
  // emptied. (The program runs without a terminal.)
  int socket_fd = -1;
  if (!windows_program()) {
    refused.push_back({"-o images/s/r.xyz images/s/a.xyz images/s/socket",
                       "stratumix: Cannot read images/s/socket: No such device or address"});
    refused.push_back({"-o images/s/r.xyz images/s/a.xyz /dev/tty",
                       "stratumix: Cannot read /dev/tty: No such device or address"});
    socket_fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string socket_path = disk.path("s/socket").string();
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    socket_path.copy(address.sun_path, socket_path.size());
    ASSERT_EQ(bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  for (const Case& c : refused) {
    RunResult run = disk.run_arguments(c.arguments);
    EXPECT_EQ(run.status, 1) << c.arguments;
    EXPECT_EQ(run.err.substr(0, c.message.size()), c.message) << run.err;
    EXPECT_EQ(run.out, "") << c.arguments;
    EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n") << c.arguments;
    EXPECT_FALSE(disk.exists("s/r_xyz_info.txt")) << c.arguments;
  }
  for (const char* wrong :
       {"images/s/a.xyz", "-o images/s/r.xyz", "-o images/s/r.xyz -o images/s/q.xyz images/s/a.xyz",
        "--frobnicate -o images/s/r.xyz images/s/a.xyz", "-o"}) {
    RunResult run = disk.run_arguments(wrong);
    EXPECT_EQ(run.status, 1) << wrong;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    EXPECT_TRUE(run.err.ends_with(kTryHelp)) << run.err;
    EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n") << wrong;
  }
  if (socket_fd >= 0) close(socket_fd);
}

// /dev/stdout, a pipe, a device: nothing beside it is the user's to
// write, so there is no info report. Run by an ordinary user, who may
// not write in /dev.
TEST_F(EndToEnd, AResultThatIsNoPlainFileGetsNoInfoReport) {
  if (windows_program()) GTEST_SKIP() << "/dev/stdout is POSIX's";
  disk.write("s/a.xyz", "1 2 3\n");
  // The whole job, the pipe's maker included, as that user.
  std::string user = disk.run_as_ordinary_user();
  std::string job =
      "{ ./stratumix"
      " -q -o /dev/stdout images/s/a.xyz 2> err.txt; echo $? > status.txt; } | cat "
      "> out.txt";
  std::string command = disk.shell_in_workspace(user + "sh -c '" + job + "'");
  ASSERT_EQ(std::system(command.c_str()), 0);
  auto slurp = [&](const char* name) {
    std::ifstream in(disk.work() / name);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(slurp("status.txt"), "0\n") << slurp("err.txt");
  EXPECT_EQ(slurp("out.txt"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(slurp("err.txt"), "");
  EXPECT_FALSE(std::filesystem::exists("/dev/stdout_xyz_info.txt"));
}

TEST_F(EndToEnd, HelpAndVersion) {
  for (const char* help : {"--help", "-h"}) {
    RunResult run = disk.run_arguments(help);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("Usage: stratumix\n")) << run.out;
    EXPECT_NE(run.out.find("_xyz_info.txt"), std::string::npos);
  }
  RunResult run = disk.run_arguments("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with("stratumix ")) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
}

}  // namespace
