// What the pasting of one input is made of, wherever it is done: the runs
// of points between two looks for an interruption or a progress line, and
// the bytes the input gave.
#ifndef STRATUMIX_JOB_RUNS_H_
#define STRATUMIX_JOB_RUNS_H_

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "io/disk.h"

inline constexpr std::int64_t kProgressInterval = 100000;
// Points between two looks for an interruption.
inline constexpr std::int64_t kInterruptionCheck = 4096;

// The points of the next run, after `pasted` of the input: runs end where
// the next look or progress line is due (or a little after, when the
// reading thread copied ahead), so that an input read ahead is cut into
// the same runs as one read in its turn.
inline std::int64_t points_in_run(std::int64_t pasted) {
  return std::min(kInterruptionCheck - pasted % kInterruptionCheck,
                  kProgressInterval - pasted % kProgressInterval);
}

// The bytes an input gave, for the progress bar: counted where the reading
// thread reads them, before any decompression, so that they add up to the
// file's size. The count is shared: a job that stops leaves the input, and
// its reading thread, to the end of the run.
using ByteCount = std::shared_ptr<std::atomic<std::int64_t>>;
class CountedSource : public ByteSource {
 public:
  CountedSource(std::unique_ptr<ByteSource> source, ByteCount count)
      : source_(std::move(source)), count_(std::move(count)) {}
  std::size_t read(char* buffer, std::size_t size) override {
    std::size_t got = source_->read(buffer, size);
    count_->fetch_add(static_cast<std::int64_t>(got), std::memory_order_relaxed);
    return got;
  }
  // Not counted: the bytes read in order add up to the file's size alone.
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    return source_->read_at(offset, buffer, size);
  }
  std::int64_t plain_size() const override { return source_->plain_size(); }
  // A reader that hands these on still reads them in order, and is counted.
  std::string_view lasting_bytes() const override { return source_->lasting_bytes(); }

 private:
  std::unique_ptr<ByteSource> source_;
  ByteCount count_;
};

#endif  // STRATUMIX_JOB_RUNS_H_
