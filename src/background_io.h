// Reading ahead and writing behind: the disk works on a thread of its own
// while the program turns text into points, so that the two overlap on two
// cores. Each wraps another source or sink and behaves exactly like it,
// errors included (a background error surfaces at the next call).
#ifndef STRATUMIX_BACKGROUND_IO_H_
#define STRATUMIX_BACKGROUND_IO_H_

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "disk.h"

class ReadAhead : public ByteSource {
 public:
  explicit ReadAhead(std::unique_ptr<ByteSource> source, std::size_t block_size = kIoBlockSize);
  ~ReadAhead() override;
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  std::size_t read(char* buffer, std::size_t size) override;

 private:
  struct Block {
    std::vector<char> bytes;
    std::size_t size = 0;
    std::size_t offset = 0;  // what read() took of it: the reading side's alone
    bool filled = false;
  };
  void fill_blocks();

  std::unique_ptr<ByteSource> source_;
  Block blocks_[2];
  int reading_ = 0;  // the block read() takes from next
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

class WriteBehind : public ByteSink {
 public:
  explicit WriteBehind(std::unique_ptr<ByteSink> sink);
  ~WriteBehind() override;
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Return once the bytes are taken; the write itself happens behind.
  void write(const char* data, std::size_t size) override;
  void write_buffer(std::vector<char>& buffer, std::size_t size) override;
  // Waits for the last write, then closes the file.
  void close() override;

 private:
  void write_blocks();
  // Waits until no write is under way; rethrows its error, if any.
  void wait_until_idle(std::unique_lock<std::mutex>& lock);
  void stop();

  std::unique_ptr<ByteSink> sink_;
  std::vector<char> pending_;
  std::size_t pending_size_ = 0;
  bool writing_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

#endif  // STRATUMIX_BACKGROUND_IO_H_
