// Work shared among threads that are always joined. A thread that throws,
// or one left unjoined when an exception passes, ends the whole program:
// memory that runs out, or a thread the system will not start, must reach
// the job as any failure does.
#ifndef STRATUMIX_IO_THREADS_H_
#define STRATUMIX_IO_THREADS_H_

#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace threads {

// Calls `work` on `count` threads, this one among them, and returns once
// every one has ended; the first failure any of them met is thrown then.
// Each call of `work` takes tasks from one list until none is left, so a
// thread the system would not start leaves its share to the others.
template <typename Work>
void run_on(std::size_t count, const Work& work) {
  std::mutex mutex;
  std::exception_ptr failure;
  auto guarded = [&] {
    try {
      work();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (failure == nullptr) failure = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  try {
    helpers.reserve(count > 0 ? count - 1 : 0);
    for (std::size_t t = 1; t < count; ++t) helpers.emplace_back(guarded);
  } catch (...) {
    // Fewer helpers, the same work: each takes what is left.
  }
  guarded();
  for (std::thread& helper : helpers) helper.join();
  if (failure != nullptr) std::rethrow_exception(failure);
}

// Starts up to `count` threads running `work` into `started`: a pool's
// workers. Those the system would not start are gone without; only when it
// started none is the failure thrown, for the work would wait forever.
template <typename Work>
void start(std::vector<std::thread>& started, std::size_t count, const Work& work) {
  try {
    for (std::size_t t = 0; t < count; ++t) started.emplace_back(work);
  } catch (...) {
    if (started.empty()) throw;
  }
}

}  // namespace threads

#endif  // STRATUMIX_IO_THREADS_H_
