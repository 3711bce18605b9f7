// Writes the manual page, stratumix.1, to standard output: the build makes
// it from the text that --help shows, and `cmake --install` installs it.
#include <cstdio>
#include <string>

#include "app/usage.h"

#ifndef STRATUMIX_VERSION
#define STRATUMIX_VERSION "unknown"
#endif

int main() {
  std::string page = man_page(STRATUMIX_VERSION);
  return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() && std::fflush(stdout) == 0
             ? 0
             : 1;
}
