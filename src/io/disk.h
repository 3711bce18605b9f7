// The disk as the program sees it: files of bytes read and written in
// sequence, in blocks, behind small interfaces so that tests can stand in
// for them.
#ifndef STRATUMIX_IO_DISK_H_
#define STRATUMIX_IO_DISK_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

// The size of one read or write: large enough that system calls cost
// next to nothing, small enough that the buffers stay in the processor's
// cache and the program in a few MiB of memory.
inline constexpr std::size_t kIoBlockSize = std::size_t{256} << 10;

// Bytes read in order. read() returns 0 at the end and throws Failure
// (status 1) when the system reports an error.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t read(char* buffer, std::size_t size) = 0;
  // Up to `size` bytes at `offset` from the start, read apart from the
  // reading in order, which stays where it is: for an index that a file
  // keeps at its end. -1 for a source that cannot (a pipe, a stream being
  // decompressed); fewer bytes past the end.
  virtual std::ptrdiff_t read_at(std::uint64_t /*offset*/, char* /*buffer*/, std::size_t /*size*/) {
    return -1;
  }
  // The size of a plain file, as its opening found it; -1 for a pipe, a
  // device, or a source that does not know (then ask the disk).
  virtual std::int64_t plain_size() const { return -1; }
  // The bytes the source gives, from its first, where they stay in memory
  // until the job ends (an input kept whole): a reader may hand them on
  // from there rather than from its copy. Empty for a source read in turn.
  virtual std::string_view lasting_bytes() const { return {}; }
};

// Bytes written in order. write() and close() throw Failure (status 1) when
// the system reports an error.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const char* data, std::size_t size) = 0;
  // Writes the first `size` bytes of `block`, a buffer of `room` bytes: a
  // sink that keeps what it is given may keep the block itself and leave
  // another of the same room in its place, so that nothing is copied.
  virtual void take(std::unique_ptr<char[]>& block, std::size_t size, std::size_t /*room*/) {
    write(block.get(), size);
  }
  virtual void close() = 0;
  // Waits for the writes a sink makes behind the program's back
  // (write_behind.h) and throws what they threw, as write() would have.
  virtual void drain() {}
  // The bytes the file holds of those written to it: after a failed write,
  // those it kept.
  virtual std::uint64_t kept() const = 0;
  // Cuts the file back to its first `size` bytes, at most those it kept,
  // for a job that takes back what it wrote, also after a failed write.
  // False where nothing can be taken back: a pipe, a device, a standard
  // stream, a file closed.
  virtual bool cut(std::uint64_t size) = 0;
  // Writes `size` bytes over bytes the file kept, from `offset` (at most
  // their end, past which the file grows), for a header completed at the
  // end; false where it cannot (a pipe, a device, a file closed, a write
  // that failed).
  virtual bool write_at(std::uint64_t /*offset*/, const char* /*data*/, std::size_t /*size*/) {
    return false;
  }
  // Reads back up to `size` of the bytes the file kept, from `offset`, for
  // a job that measures what its result holds; 0 where they cannot be
  // read (a pipe, a device, a file the user may not read).
  virtual std::size_t read_back(std::uint64_t /*offset*/, char* /*buffer*/, std::size_t /*size*/) {
    return 0;
  }
};

// An output file that a job has opened and claimed but not yet emptied: a
// job holds both its outputs this way before it changes either.
class ClaimedFile {
 public:
  virtual ~ClaimedFile() = default;
  // Empties the file and hands it over for writing. Throws Failure.
  virtual std::unique_ptr<ByteSink> empty_for_writing() = 0;
  // Whether it is a file on a disk, not a standard stream, pipe or device.
  virtual bool plain() const { return true; }
  // Lets the file go untouched, or, if the job created it, removes it,
  // since it was not there before: also once handed over, but before what
  // writes it is closed, while the job still holds it.
  virtual void give_up() = 0;
};

// Files by path. A path is what the operator sees; it names the file in
// messages (through describe()). On failure the open calls return null and
// set `reason` to the system's word.
class Disk {
 public:
  virtual ~Disk() = default;
  virtual std::unique_ptr<ByteSource> open_for_reading(const std::string& path,
                                                       std::string& reason) = 0;
  // Reads up to `room` bytes of the plain file at `path` into `buffer`:
  // the bytes read; -1 where it cannot be opened (`reason` why); -2 where
  // it could but is no plain file or failed to be read. By default through
  // open_for_reading().
  virtual std::ptrdiff_t read_plain_file(const std::string& path, char* buffer, std::size_t room,
                                         std::string& reason);
  // Opens a file for writing, creating it if missing but emptying nothing,
  // and claims it against other jobs: `in_use` tells that another holds it.
  virtual std::unique_ptr<ClaimedFile> claim(const std::string& path, std::string& reason,
                                             bool& in_use) = 0;
  // For each of `paths`, the first of `others` that is the same existing
  // file (through links, other spellings, letter case where the system
  // ignores it), or others.size(): each file is looked at once.
  virtual std::vector<std::size_t> first_same_file(const std::vector<std::string>& paths,
                                                   const std::vector<std::string>& others) = 0;
  // For each of `paths`, the first of `others` that is the same name, before
  // any file exists, or others.size(): each name is made whole once.
  virtual std::vector<std::size_t> first_same_spelling(const std::vector<std::string>& paths,
                                                       const std::vector<std::string>& others) = 0;
  // Whether a file can be opened for reading; `reason` tells why not.
  virtual bool can_read(const std::string& path, std::string& reason) = 0;
  // Whether something other than a folder is at `path` (a file, a pipe, a
  // device), readable or not. Opens nothing.
  virtual bool exists(const std::string& path) = 0;
  // Whether `path` is a folder. Opens nothing.
  virtual bool is_folder(const std::string& path) = 0;
  // Which standard stream writes to this file: 1 standard output, 2
  // standard error, 0 neither.
  virtual int standard_stream_writing(const std::string& path) = 0;
  // The path for messages.
  virtual std::string describe(const std::string& path) = 0;
  // The size of a plain file, -1 for one that has none beforehand (a pipe,
  // a device) or cannot be looked at. Never opens the file: opening a named
  // pipe would take its writer's data away.
  virtual std::int64_t size_of(const std::string& path) = 0;
  // The file that write_whole() makes or replaces for `path`: where a link
  // at `path` leads, since the rename would otherwise replace the link.
  virtual std::string written_at(const std::string& path) { return path; }
  // Whether write_whole() could make or replace the file: it is a plain
  // file or none yet, in a folder that lets files be made; as its
  // `temporary` file, also one without other names. Creates nothing.
  virtual bool can_write(const std::string& path, std::string& reason, bool temporary) = 0;
  // Whether another job holds the file as its result or info report:
  // replaced whole, it would be lost to that job. Claims nothing.
  virtual bool held_by_another_job(const std::string& path) = 0;
  // Whether the path is the null device, which keeps nothing it is given.
  virtual bool is_null_device(const std::string& /*path*/) { return false; }
  // Whether the system takes the path for a device by its name alone.
  virtual bool is_device_name(const std::string& /*path*/) { return false; }
  // Whether inputs may be opened and read on other threads, ahead of their
  // turn: open_for_reading() and describe() may be called from several at
  // once, and the files read give the same bytes in any order.
  virtual bool reads_ahead() const { return false; }
  // Looks at each of `paths` now, once, and until forget_looked_at()
  // answers size_of(), first_same_file() and first_same_spelling() for
  // those found from that look: the checks before a job ask of each of
  // thousands of inputs four times, and each ask is a walk of its path.
  // A path that named no file is looked at again when asked of: the job's
  // own outputs, made meanwhile, may be what it leads to now. The strings
  // of `paths` must stay as they are until then.
  virtual void look_at(const std::vector<std::string>& /*paths*/) {}
  virtual void forget_looked_at() {}
  // Writes `bytes` as the content of the file written_at(path) under a
  // temporary name beside it (that path then ".part"), then renames that
  // over it, so that the file is never seen half written, also while
  // another job writes it. Returns false and sets `reason` on failure.
  virtual bool write_whole(const std::string& path, const std::string& bytes,
                           std::string& reason) = 0;
};

// The system's disk. With composed paths, the paths are the Windows paths
// the dialogue composes ("c:\\images\\s\\a.xyz"), found on the system at
// paths::native and described with both forms where they differ;
// otherwise they are the system's own paths, used as they are.
class SystemDisk : public Disk {
 public:
  explicit SystemDisk(bool composed_paths) : composed_paths_(composed_paths) {}
  std::unique_ptr<ByteSource> open_for_reading(const std::string& path,
                                               std::string& reason) override;
  std::ptrdiff_t read_plain_file(const std::string& path, char* buffer, std::size_t room,
                                 std::string& reason) override;
  std::unique_ptr<ClaimedFile> claim(const std::string& path, std::string& reason,
                                     bool& in_use) override;
  std::vector<std::size_t> first_same_file(const std::vector<std::string>& paths,
                                           const std::vector<std::string>& others) override;
  std::vector<std::size_t> first_same_spelling(const std::vector<std::string>& paths,
                                               const std::vector<std::string>& others) override;
  bool can_read(const std::string& path, std::string& reason) override;
  bool exists(const std::string& path) override;
  bool is_folder(const std::string& path) override;
  int standard_stream_writing(const std::string& path) override;
  std::string describe(const std::string& path) override;
  bool reads_ahead() const override { return true; }
  std::int64_t size_of(const std::string& path) override;
  std::string written_at(const std::string& path) override;
  bool can_write(const std::string& path, std::string& reason, bool temporary) override;
  bool held_by_another_job(const std::string& path) override;
  bool is_null_device(const std::string& path) override;
  bool is_device_name(const std::string& path) override;
  bool write_whole(const std::string& path, const std::string& bytes, std::string& reason) override;
  void look_at(const std::vector<std::string>& paths) override;
  void forget_looked_at() override { looked_at_.clear(); }

 private:
  std::string native(const std::string& path) const;
  // What look_at() found at `path`, if it found a file.
  const platform::PathFacts* found(const std::string& path) const;

  bool composed_paths_;
  // By the caller's own strings: thousands of inputs are not named twice.
  std::unordered_map<std::string_view, platform::PathFacts> looked_at_;
};

// The paths a disk answers for from one look while this lives: the inputs
// of a job for the checks before it.
class LookedAt {
 public:
  LookedAt(Disk& disk, const std::vector<std::string>& paths) : disk_(disk) {
    disk_.look_at(paths);
  }
  LookedAt(const LookedAt&) = delete;
  LookedAt& operator=(const LookedAt&) = delete;
  ~LookedAt() { disk_.forget_looked_at(); }

 private:
  Disk& disk_;
};

#endif  // STRATUMIX_IO_DISK_H_
