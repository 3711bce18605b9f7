#include "io/paths.h"

#include <algorithm>

#include "num/bytes.h"
#include "platform/platform.h"

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
  const bool utf8 = platform::names_in_utf8();
  std::string shown;
  shown.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    auto byte = static_cast<unsigned char>(name[i]);
    std::size_t length = utf8 && byte >= 0x80 ? utf8_length(name.substr(i)) : 0;
    if (length > 1) {
      // U+0080 to U+009F are C2 80 to C2 9F.
      bool control = byte == 0xc2 && static_cast<unsigned char>(name[i + 1]) < 0xa0;
      for (std::size_t k = 0; k < length; ++k) {
        if (control) {
          append_escape(shown, static_cast<unsigned char>(name[i + k]));
        } else {
          shown += name[i + k];
        }
      }
      i += length;
      continue;
    }
    if (byte < 0x20 || byte == 0x7f || (utf8 && byte >= 0x80 && byte < 0xa0)) {
      append_escape(shown, byte);
    } else {
      shown += name[i];
    }
    ++i;
  }
  return shown;
}

std::string quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  while (!text.empty() && bytes::is_white(text.back())) text.remove_suffix(1);
  std::string shown;
  std::size_t i = 0;
  for (; i != text.size() && shown.size() < kShown; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (bytes::is_white(text[i])) {
      if (shown.empty() || shown.back() != ' ') shown += ' ';
    } else if (byte >= 0x20 && byte < 0x7f) {
      shown += text[i];
    } else {
      append_escape(shown, byte);
    }
  }
  return "\"" + shown + (i != text.size() ? "..." : "") + "\"";
}

std::size_t utf8_length(std::string_view text) {
  if (text.empty()) return 0;
  auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char first = byte(0);
  std::size_t length = first < 0x80                    ? 1
                       : first >= 0xc2 && first < 0xe0 ? 2
                       : first >= 0xe0 && first < 0xf0 ? 3
                       : first >= 0xf0 && first < 0xf5 ? 4
                                                       : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
  }
  if (length == 3 && ((first == 0xe0 && byte(1) < 0xa0) || (first == 0xed && byte(1) >= 0xa0)))
    return 0;
  if (length == 4 && ((first == 0xf0 && byte(1) < 0x90) || (first == 0xf4 && byte(1) >= 0x90)))
    return 0;
  return length;
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
