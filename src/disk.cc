#include "disk.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "background_io.h"
#include "failure.h"
#include "platform.h"

namespace {

std::string system_reason(int error) { return std::strerror(error); }

// The C library's streams, unbuffered: the program buffers in large blocks
// itself, so each block becomes one system call.
class StdioFile {
 public:
  StdioFile(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  StdioFile(const StdioFile&) = delete;
  StdioFile& operator=(const StdioFile&) = delete;
  ~StdioFile() {
    if (file_ != nullptr) std::fclose(file_);
  }

 protected:
  [[noreturn]] void fail(const char* action, int error) const {
    throw Failure{1, "Cannot " + std::string(action) + " " + describe_path(path_) + ": " +
                         system_reason(error)};
  }

  std::FILE* file_;
  std::string path_;
};

class FileSource : public ByteSource, private StdioFile {
 public:
  using StdioFile::StdioFile;
  std::size_t read(char* buffer, std::size_t size) override {
    errno = 0;
    std::size_t got = std::fread(buffer, 1, size, file_);
    if (got == 0 && std::ferror(file_)) fail("read", errno != 0 ? errno : EIO);
    return got;
  }
};

class FileSink : public ByteSink, private StdioFile {
 public:
  using StdioFile::StdioFile;
  void write(const char* data, std::size_t size) override {
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) fail("write", errno != 0 ? errno : EIO);
  }
  void close() override {
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) fail("write", errno != 0 ? errno : EIO);
  }
};

std::FILE* open_unbuffered(const std::string& native, const char* mode, std::string& reason) {
  errno = 0;
  std::FILE* file = std::fopen(native.c_str(), mode);
  if (file == nullptr) {
    reason = system_reason(errno != 0 ? errno : ENOENT);
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

}  // namespace

std::unique_ptr<ByteSource> open_for_reading(const std::string& path, std::string& reason) {
  std::string native = platform::native_path(path);
  // Some systems open a folder for reading; it still holds no points.
  std::error_code error;
  if (std::filesystem::is_directory(native, error)) {
    reason = system_reason(EISDIR);
    return nullptr;
  }
  std::FILE* file = open_unbuffered(native, "rb", reason);
  if (file == nullptr) return nullptr;
  return std::make_unique<ReadAhead>(std::make_unique<FileSource>(file, path));
}

std::unique_ptr<ByteSink> create_file(const std::string& path, std::string& reason) {
  std::FILE* file = open_unbuffered(platform::native_path(path), "wb", reason);
  if (file == nullptr) return nullptr;
  return std::make_unique<WriteBehind>(std::make_unique<FileSink>(file, path));
}

bool same_existing_file(const std::string& path1, const std::string& path2) {
  std::error_code error;
  bool same = std::filesystem::equivalent(platform::native_path(path1),
                                          platform::native_path(path2), error);
  return same && !error;
}

std::string describe_path(const std::string& path) {
  std::string native = platform::native_path(path);
  return native == path ? path : path + " (" + native + ")";
}
