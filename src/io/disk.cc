#include "io/disk.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>
#include <utility>

#include "io/failure.h"
#include "io/paths.h"
#include "io/threads.h"
#include "platform/platform.h"

namespace {

// The C library's streams, unbuffered: the program buffers in large blocks
// itself, so each block becomes one system call. `shown` names the file in
// messages.
class StdioFile {
 public:
  StdioFile(std::FILE* file, std::string shown) : file_(file), shown_(std::move(shown)) {}
  StdioFile(const StdioFile&) = delete;
  StdioFile& operator=(const StdioFile&) = delete;
  ~StdioFile() {
    if (file_ != nullptr) std::fclose(file_);
  }

 protected:
  [[noreturn]] void fail(const char* action, int error) const {
    throw Failure{1, "Cannot " + std::string(action) + " " + shown_ + ": " + std::strerror(error)};
  }

  std::FILE* file_;
  std::string shown_;
};

// `plain_size`: the size of a plain file as it was opened, -1 for any
// other; a plain file is read without asking again what it is.
class FileSource : public ByteSource, private StdioFile {
 public:
  FileSource(std::FILE* file, std::string shown, std::int64_t plain_size)
      : StdioFile(file, std::move(shown)), plain_size_(plain_size) {}
  std::size_t read(char* buffer, std::size_t size) override {
    errno = 0;
    std::ptrdiff_t got = plain_size_ >= 0 ? platform::read_plain(file_, buffer, size)
                                          : platform::read_some(file_, buffer, size);
    if (got < 0) fail("read", errno != 0 ? errno : EIO);
    return static_cast<std::size_t>(got);
  }
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    return platform::read_at(file_, offset, buffer, size);
  }
  std::int64_t plain_size() const override { return plain_size_; }

 private:
  std::int64_t plain_size_;
};

// A `plain` file is on a disk and can be cut back; a pipe, a device or a
// standard stream keeps what it was given.
class FileSink : public ByteSink, private StdioFile {
 public:
  FileSink(std::FILE* file, std::string shown, bool plain, std::string native)
      : StdioFile(file, std::move(shown)), plain_(plain), native_(std::move(native)) {}
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  ~FileSink() override {
    if (reading_ != nullptr) std::fclose(reading_);
  }
  void write(const char* data, std::size_t size) override {
    errno = 0;
    std::size_t landed = std::fwrite(data, 1, size, file_);
    count_lines(data, landed);
    if (landed != size) {
      int error = errno != 0 ? errno : EIO;
      // A full disk takes part of a block: the file ends on its last whole
      // line again.
      if (plain_ && platform::cut_output(file_, whole_lines_)) written_ = whole_lines_;
      fail("write", error);
    }
  }
  bool cut(std::uint64_t size) override {
    if (file_ == nullptr || !plain_ || size > written_ || !platform::cut_output(file_, size)) {
      return false;
    }
    written_ = whole_lines_ = size;
    return true;
  }
  bool write_at(std::uint64_t offset, const char* data, std::size_t size) override {
    // Within what the file kept, or right after it.
    if (file_ == nullptr || !plain_ || offset > written_ ||
        !platform::write_at(file_, offset, data, size))
      return false;
    written_ = whole_lines_ = std::max<std::uint64_t>(written_, offset + size);
    return true;
  }
  std::size_t read_back(std::uint64_t offset, char* buffer, std::size_t size) override {
    if (file_ == nullptr || !plain_ || offset >= written_) return 0;
    // Opened only when asked: a job that never measures its result keeps
    // no second descriptor.
    if (reading_ == nullptr) reading_ = platform::reopen_for_reading(file_, native_);
    if (reading_ == nullptr) return 0;
    std::ptrdiff_t got = platform::read_at(
        reading_, offset, buffer,
        static_cast<std::size_t>(std::min<std::uint64_t>(size, written_ - offset)));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  void close() override {
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) fail("write", errno != 0 ? errno : EIO);
  }
  std::uint64_t kept() const override { return written_; }

 private:
  void count_lines(const char* data, std::size_t size) {
    written_ += size;
    for (const char* p = data + size; p != data;) {
      if (*--p == '\n') {
        whole_lines_ = written_ - static_cast<std::uint64_t>(data + size - p - 1);
        return;
      }
    }
  }

  bool plain_;
  std::string native_;
  std::FILE* reading_ = nullptr;  // the same file, to read back what it kept
  std::uint64_t written_ = 0;
  std::uint64_t whole_lines_ = 0;  // what was written up to its last line end
};

class SystemClaim : public ClaimedFile {
 public:
  SystemClaim(platform::OutputOpening opening, std::string native, std::string shown)
      : file_(opening.file),
        held_(opening.file),
        created_(opening.created),
        plain_(opening.plain),
        stream_(opening.stream),
        native_(std::move(native)),
        shown_(std::move(shown)) {}
  SystemClaim(const SystemClaim&) = delete;
  SystemClaim& operator=(const SystemClaim&) = delete;
  ~SystemClaim() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  std::unique_ptr<ByteSink> empty_for_writing() override {
    std::string reason;
    // A standard stream holds what the shell put there (`>>`).
    if (!stream_ && !platform::empty_output(file_, created_, reason)) {
      throw Failure{1, "Cannot write " + shown_ + ": " + reason};
    }
    return std::make_unique<FileSink>(std::exchange(file_, nullptr), shown_, plain_ && !stream_,
                                      native_);
  }

  bool plain() const override { return plain_; }

  void give_up() override {
    // Removed while still held, so that no other job can have claimed it.
    if (created_ && held_ != nullptr) platform::remove_output(held_, native_);
    held_ = nullptr;
    if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
  }

 private:
  std::FILE* file_;  // until handed over
  std::FILE* held_;  // until given up: handed over, it is the sink's
  bool created_;
  bool plain_;
  bool stream_;
  std::string native_;
  std::string shown_;
};

// A path as the system compares it: absolute, through the links of the
// part that exists, without "." and "..".
std::filesystem::path normal(const std::filesystem::path& given) {
  std::error_code error;
  // Absolute first: a relative name none of whose parts exists would stay
  // relative, and never match the same name made whole from its folder.
  std::filesystem::path path = std::filesystem::absolute(given, error);
  if (error) path = given;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path.lexically_normal() : canonical;
}

// normal() of many paths in few folders, as a job's inputs are: each
// folder is made whole once, and a file's name put after it, unless the
// name is a `link`, which leads elsewhere, or no file's name ("..").
class NormalPaths {
 public:
  std::filesystem::path of(const std::filesystem::path& path, bool link) {
    std::filesystem::path name = path.filename();
    if (name.empty() || name == "." || name == ".." || link) return normal(path);
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    auto [found, added] = folders_.try_emplace(folder.native());
    if (added) found->second = normal(folder);
    return found->second / name;
  }

 private:
  std::map<std::filesystem::path::string_type, std::filesystem::path> folders_;
};

// Calls work() on every core (at most 8) where there are many paths to
// look at: each is a walk of the path that one thread would wait for in
// turn.
template <typename Work>
void on_every_core(std::size_t paths, const Work& work) {
  constexpr std::size_t kManyPaths = 64;
  const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
  threads::run_on(paths >= kManyPaths ? std::min(cores, 8U) : 1, work);
}

// The identity of each of `paths`, and whether it has one (`found`).
struct Identities {
  std::vector<platform::FileIdentity> files;
  std::vector<char> found;
};

// The identities of `paths`, as `identify(path, identity)` finds them.
template <typename Identify>
Identities identities_of(const std::vector<std::string>& paths, const Identify& identify) {
  Identities all;
  all.files.resize(paths.size());
  all.found.resize(paths.size());
  std::atomic<std::size_t> next{0};
  on_every_core(paths.size(), [&] {
    for (std::size_t k; (k = next.fetch_add(1)) < paths.size();)
      all.found[k] = identify(paths[k], all.files[k]) ? 1 : 0;
  });
  return all;
}

}  // namespace

std::ptrdiff_t Disk::read_plain_file(const std::string& path, char* buffer, std::size_t room,
                                     std::string& reason) {
  std::unique_ptr<ByteSource> source = open_for_reading(path, reason);
  if (source == nullptr) return -1;
  std::size_t got = 0;
  try {
    // A disk in memory may give a few bytes a read.
    for (std::size_t n = 1; n != 0 && got < room; got += n)
      n = source->read(buffer + got, room - got);
  } catch (const Failure&) {
    return -2;
  }
  return static_cast<std::ptrdiff_t>(got);
}

std::string SystemDisk::native(const std::string& path) const {
  return composed_paths_ ? paths::native(path) : path;
}

std::unique_ptr<ByteSource> SystemDisk::open_for_reading(const std::string& path,
                                                         std::string& reason) {
  std::int64_t plain_size = -1;
  std::FILE* file = platform::open_for_reading(native(path), reason, plain_size);
  if (file == nullptr) return nullptr;
  return std::make_unique<FileSource>(file, describe(path), plain_size);
}

std::ptrdiff_t SystemDisk::read_plain_file(const std::string& path, char* buffer, std::size_t room,
                                           std::string& reason) {
  return platform::read_plain_file(native(path), buffer, room, reason);
}

std::unique_ptr<ClaimedFile> SystemDisk::claim(const std::string& path, std::string& reason,
                                               bool& in_use) {
  platform::OutputOpening opening = platform::open_for_output(native(path));
  in_use = opening.in_use;
  if (opening.file == nullptr) {
    reason = opening.reason;
    return nullptr;
  }
  return std::make_unique<SystemClaim>(opening, native(path), describe(path));
}

std::vector<std::size_t> SystemDisk::first_same_file(const std::vector<std::string>& paths,
                                                     const std::vector<std::string>& others) {
  // A path that names no file is the same file as none.
  auto identify = [this](const std::string& path, platform::FileIdentity& identity) {
    if (const platform::PathFacts* facts = found(path)) {
      identity = facts->identity;
      return true;
    }
    return platform::identify(native(path), identity);
  };
  Identities files = identities_of(paths, identify);
  std::vector<std::size_t> first(paths.size(), others.size());
  if (std::none_of(files.found.begin(), files.found.end(), [](char found) { return found != 0; }))
    return first;
  // The inputs against themselves are looked at once.
  Identities other_files = &paths == &others ? Identities{} : identities_of(others, identify);
  const Identities& of_others = &paths == &others ? files : other_files;
  // Each file's first place among the others: thousands of inputs are not
  // each compared with every other.
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> first_of;
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (of_others.found[i] != 0)
      first_of.try_emplace({of_others.files[i].device, of_others.files[i].file}, i);
  }
  for (std::size_t k = 0; k < paths.size(); ++k) {
    if (files.found[k] == 0) continue;
    auto place = first_of.find({files.files[k].device, files.files[k].file});
    if (place != first_of.end()) first[k] = place->second;
  }
  return first;
}

std::vector<std::size_t> SystemDisk::first_same_spelling(const std::vector<std::string>& paths,
                                                         const std::vector<std::string>& others) {
  std::vector<std::filesystem::path> names;
  std::vector<std::filesystem::path> last_parts;
  for (const std::string& path : paths) {
    names.push_back(normal(platform::system_path(native(path))));
    last_parts.push_back(names.back().filename());
  }
  std::vector<std::size_t> first(paths.size(), others.size());
  std::size_t unfound = paths.size();
  NormalPaths normal_others;
  for (std::size_t i = 0; i < others.size() && unfound > 0; ++i) {
    const platform::PathFacts* facts = found(others[i]);
    std::error_code error;
    const std::filesystem::path other = platform::system_path(native(others[i]));
    const bool link = facts != nullptr ? facts->link : std::filesystem::is_symlink(other, error);
    // A name made whole keeps its own last part, unless it is a link, which
    // leads elsewhere, or ends in a dot or a space, which Windows drops: one
    // whose last part is none of the paths' cannot be any of them, and is
    // not made whole (most of thousands of inputs).
    const std::filesystem::path last = other.filename();
    const auto& text = last.native();
    if (!link && !text.empty() && text.back() != '.' && text.back() != ' ') {
      bool may_be = false;
      for (std::size_t k = 0; k < names.size() && !may_be; ++k)
        may_be = first[k] == others.size() && platform::same_spelling(last_parts[k], last);
      if (!may_be) continue;
    }
    const std::filesystem::path whole = normal_others.of(other, link);
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (first[k] == others.size() && platform::same_spelling(names[k], whole)) {
        first[k] = i;
        --unfound;
      }
    }
  }
  return first;
}

bool SystemDisk::can_read(const std::string& path, std::string& reason) {
  return platform::check_readable(native(path), reason);
}

bool SystemDisk::exists(const std::string& path) {
  std::error_code error;
  std::filesystem::file_status status =
      std::filesystem::status(platform::system_path(native(path)), error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool SystemDisk::is_folder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(platform::system_path(native(path)), error);
}

int SystemDisk::standard_stream_writing(const std::string& path) {
  return platform::standard_stream_writing(native(path));
}

std::string SystemDisk::describe(const std::string& path) {
  std::string shown = native(path);
  if (shown == path) return paths::for_message(path);
  return paths::for_message(path) + " (" + paths::for_message(shown) + ")";
}

std::int64_t SystemDisk::size_of(const std::string& path) {
  if (const platform::PathFacts* facts = found(path)) return facts->plain_size;
  return platform::plain_file_size(native(path));
}

void SystemDisk::look_at(const std::vector<std::string>& paths) {
  std::vector<platform::PathFacts> facts(paths.size());
  std::atomic<std::size_t> next{0};
  on_every_core(paths.size(), [&] {
    for (std::size_t k; (k = next.fetch_add(1)) < paths.size();)
      facts[k] = platform::look_at(native(paths[k]));
  });
  looked_at_.reserve(looked_at_.size() + paths.size());
  for (std::size_t k = 0; k < paths.size(); ++k) looked_at_.insert_or_assign(paths[k], facts[k]);
}

const platform::PathFacts* SystemDisk::found(const std::string& path) const {
  if (looked_at_.empty()) return nullptr;
  auto place = looked_at_.find(path);
  return place != looked_at_.end() && place->second.found ? &place->second : nullptr;
}

bool SystemDisk::can_write(const std::string& path, std::string& reason, bool temporary) {
  return platform::check_writable(native(path), reason, temporary);
}

bool SystemDisk::held_by_another_job(const std::string& path) {
  return platform::held_by_another_job(native(path));
}

bool SystemDisk::is_null_device(const std::string& path) {
  return platform::is_null_device(native(path));
}

bool SystemDisk::is_device_name(const std::string& path) {
  return platform::device_by_name(native(path));
}

std::string SystemDisk::written_at(const std::string& path) {
  std::string target = platform::link_target(native(path));
  return target == native(path) ? path : target;
}

bool SystemDisk::write_whole(const std::string& path, const std::string& bytes,
                             std::string& reason) {
  std::string target = native(written_at(path));
  std::error_code error;
  std::filesystem::file_status status =
      std::filesystem::status(platform::system_path(target), error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    // A device or pipe would be replaced by the rename, not written.
    reason = "it is no plain file";
    return false;
  }
  std::string part = target + ".part";
  platform::OutputOpening opening;
  // Another job holds the temporary file only while it writes it, a
  // moment: it is waited for, but not for ever, since a job that was
  // stopped holds it until it goes on.
  for (int waited = 0;; waited += 10) {
    opening = platform::open_temporary(part);
    if (!opening.in_use || waited >= 10000 || platform::interruption() != 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (opening.file == nullptr) {
    reason = opening.in_use ? "another job is writing " + describe(part) : opening.reason;
    return false;
  }
  bool written = platform::empty_output(opening.file, opening.created, reason);
  errno = 0;
  if (written && std::fwrite(bytes.data(), 1, bytes.size(), opening.file) != bytes.size()) {
    reason = std::strerror(errno != 0 ? errno : EIO);
    written = false;
  }
  // A job that took the name as its result or info report since this one
  // was set up would lose it to the rename.
  if (written && platform::held_by_another_job(target)) {
    reason = "another job is writing it";
    written = false;
  }
  written = written && platform::put_in_place(opening.file, part, target, reason);
  // Removed while still held, so that no other job's file is.
  if (!written) platform::remove_output(opening.file, part);
  std::fclose(opening.file);
  return written;
}
