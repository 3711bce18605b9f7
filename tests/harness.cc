#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "io/paths.h"

namespace {

std::string program_command;

std::string quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

void set_program_command(const std::string& command) { program_command = command; }

int run_tests(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* command = std::getenv("STRATUMIX_COMMAND");
  if (command != nullptr) {
    set_program_command(command);
  } else if (argc > 1) {
    set_program_command(argv[1]);
  } else {
    std::fprintf(stderr, "usage: %s COMMAND (or STRATUMIX_COMMAND=COMMAND)\n", argv[0]);
    return 2;
  }
  return RUN_ALL_TESTS();
}

Workspace::Workspace() : program_(program_command) {
  std::string pattern = (std::filesystem::temp_directory_path() / "stratumix-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  work_ = pattern;
  // c:\images is where the program under test finds it: the folder built
  // in, from the working directory, or a Wine prefix's.
  const char* images = std::getenv("STRATUMIX_IMAGES");
  images_ = images != nullptr ? std::filesystem::path(images)
                              : work_ / std::filesystem::path(paths::kImagesFolder);
  std::filesystem::create_directories(images_);
  // The command line names files from the working directory, as "images/...".
  if (images_ != work_ / "images")
    std::filesystem::create_directory_symlink(images_, work_ / "images");
}

Workspace::~Workspace() {
  std::error_code ignored;
  for (const std::string& folder : made_) std::filesystem::remove_all(images_ / folder, ignored);
  std::filesystem::remove_all(work_, ignored);
}

void Workspace::write(const std::string& name, const std::string& bytes) {
  std::filesystem::path file = images_ / name;
  std::string top = std::filesystem::path(name).begin()->string();
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  made_.push_back(top);
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string Workspace::read(const std::string& name) const { return slurp(images_ / name); }

bool Workspace::exists(const std::string& name) const {
  return std::filesystem::exists(std::filesystem::symlink_status(images_ / name));
}

std::string Workspace::save_answers(const std::string& answers) const {
  std::filesystem::path file = work_ / "answers.txt";
  std::ofstream(file, std::ios::binary) << answers;
  return file.string();
}

std::string Workspace::cd_to_work() const { return "cd " + quote(work_.string()) + " && "; }

std::string Workspace::shell_in_workspace(const std::string& shell) const {
  return cd_to_work() + "{ " + shell + "; }";
}

std::string Workspace::command_in_workspace() const { return cd_to_work() + "exec " + program_; }

std::string Workspace::run_as_ordinary_user() {
  if (windows_program()) return "";
  for (const std::filesystem::path& top : {work_, images_}) {
    std::filesystem::permissions(top, std::filesystem::perms::all);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
      if (entry.is_directory() && !entry.is_symlink())
        std::filesystem::permissions(entry.path(), std::filesystem::perms::all);
    }
  }
  std::filesystem::copy_file(program_command, work_ / "stratumix",
                             std::filesystem::copy_options::overwrite_existing);
  std::string user = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  program_ = user + "./stratumix";
  return user;
}

RunResult Workspace::run(const std::string& answers) const {
  return run_piped(answers, "cat > out.txt");
}

RunResult Workspace::run_arguments(const std::string& arguments) const {
  return run_redirected("", "< /dev/null", arguments);
}

RunResult Workspace::run_piped(const std::string& answers, const std::string& reader) const {
  return run_redirected(answers, "", "", reader);
}

RunResult Workspace::run_redirected(const std::string& answers, const std::string& redirections,
                                    const std::string& arguments, const std::string& reader) const {
  save_answers(answers);
  // setsid: the program runs without a controlling terminal, as in a script,
  // so that it never waits for a key. Its status comes back through a file,
  // past the pipe. A program that hangs is killed, and the test fails.
  std::string command = cd_to_work() + "{ timeout -k 5 120 setsid -w " + program_ + " " +
                        arguments + " < answers.txt 2> err.txt " + redirections +
                        "; echo $? > status.txt; } | " + reader;
  RunResult run = run_command(command);
  // The program's first act is to show its banner. A run that shows nothing
  // never reached the program: Wine now and then fails to start one. Say so
  // and try once more rather than blame the program.
  if (run.out.empty() && windows_program()) {
    std::fprintf(stderr, "note: Wine did not start the program (status %d): %s\n", run.status,
                 run.err.c_str());
    run = run_command(command);
  }
  last_run_ = run;
  return run;
}

RunResult Workspace::run_command(const std::string& command) const {
  for (const char* name : {"status.txt", "out.txt", "err.txt"})
    std::filesystem::remove(work_ / name);
  // The program's status comes through status.txt; the shell's own is the
  // reader's. (Some systems' headers warn when it is left unread.)
  [[maybe_unused]] int shell_status = std::system(command.c_str());
  RunResult run;
  std::string status = slurp(work_ / "status.txt");
  run.status = status.empty() ? -1 : std::stoi(status);
  run.raw_out = slurp(work_ / "out.txt");
  run.out = run.raw_out;
  run.err = slurp(work_ / "err.txt");
  if (windows_program()) {
    for (std::string* text : {&run.out, &run.err}) {
      for (std::size_t at = 0; (at = text->find("\r\n", at)) != std::string::npos;) {
        text->erase(at, 1);
      }
    }
  }
  return run;
}

Background::Background(const Workspace& workspace, const std::string& answers, bool on_terminal,
                       const std::string& arguments, bool typed) {
  std::string input = workspace.save_answers(answers);
  std::string command = workspace.command_in_workspace() + " " + arguments;
  int typing[2] = {-1, -1};
  if (typed && pipe(typing) != 0) throw std::runtime_error("pipe failed");
  std::string errors = (workspace.work() / "err.txt").string();
  int console[2] = {-1, -1};
  if (on_terminal) {
    pid_ = forkpty(&console_fd_, nullptr, nullptr, nullptr);
  } else {
    if (pipe(console) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    console_fd_ = console[0];
  }
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // The signals as a user's shell hands them over, whatever the test
    // runner inherited (a runner under nohup ignores SIGHUP).
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Answers from a file, as in a script; on a terminal, the key from it.
    dup2(typed ? typing[0] : open(input.c_str(), O_RDONLY), STDIN_FILENO);
    if (typed) close(typing[1]);
    if (!on_terminal) {
      setsid();
      dup2(console[1], STDOUT_FILENO);
      dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      close(console[0]);
    }
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (!on_terminal) close(console[1]);
  if (typed) close(typing[0]);
  typing_fd_ = typing[1];
}

Background::~Background() {
  kill_now();
  close(console_fd_);
  if (typing_fd_ >= 0) close(typing_fd_);
}

void Background::type(const std::string& text) {
  if (write(typing_fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("typing failed");
  }
}

bool Background::wait_for_console(const std::string& text) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (console_.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd ready{console_fd_, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    ssize_t got = read(console_fd_, buffer, sizeof buffer);
    if (got <= 0) return console_.find(text) != std::string::npos;
    console_.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

const std::string& Background::console_to_end() {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{console_fd_, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    ssize_t got = read(console_fd_, buffer, sizeof buffer);
    if (got <= 0) break;  // a terminal whose program has gone reads as an error
    console_.append(buffer, static_cast<std::size_t>(got));
  }
  return console_;
}

int Background::wait() {
  if (pid_ <= 0) return ended_;
  for (int i = 0; i < 1000; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

bool Background::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == 0) return true;
  ended_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid_ = -1;
  return false;
}

void Background::send(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

void Background::kill_now() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void EndToEnd::TearDown() {
  if (HasFailure()) {
    const RunResult& run = disk.last_run();
    std::fprintf(stderr, "The last run ended with status %d; its standard error:\n%s\n", run.status,
                 run.err.c_str());
  }
}

bool windows_program() { return program_command.find(".exe") != std::string::npos; }

std::string as_shown(const std::string& path) {
  if (windows_program()) return path;
  return path + " (" + paths::native(path) + ")";
}
