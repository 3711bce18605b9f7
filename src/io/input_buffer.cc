#include "io/input_buffer.h"

#include <cstring>

InputBuffer::InputBuffer(ByteSource& source, std::size_t capacity, std::size_t slack)
    : source_(source), capacity_(capacity), slack_(slack), storage_(new char[capacity + slack]) {}

InputBuffer::InputBuffer(ReadAhead& ahead, std::size_t capacity, std::size_t slack)
    : source_(ahead), capacity_(capacity), slack_(slack) {
  std::size_t size = capacity + slack;
  if (ahead.front() < capacity && size <= ahead.storage_size() && ahead.back() >= slack) {
    ahead_ = &ahead;
    size = ahead.storage_size();
  }
  storage_.reset(new char[size]);
}

InputBuffer::Refill InputBuffer::refill(std::size_t keep, std::size_t end, std::size_t needed) {
  Refill refill;
  const std::size_t kept = end - keep;
  if (ahead_ != nullptr) {
    std::size_t got = ahead_->exchange(storage_, storage_number_, storage_.get() + keep, kept);
    if (got == 0) {
      refill.first = keep;
      return refill;
    }
    if (got != ReadAhead::kNotExchanged) {
      refill.got = got;
      refill.first = ahead_->front() - kept;
      refill.whole_block = true;
      return refill;
    }
  }
  if (capacity_ < needed) {
    // A record longer than a block: the storage, too small, is let go,
    // and the read-ahead's blocks are copied from then on.
    std::unique_ptr<char[]> larger(new char[needed + slack_]);
    std::memcpy(larger.get(), storage_.get() + keep, kept);
    storage_ = std::move(larger);
    capacity_ = needed;
    ahead_ = nullptr;
  } else {
    std::memmove(storage_.get(), storage_.get() + keep, kept);
  }
  refill.copied = true;
  // A block taken whole may have left more than the buffer holds.
  if (kept >= capacity_) {
    refill.full = true;
    return refill;
  }
  refill.got = source_.read(storage_.get() + kept, capacity_ - kept);
  return refill;
}
