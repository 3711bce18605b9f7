#include "io/kept_inputs.h"

#include <algorithm>
#include <utility>

std::size_t KeptSource::read(char* buffer, std::size_t size) {
  const std::size_t count = std::min(size, bytes_.size() - at_);
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

KeptInputs::KeptInputs(std::size_t inputs, std::size_t largest, std::size_t most)
    : inputs_(inputs), largest_(largest), most_(most) {}

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
