// Stand-ins for the disk in tests: text served a few bytes at a time, so
// that words straddle reads, and bytes collected in a string; each fails on
// cue like a disk that breaks down.
#ifndef STRATUMIX_TESTS_FAKE_DISK_H_
#define STRATUMIX_TESTS_FAKE_DISK_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "io/disk.h"
#include "io/failure.h"
#include "io/paths.h"

class TextSource : public ByteSource {
 public:
  explicit TextSource(std::string text, std::size_t piece = 97)
      : text_(std::move(text)), piece_(piece) {}

  // After the text, a read fails instead of ending it.
  TextSource& failing_at_end() {
    fail_at_end_ = true;
    return *this;
  }

  // Read in order only, as a pipe is.
  TextSource& in_order_only() {
    in_order_only_ = true;
    return *this;
  }

  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    if (in_order_only_) return -1;
    if (offset >= text_.size()) return 0;
    std::size_t n = std::min(size, text_.size() - static_cast<std::size_t>(offset));
    std::copy_n(text_.data() + offset, n, buffer);
    return static_cast<std::ptrdiff_t>(n);
  }

  std::size_t read(char* buffer, std::size_t size) override {
    std::size_t n = std::min({size, piece_, text_.size() - offset_});
    if (n == 0 && fail_at_end_) throw Failure{1, "Cannot read x: Input/output error"};
    std::copy_n(text_.data() + offset_, n, buffer);
    offset_ += n;
    return n;
  }

 private:
  std::string text_;
  std::size_t piece_;
  std::size_t offset_ = 0;
  bool fail_at_end_ = false;
  bool in_order_only_ = false;
};

class StringSink : public ByteSink {
 public:
  // A write that would take `bytes` past `capacity` fails, as on a full disk.
  explicit StringSink(std::string& bytes, std::size_t capacity = SIZE_MAX, int* closes = nullptr)
      : bytes_(bytes), capacity_(capacity), closes_(closes) {}

  void write(const char* data, std::size_t size) override {
    if (size > capacity_ - bytes_.size()) {
      if (out_of_memory_) throw std::bad_alloc();
      throw Failure{1, "Cannot write x: No space left on device"};
    }
    bytes_.append(data, size);
  }
  // Past its capacity, memory runs out rather than the disk's room.
  void run_out_of_memory() { out_of_memory_ = true; }
  void close() override {
    if (closes_ != nullptr) ++*closes_;
  }
  std::uint64_t kept() const override { return bytes_.size(); }
  bool cut(std::uint64_t size) override {
    if (size > bytes_.size()) return false;
    bytes_.resize(size);
    return true;
  }
  std::size_t read_back(std::uint64_t offset, char* buffer, std::size_t size) override {
    if (offset >= bytes_.size()) return 0;
    return bytes_.copy(buffer, size, static_cast<std::size_t>(offset));
  }
  bool write_at(std::uint64_t offset, const char* data, std::size_t size) override {
    if (offset > bytes_.size() || offset + size > capacity_) return false;
    if (offset + size > bytes_.size()) bytes_.resize(static_cast<std::size_t>(offset + size));
    bytes_.replace(static_cast<std::size_t>(offset), size, data, size);
    return true;
  }

 private:
  std::string& bytes_;
  std::size_t capacity_;
  bool out_of_memory_ = false;
  int* closes_;
};

// A whole disk in memory: files by path, no links, no folders.
class MemoryDisk : public Disk {
 public:
  std::map<std::string, std::string> files;
  std::map<std::string, bool> claimed;  // by a job that still holds them
  // The folders there are; a disk that names none has every one.
  std::set<std::string> folders;
  // What the job did to the files, in order: "read a", "claimed r.xyz",
  // "emptied r.xyz", "removed r.xyz".
  std::vector<std::string> events;
  // The most one read gives: a few bytes, so that words straddle reads,
  // or, as a file on a disk gives, all that is asked for.
  std::size_t piece = 97;
  // The most a result at a path may hold before its writes fail, as on a
  // full disk; no limit for a path not named.
  std::map<std::string, std::size_t> room;
  // Results whose writes past their room run out of memory instead.
  std::set<std::string> memory_runs_out;

  std::unique_ptr<ByteSource> open_for_reading(const std::string& path,
                                               std::string& reason) override {
    if (!can_read(path, reason)) return nullptr;
    events.push_back("read " + path);
    return std::make_unique<TextSource>(files[path], piece);
  }
  std::unique_ptr<ClaimedFile> claim(const std::string& path, std::string& reason,
                                     bool& in_use) override {
    in_use = claimed[path];
    if (in_use) {
      reason = "Resource temporarily unavailable";
      return nullptr;
    }
    bool created = files.count(path) == 0;
    files[path];
    claimed[path] = true;
    events.push_back("claimed " + path);
    return std::make_unique<Claim>(*this, path, created);
  }
  std::vector<std::size_t> first_same_file(const std::vector<std::string>& paths,
                                           const std::vector<std::string>& others) override {
    std::vector<std::size_t> first = first_same_spelling(paths, others);
    for (std::size_t k = 0; k < paths.size(); ++k) {
      if (files.count(paths[k]) == 0) first[k] = others.size();
    }
    return first;
  }
  std::vector<std::size_t> first_same_spelling(const std::vector<std::string>& paths,
                                               const std::vector<std::string>& others) override {
    std::vector<std::size_t> first;
    for (const std::string& path : paths) {
      first.push_back(
          static_cast<std::size_t>(std::find(others.begin(), others.end(), path) - others.begin()));
    }
    return first;
  }
  bool can_read(const std::string& path, std::string& reason) override {
    if (files.count(path) != 0) return true;
    reason = "No such file or directory";
    return false;
  }
  bool exists(const std::string& path) override { return files.count(path) != 0; }
  bool is_folder(const std::string& path) override {
    return folders.empty() || folders.count(path) != 0;
  }
  int standard_stream_writing(const std::string& /*path*/) override { return 0; }
  std::string describe(const std::string& path) override { return paths::for_message(path); }
  std::int64_t size_of(const std::string& path) override {
    return files.count(path) != 0 ? static_cast<std::int64_t>(files[path].size()) : -1;
  }
  bool can_write(const std::string& /*path*/, std::string& /*reason*/,
                 bool /*temporary*/) override {
    return true;
  }
  bool held_by_another_job(const std::string& path) override {
    return claimed.count(path) != 0 && claimed[path];
  }
  bool write_whole(const std::string& path, const std::string& bytes,
                   std::string& /*reason*/) override {
    files[path] = bytes;
    events.push_back("wrote " + path);
    return true;
  }

 private:
  class Claim : public ClaimedFile {
   public:
    Claim(MemoryDisk& disk, std::string path, bool created)
        : disk_(disk), path_(std::move(path)), created_(created) {}
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    ~Claim() override {
      if (!handed_over_) disk_.claimed[path_] = false;
    }
    std::unique_ptr<ByteSink> empty_for_writing() override {
      disk_.files[path_].clear();
      disk_.events.push_back("emptied " + path_);
      handed_over_ = true;
      return std::make_unique<HeldSink>(disk_, path_);
    }
    void give_up() override {
      disk_.claimed[path_] = false;
      if (created_ && disk_.files.erase(path_) != 0) disk_.events.push_back("removed " + path_);
    }

   private:
    MemoryDisk& disk_;
    std::string path_;
    bool created_;
    bool handed_over_ = false;
  };

  // A file handed over stays claimed until what writes it is gone, as a
  // system's file does while it is open: the next job may claim it again.
  class HeldSink : public StringSink {
   public:
    HeldSink(MemoryDisk& disk, const std::string& path)
        : StringSink(disk.files[path], disk.room.count(path) != 0 ? disk.room.at(path) : SIZE_MAX),
          disk_(disk),
          path_(path) {
      if (disk.memory_runs_out.count(path) != 0) run_out_of_memory();
    }
    HeldSink(const HeldSink&) = delete;
    HeldSink& operator=(const HeldSink&) = delete;
    ~HeldSink() override { disk_.claimed[path_] = false; }

   private:
    MemoryDisk& disk_;
    std::string path_;
  };
};

#endif  // STRATUMIX_TESTS_FAKE_DISK_H_
