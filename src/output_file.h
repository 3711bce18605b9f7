// A file the program writes: buffered in large blocks, with every line
// ended by CR LF whichever system writes it.
#ifndef STRATUMIX_OUTPUT_FILE_H_
#define STRATUMIX_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "disk.h"
#include "text_out.h"

class OutputFile : public TextOut {
 public:
  static constexpr std::size_t kBufferSize = kIoBlockSize;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() = default;

  void open(std::unique_ptr<ByteSink> sink);
  bool is_open() const { return sink_ != nullptr; }

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

  // The bytes the file took since it was opened, also once closed, and
  // after a failed write those it kept.
  std::int64_t written() const { return handed_over_; }

  // Closes the file, leaving out what is buffered: for a job that failed.
  void abandon() {
    sink_.reset();
    used_ = 0;
  }

  // Writes what is buffered and closes the file. A failure throws Failure;
  // the file counts as closed either way, so it is reported only once.
  void close();

 private:
  void put(std::string_view text) override;
  void hand_over(const char* data, std::size_t size);

  std::unique_ptr<ByteSink> sink_;
  std::unique_ptr<char[]> buffer_;  // left as it comes: only what is put is written
  std::size_t used_ = 0;
  std::int64_t handed_over_ = 0;
};

#endif  // STRATUMIX_OUTPUT_FILE_H_
