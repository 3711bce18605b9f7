#include "io/kept_inputs.h"

#include <algorithm>
#include <utility>

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

KeptInputs::KeptInputs(std::size_t inputs, Bounds bounds) : inputs_(inputs), bounds_(bounds) {}

void KeptInputs::make_room(Disk& disk, const std::vector<std::string>& paths) {
  // A pipe is never opened before its turn, nor anything but a plain file.
  if (!disk.reads_ahead()) return;
  std::size_t used = 0;
  for (std::size_t i = 0; i < paths.size() && i < inputs_.size(); ++i) {
    const std::int64_t size = disk.size_of(paths[i]);
    if (size < 0 || static_cast<std::uint64_t>(size) > bounds_.largest) continue;
    const std::size_t room = static_cast<std::size_t>(size) + 1;
    if (used + room > bounds_.most) continue;
    inputs_[i].at = used;
    inputs_[i].room = room;
    used += room;
  }
  // Left as it comes: each byte is read before it is looked at.
  if (used > 0) block_.reset(new char[used]);
}

std::unique_ptr<ByteSource> KeptInputs::take(std::size_t i, const std::string& path) {
  const std::string_view* bytes = kept(i, path);
  if (bytes == nullptr) return nullptr;
  inputs_[i].kept = false;
  return std::make_unique<KeptSource>(*bytes, 0);
}

const std::string_view* KeptInputs::kept(std::size_t i, const std::string& path) const {
  if (i >= inputs_.size() || !inputs_[i].kept || inputs_[i].path != path) return nullptr;
  return &inputs_[i].bytes;
}

bool KeptInputs::check_and_keep(Disk& disk, std::size_t i, const std::string& path,
                                std::string_view magic, std::string& reason) {
  if (i >= inputs_.size() || inputs_[i].room == 0) return disk.can_read(path, reason);
  Kept& input = inputs_[i];
  char* bytes = block_.get() + input.at;
  const std::ptrdiff_t got = disk.read_plain_file(path, bytes, input.room, reason);
  // Opened, which is what is checked: a failure to read it is told in its
  // turn, where it would be.
  if (got < 0) return got != -1;
  const std::string_view read(bytes, static_cast<std::size_t>(got));
  if (read.size() + 1 == input.room && read.starts_with(magic)) {
    input.path = path;
    input.bytes = read;
    input.kept = true;
  }
  return true;
}
