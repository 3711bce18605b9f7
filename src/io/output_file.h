// A file the program writes: buffered in large blocks, with every line
// ended by CR LF whichever system writes it.
#ifndef STRATUMIX_IO_OUTPUT_FILE_H_
#define STRATUMIX_IO_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

#include "io/disk.h"
#include "io/text_out.h"

class OutputFile;

// What a file of a form with a header completed at its end (LAS, LAZ)
// still needs when it is closed, or when a write to it failed.
class OutputEnding {
 public:
  virtual ~OutputEnding() = default;
  // Before the file is closed: writes what its form still lacks and
  // completes its header. May throw Failure, as a write does.
  virtual void finish(OutputFile& file) = 0;
  // After a write failed: cuts the file back to what its header can tell
  // whole, and completes the header for that.
  virtual void after_failure(OutputFile& file) = 0;
};

class OutputFile : public TextOut {
 public:
  static constexpr std::size_t kBufferSize = kIoBlockSize;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() = default;

  void open(std::unique_ptr<ByteSink> sink);
  bool is_open() const { return sink_ != nullptr && !failed_; }

  // The hot path: room for `size` bytes, then the end of what was put there.
  // The bytes go to the file as they are, with no translation of "\n".
  char* reserve(std::size_t size) {
    if (kBufferSize - used_ < size) flush();
    return buffer_.get() + used_;
  }
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }
  // How far writes after reserve() may go before the next commit: a run of
  // lines checks its room against this instead of reserving line by line.
  char* room_end() { return buffer_.get() + kBufferSize; }

  // Hands what is buffered to the file.
  void flush();

  // Writes `size` bytes after what is buffered, without copying them into
  // the buffer.
  void write_block(const char* data, std::size_t size);
  // The same for the first `size` bytes of `block`, a buffer of `room`
  // bytes, which a sink that keeps blocks takes for its own, leaving a
  // new one of the same room.
  void write_block(std::unique_ptr<char[]>& block, std::size_t size, std::size_t room);

  // The bytes the file took since it was opened, also once closed, and
  // after a failed write those it kept.
  std::int64_t written() const { return handed_over_; }
  // The bytes given to it so far, those still buffered included: where
  // the next byte goes.
  std::int64_t position() const { return handed_over_ + static_cast<std::int64_t>(used_); }
  // Whether a write failed (a full disk): nothing more goes to the file,
  // which keeps written() bytes and can still be cut back.
  bool failed() const { return failed_; }

  // Takes back what was given after `position` (at most position()): what
  // is buffered is dropped, what the file took is cut off, also after a
  // failed write. False where the file cannot be cut (a pipe, a device, a
  // file closed): it then keeps what it took.
  bool cut_to(std::int64_t position);

  // Reads back up to `size` of the bytes the file took, from `offset`: 0
  // where they cannot be read (a pipe, a device, a file closed).
  std::size_t read_back(std::int64_t offset, char* buffer, std::size_t size) const;

  // Writes `size` bytes over those the file took from `offset` on, once
  // what is buffered is handed over: false where it cannot (a pipe, a
  // device, a write that failed).
  bool write_at(std::int64_t offset, const char* data, std::size_t size);

  // From here on, the buffer's blocks are written by a thread of their own
  // while the next is filled (write_behind.h): a failed write is told at
  // the next call that writes, or at write_at() or close().
  void write_behind();

  // What the file's form needs at its end, told at close() or settle().
  void set_ending(OutputEnding* ending) { ending_ = ending; }
  // A file whose write failed, made whole as its form needs before it is
  // let go.
  void settle() {
    if (failed_ && sink_ != nullptr && ending_ != nullptr)
      std::exchange(ending_, nullptr)->after_failure(*this);
  }

  // Closes the file, leaving out what is buffered: for a job that failed.
  void abandon() {
    ending_ = nullptr;
    sink_.reset();
    used_ = 0;
    failed_ = false;
  }

  // Writes what is buffered and closes the file. A failure throws Failure;
  // the file counts as closed either way, so it is reported only once. A
  // file whose write failed stays open until the next open() or
  // abandon(), only to be cut back.
  void close();

 private:
  void put(std::string_view text) override;
  // Waits for what is written behind; a failure of it is the file's, as
  // hand_over() makes a failed write, and thrown with `tell`.
  void drain(bool tell = true);
  // Runs `write`, which gives the sink `size` bytes, unless the file failed.
  template <typename Write>
  void hand_over(std::size_t size, Write write);

  std::unique_ptr<ByteSink> sink_;
  std::unique_ptr<char[]> buffer_;  // left as it comes: only what is put is written
  std::size_t used_ = 0;
  std::int64_t handed_over_ = 0;
  bool failed_ = false;
  OutputEnding* ending_ = nullptr;
};

#endif  // STRATUMIX_IO_OUTPUT_FILE_H_
