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
// Memory stays constant: one block of input and the inflater's window.
//
// Two inflaters give the same bytes and the same failures: zlib, everywhere,
// and Intel's ISA-L where the program is built with it, about three times as
// fast. ISA-L inflates data that can be read again from its start; at a
// fault, at data cut short, or at a member whose flags zlib refuses, zlib
// reads it again from there on, so that the text handed out and the
// failure are zlib's to the byte. A block whose Huffman code leaves codes
// unused, which ISA-L would inflate, is refused at its header, as zlib
// refuses it.
class GzipSource : public ByteSource {
 public:
  enum class Inflater { kFastest, kZlib };
  GzipSource(std::unique_ptr<ByteSource> compressed, std::string shown,
             Inflater inflater = Inflater::kFastest);
  ~GzipSource() override;
  GzipSource(const GzipSource&) = delete;
  GzipSource& operator=(const GzipSource&) = delete;

  std::size_t read(char* buffer, std::size_t size) override;

  // Whether this build has ISA-L, and whether this source inflates with it.
  static bool has_isal();
  bool uses_isal() const;

  struct Stream;  // the inflaters', kept out of this header

 private:
  // Moves more compressed bytes in; false when there are none left.
  bool take_input();
  // Moves the bytes not yet taken to the front, and more in after them.
  void top_up();
  // Whether the member that begins at next_in_ sets a flag gzip reserves.
  bool reserved_flags_set();
  // From here on zlib inflates, again from the start, past the `handed`
  // bytes of text that ISA-L gave.
  void hand_over_to_zlib(std::uint64_t handed);
  [[noreturn]] void fail(const std::string& what);
  // `got` bytes of text into the current read.
  void found_fault(const std::string& what, std::size_t got);

  std::unique_ptr<ByteSource> compressed_;
  std::string shown_;
  std::unique_ptr<Stream> stream_;
  std::unique_ptr<unsigned char[]> input_;
  unsigned char* next_in_ = nullptr;
  std::size_t avail_in_ = 0;
  bool input_ended_ = false;
  std::uint64_t taken_ = 0;    // the compressed bytes moved in
  bool member_begins_ = true;  // at next_in_, before ISA-L has its header
  bool member_ended_ = false;  // at the end of a member, none begun after it
  std::uint64_t text_bytes_ = 0;
  // A fault found after some text was decompressed: raised at the next read,
  // so that the text before it is pasted first.
  std::string fault_;
  bool member_text_ = false;  // the current member has given text
  bool damaged_ = false;      // the fault is corrupt text, not text cut short
  // zlib, once ISA-L has met what zlib must tell.
  std::unique_ptr<GzipSource> zlib_;
};

#endif  // STRATUMIX_READ_GZIP_GZIP_SOURCE_H_
