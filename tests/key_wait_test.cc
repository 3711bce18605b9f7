// The key wait after a missing file, on a real (pseudo-)terminal: the
// program must wait for the operator, end on one key, and leave the
// terminal as it found it.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "harness.h"

namespace {

using namespace std::chrono_literals;

// Reads what the program shows until `wanted` appears or time runs out.
bool read_until(int terminal, std::string& seen, const std::string& wanted) {
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (seen.find(wanted) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd ready{terminal, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) return false;
    seen.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

// Waits up to ten seconds for the program to end; -1 if it does not.
int wait_for_exit(pid_t child) {
  for (int i = 0; i < 1000; ++i) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(10ms);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return -1;
}

TEST_F(EndToEnd, AMissingFileWaitsForOneKeyOnTheTerminal) {
  disk.write("s/a.xyz", "1 2 3\n");
  std::string answers_file = disk.save_answers(answers("s", {"a", "missing"}, "r"));
  int terminal = -1;
  pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Answers from a file, as in a script; the key from the terminal.
    int input = open(answers_file.c_str(), O_RDONLY);
    dup2(input, STDIN_FILENO);
    execl("/bin/sh", "sh", "-c", disk.command_in_workspace().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  ASSERT_TRUE(read_until(terminal, seen, "Press a key to end.")) << seen;
  std::this_thread::sleep_for(300ms);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "ended without waiting for a key";
  // Closing the console window now must lose nothing: both files are whole.
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(disk.read("s/r_xyz_info.txt"),
            info_report("2", {"c:\\images\\s\\a.xyz", "c:\\images\\s\\missing.xyz"}));

  ASSERT_EQ(write(terminal, "k", 1), 1);
  EXPECT_EQ(wait_for_exit(child), 0);
  termios settings{};
  ASSERT_EQ(tcgetattr(terminal, &settings), 0);
  EXPECT_NE(settings.c_lflag & ECHO, 0u) << "echo left off";
  EXPECT_NE(settings.c_lflag & ICANON, 0u) << "line editing left off";
  EXPECT_EQ(disk.read("s/r.xyz"), crlf_lines({"1.000000 2.000000 3.000000"}));
  close(terminal);
}

// On a terminal, standard error shows where the console is: a message must
// start a line of its own, not go on from a question.
TEST_F(EndToEnd, AMessageAfterAQuestionStartsItsOwnLine) {
  std::string answers_file = disk.save_answers("s\n");
  int terminal = -1;
  pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    int input = open(answers_file.c_str(), O_RDONLY);
    dup2(input, STDIN_FILENO);
    execl("/bin/sh", "sh", "-c", disk.command_in_workspace().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  EXPECT_TRUE(read_until(terminal, seen, "created.")) << seen;
  EXPECT_NE(seen.find("paste ? \r\nstratumix: The answers ended"), std::string::npos) << seen;
  EXPECT_EQ(wait_for_exit(child), 1);
  close(terminal);
}

}  // namespace

int main(int argc, char** argv) { return run_tests(argc, argv); }
