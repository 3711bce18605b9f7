#include <conio.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "paths.h"
#include "platform.h"

namespace platform {

// Binary standard streams: the console text the program writes is the same
// bytes as on every other system (the console itself starts a new line on
// "\n" alone).
void prepare_console() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::string native_path(const std::string& path) { return path; }

bool same_spelling(const std::string& path1, const std::string& path2) {
  return paths::equal_ignoring_case(path1, path2);
}

void getch() {
  // Function and arrow keys arrive as two codes; take both, so that the
  // second does not stay behind for whoever reads the console next.
  int key = _getch();
  if (key == 0 || key == 0xE0) _getch();
}

}  // namespace platform
