#include "read/gzip/gzip_source.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <utility>

#include "io/failure.h"
#include "num/number.h"

namespace {

// Compressed bytes taken at a time: large enough that reads cost nothing,
// small beside the blocks of text they become.
constexpr std::size_t kInputSize = std::size_t{64} << 10;

std::string count_text(std::uint64_t count) {
  return number::int_text(static_cast<std::int64_t>(count));
}

}  // namespace

struct GzipSource::Stream {
  z_stream z{};
};

GzipSource::GzipSource(std::unique_ptr<ByteSource> compressed, std::string shown)
    : compressed_(std::move(compressed)),
      shown_(std::move(shown)),
      stream_(std::make_unique<Stream>()),
      input_(new unsigned char[kInputSize]) {
  // 15 + 16: zlib's largest window, which any gzip data may need, and a
  // gzip header and trailer around each member rather than zlib's own.
  if (inflateInit2(&stream_->z, 15 + 16) != Z_OK) throw std::bad_alloc();
}

GzipSource::~GzipSource() { inflateEnd(&stream_->z); }

bool GzipSource::take_input() {
  if (input_ended_) return false;
  std::size_t got = compressed_->read(reinterpret_cast<char*>(input_.get()), kInputSize);
  if (got == 0) {
    input_ended_ = true;
    return false;
  }
  stream_->z.next_in = input_.get();
  stream_->z.avail_in = static_cast<uInt>(got);
  return true;
}

void GzipSource::fail(const std::string& what) {
  throw Failure{1, "Cannot read " + shown_ + ": " + what, damaged_};
}

void GzipSource::found_fault(const std::string& what, std::size_t got) {
  fault_ = what + ", after " + count_text(text_bytes_ + got) + " bytes of text";
}

std::size_t GzipSource::read(char* buffer, std::size_t size) {
  if (!fault_.empty()) fail(fault_);
  z_stream& z = stream_->z;
  const std::size_t wanted = std::min<std::size_t>(size, std::size_t{1} << 30);
  z.next_out = reinterpret_cast<Bytef*>(buffer);
  z.avail_out = static_cast<uInt>(wanted);
  while (z.avail_out > 0) {
    if (z.avail_in == 0 && !take_input()) {
      if (!member_ended_) found_fault("the gzip data is cut short", wanted - z.avail_out);
      break;
    }
    if (member_ended_) {
      // More bytes after a member: the next member of the same text.
      inflateReset(&z);
      member_ended_ = false;
      member_text_ = false;
    }
    uInt room = z.avail_out;
    int result = inflate(&z, Z_NO_FLUSH);
    member_text_ = member_text_ || z.avail_out != room;
    if (result == Z_STREAM_END) {
      member_ended_ = true;
    } else if (result == Z_MEM_ERROR) {
      throw std::bad_alloc();
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      // Z_BUF_ERROR only asks for more input, which the loop takes. Text of
      // a member that fails may be garbled from its start; one that gave
      // none (bytes after the last member that are no gzip member) leaves
      // only checked text before it.
      damaged_ = member_text_;
      found_fault(
          std::string("the gzip data is corrupt (") + (z.msg != nullptr ? z.msg : "bad data") + ")",
          wanted - z.avail_out);
      break;
    }
  }
  std::size_t got = wanted - z.avail_out;
  text_bytes_ += got;
  if (got == 0 && !fault_.empty()) fail(fault_);
  return got;
}
