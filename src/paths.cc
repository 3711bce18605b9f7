#include "paths.h"

#include <algorithm>

namespace paths {
namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

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
