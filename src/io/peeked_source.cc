#include "io/peeked_source.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

PeekedSource::PeekedSource(std::unique_ptr<ByteSource> source, std::size_t size)
    : source_(std::move(source)) {
  look_further(size, SIZE_MAX);
}

namespace {

// The LFs in `text` from `from` on. memchr finds each (lines are tens of
// bytes) a vector at a time, where std::count goes byte by byte.
std::size_t line_ends_in(std::string_view text, std::size_t from) {
  std::size_t count = 0;
  for (std::size_t at = text.find('\n', from); at != std::string_view::npos;
       at = text.find('\n', at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace

void PeekedSource::look_further(std::size_t size, std::size_t line_ends) {
  // A pipe may give fewer bytes a read.
  constexpr std::size_t kStep = 4096;
  std::size_t seen = line_ends_in(first_, 0);
  while (first_.size() < size && seen < line_ends && !ended_) {
    std::size_t old_size = first_.size();
    first_.resize(std::min(size, old_size + kStep));
    std::size_t got = 0;
    try {
      got = source_->read(first_.data() + old_size, first_.size() - old_size);
    } catch (...) {
      error_ = std::current_exception();
    }
    first_.resize(old_size + got);
    ended_ = got == 0;
    seen += line_ends_in(first_, old_size);
  }
}

std::size_t PeekedSource::read(char* buffer, std::size_t size) {
  if (handed_out_ == first_.size()) {
    if (error_ != nullptr) std::rethrow_exception(std::exchange(error_, nullptr));
    return ended_ || source_ended_ ? 0 : read_source(buffer, size);
  }
  std::size_t count = std::min(size, first_.size() - handed_out_);
  std::copy_n(first_.data() + handed_out_, count, buffer);
  handed_out_ += count;
  // The rest of the read from the source, so that blocks stay whole.
  if (count < size && handed_out_ == first_.size() && !ended_ && error_ == nullptr)
    count += read_source(buffer + count, size - count);
  return count;
}

std::size_t PeekedSource::read_source(char* buffer, std::size_t size) {
  // The end stays the end: a reader that asks again past it is not made to
  // wait for a terminal's second end of input, nor the disk asked again.
  std::size_t got = source_->read(buffer, size);
  source_ended_ = got == 0;
  return got;
}
