#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

// The code page of the job's names: the ANSI code page, as the narrow file
// functions have it, until the program knows better.
UINT names_code_page = CP_ACP;

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

bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

bool is_disk_file(std::FILE* file) {
  return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) == FILE_TYPE_DISK;
}

bool stream_missing(std::FILE* stream) {
  int fd = _fileno(stream);
  return fd < 0 || _get_osfhandle(fd) < 0;
}

std::wstring wide_name(const std::string& native) {
  return long_form(to_wide(native, names_code_page));
}

// The file goes when its last handle, this one, is closed.
void remove_on_close(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

std::FILE* unbuffered(int fd, const char* mode) {
  std::FILE* file = _fdopen(fd, mode);
  if (file == nullptr) {
    _close(fd);
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

}  // namespace

std::wstring to_wide(const std::string& text, unsigned code_page) {
  if (text.empty()) return {};
  int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string from_wide(const std::wstring& text, unsigned code_page) {
  if (text.empty()) return {};
  int size = static_cast<int>(text.size());
  int length = WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::wstring long_form(const std::wstring& path) {
  // Below this length every file function takes a plain path (a folder
  // must leave room for an 8.3 name in 260).
  constexpr std::size_t kPlainLimit = 248;
  if (path.size() < kPlainLimit || path.rfind(L"\\\\?\\", 0) == 0) return path;
  DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
  full.resize(length);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::vector<std::string> arguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> given;
  for (int i = 1; wide != nullptr && i < count; ++i) given.push_back(from_wide(wide[i], CP_UTF8));
  LocalFree(wide);
  if (!given.empty()) names_code_page = CP_UTF8;
  return given;
}

void take_names_from_answers() {
  names_code_page = is_console(GetStdHandle(STD_INPUT_HANDLE)) ? GetConsoleCP() : CP_ACP;
}

bool answers_typed_at_terminal() { return is_console(GetStdHandle(STD_INPUT_HANDLE)); }

std::string windows_path_elsewhere(const std::string& /*name*/) { return {}; }

bool names_in_utf8() { return (names_code_page == CP_ACP ? GetACP() : names_code_page) == CP_UTF8; }

// The C library gives EINVAL for a pipe whose reader went away (the pipe
// "being closed"); Wine leaves a stream closed at the start closed: EBADF.
bool nobody_reads(int error) { return error == EPIPE || error == EINVAL || error == EBADF; }

std::string for_console(std::FILE* stream, const std::string& text) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (!is_console(handle)) return text;
  UINT shown = GetConsoleOutputCP();
  UINT names = names_code_page == CP_ACP ? GetACP() : names_code_page;
  return names == shown ? text : from_wide(to_wide(text, names), shown);
}

std::filesystem::path system_path(const std::string& native) { return wide_name(native); }

namespace {
volatile LONG noted_event = 0;

BOOL WINAPI note_event(DWORD event) {
  if (noted_event != 0) return FALSE;  // the second one ends the program
  InterlockedExchange(&noted_event, event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 2 : 15);
  // A closing console ends the process when this returns: the job has
  // these seconds to stop and close its files.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    Sleep(4000);
  }
  return TRUE;
}
}  // namespace

void catch_interruptions() { SetConsoleCtrlHandler(note_event, TRUE); }

int interruption() { return static_cast<int>(noted_event); }

// The standard streams are left in text mode, as every Windows program has
// them: a console redirected to a file gets CR LF line ends.
void prepare_console() {
  if (stream_missing(stdin)) std::freopen("NUL", "r", stdin);
  if (stream_missing(stdout)) std::freopen("NUL", "w", stdout);
  if (stream_missing(stderr)) std::freopen("NUL", "w", stderr);
}

bool console_shared_with_errors() {
  return is_console(GetStdHandle(STD_OUTPUT_HANDLE)) && is_console(GetStdHandle(STD_ERROR_HANDLE));
}

int error_terminal_width() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

bool error_terminal_moves_cursor() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  return GetConsoleMode(error, &mode) != 0 &&
         SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool same_spelling(const std::filesystem::path& path1, const std::filesystem::path& path2) {
  const std::wstring& name1 = path1.native();
  const std::wstring& name2 = path2.native();
  return CompareStringOrdinal(name1.c_str(), static_cast<int>(name1.size()), name2.c_str(),
                              static_cast<int>(name2.size()), TRUE) == CSTR_EQUAL;
}

std::FILE* open_for_reading(const std::string& native, std::string& reason,
                            std::int64_t& plain_size) {
  plain_size = -1;
  std::FILE* file = open_for_reading(native, reason);
  if (file == nullptr) return nullptr;
  auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  LARGE_INTEGER size{};
  if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size) != 0)
    plain_size = static_cast<std::int64_t>(size.QuadPart);
  return file;
}

std::FILE* open_for_reading(const std::string& native, std::string& reason) {
  std::wstring name = wide_name(native);
  std::error_code error;
  if (std::filesystem::is_directory(name, error)) {
    reason = std::strerror(EISDIR);
    return nullptr;
  }
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = reason_for(GetLastError());
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    reason = std::strerror(EMFILE);
    return nullptr;
  }
  std::FILE* file = unbuffered(fd, "rb");
  if (file == nullptr) reason = std::strerror(EMFILE);
  return file;
}

std::ptrdiff_t read_plain_file(const std::string& native, char* buffer, std::size_t room,
                               std::string& reason) {
  std::int64_t plain_size = -1;
  std::FILE* file = open_for_reading(native, reason, plain_size);
  if (file == nullptr) return -1;
  std::ptrdiff_t got = -2;
  if (plain_size >= 0) {
    std::size_t total = 0;
    for (;;) {
      const std::ptrdiff_t n = read_plain(file, buffer + total, room - total);
      if (n < 0) break;
      total += static_cast<std::size_t>(n);
      if (n == 0 || total == room) {
        got = static_cast<std::ptrdiff_t>(total);
        break;
      }
    }
  }
  std::fclose(file);
  return got;
}

// Every file is read in whole blocks, as the C library reads it.
std::ptrdiff_t read_some(std::FILE* file, char* buffer, std::size_t size) {
  std::size_t got = std::fread(buffer, 1, size, file);
  return got == 0 && std::ferror(file) ? -1 : static_cast<std::ptrdiff_t>(got);
}

std::ptrdiff_t read_plain(std::FILE* file, char* buffer, std::size_t size) {
  return read_some(file, buffer, size);
}

std::int64_t plain_file_size(const std::string& native) {
  std::error_code error;
  const std::filesystem::path file = system_path(native);
  if (!std::filesystem::is_regular_file(file, error)) return -1;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  return error ? -1 : static_cast<std::int64_t>(size);
}

// Through a handle of its own, whose place no other reading shares.
std::ptrdiff_t read_at(std::FILE* file, std::uint64_t offset, char* buffer, std::size_t size) {
  auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return -1;
  HANDLE own = ReOpenFile(handle, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  if (own == INVALID_HANDLE_VALUE) return -1;
  std::size_t got = 0;
  bool failed = false;
  while (got < size) {
    OVERLAPPED place{};
    std::uint64_t at = offset + got;
    place.Offset = static_cast<DWORD>(at & 0xffffffffu);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD read = 0;
    DWORD asked = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
    if (!ReadFile(own, buffer + got, asked, &read, &place)) {
      failed = GetLastError() != ERROR_HANDLE_EOF;
      break;
    }
    if (read == 0) break;
    got += read;
  }
  CloseHandle(own);
  return failed ? -1 : static_cast<std::ptrdiff_t>(got);
}

namespace {

// Whether `native` names a named pipe, which is no file: opening it, even
// for no access or to look at its attributes, would take a connection its
// server gives once, from the job that reads it.
bool names_pipe(const std::string& native) {
  std::string lower = native.substr(0, 9);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::replace(lower.begin(), lower.end(), '/', '\\');
  return lower == "\\\\.\\pipe\\" || lower == "\\\\?\\pipe\\";
}

}  // namespace

bool check_readable(const std::string& native, std::string& reason) {
  // A pipe is asked whether it is served, not opened: the job would lose
  // the connection its server gives, and what it sends there.
  if (names_pipe(native)) {
    if (WaitNamedPipeW(wide_name(native).c_str(), 1) != 0 || GetLastError() == ERROR_SEM_TIMEOUT)
      return true;
    reason = reason_for(GetLastError());
    return false;
  }
  std::FILE* file = open_for_reading(native, reason);
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

namespace {

// Whether a name is a symbolic link or a junction, which lead elsewhere
// (other reparse points, such as files kept in the cloud, are files).
bool is_link(const std::wstring& name) {
  // A search would take * and ? as wildcards and tell of another file.
  std::size_t start = name.rfind(L"\\\\?\\", 0) == 0 ? 4 : 0;
  if (name.find_first_of(L"*?", start) != std::wstring::npos) return false;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(name.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
          found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

}  // namespace

bool check_writable(const std::string& native, std::string& reason, bool temporary) {
  std::wstring name = wide_name(native);
  DWORD attributes = GetFileAttributesW(name.c_str());
  DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
  // A name too long, say; a missing folder is told below.
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    reason = reason_for(error);
    return false;
  }
  // Not every file system says so of a name it would not make.
  constexpr std::size_t kLongestName = 255;
  std::size_t name_start = name.find_last_of(L"\\/");
  name_start = name_start == std::wstring::npos ? 0 : name_start + 1;
  if (error != ERROR_SUCCESS && name.size() - name_start > kLongestName) {
    reason = std::strerror(ENAMETOOLONG);
    return false;
  }
  if (error == ERROR_SUCCESS && is_link(name)) {
    // The rename would put a plain file in the link's place.
    reason = "it is a symbolic link";
    return false;
  }
  if (error == ERROR_SUCCESS && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    reason = std::strerror(EISDIR);
    return false;
  }
  if (error == ERROR_SUCCESS && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    reason = std::strerror(EACCES);
    return false;
  }
  if (error == ERROR_SUCCESS && temporary) {
    HANDLE handle =
        CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    bool linked = handle != INVALID_HANDLE_VALUE &&
                  GetFileInformationByHandle(handle, &info) != 0 && info.nNumberOfLinks > 1;
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (linked) {
      reason = "it has other names (hard links)";
      return false;
    }
  }
  std::wstring folder = std::filesystem::path(name).parent_path().native();
  if (folder.empty()) folder = L".";
  attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    reason = std::strerror(attributes == INVALID_FILE_ATTRIBUTES ? ENOENT : ENOTDIR);
    return false;
  }
  return true;
}

std::string link_target(const std::string& native) {
  std::wstring name = wide_name(native);
  if (!is_link(name)) return native;
  HANDLE handle =
      CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  // A link to nothing stays a link, and is refused as one.
  if (handle == INVALID_HANDLE_VALUE) return native;
  std::wstring target(32768, L'\0');
  DWORD size = GetFinalPathNameByHandleW(handle, target.data(), static_cast<DWORD>(target.size()),
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(handle);
  if (size == 0 || size >= target.size()) return native;
  target.resize(size);
  // \\?\C:\x as C:\x, which messages show as typed; the long form comes
  // back where the length needs it.
  if (target.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    target = L"\\\\" + target.substr(8);
  } else if (target.rfind(L"\\\\?\\", 0) == 0 && target.size() > 6 && target[5] == L':') {
    target = target.substr(4);
  }
  return from_wide(target, names_code_page);
}

namespace {

// The device that a name whose part before its first dot is `base` opens,
// in capitals, or empty for a file.
std::string device_of(std::string base) {
  // Spaces before the extension are dropped too: "nul .xyz" is NUL.
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& letter : base) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  }
  if (base == "NUL" || base == "CON" || base == "PRN" || base == "AUX" || base == "CONIN$" ||
      base == "CONOUT$") {
    return base;
  }
  bool numbered = base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
                  base[3] >= '1' && base[3] <= '9';
  return numbered ? base : std::string();
}

}  // namespace

bool held_by_another_job(const std::string& native) {
  // A job's output is open for writing and shared for reading alone: a
  // second opening for writing is refused while it holds the file.
  HANDLE handle = CreateFileW(wide_name(native).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

bool is_null_device(const std::string& native) {
  std::size_t folder_end = native.find_last_of("\\/:");
  std::string name = folder_end == std::string::npos ? native : native.substr(folder_end + 1);
  return device_of(name.substr(0, name.find('.'))) == "NUL";
}

bool device_by_name(const std::string& native) {
  std::size_t folder_end = native.find_last_of("\\/:");
  std::string name = folder_end == std::string::npos ? native : native.substr(folder_end + 1);
  return !device_of(name.substr(0, name.find('.'))).empty();
}

namespace {

bool identity_of(HANDLE handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION file{};
  if (GetFileInformationByHandle(handle, &file) == 0) return false;
  identity = {file.dwVolumeSerialNumber,
              (std::uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow};
  return true;
}

}  // namespace

bool identify(const std::string& native, FileIdentity& identity) {
  if (names_pipe(native)) return false;
  // Opened for no access at all, which no sharing mode refuses; a folder
  // opens only with backup semantics.
  HANDLE handle = CreateFileW(wide_name(native).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool known = identity_of(handle, identity);
  CloseHandle(handle);
  return known;
}

PathFacts look_at(const std::string& native) {
  PathFacts facts;
  if (names_pipe(native)) return facts;
  std::error_code error;
  facts.link = std::filesystem::is_symlink(system_path(native), error);
  facts.found = identify(native, facts.identity);
  if (facts.found) facts.plain_size = plain_file_size(native);
  return facts;
}

int standard_stream_writing(const std::string& native) {
  FileIdentity file;
  if (!identify(native, file)) return 0;
  // Standard error first: it is refused even where standard output is let
  // through, and both may go to the file.
  const DWORD streams[] = {STD_ERROR_HANDLE, STD_OUTPUT_HANDLE};
  for (int i = 0; i < 2; ++i) {
    HANDLE stream = GetStdHandle(streams[i]);
    FileIdentity written;
    if (GetFileType(stream) == FILE_TYPE_DISK && identity_of(stream, written) && written == file) {
      return 2 - i;
    }
  }
  return 0;
}

std::string unfit_output_name(const std::string& native) {
  std::size_t folder_end = native.find_last_of("\\/:");
  std::string name = folder_end == std::string::npos ? native : native.substr(folder_end + 1);
  std::string base = name.substr(0, name.find('.'));
  if (std::string device = device_of(base); !device.empty()) {
    // `-o NUL` on purpose, as with any Windows program.
    if (folder_end == std::string::npos && base == name) return {};
    return "would go to the device " + device + ", not to a file";
  }
  // Windows would make all.xyz of all.xyz., and name its report after the
  // name typed: the job would not write the file it says.
  if (name != "." && name != ".." && !name.empty() && (name.back() == '.' || name.back() == ' ')) {
    return std::string("ends in a ") + (name.back() == '.' ? "dot" : "space") +
           ", which Windows drops from file names";
  }
  return {};
}

namespace {

// Others may read the file while the job writes it, but no other job may
// write it: that is the claim, made as the file is opened. A file the job
// makes is opened so that it can be removed while still held.
HANDLE open_claimed(const std::wstring& name, bool& created) {
  created = true;
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return handle;
  created = false;
  return CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

OutputOpening open_for_output(const std::string& native) {
  OutputOpening output;
  std::wstring name = wide_name(native);
  HANDLE handle = INVALID_HANDLE_VALUE;
  // Removed between the two opens: made afresh, a few times at most.
  for (int attempt = 0; attempt < 8 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    handle = open_claimed(name, output.created);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) break;
  }
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    output.in_use = error == ERROR_SHARING_VIOLATION;
    output.reason = reason_for(error);
    // Windows refuses a folder as it refuses a file it may not write: say
    // what the POSIX build says.
    std::error_code unknown;
    if (error == ERROR_ACCESS_DENIED && std::filesystem::is_directory(name, unknown)) {
      output.reason = std::strerror(EISDIR);
    }
    return output;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    if (output.created) remove_on_close(handle);
    CloseHandle(handle);
  } else {
    output.file = unbuffered(fd, "wb");
  }
  if (output.file != nullptr) output.plain = is_disk_file(output.file);
  if (output.file == nullptr) {
    output.reason = std::strerror(EMFILE);
    // Held by no one now: another job that opened it since holds it
    // unshared, and then it stays.
    if (output.created) DeleteFileW(name.c_str());
  }
  return output;
}

OutputOpening open_temporary(const std::string& native) {
  OutputOpening output;
  std::wstring name = wide_name(native);
  // The link itself is opened, not what it leads to, so that it is found.
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE handle = INVALID_HANDLE_VALUE;
  // Removed between the two opens: made afresh, a few times at most. Held
  // with the right to rename it, which only a handle that is open may do
  // while no other job may open it.
  for (int attempt = 0; attempt < 8 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    output.created = true;
    handle = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
      output.created = false;
      handle = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) break;
  }
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    output.created = false;
    output.in_use = error == ERROR_SHARING_VIOLATION;
    output.reason = reason_for(error);
    return output;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const char* unfit = nullptr;
  if (GetFileInformationByHandle(handle, &info) == 0) {
    unfit = std::strerror(EIO);
  } else if (GetFileType(handle) != FILE_TYPE_DISK) {
    unfit = "it is no plain file";
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && is_link(name)) {
    unfit = "it is a symbolic link";
  } else if (info.nNumberOfLinks > 1) {
    unfit = "it has other names (hard links)";
  }
  int fd = unfit != nullptr
               ? -1
               : _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd >= 0) output.file = unbuffered(fd, "wb");
  if (output.file == nullptr) {
    if (fd < 0) {
      if (output.created) remove_on_close(handle);
      CloseHandle(handle);
    }
    output = OutputOpening{};
    output.reason = unfit != nullptr ? unfit : std::strerror(EMFILE);
  }
  return output;
}

bool put_in_place(std::FILE* file, const std::string& /*native*/, const std::string& target,
                  std::string& reason) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  std::wstring to = long_form(std::filesystem::absolute(wide_name(target)).native());
  // The name follows the structure, in the same allocation.
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
  std::copy(to.begin(), to.end(), rename->FileName);
  rename->FileName[to.size()] = L'\0';
  // Renamed before its bytes reach the disk, the file could be found empty
  // after a power cut, in the place of a whole earlier one.
  if (FlushFileBuffers(handle) != 0 &&
      SetFileInformationByHandle(handle, FileRenameInfo, rename,
                                 static_cast<DWORD>(buffer.size())) != 0) {
    return true;
  }
  reason = reason_for(GetLastError());
  return false;
}

bool cut_output(std::FILE* file, std::uint64_t size) {
  // The file's position goes back too, or the next write would leave a gap.
  return is_disk_file(file) && _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0 &&
         _fseeki64(file, static_cast<__int64>(size), SEEK_SET) == 0;
}

bool write_at(std::FILE* file, std::uint64_t offset, const char* data, std::size_t size) {
  if (!is_disk_file(file) || std::fflush(file) != 0) return false;
  const __int64 end = _ftelli64(file);
  if (end < 0 || _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) != 0) return false;
  const bool whole = std::fwrite(data, 1, size, file) == size;
  // The next write goes where it would have gone.
  return _fseeki64(file, end, SEEK_SET) == 0 && std::fflush(file) == 0 && whole;
}

std::FILE* reopen_for_reading(std::FILE* file, const std::string& /*native*/) {
  // The same file as the handle that writes it, whatever its name is now.
  HANDLE writing = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  HANDLE handle =
      ReOpenFile(writing, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  return unbuffered(fd, "rb");
}

void remove_output(std::FILE* file, const std::string& /*native*/) {
  remove_on_close(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

bool empty_output(std::FILE* file, bool created, std::string& reason) {
  if (created || !is_disk_file(file)) return true;
  int error = _chsize_s(_fileno(file), 0);
  if (error == 0) return true;
  reason = std::strerror(error);
  return false;
}

namespace {

// Whether a name fits a pattern of * (any letters) and ? (one letter),
// letter case aside.
bool fits(const std::wstring& pattern, const std::wstring& name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::wstring::npos;  // the last * met, to try it longer
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      star_name = n;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

std::wstring upper_case(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// FindFirstFile matches the short 8.3 names too, so that *.xyz finds
// north.xyz~ (NORTH~1.XYZ): only the names the user sees count. As on
// Windows, a last .* also takes a name without extension (*.* is all).
bool long_name_fits(const std::wstring& pattern, const std::wstring& name) {
  std::wstring upper = upper_case(name);
  if (fits(pattern, upper)) return true;
  return pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, L".*") == 0 &&
         upper.find(L'.') == std::wstring::npos &&
         fits(pattern.substr(0, pattern.size() - 2), upper);
}

}  // namespace

std::vector<std::string> expand_wildcards(const std::string& argument) {
  if (argument.find_first_of("*?") == std::string::npos) return {argument};
  std::size_t folder_end = argument.find_last_of("\\/:");
  std::string folder = folder_end == std::string::npos ? "" : argument.substr(0, folder_end + 1);
  std::wstring pattern = upper_case(to_wide(argument.substr(folder.size()), names_code_page));
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(wide_name(argument).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        long_name_fits(pattern, found.cFileName)) {
      names.push_back(from_wide(found.cFileName, names_code_page));
    }
  } while (FindNextFileW(search, &found) != 0);
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
  bool console = is_console(input);
  CloseHandle(input);
  return console;
}

void getch() {
  // Without a console _getch would wait on nobody, or read what standard
  // input still holds.
  if (!can_wait_for_key()) return;
  // Function and arrow keys arrive as two codes; take both, so that the
  // second does not stay behind for whoever reads the console next.
  int key = _getch();
  if (key == 0 || key == 0xE0) _getch();
}

}  // namespace platform
