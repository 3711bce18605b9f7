// The one window every reader sees its input through: bytes of one
// storage, topped up behind what the reader keeps. Over a read-ahead
// whose blocks are large enough, each block is taken over whole, with what
// the reader keeps put just before it, so that no byte is copied; otherwise
// the kept bytes move to the front and the source is read behind them.
#ifndef STRATUMIX_IO_INPUT_BUFFER_H_
#define STRATUMIX_IO_INPUT_BUFFER_H_

#include <cstddef>
#include <memory>

#include "io/disk.h"
#include "io/read_ahead.h"

class InputBuffer {
 public:
  // Copies from `source`, `capacity` bytes at most, with `slack` bytes of
  // room behind them for the reader's own use.
  InputBuffer(ByteSource& source, std::size_t capacity, std::size_t slack);
  // Takes `ahead`'s blocks whole when they hold `capacity` and `slack`,
  // have `slack` bytes of room behind them and more than `capacity` in
  // front, so that whatever the copying way could keep still fits there;
  // copies otherwise.
  InputBuffer(ReadAhead& ahead, std::size_t capacity, std::size_t slack);

  char* data() const { return storage_.get(); }
  std::size_t capacity() const { return capacity_; }

  struct Refill {
    std::size_t got = 0;       // bytes read behind the kept ones: 0 for none
    std::size_t first = 0;     // where the kept bytes now begin
    bool whole_block = false;  // a block was taken over
    bool copied = false;       // the kept bytes were moved and the source read
    bool full = false;         // nothing read, as the kept bytes fill the buffer
  };
  // Keeps the reader's bytes [keep, end) and reads more behind them, making
  // room for at least `needed` bytes from the kept ones on: a storage too
  // small for them is replaced by a larger one, and blocks are copied from
  // then on. Offsets past `keep` move by first - keep, whatever was read;
  // the bytes read follow the kept ones. Nothing read and not full means
  // the source has no more.
  Refill refill(std::size_t keep, std::size_t end, std::size_t needed = 0);

  // Blocks are taken over whole: which of the read-ahead's storages the
  // buffer is (what the reading thread made of its block is kept by that
  // number), where in it the block began, and whether the last block was
  // waited for.
  bool takes_blocks() const { return ahead_ != nullptr; }
  int storage() const { return storage_number_; }
  std::size_t block_first() const { return ahead_->front(); }
  bool waited() const { return ahead_->waited(); }

 private:
  ByteSource& source_;
  ReadAhead* ahead_ = nullptr;
  std::size_t capacity_;
  std::size_t slack_;
  std::unique_ptr<char[]> storage_;
  int storage_number_ = ReadAhead::kReaderStorage;
};

#endif  // STRATUMIX_IO_INPUT_BUFFER_H_
