// gzip-compressed text, decompressed as it is read: tiles are often
// delivered as .xyz.gz, and unpacking them first would take the disk space
// twice over.
#ifndef STRATUMIX_READ_GZIP_GZIP_SOURCE_H_
#define STRATUMIX_READ_GZIP_GZIP_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "io/disk.h"

// The bytes that the gzip data of `compressed` holds. Members that follow
// one another (as `cat a.gz b.gz` makes) are read as one text. Corrupt or
// cut-off data throws Failure (status 1) naming the file as `shown`, once
// the text before the fault has been handed out. Corrupt data (a member
// whose data or check fails) marks the Failure input_damaged: deflate's
// only check comes at the member's end, so all its text may be garbled.
// Memory stays constant: one block of input and zlib's window.
class GzipSource : public ByteSource {
 public:
  GzipSource(std::unique_ptr<ByteSource> compressed, std::string shown);
  ~GzipSource() override;
  GzipSource(const GzipSource&) = delete;
  GzipSource& operator=(const GzipSource&) = delete;

  std::size_t read(char* buffer, std::size_t size) override;

 private:
  struct Stream;  // zlib's, kept out of this header
  // Moves more compressed bytes in; false when there are none left.
  bool take_input();
  [[noreturn]] void fail(const std::string& what);
  // `got` bytes of text into the current read.
  void found_fault(const std::string& what, std::size_t got);

  std::unique_ptr<ByteSource> compressed_;
  std::string shown_;
  std::unique_ptr<Stream> stream_;
  std::unique_ptr<unsigned char[]> input_;
  bool input_ended_ = false;
  bool member_ended_ = false;  // at the end of a member, none begun after it
  std::uint64_t text_bytes_ = 0;
  // A fault found after some text was decompressed: raised at the next read,
  // so that the text before it is pasted first.
  std::string fault_;
  bool member_text_ = false;  // the current member has given text
  bool damaged_ = false;      // the fault is corrupt text, not text cut short
};

#endif  // STRATUMIX_READ_GZIP_GZIP_SOURCE_H_
