#include "paths.h"

#include <algorithm>

#ifndef STRATUMIX_IMAGES_DIR
#define STRATUMIX_IMAGES_DIR "images"
#endif

namespace paths {
namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

const std::string_view kImagesFolder = STRATUMIX_IMAGES_DIR;

std::string native(std::string_view composed) {
#ifdef _WIN32
  return std::string(composed);
#else
  return to_posix(composed, kImagesFolder);
#endif
}

std::string to_posix(std::string_view path, std::string_view images_folder) {
  std::string posix;
  if (equal_ignoring_case(path.substr(0, kImagesDirectory.size()), kImagesDirectory)) {
    posix = images_folder;
    if (posix.empty() || posix.back() != '/') posix += '/';
    path.remove_prefix(kImagesDirectory.size());
  }
  posix += path;
  std::replace(posix.begin(), posix.end(), '\\', '/');
  return posix;
}

bool equal_ignoring_case(std::string_view path1, std::string_view path2) {
  return std::equal(path1.begin(), path1.end(), path2.begin(), path2.end(),
                    [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

}  // namespace paths
