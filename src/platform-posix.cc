#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "paths.h"
#include "platform.h"

#ifndef STRATUMIX_IMAGES_DIR
#define STRATUMIX_IMAGES_DIR "images"
#endif

namespace platform {

// A console that goes away (the output piped into a program that ends
// early) must not end the job: its writes just fail, as on Windows.
void prepare_console() { std::signal(SIGPIPE, SIG_IGN); }

std::string native_path(const std::string& path) {
  return paths::to_posix(path, STRATUMIX_IMAGES_DIR);
}

bool same_spelling(const std::string& path1, const std::string& path2) {
  return native_path(path1) == native_path(path2);
}

// The key comes from the controlling terminal, not from standard input,
// which may be a file of answers. A process without a terminal (a script, a
// CI job) has nobody at the keyboard, so it does not wait.
void getch() {
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return;
  termios saved{};
  if (tcgetattr(tty, &saved) == 0) {
    termios raw = saved;
    // Without ISIG, Ctrl-C is a key like any other rather than an end that
    // would leave the terminal without echo.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(tty, TCSANOW, &raw) == 0) {
      char key = 0;
      while (read(tty, &key, 1) < 0 && errno == EINTR) {
      }
      tcsetattr(tty, TCSANOW, &saved);
    }
  }
  close(tty);
}

}  // namespace platform
