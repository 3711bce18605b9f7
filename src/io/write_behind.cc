#include "io/write_behind.h"

#include <utility>

WriteBehind::WriteBehind(std::unique_ptr<ByteSink> sink, Start start)
    : sink_(std::move(sink)), start_(start) {}

WriteBehind::~WriteBehind() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
}

void WriteBehind::wait(bool tell) const {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return pending_ == 0; });
  if (tell && error_ != nullptr) std::rethrow_exception(std::exchange(error_, nullptr));
}

void WriteBehind::drain() { wait(); }

void WriteBehind::write(const char* data, std::size_t size) {
  wait();
  sink_->write(data, size);
}

void WriteBehind::take(std::unique_ptr<char[]>& block, std::size_t size, std::size_t room) {
  wait();
  if (size == 0) return;
  if (spare_ == nullptr || spare_room_ != room) {
    spare_.reset(new char[room]);
    spare_room_ = room;
  }
  std::swap(block, spare_);
  // The thread first: a block pending with none to write it would be
  // waited for forever.
  if (!writer_.joinable()) {
    try {
      writer_ = start_(*this);
    } catch (...) {
      // A thread the system would not start (memory ran out): written
      // here, as a plain sink writes, and its failure told at once.
      sink_->write(spare_.get(), size);
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = size;
  }
  changed_.notify_all();
}

void WriteBehind::run() {
  for (;;) {
    std::size_t size = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return pending_ != 0 || stopping_; });
      if (pending_ == 0) return;
      size = pending_;
    }
    // The block is this thread's alone until it says it is written.
    std::exception_ptr error;
    try {
      sink_->write(spare_.get(), size);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (error != nullptr) error_ = error;
      pending_ = 0;
    }
    changed_.notify_all();
  }
}

void WriteBehind::close() {
  wait();
  sink_->close();
}

std::uint64_t WriteBehind::kept() const {
  wait(false);
  return sink_->kept();
}

bool WriteBehind::cut(std::uint64_t size) {
  wait(false);
  return sink_->cut(size);
}

bool WriteBehind::write_at(std::uint64_t offset, const char* data, std::size_t size) {
  wait(false);
  return sink_->write_at(offset, data, size);
}

std::size_t WriteBehind::read_back(std::uint64_t offset, char* buffer, std::size_t size) {
  wait(false);
  return sink_->read_back(offset, buffer, size);
}
