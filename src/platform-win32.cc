#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "paths.h"
#include "platform.h"

namespace platform {
namespace {

// The C library's word for a system error, so that messages read the same
// as those of the POSIX build.
std::string reason_for(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return std::strerror(EACCES);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::strerror(ENOSPC);
    case ERROR_FILENAME_EXCED_RANGE:
      return std::strerror(ENAMETOOLONG);
    default:
      return std::strerror(EIO);
  }
}

bool is_disk_file(std::FILE* file) {
  return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) == FILE_TYPE_DISK;
}

bool stream_missing(std::FILE* stream) {
  int fd = _fileno(stream);
  return fd < 0 || _get_osfhandle(fd) < 0;
}

}  // namespace

// Binary standard streams: the console text the program writes is the same
// bytes as on every other system (the console itself starts a new line on
// "\n" alone).
void prepare_console() {
  if (stream_missing(stdin)) std::freopen("NUL", "rb", stdin);
  if (stream_missing(stdout)) std::freopen("NUL", "wb", stdout);
  if (stream_missing(stderr)) std::freopen("NUL", "wb", stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool console_shared_with_errors() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0 &&
         GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::string native_path(const std::string& path) { return path; }

bool same_spelling(const std::string& path1, const std::string& path2) {
  return paths::equal_ignoring_case(path1, path2);
}

std::FILE* open_for_reading(const std::string& native, std::string& reason) {
  std::error_code error;
  if (std::filesystem::is_directory(native, error)) {
    reason = std::strerror(EISDIR);
    return nullptr;
  }
  errno = 0;
  std::FILE* file = std::fopen(native.c_str(), "rb");
  if (file == nullptr) {
    reason = std::strerror(errno != 0 ? errno : ENOENT);
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

OutputOpening open_for_output(const std::string& native) {
  OutputOpening output;
  // Others may read the file while the job writes it, but no other job may
  // write it: that is the claim.
  HANDLE handle = CreateFileA(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    output.in_use = error == ERROR_SHARING_VIOLATION;
    output.reason = reason_for(error);
    return output;
  }
  output.created = GetLastError() != ERROR_ALREADY_EXISTS;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    output.reason = std::strerror(EMFILE);
    return output;
  }
  output.file = _fdopen(fd, "wb");
  if (output.file == nullptr) {
    _close(fd);
    output.reason = std::strerror(EMFILE);
    return output;
  }
  std::setvbuf(output.file, nullptr, _IONBF, 0);
  return output;
}

bool empty_output(std::FILE* file, std::string& reason) {
  if (!is_disk_file(file)) return true;
  int error = _chsize_s(_fileno(file), 0);
  if (error == 0) return true;
  reason = std::strerror(error);
  return false;
}

std::vector<std::string> expand_wildcards(const std::string& argument) {
  if (argument.find_first_of("*?") == std::string::npos) return {argument};
  std::size_t folder_end = argument.find_last_of("\\/:");
  std::string folder = folder_end == std::string::npos ? "" : argument.substr(0, folder_end + 1);
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(argument.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.push_back(found.cFileName);
    }
  } while (FindNextFileA(search, &found) != 0);
  FindClose(search);
  std::sort(names.begin(), names.end());
  for (std::string& name : names) name.insert(0, folder);
  return names;
}

bool can_wait_for_key() {
  HANDLE input =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  bool console = GetConsoleMode(input, &mode) != 0;
  CloseHandle(input);
  return console;
}

void getch() {
  // Function and arrow keys arrive as two codes; take both, so that the
  // second does not stay behind for whoever reads the console next.
  int key = _getch();
  if (key == 0 || key == 0xE0) _getch();
}

}  // namespace platform
