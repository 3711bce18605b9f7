// The program on a real (pseudo-)terminal: after a missing file it must
// wait for the operator, end on one key and leave the terminal as it found
// it; its messages must start lines of their own there.
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "harness.h"

namespace {

using namespace std::chrono_literals;

TEST_F(EndToEnd, AMissingFileWaitsForOneKeyOnTheTerminal) {
  disk.write("s/a.xyz", "1 2 3\n");
  Background job(disk, job_answers("s", {"a", "missing"}, "r"), true);
  ASSERT_TRUE(job.wait_for_console("Press a key to end.")) << job.console();
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(job.running()) << "ended without waiting for a key";
  // Closing the console window now must lose nothing: both files are whole.
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"),
            info_report("2", {"c:\\images\\s\\a.xyz", "c:\\images\\s\\missing.xyz"}));

  ASSERT_EQ(write(job.terminal(), "k", 1), 1);
  EXPECT_EQ(job.wait(), 0);
  termios settings{};
  ASSERT_EQ(tcgetattr(job.terminal(), &settings), 0);
  EXPECT_NE(settings.c_lflag & ECHO, 0u) << "echo left off";
  EXPECT_NE(settings.c_lflag & ICANON, 0u) << "line editing left off";
}

// A folder that does not exist is told at once, and the console window
// stays open for it as for a missing file; nothing is created.
TEST_F(EndToEnd, AMissingFolderWaitsForOneKeyOnTheTerminal) {
  Background job(disk, job_answers("blok7", {"a"}, "r"), true);
  ASSERT_TRUE(job.wait_for_console("Press a key to end.")) << job.console();
  EXPECT_NE(job.console().find("Folder c:\\images\\blok7 unknown"), std::string::npos)
      << job.console();
  EXPECT_EQ(job.console().find("Number of files"), std::string::npos) << job.console();
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(job.running()) << "ended without waiting for a key";
  ASSERT_EQ(write(job.terminal(), "k", 1), 1);
  EXPECT_EQ(job.wait(), 1);
  EXPECT_FALSE(disk.exists("blok7"));
}

// A kill that comes before the wait for a key, however shortly, is not
// lost: the wait ends at once. A missing file's name longer than the
// terminal holds unread keeps the program writing it, before the wait,
// until the test reads the console again.
TEST_F(EndToEnd, AKillJustBeforeTheKeyWaitEndsIt) {
  disk.write("s/a.xyz", "1 2 3\n");
  Background job(disk, job_answers("s", {"a", std::string(200000, 'm')}, "r"), true);
  ASSERT_TRUE(job.wait_for_console("layer 1")) << job.console();
  std::this_thread::sleep_for(200ms);
  job.send(SIGTERM);
  job.console_to_end();
  EXPECT_NE(job.console().find("Press a key to end."), std::string::npos);
  EXPECT_EQ(job.wait(), 143);
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  termios settings{};
  ASSERT_EQ(tcgetattr(job.terminal(), &settings), 0);
  EXPECT_NE(settings.c_lflag & ECHO, 0u) << "echo left off";
}

// On a terminal, standard error shows where the console is: a message must
// start a line of its own, not go on from a question.
TEST_F(EndToEnd, AMessageAfterAQuestionStartsItsOwnLine) {
  disk.write("s/a.xyz", "1 2 3\n");
  Background job(disk, "s\n", true);
  EXPECT_TRUE(job.wait_for_console("created.")) << job.console();
  EXPECT_NE(job.console().find("paste ? \r\nstratumix: The answers ended"), std::string::npos)
      << job.console();
  EXPECT_EQ(job.wait(), 1);
}

}  // namespace

int main(int argc, char** argv) { return run_tests(argc, argv); }
