// Runs the program as its operator would: in a fresh working directory,
// with the answers on standard input, and collects everything it leaves.
#ifndef STRATUMIX_TESTS_HARNESS_H_
#define STRATUMIX_TESTS_HARNESS_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "job_text.h"

struct RunResult {
  int status = -1;
  std::string out;  // standard output, the console
  std::string err;  // standard error
  // Standard output as written. The Windows program writes its console in
  // text mode, CR LF for each line break: `out` and `err` hold its text with
  // LF, as the other systems write it.
  std::string raw_out;
};

// The command under test comes from the environment variable
// STRATUMIX_COMMAND (for instance "wine build-win/stratumix.exe"), else from
// the first argument of the test program. The folder that stands for
// c:\images\ is STRATUMIX_IMAGES when set (a Wine prefix's drive_c/images),
// else "images" in the working directory.
class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // Files below c:\images\, named with "/" ("survey1/north.xyz").
  void write(const std::string& name, const std::string& bytes);
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  std::filesystem::path path(const std::string& name) const { return images_ / name; }

  RunResult run(const std::string& answers) const;
  // The program on the command line, with these arguments (shell words) and
  // no standard input, in the working directory, where the folder "images"
  // stands for c:\images.
  RunResult run_arguments(const std::string& arguments) const;
  // The dialogue with the answers, and `redirections` applied after the
  // usual ones (">&-" closes standard output, say).
  RunResult run_redirected(const std::string& answers, const std::string& redirections,
                           const std::string& arguments = "",
                           const std::string& reader = "cat > out.txt") const;
  // The same with the console piped into `reader`, a shell command.
  RunResult run_piped(const std::string& answers, const std::string& reader) const;

  // For runs the test drives itself: stores the answers in the working
  // directory and returns their file's path, and gives the shell command
  // that starts the program there.
  std::string save_answers(const std::string& answers) const;
  std::string command_in_workspace() const;
  // A shell command run in the working directory, where `program` starts
  // the program under test.
  std::string shell_in_workspace(const std::string& shell) const;
  const std::string& program() const { return program_; }

  // Makes the runs that follow go as an ordinary user, for whom permission
  // bits count: when the tests run as root, the user nobody (65534). The
  // working directory and the folders in it and below c:\images are opened
  // to every user, and the program is copied into the working directory,
  // where that user reaches it wherever the build lies. Returns what runs a
  // shell command as that user ("" when the tests already run as one). The
  // Windows program is left as it is.
  std::string run_as_ordinary_user();

  const RunResult& last_run() const { return last_run_; }
  const std::filesystem::path& work() const { return work_; }

 private:
  RunResult run_command(const std::string& command) const;
  std::string cd_to_work() const;  // the shell's way into the working directory

  std::string program_;  // the command that starts the program
  std::filesystem::path work_;
  std::filesystem::path images_;
  std::vector<std::string> made_;  // folders to remove afterwards
  mutable RunResult last_run_;     // shown when a test fails
};

// A run that goes on while the test watches it: its console can be read as
// it comes, and it can be killed. POSIX only.
class Background {
 public:
  // The dialogue with these answers, its console a pipe or, `on_terminal`,
  // a pseudo-terminal that is the program's controlling terminal; with
  // `arguments`, the command line. Answers `typed` come from type() instead.
  Background(const Workspace& workspace, const std::string& answers, bool on_terminal = false,
             const std::string& arguments = "", bool typed = false);
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // Reads the console until `text` has appeared; false after ten seconds.
  bool wait_for_console(const std::string& text);
  const std::string& console() const { return console_; }
  // Reads the console to its end, once the program has gone; gives up
  // after ten seconds.
  const std::string& console_to_end();
  // Waits for the end: the exit status, 128 + the signal, or -1 after ten
  // seconds.
  int wait();
  bool running();
  void kill_now();
  void send(int signal);
  // Answers as they are typed, a piece at a time.
  void type(const std::string& text);
  // The terminal's end that stands for the keyboard and the screen.
  int terminal() const { return console_fd_; }

 private:
  int pid_ = -1;
  int ended_ = -1;  // the exit status, once it is known
  int console_fd_ = -1;
  int typing_fd_ = -1;
  std::string console_;
};

void set_program_command(const std::string& command);

// Takes the command under test from STRATUMIX_COMMAND or the first argument,
// then runs the tests.
int run_tests(int argc, char** argv);

// Whether the program under test is the Windows build (run under Wine).
bool windows_program();

// How the program names a file it composed ("c:\\images\\s\\r.xyz") in a
// message: on POSIX systems followed by the path it really used.
std::string as_shown(const std::string& path);

class EndToEnd : public testing::Test {
 protected:
  void TearDown() override;

  Workspace disk;
};

#endif  // STRATUMIX_TESTS_HARNESS_H_
