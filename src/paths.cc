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

std::string for_message(std::string_view name) {
  if (name.empty()) return "''";
  std::string shown;
  shown.reserve(name.size());
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      append_escape(shown, byte);
    } else {
      shown += c;
    }
  }
  return shown;
}

void append_escape(std::string& text, unsigned char byte) {
  static const char kHex[] = "0123456789abcdef";
  text += "\\x";
  text += kHex[byte >> 4];
  text += kHex[byte & 15];
}

bool equal_ignoring_case(std::string_view path1, std::string_view path2) {
  return std::equal(path1.begin(), path1.end(), path2.begin(), path2.end(),
                    [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

}  // namespace paths
