// Whatever the disk does and whatever the files hold, the program ends with
// a clear message and the documented status, and never writes a number it
// did not read.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "harness.h"

namespace {

const std::string kA = "c:\\images\\s\\a.xyz";

// A number as "%f" writes it: [-]digits.dddddd, [-]inf or [-]nan.
bool fixed6_text(const std::string& text) {
  std::string magnitude = text.substr(text.starts_with('-') ? 1 : 0);
  if (magnitude == "inf" || magnitude == "nan") return true;
  std::size_t point = magnitude.find('.');
  return point != std::string::npos && point > 0 && magnitude.size() == point + 7 &&
         std::all_of(magnitude.begin(), magnitude.end(),
                     [](char c) { return c == '.' || (c >= '0' && c <= '9'); }) &&
         std::count(magnitude.begin(), magnitude.end(), '.') == 1;
}

// Every line of a result: three such numbers, one space apart, CR LF.
bool well_formed(const std::string& result) {
  std::size_t start = 0;
  while (start < result.size()) {
    std::size_t end = result.find("\r\n", start);
    if (end == std::string::npos) return false;
    std::string line = result.substr(start, end - start);
    std::size_t first = line.find(' ');
    std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.find(' ', second + 1) != std::string::npos)
      return false;
    if (!fixed6_text(line.substr(0, first)) ||
        !fixed6_text(line.substr(first + 1, second - first - 1)) ||
        !fixed6_text(line.substr(second + 1))) {
      return false;
    }
    start = end + 2;
  }
  return true;
}

// Root reads whatever the permission bits say: the job runs as an ordinary
// user.
TEST_F(EndToEnd, AnInputWithoutReadPermissionCannotBeOpened) {
  if (windows_program() && geteuid() == 0) GTEST_SKIP() << "Wine's prefix is root's";
  disk.write("s/a.xyz", "1 2 3\n");
  std::filesystem::permissions(disk.path("s/a.xyz"), std::filesystem::perms::none);
  disk.run_as_ordinary_user();
  RunResult run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dialogue(1) + "\n\n\n\tFile " + kA + " unknown \n");
}

TEST_F(EndToEnd, AnErrorWhileReadingEndsTheRun) {
  if (windows_program()) GTEST_SKIP() << "needs Linux's /proc";
  // Memory at address 0 is never mapped: reading it fails with EIO.
  disk.write("s/b.xyz", "1 2 3\n");
  std::filesystem::create_directories(disk.path("s"));
  std::filesystem::create_symlink("/proc/self/mem", disk.path("s/a.xyz"));
  RunResult run = disk.run(job_answers("s", {"b", "a", "b"}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "stratumix: Cannot read " + as_shown(kA) + ": Input/output error\n");
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"),
            info_report("3", {"c:\\images\\s\\b.xyz", kA, "c:\\images\\s\\b.xyz"}));
}

// Answers that cannot be read did not end: the message says why.
TEST_F(EndToEnd, AnswersThatCannotBeReadSayWhy) {
  if (windows_program()) GTEST_SKIP() << "a folder as standard input is the shell's to refuse";
  RunResult run = disk.run_redirected("", "< images");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "stratumix: The answers cannot be read: Is a directory; nothing was created.\n");
}

TEST_F(EndToEnd, AConsoleThatGoesAwayDoesNotStopTheJob) {
  std::string points;
  for (int i = 0; i < 250000; ++i) points += "1 2 3\n";
  disk.write("s/a.xyz", points);
  RunResult run = disk.run_piped(job_answers("s", {"a"}, "r"), "head -c 10 > out.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.raw_out.size(), 10u);
  EXPECT_TRUE(kBanner.starts_with(run.out)) << run.out;
  EXPECT_EQ(disk.read("s/r.xyz").size(), 250000u * 28);
}

TEST_F(EndToEnd, TextThatIsNoNumberStopsThatFileOnly) {
  for (const char* text : {"-", "+", ".", "1e", "0x", "1,5", "1 2 3 4 5 six", "0x1p", "--1"}) {
    disk.write("s/a.xyz", std::string(text) + " 7 8 9\n");
    disk.write("s/b.xyz", "1 2 3\n");
    RunResult run = disk.run(job_answers("s", {"a", "b"}, "r"));
    EXPECT_EQ(run.status, 2) << text;
    EXPECT_NE(run.err.find("warning: " + kA), std::string::npos) << run.err;
    std::string result = disk.read("s/r.xyz");
    EXPECT_TRUE(well_formed(result)) << result;
    EXPECT_EQ(result.substr(result.size() - 28), "1.000000 2.000000 3.000000\r\n") << text;
  }
}

TEST_F(EndToEnd, ExtremeNumbersAreReadAsCReadsThem) {
  std::string digits = "1" + std::string(4999, '0');
  disk.write("s/a.xyz", digits + " 1e999999 nan(123)\n-1e999999 1e-999999 -" + digits + "\n");
  RunResult run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"inf inf nan", "-inf 0.000000 -inf"}));
  // Infinities are extents like any value met; NaN is none.
  EXPECT_EQ(run.out.substr(run.out.find("\n\n\tlayer")),
            "\n\n\tlayer 1 \n\t\tX_min = -inf X_max = inf \n\t\tY_min = 0.000000 Y_max = inf ");
}

TEST_F(EndToEnd, LoneNumbersAreIncompletePoints) {
  for (const char* text : {"1e999999", "12345", "nan(123)"}) {
    disk.write("s/a.xyz", text);
    RunResult run = disk.run(job_answers("s", {"a"}, "r"));
    EXPECT_EQ(run.status, 2) << text;
    EXPECT_EQ(run.err,
              "stratumix: warning: " + kA + ", line 1: \"" + text +
                  "\" is not a whole point (X Y Z); the rest of this file is not pasted.\n");
    EXPECT_EQ(disk.read("s/r.xyz"), "");
  }
}

TEST_F(EndToEnd, RandomBytesNeverBreakTheProgram) {
  std::mt19937 random(6);
  for (int round = 0; round < 20; ++round) {
    std::string bytes;
    std::size_t size = random() % 20000;
    for (std::size_t i = 0; i < size; ++i) {
      // Mostly the bytes of numbers, so that some points get through.
      std::uint32_t pick = random() % 4;
      bytes += pick == 0 ? static_cast<char>(random() % 256) : "0123456789 .-e\n"[random() % 15];
    }
    disk.write("s/a.xyz", bytes);
    RunResult run = disk.run(job_answers("s", {"a"}, "r"));
    EXPECT_TRUE(run.status == 0 || run.status == 2) << run.status << run.err;
    EXPECT_TRUE(well_formed(disk.read("s/r.xyz")));
    EXPECT_NE(run.out.find("\n\n\tlayer 1 "), std::string::npos);
  }
}

}  // namespace

namespace {

// Nothing lost, nothing mixed in: what a careless or hostile user can do to
// a job, and what must hold afterwards.

TEST_F(EndToEnd, AnInputThatTurnsOutToBeTheResultIsRefusedAndTheNewFilesRemoved) {
  const std::string north = "1 2 3\n";
  disk.write("s/north.xyz", north);
  // "./all" is the result in another spelling; the link leads to the result
  // only once it exists.
  std::filesystem::create_symlink("all.xyz", disk.path("s/link.xyz"));
  for (const char* input : {"./all", "link"}) {
    RunResult run = disk.run(job_answers("s", {"north", input}, "all"));
    EXPECT_EQ(run.status, 1) << input;
    EXPECT_NE(run.err.find("would overwrite input file 2"), std::string::npos) << run.err;
    EXPECT_FALSE(disk.exists("s/all.xyz")) << input;
    EXPECT_FALSE(disk.exists("s/all_xyz_info.txt")) << input;
    EXPECT_EQ(disk.read("s/north.xyz"), north);
  }
}

TEST_F(EndToEnd, ClosedStandardStreamsNeverLetConsoleTextIntoTheResult) {
  disk.write("s/a.xyz", "1 2 3\n4 5 6\n");
  disk.write("s/b.xyz", "7 8 9\nword\n");
  std::string points = crlf_lines(
      {"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000", "7.000000 8.000000 9.000000"});
  for (const char* closed : {">&-", "2>&-"}) {
    RunResult run = disk.run_redirected(job_answers("s", {"a", "b"}, "r"), closed);
    EXPECT_EQ(run.status, 2) << closed;
    EXPECT_EQ(disk.read("s/r.xyz"), points) << closed;
    EXPECT_EQ(disk.read("s/r_xyz_info.txt"),
              info_report("2", {"c:\\images\\s\\a.xyz", "c:\\images\\s\\b.xyz"}));
  }
  RunResult run = disk.run_redirected(job_answers("s", {"a"}, "r2"), "<&-");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(disk.exists("s/r2.xyz"));

  // Nor a standard stream sent to an output file. (Wine cannot tell which
  // file a standard handle it inherited writes to.)
  if (windows_program()) return;
  for (const char* into :
       {"> images/s/r.xyz", "2>> images/s/r.xyz", ">> images/s/r_xyz_info.txt"}) {
    disk.write("s/r.xyz", "earlier\r\n");
    run = disk.run_redirected("", into, "-o images/s/r.xyz images/s/a.xyz");
    EXPECT_EQ(run.status, 1) << into;
    std::string message = into[0] == '2' ? disk.read("s/r.xyz") : run.err;
    EXPECT_NE(message.find("goes to the output file"), std::string::npos) << message;
  }
  run = disk.run_redirected("", "> images/s/r.xyz", "--quiet -o images/s/r.xyz images/s/a.xyz");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"}));
  // With --quiet, standard output may go to the result; standard error
  // with it may not, as a file's warning would land among the points.
  run = disk.run_redirected("", "> images/s/r.xyz 2>&1",
                            "--quiet -o images/s/r.xyz images/s/a.xyz images/s/b.xyz");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(disk.read("s/r.xyz").find("Standard error goes to the output file"), std::string::npos)
      << disk.read("s/r.xyz");
  run = disk.run_redirected("", "2>&1", "-q -o /dev/stdout images/s/a.xyz images/s/b.xyz");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.find("1.000000"), std::string::npos) << run.out;
}

TEST_F(EndToEnd, AFailedSetUpLeavesAnEarlierResultAsItWas) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/r.xyz", "earlier\r\n");
  disk.write("s/r_xyz_info.txt/folder", "");
  RunResult run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Cannot create c:\\images\\s\\r_xyz_info.txt"), std::string::npos);
  EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n");

  // A result that is a link to a file not there yet: the file made through
  // it goes again, the link stays. (Wine shows links as plain files.)
  if (!windows_program()) {
    std::filesystem::create_symlink("target.xyz", disk.path("s/r.xyz.tmp"));
    std::filesystem::rename(disk.path("s/r.xyz.tmp"), disk.path("s/r.xyz"));
    run = disk.run(job_answers("s", {"a"}, "r"));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(std::filesystem::is_symlink(disk.path("s/r.xyz")));
    EXPECT_FALSE(disk.exists("s/target.xyz"));
  }

  // The result and the info report as one file.
  std::filesystem::remove(disk.path("s/r.xyz"));
  std::filesystem::remove_all(disk.path("s/r_xyz_info.txt"));
  disk.write("s/r.xyz", "earlier\r\n");
  std::filesystem::create_hard_link(disk.path("s/r.xyz"), disk.path("s/r_xyz_info.txt"));
  run = disk.run(job_answers("s", {"a"}, "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("are one file"), std::string::npos) << run.err;
  EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n");
}

TEST_F(EndToEnd, ANamedPipeReadsAsWhatItHolds) {
  if (windows_program()) GTEST_SKIP() << "named pipes are POSIX's";
  disk.write("s/b.xyz", "1 2 3\n");
  ASSERT_EQ(mkfifo(disk.path("s/a.xyz").c_str(), 0644), 0);
  // A writer that comes after the job has begun to read: its points are
  // waited for, not taken for an empty file.
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int pipe_fd = open(disk.path("s/a.xyz").c_str(), O_WRONLY);
    if (pipe_fd >= 0 && write(pipe_fd, "5 5 5\n", 6) == 6) close(pipe_fd);
  });
  RunResult run = disk.run(job_answers("s", {"a", "b"}, "r"));
  late.join();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"5.000000 5.000000 5.000000", "1.000000 2.000000 3.000000"}));
  EXPECT_NE(run.out.find("\n\n\tlayer 2 "), std::string::npos);

  // With a writer waiting, whose points the checks before pasting must not
  // take away.
  std::thread writer([&] {
    int pipe_fd = open(disk.path("s/a.xyz").c_str(), O_WRONLY);
    if (pipe_fd >= 0 && write(pipe_fd, "7 8 9\n", 6) == 6) close(pipe_fd);
  });
  run = disk.run_arguments("-q -o images/s/r.xyz images/s/a.xyz images/s/b.xyz");
  writer.join();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"7.000000 8.000000 9.000000", "1.000000 2.000000 3.000000"}));

  // Started under nohup, the job outlives its terminal: the hang-up that
  // comes while it waits for the writer is not an interruption.
  std::thread hang_up([&] {
    int pipe_fd = open(disk.path("s/a.xyz").c_str(), O_WRONLY);  // the job is reading
    std::string pid;
    for (int i = 0; i < 100 && pid.empty(); ++i) {
      std::ifstream in(disk.work() / "pid");
      std::getline(in, pid);
      if (pid.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!pid.empty()) kill(std::stoi(pid), SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (pipe_fd >= 0 && write(pipe_fd, "4 5 6\n", 6) == 6) close(pipe_fd);
  });
  std::string nohup = disk.shell_in_workspace(
      "trap '' HUP; " + disk.program() +
      " -q -o images/s/r.xyz images/s/a.xyz images/s/b.xyz > /dev/null 2>&1 & echo $! > pid;"
      " wait $!");
  int status = std::system(nohup.c_str());
  hang_up.join();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"4.000000 5.000000 6.000000", "1.000000 2.000000 3.000000"}));
}

// A named pipe given twice, or among files, is read in its turn each time:
// its writer's first round goes to its first turn and the second round to
// its second, however far ahead the job reads the files between.
TEST_F(EndToEnd, ANamedPipeGivenTwiceWaitsForItsWriterEachTime) {
  if (windows_program()) GTEST_SKIP() << "named pipes are POSIX's";
  disk.write("s/t0.xyz", "1 2 3\n");
  ASSERT_EQ(mkfifo(disk.path("s/feed").c_str(), 0644), 0);
  // Each round waits for a reader, at most a few seconds, so that a job
  // that no longer reads the pipe leaves the round unfed rather than hung.
  auto feed = [&](const std::vector<std::string>& rounds) {
    int fed = 0;
    for (const std::string& points : rounds) {
      // Time for the job to reach the pipe, and for the last round's reader
      // to see its end and let go.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      int pipe_fd = -1;
      for (int i = 0; i < 500 && pipe_fd < 0; ++i) {
        pipe_fd = open(disk.path("s/feed").c_str(), O_WRONLY | O_NONBLOCK);
        if (pipe_fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (pipe_fd < 0) break;
      fcntl(pipe_fd, F_SETFL, 0);
      if (write(pipe_fd, points.data(), points.size()) == static_cast<ssize_t>(points.size())) {
        ++fed;
      }
      close(pipe_fd);
    }
    return fed;
  };
  for (const char* inputs :
       {"images/s/feed images/s/feed", "images/s/feed images/s/t0.xyz images/s/feed"}) {
    int fed = 0;
    std::thread writer([&] { fed = feed({"7 8 9\n", "4 5 6\n"}); });
    RunResult run = disk.run_arguments(std::string("-q -o images/s/r.xyz ") + inputs);
    writer.join();
    EXPECT_EQ(run.status, 0) << inputs << run.err;
    EXPECT_EQ(fed, 2) << inputs;
    std::vector<std::string> lines = {"7.000000 8.000000 9.000000"};
    if (std::string(inputs).find("t0") != std::string::npos) {
      lines.emplace_back("1.000000 2.000000 3.000000");
    }
    lines.emplace_back("4.000000 5.000000 6.000000");
    EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines(lines)) << inputs;
  }
}

// A job held up by an input that comes slowly, through a named pipe: while
// it waits, the console shows each file done, the info report is whole on
// disk and no second job can write its result; killed, it leaves whole
// lines.
TEST_F(EndToEnd, AJobHeldUpOnAnInputIsVisibleClaimedAndSafeToKill) {
  if (windows_program()) GTEST_SKIP() << "named pipes are POSIX's";
  disk.write("s/a.xyz", "1 2 3\n");
  ASSERT_EQ(mkfifo(disk.path("s/slow.xyz").c_str(), 0644), 0);
  const std::string report = info_report("2", {kA, "c:\\images\\s\\slow.xyz"});
  Background job(disk, job_answers("s", {"a", "slow"}, "r"));
  int pipe_fd = open(disk.path("s/slow.xyz").c_str(), O_WRONLY);  // waits for the job
  ASSERT_GE(pipe_fd, 0);
  std::string some_points;
  for (int i = 0; i < 20000; ++i) some_points += "10 20 30\n";
  ASSERT_EQ(write(pipe_fd, some_points.data(), some_points.size()),
            static_cast<ssize_t>(some_points.size()));

  EXPECT_TRUE(
      job.wait_for_console("\n\tlayer 1 \n\t\tX_min = 1.000000 X_max = 1.000000 "
                           "\n\t\tY_min = 2.000000 Y_max = 2.000000 "
                           "\n\n\tFile number 2 named c:\\images\\s\\slow.xyz"))
      << job.console();
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), report);

  // Neither its result nor its info report, under any name, nor as a
  // report or map renamed over them at the end.
  for (const char* other : {"-o images/s/r.xyz", "-o images/s/r_xyz_info.txt", "-o images/s/r",
                            "--report images/s/r.xyz -o images/s/b.xyz",
                            "--map images/s/r_xyz_info.txt -o images/s/b"}) {
    RunResult second = disk.run_arguments(std::string("-q ") + other + " images/s/a.xyz");
    EXPECT_EQ(second.status, 1) << other;
    EXPECT_NE(second.err.find("another job is writing it"), std::string::npos) << second.err;
    EXPECT_EQ(disk.read("s/r_xyz_info.txt"), report);
    EXPECT_FALSE(disk.exists("s/b.xyz")) << other;
  }

  job.kill_now();
  close(pipe_fd);
  std::string result = disk.read("s/r.xyz");
  EXPECT_TRUE(well_formed(result))
      << result.substr(result.size() - std::min<std::size_t>(80, result.size()));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"), report);
}

// Ctrl-C or a polite kill while pasting: the job stops between two points
// and closes its files, so the result ends with a whole line.
TEST_F(EndToEnd, AnInterruptedJobLeavesWholeLines) {
  if (windows_program()) GTEST_SKIP() << "POSIX signals";
  std::string points;
  for (int i = 0; i < 400000; ++i) points += std::to_string(i) + ".125 6100000.5 1\n";
  disk.write("s/a.xyz", points);
  // Twenty times the file: far more than pasting does before the signal.
  const std::vector<std::string> names(20, "a");
  const std::vector<std::string> paths(20, kA);
  // The info report, whole from the start, then tells how far the job went:
  // the files pasted whole, and the next one if it was begun.
  auto expect_told_how_far = [&](const std::string& report, const std::string& listed) {
    ASSERT_EQ(report.substr(0, listed.size()), listed);
    const std::string told = report.substr(listed.size());
    const std::string head = "\tInterrupted: number of files pasted = ";
    ASSERT_EQ(told.substr(0, head.size()), head) << told;
    const int pasted = std::stoi(told.substr(head.size()));
    const std::string count = std::to_string(pasted);
    const std::string rest = told.substr(head.size() + count.size());
    EXPECT_TRUE(rest == " \r\n\r\n" || rest == " \r\n\t\tFile " + std::to_string(pasted + 1) +
                                                   " pasted up to the interruption \r\n\r\n")
        << told;
    std::string result = disk.read("s/r.xyz");
    const auto lines = std::count(result.begin(), result.end(), '\n');
    EXPECT_EQ(lines / 400000, pasted) << told;
    if (lines % 400000 != 0) {
      EXPECT_NE(rest, " \r\n\r\n") << told;
    }
  };
  for (int signal : {SIGINT, SIGTERM}) {
    Background job(disk, job_answers("s", names, "r"));
    ASSERT_TRUE(job.wait_for_console("File number 1")) << job.console();
    job.send(signal);
    EXPECT_EQ(job.wait(), 128 + signal);
    std::string result = disk.read("s/r.xyz");
    EXPECT_TRUE(well_formed(result)) << result.size();
    EXPECT_LT(result.size(), points.size() * 20);
    expect_told_how_far(disk.read("s/r_xyz_info.txt"), info_report("20", paths));
  }

  // From a shell the console ends on a line break, whether it is a pipe or
  // the terminal the message shares (the message then ends the line).
  std::string inputs = "-o images/s/r.xyz";
  for (int i = 0; i < 20; ++i) inputs += " images/s/a.xyz";
  for (bool on_terminal : {false, true}) {
    Background job(disk, "", on_terminal, inputs);
    ASSERT_TRUE(job.wait_for_console("1/20 images/s/a.xyz: 400000 points")) << job.console();
    job.send(SIGINT);
    EXPECT_EQ(job.wait(), 130);
    std::string console = job.console_to_end();
    const std::string message =
        "Interrupted: the result holds the points pasted so far, in whole lines.";
    if (on_terminal) {
      // Said once, by the summary, on a line of its own; the bar is gone.
      std::size_t at = console.find("\nStopped: " + message + "\r\n");
      ASSERT_NE(at, std::string::npos) << console;
      EXPECT_EQ(console.find("Interrupted"), console.rfind("Interrupted")) << console;
      EXPECT_EQ(console.find(" left", at), std::string::npos) << console;
      EXPECT_TRUE(console.ends_with("\r\n")) << console;
    } else {
      EXPECT_TRUE(console.ends_with("\n")) << console;
      std::ifstream err(disk.work() / "err.txt");
      std::string errors(std::istreambuf_iterator<char>(err), {});
      EXPECT_EQ(errors, "stratumix: " + message + "\n");
    }
    std::vector<std::string> given(20, "images/s/a.xyz");
    expect_told_how_far(disk.read("s/r_xyz_info.txt"), info_report("20", given));
  }
}

// Two jobs started together on one result, again and again for a few
// seconds: each ends done or refused, and the result and its info report
// are whole and one job's, never missing after a job said done.
TEST_F(EndToEnd, TwoJobsRacingForOneResultNeverMixNorLoseIt) {
  disk.write("s/a.xyz", "1 2 3\n");
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "4 5 6\n";
  disk.write("s/big.xyz", big);
  std::string big_result;
  for (int i = 0; i < 20000; ++i) big_result += "4.000000 5.000000 6.000000\r\n";
  const std::string small_result = crlf_lines({"1.000000 2.000000 3.000000"});
  const std::string job = disk.program() + " -q -o images/s/r.xyz images/s/";
  const std::string pair = disk.shell_in_workspace(
      "rm -f images/s/r.xyz images/s/r_xyz_info.txt; (" + job + "a.xyz 2> e1; echo $? > s1) & (" +
      job + "big.xyz 2> e2; echo $? > s2) & wait");
  auto read_work = [&](const char* name) {
    std::ifstream in(disk.work() / name);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int pairs = 0;
  while (std::chrono::steady_clock::now() < deadline && pairs < 400) {
    ++pairs;
    ASSERT_EQ(std::system(pair.c_str()), 0);
    std::string statuses = read_work("s1") + read_work("s2");
    ASSERT_TRUE(statuses == "0\n0\n" || statuses == "0\n1\n" || statuses == "1\n0\n")
        << pairs << ": " << statuses << read_work("e1") << read_work("e2");
    std::string result = disk.read("s/r.xyz");
    std::string report = disk.read("s/r_xyz_info.txt");
    bool small_done = statuses[0] == '0';
    bool big_done = statuses[2] == '0';
    bool small_made =
        small_done && result == small_result && report == info_report("1", {"images/s/a.xyz"});
    bool big_made =
        big_done && result == big_result && report == info_report("1", {"images/s/big.xyz"});
    ASSERT_TRUE(small_made || big_made) << pairs << ": " << statuses << result.size() << " bytes "
                                        << read_work("e1") << read_work("e2");
    for (const char* err : {"e1", "e2"}) {
      std::string message = read_work(err);
      EXPECT_TRUE(message.empty() || message.find("another job is writing it") != std::string::npos)
          << message;
    }
  }
}

// Ctrl-C while a pipe keeps the job waiting stops it there, though the
// writer goes on: its points are taken as they come, not a block at a time.
// Its report says what it pasted and why it stopped.
TEST_F(EndToEnd, AnInterruptionStopsAJobThatAPipeKeepsWaiting) {
  if (windows_program()) GTEST_SKIP() << "named pipes are POSIX's";
  disk.write("s/r.xyz", "earlier\r\n");
  ASSERT_EQ(mkfifo(disk.path("s/slow.xyz").c_str(), 0644), 0);
  Background job(disk, "", false,
                 "-q --report images/s/j.json -o images/s/r.xyz images/s/slow.xyz");
  int pipe_fd = open(disk.path("s/slow.xyz").c_str(), O_WRONLY);  // waits for the job
  ASSERT_GE(pipe_fd, 0);
  ASSERT_EQ(write(pipe_fd, "1 2 3\n", 6), 6);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  job.send(SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // The job may have gone already: then the write fails, and no signal
  // ends the test.
  auto before = signal(SIGPIPE, SIG_IGN);
  if (write(pipe_fd, "4 5 6\n", 6) < 0) {
    EXPECT_EQ(errno, EPIPE);
  }
  signal(SIGPIPE, before);
  close(pipe_fd);
  EXPECT_EQ(job.wait(), 130);
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  std::ifstream err(disk.work() / "err.txt");
  std::string message(std::istreambuf_iterator<char>(err), {});
  EXPECT_NE(message.find("Interrupted: the result holds the points pasted so far"),
            std::string::npos)
      << message;
  std::string report = disk.read("s/j.json");
  for (const char* fact : {"\"finished\": false", "\"stopped_because\": \"Interrupted: the result",
                           "\"exit_status\": 130", "\"files_pasted\": 0", "\"points\": 1,"}) {
    EXPECT_NE(report.find(fact), std::string::npos) << fact << " in " << report;
  }

  // With inputs before the pipe, and after it: those after are read ahead
  // while the job waits, and none of their points may reach the result.
  std::string after;
  for (int i = 0; i < 20000; ++i) after += std::to_string(i) + " 7 7\n";
  disk.write("s/a.xyz", "9 9 9\n");
  disk.write("s/b.xyz", after);
  Background ahead(disk, "", false,
                   "-q --report images/s/j.json -o images/s/r.xyz images/s/a.xyz "
                   "images/s/slow.xyz images/s/b.xyz images/s/b.xyz");
  pipe_fd = open(disk.path("s/slow.xyz").c_str(), O_WRONLY);
  ASSERT_GE(pipe_fd, 0);
  ASSERT_EQ(write(pipe_fd, "1 2 3\n", 6), 6);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ahead.send(SIGINT);
  EXPECT_EQ(ahead.wait(), 130);
  close(pipe_fd);
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"9.000000 9.000000 9.000000", "1.000000 2.000000 3.000000"}));
  report = disk.read("s/j.json");
  for (const char* fact : {"\"exit_status\": 130", "\"files_pasted\": 1", "\"points\": 2,"}) {
    EXPECT_NE(report.find(fact), std::string::npos) << fact << " in " << report;
  }
}

// An interruption before the job is set up, while the answers are typed or
// the inputs checked, leaves every file as it was and says so.
TEST_F(EndToEnd, AnInterruptionBeforeTheJobIsSetUpChangesNothing) {
  if (windows_program()) GTEST_SKIP() << "POSIX signals";
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/r.xyz", "earlier\r\n");
  // The last answer half typed when Ctrl-C comes, or when the terminal
  // closes: each ends as its own signal says.
  for (auto [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGHUP, 129}}) {
    Background job(disk, "", false, "", true);
    job.type("s\n1\na\nr");
    ASSERT_TRUE(job.wait_for_console(kResultPrompt)) << job.console();
    job.send(signal);
    EXPECT_EQ(job.wait(), status) << "signal " << signal;
    EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n");
    EXPECT_FALSE(disk.exists("s/r_xyz_info.txt"));
    std::ifstream err(disk.work() / "err.txt");
    std::string message(std::istreambuf_iterator<char>(err), {});
    EXPECT_EQ(message, "stratumix: Interrupted; nothing was changed.\n");
  }
  // So many inputs that checking them takes a while (about a fifth of a
  // second for 140 000 here), named short through a link to fit in one
  // command line. How long, a job refused once they are checked tells (its
  // result is a folder): the signal comes halfway through.
  disk.write("s/a", "1 2 3\n");
  std::filesystem::create_directory_symlink(disk.path("s"), disk.work() / "s");
  std::ofstream inputs(disk.work() / "inputs.txt");
  for (int i = 0; i < 140000; ++i) inputs << "s/a\n";
  inputs.close();
  const auto start = std::chrono::steady_clock::now();
  RunResult refused = disk.run_arguments("-q -o images/s $(cat inputs.txt)");
  const auto checks = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(refused.status, 1) << refused.err;
  ASSERT_NE(refused.err.find("Cannot create images/s"), std::string::npos) << refused.err;
  Background job(disk, "", false, "-q -o images/s/r.xyz $(cat inputs.txt)");
  std::this_thread::sleep_for(checks / 2);
  job.send(SIGTERM);
  EXPECT_EQ(job.wait(), 143);
  EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n");
  EXPECT_FALSE(disk.exists("s/r_xyz_info.txt"));
  std::ifstream err(disk.work() / "err.txt");
  std::string message(std::istreambuf_iterator<char>(err), {});
  EXPECT_EQ(message, "stratumix: Interrupted; nothing was changed.\n");
}

// A named pipe as the result is claimed as a file is: a second job that
// names it through a link is refused, not spliced into the first's lines.
TEST_F(EndToEnd, TwoJobsCannotWriteOnePipeThroughTwoNames) {
  if (windows_program()) GTEST_SKIP() << "named pipes are POSIX's";
  disk.write("s/a.xyz", "1 2 3\n");
  ASSERT_EQ(mkfifo(disk.path("s/rf").c_str(), 0644), 0);
  std::filesystem::create_symlink("rf", disk.path("s/rl"));
  ASSERT_EQ(mkfifo(disk.path("s/slow.xyz").c_str(), 0644), 0);
  int reader = open(disk.path("s/rf").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int slow = open(disk.path("s/slow.xyz").c_str(), O_RDWR | O_CLOEXEC);  // a writer that stalls
  ASSERT_GE(reader, 0);
  ASSERT_GE(slow, 0);
  // The first input's line shows the job set up, and waiting for the next.
  Background first(disk, "", false, "-o images/s/rf images/s/a.xyz images/s/slow.xyz");
  ASSERT_TRUE(first.wait_for_console("1/2 images/s/a.xyz")) << first.console();
  RunResult second = disk.run_arguments("-q -o images/s/rl images/s/a.xyz");
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.err.find("another job is writing it"), std::string::npos) << second.err;
  ASSERT_EQ(write(slow, "7 8 9\n", 6), 6);
  close(slow);
  EXPECT_EQ(first.wait(), 0);
  std::string piped(4096, '\0');
  ssize_t got = read(reader, piped.data(), piped.size());
  close(reader);
  EXPECT_EQ(piped.substr(0, got > 0 ? static_cast<std::size_t>(got) : 0),
            crlf_lines({"1.000000 2.000000 3.000000", "7.000000 8.000000 9.000000"}));
  EXPECT_FALSE(disk.exists("s/rf_xyz_info.txt"));
}

std::string corpus_file(const std::string& name) {
  std::ifstream in(std::string(STRATUMIX_CORPUS) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(EndToEnd, DamageFoundAtALazFilesEndIsToldWithAllItsPointsPasted) {
  std::string point_wise = corpus_file("lastools-test.laz");
  std::string chunked = corpus_file("pdal-autzen_trim.laz");
  if (point_wise.empty() || chunked.empty()) GTEST_SKIP() << "no corpus at " STRATUMIX_CORPUS;
  // A point-wise stream with a byte changed: its 11781 points, and a
  // warning that some may be wrong.
  point_wise[63893] = static_cast<char>(point_wise[63893] ^ 0x01);
  disk.write("s/d.laz", point_wise);
  RunResult run = disk.run_arguments("-o images/s/r.xyz images/s/d.laz");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("warning: images/s/d.laz, the LAZ points' stream ends at byte "),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("where the file ends: it is damaged; all its points are pasted, but "
                         "some may be wrong.\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("; damaged (see the warning)"), std::string::npos) << run.out;
  EXPECT_NE(
      run.out.find("\nFiles pasted: 1 of 1\nFiles pasted but damaged: 1 (see the warnings)\n"),
      std::string::npos)
      << run.out;
  std::string result = disk.read("s/r.xyz");
  EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 11781);

  // The chunk table's place past 2^63: said as it is, after every point.
  std::size_t points_at = static_cast<unsigned char>(chunked[96]) |
                          static_cast<std::size_t>(static_cast<unsigned char>(chunked[97])) << 8;
  std::uint64_t far = (std::uint64_t{1} << 63) + 5;
  for (std::size_t i = 0; i < 8; ++i) chunked[points_at + i] = static_cast<char>(far >> (8 * i));
  disk.write("s/t.laz", chunked);
  run = disk.run_arguments("-q -o images/s/r.xyz images/s/t.laz");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("not at byte 9223372036854775813 where the table is said to begin"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("the rest of this file is not pasted"), std::string::npos) << run.err;
  result = disk.read("s/r.xyz");
  EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 110000);
}
}  // namespace

namespace {

std::uint64_t las_count(const std::string& las) {
  std::uint64_t count = 0;
  const bool extended = las.size() > 255 && las[25] >= 4;
  const std::size_t at = extended ? 247 : 107;
  for (int i = extended ? 7 : 3; i >= 0; --i)
    count = count << 8 | static_cast<unsigned char>(las[at + static_cast<std::size_t>(i)]);
  return count;
}

// A LAS or LAZ result stopped by Ctrl-C or a kill is whole: its header
// tells the points it holds, which read back as that many.
TEST_F(EndToEnd, AnInterruptedLasOrLazResultTellsTheWholePointsItHolds) {
  if (windows_program()) GTEST_SKIP() << "POSIX signals";
  std::string points;
  for (int i = 0; i < 400000; ++i) points += std::to_string(i) + ".125 6100000.5 1\n";
  disk.write("s/a.xyz", points);
  std::string inputs;
  for (int i = 0; i < 20; ++i) inputs += " images/s/a.xyz";
  for (const char* result : {"r.las", "r.laz"}) {
    for (int signal : {SIGINT, SIGTERM}) {
      Background job(disk, "", false, std::string("-o images/s/") + result + inputs);
      ASSERT_TRUE(job.wait_for_console("1/20 images/s/a.xyz: 400000 points")) << job.console();
      job.send(signal);
      EXPECT_EQ(job.wait(), 128 + signal);
      const std::string las = disk.read(std::string("s/") + result);
      const std::uint64_t count = las_count(las);
      EXPECT_GE(count, 400000u) << result;
      EXPECT_LT(count, 8000000u) << result;
      if (result == std::string("r.las")) {
        const std::size_t first = static_cast<unsigned char>(las[96]) |
                                  static_cast<std::size_t>(static_cast<unsigned char>(las[97]))
                                      << 8;
        EXPECT_EQ(las.size(), first + count * 20) << result;
      }
      RunResult back =
          disk.run_arguments(std::string("-q -o images/s/back.xyz images/s/") + result);
      EXPECT_EQ(back.status, 0) << back.err;
      const std::string text = disk.read("s/back.xyz");
      EXPECT_EQ(static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n')), count);
    }
  }
}

// Its header is completed at the end: a pipe or a device as a LAS result
// is refused before anything is created.
TEST_F(EndToEnd, ALasResultMustBeAFileOnADisk) {
  disk.write("s/a.xyz", "1 2 3\n");
  // Windows takes these names for devices wherever they are; POSIX systems
  // have devices among their files.
  const std::vector<std::string> devices =
      windows_program() ? std::vector<std::string>{"NUL", "con", "COM1.las"}
                        : std::vector<std::string>{"/dev/null", "/dev/stdout"};
  for (const std::string& result : devices) {
    RunResult run = disk.run_arguments("--format las -o " + result + " images/s/a.xyz");
    EXPECT_EQ(run.status, 1) << result;
    EXPECT_NE(run.err.find("is no file on a disk"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << result;
  }
}

}  // namespace
