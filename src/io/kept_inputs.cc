#include "io/kept_inputs.h"

#include <algorithm>
#include <utility>

#include "io/failure.h"

std::size_t KeptSource::read(char* buffer, std::size_t size) {
  const std::size_t count = std::min(size, bytes_.size() - std::min(at_, bytes_.size()));
  std::copy_n(bytes_.data() + at_, count, buffer);
  at_ += count;
  return count;
}

std::ptrdiff_t KeptSource::read_at(std::uint64_t offset, char* buffer, std::size_t size) {
  if (offset >= bytes_.size()) return 0;
  const auto from = static_cast<std::size_t>(offset);
  const std::size_t count = std::min(size, bytes_.size() - from);
  std::copy_n(bytes_.data() + from, count, buffer);
  return static_cast<std::ptrdiff_t>(count);
}

KeptInputs::KeptInputs(std::size_t inputs, Bounds bounds)
    : inputs_(inputs), largest_(bounds.largest), most_(bounds.most) {}

bool KeptInputs::has_room(std::int64_t size) const {
  return size >= 0 && static_cast<std::uint64_t>(size) <= largest_ &&
         used_.load(std::memory_order_relaxed) + static_cast<std::size_t>(size) <= most_;
}

bool KeptInputs::keep(std::size_t i, const std::string& path, std::string& bytes) {
  if (i >= inputs_.size() || bytes.size() > largest_) return false;
  std::size_t used = used_.load(std::memory_order_relaxed);
  do {
    if (used + bytes.size() > most_) return false;
  } while (!used_.compare_exchange_weak(used, used + bytes.size(), std::memory_order_relaxed));
  Kept& kept = inputs_[i];
  kept.path = path;
  kept.bytes = std::move(bytes);
  kept.kept = true;
  return true;
}

std::unique_ptr<ByteSource> KeptInputs::take(std::size_t i, const std::string& path) {
  if (i >= inputs_.size() || !inputs_[i].kept || inputs_[i].path != path) return nullptr;
  Kept& kept = inputs_[i];
  kept.kept = false;
  // The room is not given back: `most` bounds all that is read before the
  // job, whatever was taken since.
  return std::make_unique<KeptSource>(std::exchange(kept.bytes, std::string()));
}

const std::string* KeptInputs::kept(std::size_t i, const std::string& path) const {
  if (i >= inputs_.size() || !inputs_[i].kept || inputs_[i].path != path) return nullptr;
  return &inputs_[i].bytes;
}

bool KeptInputs::check_and_keep(Disk& disk, std::size_t i, const std::string& path,
                                std::string_view magic, std::string& reason) {
  // A pipe is never opened before its turn, nor anything but a plain file.
  const std::int64_t size = disk.reads_ahead() ? disk.size_of(path) : -1;
  if (!has_room(size)) return disk.can_read(path, reason);
  std::unique_ptr<ByteSource> source = disk.open_for_reading(path, reason);
  if (source == nullptr) return false;
  // A byte more than its size, to see it did not grow.
  std::string bytes(static_cast<std::size_t>(size) + 1, '\0');
  std::size_t got = 0;
  // A plain file gives all it has to one read, up to its end; other
  // sources (a test's) may give less.
  const bool plain = source->plain_size() >= 0;
  try {
    for (std::size_t n = 1; n != 0 && got < bytes.size(); got += n) {
      n = source->read(bytes.data() + got, bytes.size() - got);
      if (plain) {
        got += n;
        break;
      }
    }
  } catch (const Failure&) {
    // It could be opened, which is what is checked: its failure to be
    // read is told in its turn, where it would be.
    return true;
  }
  bytes.resize(got);
  if (got == static_cast<std::size_t>(size) && bytes.starts_with(magic)) keep(i, path, bytes);
  return true;
}
