#include "read/laz/chunk_pool.h"

#include <utility>

#include "io/threads.h"
#include "read/laz/chunk_decoder.h"

namespace laz {

ChunkPool::ChunkPool(const Laszip& laszip, unsigned workers, Layers layers, ChunkDecode decode)
    : laszip_(laszip),
      layers_(layers),
      decode_(decode),
      point_size_(decoded_size(layers, record_length(laszip))) {
  threads::start(workers_, workers, [this] { work(); });
}

ChunkPool::~ChunkPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  job_ready_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ChunkPool::submit(std::size_t index, std::vector<unsigned char> bytes, std::uint32_t points) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    results_[index] = Result();
    jobs_.push_back(Job{index, std::move(bytes), points});
  }
  job_ready_.notify_one();
}

bool ChunkPool::collect(std::size_t index, DecodedPoints& decoded) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto found = results_.find(index);
  result_ready_.wait(lock, [&] { return found->second.done; });
  if (found->second.failure != nullptr) {
    std::exception_ptr failure = found->second.failure;
    results_.erase(found);
    std::rethrow_exception(failure);
  }
  bool whole = found->second.whole;
  decoded.swap(found->second.decoded);
  // What `decoded` held before, its points handed on, is a spare now.
  DecodedPoints& done = found->second.decoded;
  if (done.capacity() != 0 && spare_.size() < workers_.size() &&
      spare_bytes_ + done.capacity() <= kMostSpareBytes) {
    spare_bytes_ += done.capacity();
    spare_.push_back(std::move(done));
  }
  results_.erase(found);
  return whole;
}

void ChunkPool::work() {
  for (;;) {
    Job job{};
    Result result;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      job_ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      if (!spare_.empty()) {
        result.decoded = std::move(spare_.back());
        spare_.pop_back();
        spare_bytes_ -= result.decoded.capacity();
      }
    }
    try {
      result.decoded.resize(std::size_t{job.points} * point_size_);
      result.whole = decode_(laszip_, job.bytes.data(), job.bytes.size(), job.points,
                             result.decoded.data(), layers_);
    } catch (...) {
      // Out of this thread, it would end the program: the reader tells it.
      result.failure = std::current_exception();
      result.decoded = DecodedPoints();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      result.done = true;
      results_.find(job.index)->second = std::move(result);
    }
    result_ready_.notify_all();
  }
}

}  // namespace laz
