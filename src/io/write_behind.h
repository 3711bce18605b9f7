// Writing behind: a file's blocks handed to the system on a thread of its
// own while the program fills the next one, so that a job whose result is
// one block after another (a LAS result of many tiles) keeps both cores
// busy, one filling and one writing.
#ifndef STRATUMIX_IO_WRITE_BEHIND_H_
#define STRATUMIX_IO_WRITE_BEHIND_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "io/disk.h"

// Wraps another sink and behaves as it does, but for when a failed write
// is told: at the call after the one that handed over its block (the next
// block, or whatever else is asked of the file, its close included),
// with the same error. Blocks taken with take() are written behind, one
// at a time; everything else waits for the block being written first, so
// the file sees every write in the order it was given.
class WriteBehind : public ByteSink {
 public:
  // How the thread that writes is started: `start_writer`, or in a test
  // one that fails, as the system may when memory runs out. Without it the
  // blocks are written in the caller's thread.
  using Start = std::thread (*)(WriteBehind& self);
  static std::thread start_writer(WriteBehind& self) {
    return std::thread([&self] { self.run(); });
  }

  explicit WriteBehind(std::unique_ptr<ByteSink> sink, Start start = start_writer);
  ~WriteBehind() override;
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  void write(const char* data, std::size_t size) override;
  // Swaps `block` for the block written last, once that is written, and
  // writes the new one behind.
  void take(std::unique_ptr<char[]>& block, std::size_t size, std::size_t room) override;
  void close() override;
  void drain() override;
  std::uint64_t kept() const override;
  bool cut(std::uint64_t size) override;
  bool write_at(std::uint64_t offset, const char* data, std::size_t size) override;
  std::size_t read_back(std::uint64_t offset, char* buffer, std::size_t size) override;

 private:
  // Waits until no block is being written; with `tell`, throws what its
  // write threw, once.
  void wait(bool tell = true) const;
  void run();

  std::unique_ptr<ByteSink> sink_;
  Start start_;
  // The block being written (or written last), and its room.
  std::unique_ptr<char[]> spare_;
  std::size_t spare_room_ = 0;
  std::size_t pending_ = 0;  // its bytes still to write: 0 when none
  mutable std::exception_ptr error_;
  bool stopping_ = false;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::thread writer_;
};

#endif  // STRATUMIX_IO_WRITE_BEHIND_H_
