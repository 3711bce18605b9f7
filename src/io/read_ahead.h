// Reading ahead: the disk is read on a thread of its own, which also takes
// a share of the work on each block it reads, so that both cores work while
// the program turns text into points. It wraps another source and behaves
// exactly like it, errors included (a read error surfaces at the next call).
#ifndef STRATUMIX_IO_READ_AHEAD_H_
#define STRATUMIX_IO_READ_AHEAD_H_

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "io/disk.h"

// Work the reading thread does on each block as soon as it is read, so
// that a second core shares the work on it: `text` holds `size` bytes, of
// the `block_size` asked for, with back() bytes of room behind them, which
// the work may use. What it makes of the block it keeps by `storage`, the
// number of the storage the block is in (below ReadAhead::kStorages): the
// reader finds it there when exchange() hands it that storage, and nothing
// else touches it in between. Whatever it kept for that storage before is
// out of date as soon as it is called: it must say so before anything that
// can fail (a failure is caught, and the block goes on without).
class BlockWork {
 public:
  virtual ~BlockWork() = default;
  virtual void work(int storage, char* text, std::size_t size, std::size_t block_size) = 0;
};

class ReadAhead : public ByteSource {
 public:
  // Each block is read into storage with `front` bytes of room before it,
  // for what the reader keeps of the block before, and `back` after it.
  static constexpr std::size_t kDefaultBack = 64;
  static constexpr std::size_t kDefaultFront = 4096;
  explicit ReadAhead(std::unique_ptr<ByteSource> source, std::size_t block_size = kIoBlockSize,
                     std::size_t front = kDefaultFront, std::size_t back = kDefaultBack);
  ~ReadAhead() override;
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  std::size_t read(char* buffer, std::size_t size) override;
  // The source's, which its own reading in order leaves alone.
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    return source_->read_at(offset, buffer, size);
  }
  std::int64_t plain_size() const override { return source_->plain_size(); }

  // read() without its copy of every byte, for a reader that works in the
  // storage itself. Unless read() has begun the next block, or `kept`
  // exceeds front(): puts the `kept` bytes at `keep` (which may lie in
  // `storage`) just before the block's first byte, at front(), and swaps
  // `storage`, of storage_size() bytes, for the block's, and its number
  // `storage_number` with it. Returns the size of the block, 0 at the end
  // (`storage` unchanged), or kNotExchanged.
  static constexpr std::size_t kNotExchanged = ~std::size_t{0};
  // Two storages are the blocks'; the reader's own, before its first
  // exchange, is the third.
  static constexpr int kStorages = 3;
  static constexpr int kReaderStorage = 2;
  std::size_t exchange(std::unique_ptr<char[]>& storage, int& storage_number, const char* keep,
                       std::size_t kept);
  // From the next block read on; once. Kept until the reading thread ends.
  void set_work(std::unique_ptr<BlockWork> work);
  // Whether the last block exchanged was not read yet when asked for: the
  // reading thread is behind, and its work on each block could be less.
  bool waited() const { return waited_; }
  std::size_t front() const { return front_; }
  std::size_t back() const { return back_; }
  std::size_t storage_size() const { return front_ + block_size_ + back_; }

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    int storage = 0;
    std::size_t size = 0;
    std::size_t offset = 0;  // what read() took of it: the reading side's alone
    bool filled = false;
  };
  void fill_blocks();
  void work_on(Block& block, std::size_t size);
  // Waits for the next block; false at the end.
  bool wait_for_block(Block& block);
  void hand_back(Block& block);

  std::unique_ptr<ByteSource> source_;
  std::size_t block_size_;
  std::size_t front_;
  std::size_t back_;
  Block blocks_[2];
  int reading_ = 0;      // the block read() takes from next
  bool waited_ = false;  // the reading side's alone
  std::unique_ptr<BlockWork> work_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

#endif  // STRATUMIX_IO_READ_AHEAD_H_
