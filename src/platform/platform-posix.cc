#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

#include "platform/platform.h"

namespace platform {
namespace {

// The descriptor a file is opened on, waiting for nothing: a named pipe
// opens at once whether or not a program writes it, then reads and
// writes block as usual.
int open_without_waiting(const std::string& native, int flags, bool& created) {
  created = false;
  // A terminal opened never becomes the program's controlling terminal.
  flags |= O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = -1;
  if ((flags & O_CREAT) != 0) {
    // Whether the job made the file decides whether a failed job may remove
    // it, so an existing file is never opened with O_CREAT.
    for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
      fd = open(native.c_str(), flags | O_EXCL, 0666);
      if (fd >= 0) {
        created = true;
      } else if (errno == EEXIST) {
        fd = open(native.c_str(), flags & ~O_CREAT);
        // A link to a file not there yet: the file is made through it.
        if (fd < 0 && errno == ENOENT) {
          fd = open(native.c_str(), flags, 0666);
          created = fd >= 0;
        }
      } else {
        break;
      }
    }
  } else {
    fd = open(native.c_str(), flags);
  }
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool is_regular(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

std::FILE* unbuffered(int fd, const char* mode) {
  std::FILE* file = fdopen(fd, mode);
  if (file == nullptr) {
    int error = errno;
    close(fd);
    errno = error;
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

}  // namespace

namespace {
volatile std::sig_atomic_t noted_signal = 0;
int no_more_answers = -1;  // /dev/null, put in place of the answers

extern "C" void note_signal(int signal) {
  noted_signal = signal;
  // A signal that comes just before the dialogue waits for the next answer
  // would otherwise leave it waiting until a line is typed. With nothing
  // left to read the answers end at once, whenever the signal came, and the
  // dialogue then finds the interruption. dup2 is safe in a handler.
  if (no_more_answers >= 0) dup2(no_more_answers, STDIN_FILENO);
}
}  // namespace

void catch_interruptions() {
  // Once for every run in the process: tests run the program many times.
  if (no_more_answers < 0) no_more_answers = open("/dev/null", O_RDONLY | O_CLOEXEC);
  struct sigaction action {};
  action.sa_handler = note_signal;
  // No SA_RESTART: a read that waits (a named pipe, the answers) ends.
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A job started under nohup, or in the background of a shell without
    // job control, was asked to outlive the terminal and its Ctrl-C: a
    // signal ignored on entry stays ignored.
    struct sigaction before {};
    sigaction(signal, nullptr, &before);
    if (signal != SIGTERM && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int interruption() { return noted_signal; }

void prepare_console() {
  // Descriptors are handed out lowest first: 0, 1 and 2, in that order.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
  }
  // A console that goes away (the output piped into a program that ends
  // early) must not end the job: its writes just fail, as on Windows.
  std::signal(SIGPIPE, SIG_IGN);
  // A result that reaches the file-size limit (ulimit -f) would kill the
  // job in the middle of a line; ignored, the write fails with EFBIG, as on
  // a full disk, and the result is cut back to its last whole line.
  std::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::string> arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void take_names_from_answers() {}

bool answers_typed_at_terminal() { return isatty(STDIN_FILENO) != 0; }

std::string windows_path_elsewhere(const std::string& name) {
  char drive = name.empty() ? '\0' : name[0];
  bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
  if (!letter || name.size() < 3 || name[1] != ':' || name[2] != '\\') return {};
  return "is a Windows path, which this system would take for one file name with backslashes "
         "in the working folder: give the folder's Linux path (images/survey1/all.xyz, say)";
}

bool names_in_utf8() { return true; }

std::string for_console(std::FILE* /*stream*/, const std::string& text) { return text; }

bool nobody_reads(int error) { return error == EPIPE || error == EBADF; }

std::filesystem::path system_path(const std::string& native) { return native; }

bool console_shared_with_errors() {
  struct stat out {};
  struct stat err {};
  return isatty(STDOUT_FILENO) != 0 && isatty(STDERR_FILENO) != 0 &&
         fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 &&
         out.st_rdev == err.st_rdev;
}

int error_terminal_width() {
  if (isatty(STDERR_FILENO) == 0) return 0;
  winsize size{};
  // A terminal that does not say (a serial line) is taken as the usual 80.
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

bool error_terminal_moves_cursor() { return true; }

bool same_spelling(const std::filesystem::path& path1, const std::filesystem::path& path2) {
  return path1.native() == path2.native();
}

bool identify(const std::string& native, FileIdentity& identity) {
  struct stat status {};
  if (stat(native.c_str(), &status) != 0) return false;
  identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
  return true;
}

PathFacts look_at(const std::string& native) {
  PathFacts facts;
  struct stat status {};
  // The path's own look tells all where it is no link, as most are: one
  // call, not two.
  if (lstat(native.c_str(), &status) != 0) return facts;
  facts.link = S_ISLNK(status.st_mode);
  if (facts.link && stat(native.c_str(), &status) != 0) return facts;
  facts.found = true;
  facts.identity = {static_cast<std::uint64_t>(status.st_dev),
                    static_cast<std::uint64_t>(status.st_ino)};
  if (S_ISREG(status.st_mode)) facts.plain_size = static_cast<std::int64_t>(status.st_size);
  return facts;
}

std::FILE* open_for_reading(const std::string& native, std::string& reason,
                            std::int64_t& plain_size) {
  plain_size = -1;
  int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  struct stat status {};
  if (fd >= 0 && fstat(fd, &status) == 0) {
    if (S_ISDIR(status.st_mode)) {
      close(fd);
      fd = -1;
      errno = EISDIR;
    } else if (S_ISREG(status.st_mode)) {
      plain_size = static_cast<std::int64_t>(status.st_size);
    }
  }
  // Read without the flag, as open_without_waiting() leaves every file it
  // opens: a file system of its own (FUSE) may honour it for a plain file.
  // Opened for reading with no other flag that stays, the file's flags are
  // then O_RDONLY alone, set without asking for them first.
  if (fd >= 0) fcntl(fd, F_SETFL, O_RDONLY);
  std::FILE* file = fd < 0 ? nullptr : unbuffered(fd, "rb");
  if (file == nullptr) reason = std::strerror(errno);
  return file;
}

std::ptrdiff_t read_plain_file(const std::string& native, char* buffer, std::size_t room,
                               std::string& reason) {
  // Opened as open_for_reading() opens, so that a file that became a named
  // pipe since it was looked at is not waited for; without the C library's
  // stream, which asks the file's flags again.
  const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    reason = std::strerror(errno);
    return -1;
  }
  struct stat status {};
  std::ptrdiff_t got = -2;
  if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    close(fd);
    reason = std::strerror(EISDIR);
    return -1;
  }
  if (S_ISREG(status.st_mode)) {
    fcntl(fd, F_SETFL, O_RDONLY);
    std::size_t total = 0;
    for (;;) {
      const std::size_t asked = room - total;
      const ssize_t n = read(fd, buffer + total, asked);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      total += static_cast<std::size_t>(n);
      // A plain file gives all it has to a read, up to its end: less than
      // was asked for is its end.
      if (static_cast<std::size_t>(n) < asked || total == room) {
        got = static_cast<std::ptrdiff_t>(total);
        break;
      }
    }
  }
  close(fd);
  return got;
}

std::FILE* open_for_reading(const std::string& native, std::string& reason) {
  std::int64_t plain_size = -1;
  return open_for_reading(native, reason, plain_size);
}

std::ptrdiff_t read_plain(std::FILE* file, char* buffer, std::size_t size) {
  std::size_t got = std::fread(buffer, 1, size, file);
  return got == 0 && std::ferror(file) ? -1 : static_cast<std::ptrdiff_t>(got);
}

std::int64_t plain_file_size(const std::string& native) {
  struct stat status {};
  if (stat(native.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  return static_cast<std::int64_t>(status.st_size);
}

std::ptrdiff_t read_some(std::FILE* file, char* buffer, std::size_t size) {
  int fd = fileno(file);
  if (is_regular(fd)) return read_plain(file, buffer, size);
  // The wait is poll()'s, not read()'s: a signal may reach the other thread
  // and leave this one waiting on a writer that has stalled, so it looks
  // for an interruption a tenth of a second at a time. A named pipe that no
  // program has opened yet does not read as its end, as read() would have
  // it, but waits for its writer: only when that writer has come and gone
  // does poll() say so.
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK) == 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  for (;;) {
    if (interruption() != 0) {
      errno = EINTR;
      return -1;
    }
    pollfd wait{fd, POLLIN, 0};
    int ready = poll(&wait, 1, 100);
    if (ready < 0 && errno != EINTR) return -1;
    if (ready <= 0) continue;
    ssize_t got = read(fd, buffer, size);
    if (got >= 0) return got;
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
  }
}

std::ptrdiff_t read_at(std::FILE* file, std::uint64_t offset, char* buffer, std::size_t size) {
  int fd = fileno(file);
  if (!is_regular(fd)) return -1;
  std::size_t got = 0;
  while (got < size) {
    ssize_t read = pread(fd, buffer + got, size - got, static_cast<off_t>(offset + got));
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) return -1;
    if (read == 0) break;
    got += static_cast<std::size_t>(read);
  }
  return static_cast<std::ptrdiff_t>(got);
}

bool check_readable(const std::string& native, std::string& reason) {
  struct stat status {};
  const bool known = stat(native.c_str(), &status) == 0;
  // Any other file is opened: a socket, or /dev/tty without a terminal,
  // passes access() but cannot be opened.
  if (known && S_ISFIFO(status.st_mode)) {
    if (access(native.c_str(), R_OK) == 0) return true;
    reason = std::strerror(errno);
    return false;
  }
  if (known && S_ISDIR(status.st_mode)) {
    reason = std::strerror(EISDIR);
    return false;
  }
  // Opened and closed, no more: thousands of tiles are checked so.
  int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  close(fd);
  return true;
}

namespace {

// Why the file `native` (whose status is `file`, null for none yet) cannot
// be made or replaced in its folder; 0 when it can.
int replacing_error(const char* folder, const std::string& native, const struct stat* file) {
  struct stat place {};
  if (stat(folder, &place) != 0) return errno;
  if (!S_ISDIR(place.st_mode)) return ENOTDIR;
  if (access(folder, W_OK | X_OK) != 0) return errno;
  if (file == nullptr) return 0;
  if (access(native.c_str(), W_OK) != 0) return errno;
  // In a folder such as /tmp, only its owner replaces another user's file.
  bool shared = (place.st_mode & S_ISVTX) != 0;
  if (shared && geteuid() != 0 && file->st_uid != geteuid() && place.st_uid != geteuid()) {
    return EPERM;
  }
  return 0;
}

}  // namespace

bool check_writable(const std::string& native, std::string& reason, bool temporary) {
  std::string parent = std::filesystem::path(native).parent_path().string();
  const char* folder = parent.empty() ? "." : parent.c_str();
  struct stat file {};
  bool exists = lstat(native.c_str(), &file) == 0;
  int error = exists || errno == ENOENT ? 0 : errno;  // a name too long, a file as folder
  // What a link leads to is told where it is no plain file (/dev/stdin,
  // a pipe); any other link, the rename would replace with a plain file.
  if (error == 0 && exists && S_ISLNK(file.st_mode) &&
      (stat(native.c_str(), &file) != 0 || S_ISREG(file.st_mode))) {
    reason = "it is a symbolic link";
    return false;
  }
  if (error == 0 && exists && temporary && S_ISREG(file.st_mode) && file.st_nlink > 1) {
    reason = "it has other names (hard links)";
    return false;
  }
  if (error == 0 && exists && !S_ISREG(file.st_mode)) {
    // A device or pipe would be replaced by the rename, not written.
    if (!S_ISDIR(file.st_mode)) {
      reason = "it is no plain file";
      return false;
    }
    error = EISDIR;
  }
  if (error == 0) error = replacing_error(folder, native, exists ? &file : nullptr);
  if (error != 0) reason = std::strerror(error);
  return error == 0;
}

bool held_by_another_job(const std::string& native) {
  struct stat status {};
  if (stat(native.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  // A shared lock cannot be had while a job holds the file's exclusive
  // claim; had, it is let go at once.
  bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return held;
}

bool device_by_name(const std::string& /*native*/) { return false; }

bool is_null_device(const std::string& native) {
  struct stat file {};
  struct stat null {};
  return stat(native.c_str(), &file) == 0 && S_ISCHR(file.st_mode) &&
         stat("/dev/null", &null) == 0 && file.st_rdev == null.st_rdev;
}

std::string link_target(const std::string& native) {
  std::string path = native;
  struct stat status {};
  for (int hop = 0; hop < 40 && lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
       ++hop) {
    if (stat(path.c_str(), &status) == 0) {
      // The file as the system finds it. Links such as /dev/stdin lead to
      // names no folder holds (pipe:[...]): then the path stays as given,
      // and what it leads to is known to be no plain file.
      char* real = realpath(path.c_str(), nullptr);
      if (real == nullptr) return native;
      path = real;
      std::free(real);
      return path;
    }
    // A link to a file not there yet: where its last link points.
    std::string to(static_cast<std::size_t>(status.st_size) + 1, '\0');
    ssize_t size = readlink(path.c_str(), to.data(), to.size());
    if (size <= 0 || static_cast<std::size_t>(size) >= to.size()) return path;
    to.resize(static_cast<std::size_t>(size));
    path = to.front() == '/' ? to : (std::filesystem::path(path).parent_path() / to).string();
  }
  return path;
}

int standard_stream_writing(const std::string& native) {
  struct stat file {};
  if (stat(native.c_str(), &file) != 0) return 0;
  // Standard error first: it is refused even where standard output is let
  // through, and both may go to the file.
  for (int fd : {STDERR_FILENO, STDOUT_FILENO}) {
    struct stat stream {};
    if (fstat(fd, &stream) == 0 && stream.st_dev == file.st_dev && stream.st_ino == file.st_ino) {
      return fd;
    }
  }
  return 0;
}

namespace {

// Whether the path still names the file open on `fd`: another job may
// have removed the file it made between this job's open and its claim.
bool names_file(const std::string& native, int fd) {
  struct stat path {};
  struct stat held {};
  return stat(native.c_str(), &path) == 0 && fstat(fd, &held) == 0 && path.st_dev == held.st_dev &&
         path.st_ino == held.st_ino;
}

// Plain files and named pipes can be claimed: two jobs writing to
// /dev/null, say, take nothing from each other, but two writing one pipe
// splice their lines.
bool claimable(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 && (S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode));
}

bool holds_bytes(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size != 0;
}

}  // namespace

namespace {

// The standard stream, or other descriptor, that a name such as
// /dev/stdout, /dev/fd/1 or /proc/self/fd/1 stands for; -1 for any other.
int descriptor_named(const std::string& native) {
  std::string path = std::filesystem::path(native).lexically_normal().string();
  if (path == "/dev/stdin") return STDIN_FILENO;
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  std::string_view number;
  for (std::string_view folder : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.starts_with(folder)) number = std::string_view(path).substr(folder.size());
  }
  if (number.empty() || number.size() > 9 ||
      number.find_first_not_of("0123456789") != std::string_view::npos) {
    return -1;
  }
  return std::stoi(std::string(number));
}

OutputOpening open_unclaimed(const std::string& native, int flags) {
  OutputOpening output;
  // Opened afresh, the file such a name leads to would be written from its
  // start, whatever the shell's `>>` asked, and a file beside it would be
  // the info report: the descriptor itself is the output.
  if (int stream = descriptor_named(native); stream >= 0 && (flags & O_NOFOLLOW) == 0) {
    int fd = fcntl(stream, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) {
      output.reason = std::strerror(errno);
      return output;
    }
    output.plain = false;
    output.stream = true;
    output.file = unbuffered(fd, "wb");
    if (output.file == nullptr) output.reason = std::strerror(errno);
    return output;
  }
  int fd = open_without_waiting(native, O_WRONLY | O_CREAT | flags, output.created);
  if (fd < 0) {
    output.reason = std::strerror(errno);
    return output;
  }
  output.plain = is_regular(fd);
  output.file = unbuffered(fd, "wb");
  if (output.file == nullptr) output.reason = std::strerror(errno);
  return output;
}

}  // namespace

OutputOpening open_unclaimed(const std::string& native) { return open_unclaimed(native, 0); }

bool claim_opened(OutputOpening& output, const std::string& native) {
  int fd = fileno(output.file);
  if (!claimable(fd)) return true;
  bool claimed = flock(fd, LOCK_EX | LOCK_NB) == 0;
  int error = errno;
  // Opened after another job removed its file: what the path names now is
  // to be opened afresh.
  if (claimed && !output.stream && !names_file(native, fd)) {
    std::fclose(output.file);
    output = OutputOpening{};
    return false;
  }
  // Another job came between this job's create and claim, and wrote the
  // file or is writing it: it is that job's, and it stays as it is.
  if (claimed && output.created && holds_bytes(fd)) {
    claimed = false;
    error = EWOULDBLOCK;
  }
  if (!claimed) {
    std::fclose(output.file);
    output.file = nullptr;
    output.created = false;
    output.in_use = error == EWOULDBLOCK;
    output.reason = std::strerror(error);
  }
  return true;
}

OutputOpening open_for_output(const std::string& native) {
  OutputOpening output;
  // Opening and claiming are two steps: the claim may find the path naming
  // another file than the one opened, a few times at most.
  for (int attempt = 0; attempt < 8; ++attempt) {
    output = open_unclaimed(native);
    if (output.file == nullptr || claim_opened(output, native)) return output;
  }
  output.reason = std::strerror(EAGAIN);
  return output;
}

OutputOpening open_temporary(const std::string& native) {
  OutputOpening output;
  for (int attempt = 0; attempt < 8; ++attempt) {
    // A link there is none of the program's making: written through, it
    // would change the file it leads to, and the rename would then put the
    // link in the place of the report.
    output = open_unclaimed(native, O_NOFOLLOW);
    if (output.file == nullptr) {
      if (errno == ELOOP) output.reason = "it is a symbolic link";
      return output;
    }
    struct stat status {};
    const char* unfit = fstat(fileno(output.file), &status) != 0 ? std::strerror(errno)
                        : !S_ISREG(status.st_mode)               ? "it is no plain file"
                        : status.st_nlink > 1                    ? "it has other names (hard links)"
                                                                 : nullptr;
    if (unfit != nullptr) {
      std::fclose(output.file);
      output = OutputOpening{};
      output.reason = unfit;
      return output;
    }
    if (claim_opened(output, native)) return output;
  }
  output.reason = std::strerror(EAGAIN);
  return output;
}

bool put_in_place(std::FILE* file, const std::string& native, const std::string& target,
                  std::string& reason) {
  // Renamed before its bytes reach the disk, the file could be found empty
  // after a power cut, in the place of a whole earlier one.
  if (fsync(fileno(file)) == 0 && rename(native.c_str(), target.c_str()) == 0) return true;
  reason = std::strerror(errno);
  return false;
}

bool cut_output(std::FILE* file, std::uint64_t size) {
  int fd = fileno(file);
  // The file's offset stays where the writing left it: moved back too, or
  // the next write would leave a hole of zeros.
  return is_regular(fd) && ftruncate(fd, static_cast<off_t>(size)) == 0 &&
         fseeko(file, static_cast<off_t>(size), SEEK_SET) == 0;
}

bool write_at(std::FILE* file, std::uint64_t offset, const char* data, std::size_t size) {
  int fd = fileno(file);
  if (!is_regular(fd)) return false;
  std::size_t put = 0;
  while (put < size) {
    ssize_t wrote = pwrite(fd, data + put, size - put, static_cast<off_t>(offset + put));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    put += static_cast<std::size_t>(wrote);
  }
  return true;
}

std::FILE* reopen_for_reading(std::FILE* file, const std::string& native) {
  int fd = open(native.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat reading {};
  struct stat writing {};
  if (fstat(fd, &reading) != 0 || fstat(fileno(file), &writing) != 0 ||
      reading.st_dev != writing.st_dev || reading.st_ino != writing.st_ino) {
    close(fd);
    return nullptr;
  }
  return unbuffered(fd, "rb");
}

void remove_output(std::FILE* file, const std::string& native) {
  // Only while this job still holds the file, and only if the path still
  // names it: another job's file of that name is never removed.
  if (!names_file(native, fileno(file))) return;
  std::error_code error;
  std::filesystem::path made = native;
  // Made through a link that led nowhere: the file made goes, the link
  // stays as the operator left it.
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(made, error))) {
    made = std::filesystem::canonical(made, error);
    if (error) return;
  }
  std::filesystem::remove(made, error);
}

bool empty_output(std::FILE* file, bool created, std::string& reason) {
  int fd = fileno(file);
  // A file cut to nothing makes ext4 write it all out at close, for the
  // sake of programs that rewrite files in place: for a new file, that
  // would cost as long as the whole job.
  if (created || !is_regular(fd) || ftruncate(fd, 0) == 0) return true;
  reason = std::strerror(errno);
  return false;
}

std::string unfit_output_name(const std::string& /*native*/) { return {}; }

std::vector<std::string> expand_wildcards(const std::string& argument) { return {argument}; }

// The key comes from the controlling terminal, not from standard input,
// which may be a file of answers. A process without a terminal (a script, a
// CI job) has nobody at the keyboard, so it does not wait.
bool can_wait_for_key() {
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return false;
  termios settings{};
  bool terminal = tcgetattr(tty, &settings) == 0;
  close(tty);
  return terminal;
}

void getch() {
  // The signals that interrupt are let in only while pselect() waits, which
  // unblocks them and waits in one step: one that came before, however
  // shortly, is found by the look for an interruption, and one that comes
  // after ends the wait. A look every tenth of a second also finds one that
  // another thread took.
  sigset_t interrupting;
  sigemptyset(&interrupting);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupting, signal);
  sigset_t before;
  if (pthread_sigmask(SIG_BLOCK, &interrupting, &before) != 0) return;
  sigset_t waiting = before;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigdelset(&waiting, signal);
  int tty = interruption() == 0 ? open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  termios saved{};
  if (tty >= 0 && tcgetattr(tty, &saved) == 0) {
    termios raw = saved;
    // Without ISIG, Ctrl-C is a key like any other rather than an end that
    // would leave the terminal without echo.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(tty, TCSANOW, &raw) == 0) {
      while (interruption() == 0) {
        fd_set keys;
        FD_ZERO(&keys);
        FD_SET(tty, &keys);
        timespec tenth{0, 100000000};
        int ready = pselect(tty + 1, &keys, nullptr, nullptr, &tenth, &waiting);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char key = 0;
        // A key, or a terminal that went away.
        if (read(tty, &key, 1) >= 0 || errno != EINTR) break;
      }
      tcsetattr(tty, TCSANOW, &saved);
    }
  }
  if (tty >= 0) close(tty);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace platform
