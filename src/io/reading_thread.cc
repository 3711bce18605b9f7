#include "io/reading_thread.h"

#include <utility>

ReadingThread::ReadingThread() : thread_([this] { serve(); }) {}

ReadingThread::~ReadingThread() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !busy_; });
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ReadingThread::run(std::function<void()> task) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !busy_; });
    task_ = std::move(task);
    busy_ = true;
  }
  changed_.notify_all();
}

void ReadingThread::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !busy_; });
}

void ReadingThread::serve() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return busy_ || ending_; });
      if (!busy_) return;
      task = std::move(task_);
    }
    task();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      busy_ = false;
    }
    changed_.notify_all();
  }
}
