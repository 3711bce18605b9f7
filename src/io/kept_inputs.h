// Small inputs read whole before a job, kept in memory for their turn: a
// job of thousands of tiles whose headers are read before anything is
// created then opens each tile once, not twice.
#ifndef STRATUMIX_IO_KEPT_INPUTS_H_
#define STRATUMIX_IO_KEPT_INPUTS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/disk.h"

// The bytes of a file as they were read, given as the file would give
// them: in order, or from any place.
class KeptSource : public ByteSource {
 public:
  explicit KeptSource(std::string bytes) : owned_(std::move(bytes)), bytes_(owned_) {}
  // Bytes kept elsewhere until the job ends, read on from `at`.
  KeptSource(std::string_view bytes, std::size_t at) : bytes_(bytes), at_(at), start_(at) {}
  KeptSource(const KeptSource&) = delete;
  KeptSource& operator=(const KeptSource&) = delete;
  std::size_t read(char* buffer, std::size_t size) override;
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override;
  std::int64_t plain_size() const override { return static_cast<std::int64_t>(bytes_.size()); }
  // Those kept elsewhere; not those it owns, which go with it.
  std::string_view lasting_bytes() const override {
    return owned_.empty() && start_ <= bytes_.size() ? bytes_.substr(start_) : std::string_view{};
  }

 private:
  std::string owned_;
  std::string_view bytes_;
  std::size_t at_ = 0;
  std::size_t start_ = 0;  // where reading began
};

// The inputs of a job by their place in its list, in one block of memory
// set aside before they are read: a thousand tiles of a few KiB are not
// each a call for memory, nor the system's pages asked for one by one as
// the memory they were given grows. Kept from several threads at once,
// each for inputs of its own; taken on one.
class KeptInputs {
 public:
  // A file larger than `largest` is never kept, nor more than `most` bytes
  // in all: past them, an input is opened again in its turn, as any other.
  struct Bounds {
    std::size_t largest = 0;
    std::size_t most = 0;
  };
  KeptInputs(std::size_t inputs, Bounds bounds);

  // Sets room aside for each of `paths` (the job's inputs) that `disk`
  // tells is a plain file within the bounds, in their order, where the
  // disk lets inputs be read ahead. Before check_and_keep().
  void make_room(Disk& disk, const std::vector<std::string>& paths);

  // Whether input `i` at `path` can be read, as Disk::can_read() tells,
  // `reason` why not. An input with room is opened for this and read
  // whole, and kept if it begins with `magic` and its length did not
  // change while it was read: the check opens it, and nothing after it
  // has to.
  bool check_and_keep(Disk& disk, std::size_t i, const std::string& path, std::string_view magic,
                      std::string& reason);

  // The kept bytes of input `i`, if they are those of `path`, as a
  // source, once; null where none were kept. The source reads from the
  // block: it must not outlive this.
  std::unique_ptr<ByteSource> take(std::size_t i, const std::string& path);
  // The same bytes, left in place; null where none are kept.
  const std::string_view* kept(std::size_t i, const std::string& path) const;

 private:
  struct Kept {
    std::size_t at = 0;
    std::size_t room = 0;  // the file's size and a byte, to see it did not grow
    std::string path;
    std::string_view bytes;
    bool kept = false;
  };
  std::vector<Kept> inputs_;
  Bounds bounds_;
  std::unique_ptr<char[]> block_;
};

#endif  // STRATUMIX_IO_KEPT_INPUTS_H_
