#include "io/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <utility>

// The three sizes of one storage, each named where the storage is asked for.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
ReadAhead::ReadAhead(std::unique_ptr<ByteSource> source, std::size_t block_size, std::size_t front,
                     std::size_t back)
    : source_(std::move(source)), block_size_(block_size), front_(front), back_(back) {
  // Left as they come: only the bytes read are ever looked at.
  for (int i = 0; i < 2; ++i) {
    blocks_[i].bytes.reset(new char[storage_size()]);
    blocks_[i].storage = i;
  }
  thread_ = std::thread([this] { fill_blocks(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ReadAhead::fill_blocks() {
  for (int filling = 0;; filling ^= 1) {
    Block& block = blocks_[filling];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return !block.filled || stopping_; });
      if (stopping_) return;
    }
    std::size_t size = 0;
    std::exception_ptr error;
    try {
      size = source_->read(block.bytes.get() + front_, block_size_);
    } catch (...) {
      error = std::current_exception();
    }
    if (size != 0) work_on(block, size);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (size == 0) {
        ended_ = true;
        error_ = error;
      } else {
        block.size = size;
        block.filled = true;
      }
    }
    changed_.notify_all();
    if (size == 0) return;
  }
}

void ReadAhead::work_on(Block& block, std::size_t size) {
  BlockWork* work = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work = work_.get();
  }
  // The work is only ever a head start: without it, or when it fails, the
  // block goes without.
  try {
    if (work != nullptr) work->work(block.storage, block.bytes.get() + front_, size, block_size_);
  } catch (...) {
  }
}

void ReadAhead::set_work(std::unique_ptr<BlockWork> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (work_ == nullptr) work_ = std::move(work);
}

bool ReadAhead::wait_for_block(Block& block) {
  std::unique_lock<std::mutex> lock(mutex_);
  waited_ = !block.filled && !ended_;
  changed_.wait(lock, [&] { return block.filled || ended_; });
  if (!block.filled && error_) std::rethrow_exception(error_);
  return block.filled;
}

void ReadAhead::hand_back(Block& block) {
  block.offset = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    block.filled = false;
  }
  reading_ ^= 1;
  changed_.notify_all();
}

std::size_t ReadAhead::read(char* buffer, std::size_t size) {
  Block& block = blocks_[reading_];
  if (!wait_for_block(block)) return 0;
  // The filled block is this thread's until it is handed back.
  std::size_t count = std::min(size, block.size - block.offset);
  std::memcpy(buffer, block.bytes.get() + front_ + block.offset, count);
  block.offset += count;
  if (block.offset == block.size) hand_back(block);
  return count;
}

std::size_t ReadAhead::exchange(std::unique_ptr<char[]>& storage, int& storage_number,
                                const char* keep, std::size_t kept) {
  Block& block = blocks_[reading_];
  if (block.offset != 0 || kept > front_) return kNotExchanged;
  if (!wait_for_block(block)) return 0;
  std::memmove(block.bytes.get() + front_ - kept, keep, kept);
  std::size_t size = block.size;
  storage.swap(block.bytes);
  std::swap(storage_number, block.storage);
  hand_back(block);
  return size;
}
