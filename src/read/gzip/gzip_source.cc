#include "read/gzip/gzip_source.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <utility>

#include "io/failure.h"
#include "num/number.h"

#ifdef STRATUMIX_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace {

// Compressed bytes taken at a time: large enough that reads cost nothing.
// ISA-L copies aside the last 32 KiB of text it made (what later text may
// repeat) each time its input runs out or its output is full: 1.5
// instructions a compressed byte when it took 64 KiB at a time, 0.8 now.
constexpr std::size_t kInputSize = std::size_t{256} << 10;

std::string count_text(std::uint64_t count) {
  return number::int_text(static_cast<std::int64_t>(count));
}

// The compressed bytes again, from the start, for zlib to take over.
class ReadAgain : public ByteSource {
 public:
  explicit ReadAgain(ByteSource& source) : source_(source) {}
  std::size_t read(char* buffer, std::size_t size) override {
    std::ptrdiff_t got = source_.read_at(offset_, buffer, size);
    if (got < 0) throw Failure{1, "Cannot read the gzip data again"};
    offset_ += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
  }

 private:
  ByteSource& source_;
  std::uint64_t offset_ = 0;
};

}  // namespace

// One member at a time, through either inflater. The step's outcome:
// more wanted (input or room), the member's end, or a fault.
struct GzipSource::Stream {
  enum class Step { kMore, kMemberEnd, kFault };
  virtual ~Stream() = default;
  virtual void next_member() = 0;
  virtual Step step(unsigned char*& in, std::size_t& in_size, char*& out,
                    std::size_t& out_size) = 0;
  // What zlib says of the fault.
  virtual std::string fault() const = 0;
  virtual bool isal() const = 0;
};

namespace {

class ZlibStream : public GzipSource::Stream {
 public:
  ZlibStream() {
    // 15 + 16: zlib's largest window, which any gzip data may need, and a
    // gzip header and trailer around each member rather than zlib's own.
    if (inflateInit2(&z_, 15 + 16) != Z_OK) throw std::bad_alloc();
  }
  ~ZlibStream() override { inflateEnd(&z_); }
  ZlibStream(const ZlibStream&) = delete;
  ZlibStream& operator=(const ZlibStream&) = delete;

  void next_member() override { inflateReset(&z_); }
  Step step(unsigned char*& in, std::size_t& in_size, char*& out, std::size_t& out_size) override {
    z_.next_in = in;
    z_.avail_in = static_cast<uInt>(in_size);
    z_.next_out = reinterpret_cast<Bytef*>(out);
    z_.avail_out = static_cast<uInt>(out_size);
    int result = inflate(&z_, Z_NO_FLUSH);
    in = z_.next_in;
    in_size = z_.avail_in;
    out = reinterpret_cast<char*>(z_.next_out);
    out_size = z_.avail_out;
    if (result == Z_STREAM_END) return Step::kMemberEnd;
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    // Z_BUF_ERROR only asks for more input.
    if (result != Z_OK && result != Z_BUF_ERROR) {
      fault_ = z_.msg != nullptr ? z_.msg : "bad data";
      return Step::kFault;
    }
    return Step::kMore;
  }
  std::string fault() const override { return fault_; }
  bool isal() const override { return false; }

 private:
  z_stream z_{};
  std::string fault_;
};

#ifdef STRATUMIX_HAVE_ISAL
class IsalStream : public GzipSource::Stream {
 public:
  // Left as it comes: isal_inflate_init sets what inflating reads, and the
  // state is 87 KB, a cost on every tile of a set if it were zeroed.
  IsalStream() : state_(new inflate_state) { next_member(); }

  void next_member() override {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_GZIP;
  }
  Step step(unsigned char*& in, std::size_t& in_size, char*& out, std::size_t& out_size) override {
    inflate_state& s = *state_;
    s.next_in = in;
    s.avail_in = static_cast<std::uint32_t>(std::min<std::size_t>(in_size, UINT32_MAX));
    s.next_out = reinterpret_cast<std::uint8_t*>(out);
    s.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(out_size, UINT32_MAX));
    int result = isal_inflate(&s);
    in_size -= static_cast<std::size_t>(s.next_in - in);
    in = s.next_in;
    out_size -= static_cast<std::size_t>(reinterpret_cast<char*>(s.next_out) - out);
    out = reinterpret_cast<char*>(s.next_out);
    if (result < 0 || result == ISAL_NEED_DICT) return Step::kFault;
    if (s.block_state == ISAL_BLOCK_FINISH) return Step::kMemberEnd;
    return Step::kMore;
  }
  // Never told: zlib reads the data again and tells it in its words.
  std::string fault() const override { return ""; }
  bool isal() const override { return true; }

 private:
  std::unique_ptr<inflate_state> state_;
};
#endif

}  // namespace

GzipSource::GzipSource(std::unique_ptr<ByteSource> compressed, std::string shown, Inflater inflater)
    : compressed_(std::move(compressed)),
      shown_(std::move(shown)),
      input_(new unsigned char[kInputSize]) {
#ifdef STRATUMIX_HAVE_ISAL
  // Only data that can be read again goes to ISA-L: a pipe's cannot.
  char probe = 0;
  if (inflater == Inflater::kFastest && compressed_->read_at(0, &probe, 1) == 1) {
    stream_ = std::make_unique<IsalStream>();
  }
#else
  (void)inflater;
#endif
  if (stream_ == nullptr) stream_ = std::make_unique<ZlibStream>();
}

GzipSource::~GzipSource() = default;

bool GzipSource::has_isal() {
#ifdef STRATUMIX_HAVE_ISAL
  return true;
#else
  return false;
#endif
}

bool GzipSource::uses_isal() const { return zlib_ == nullptr && stream_->isal(); }

bool GzipSource::take_input() {
  if (input_ended_) return false;
  std::size_t got = compressed_->read(reinterpret_cast<char*>(input_.get()), kInputSize);
  if (got == 0) {
    input_ended_ = true;
    return false;
  }
  next_in_ = input_.get();
  avail_in_ = got;
  taken_ += got;
  return true;
}

bool GzipSource::reserved_flags_set() {
  // The flags byte is the fourth of a member; ISA-L passes over the three
  // that gzip reserves, which zlib refuses.
  constexpr unsigned kReserved = 0xe0;
  constexpr std::size_t kFlags = 3;
  if (avail_in_ > kFlags) return (next_in_[kFlags] & kReserved) != 0;
  char flags = 0;
  return compressed_->read_at(taken_ - avail_in_ + kFlags, &flags, 1) == 1 &&
         (static_cast<unsigned char>(flags) & kReserved) != 0;
}

void GzipSource::fail(const std::string& what) {
  throw Failure{1, "Cannot read " + shown_ + ": " + what, damaged_};
}

void GzipSource::found_fault(const std::string& what, std::size_t got) {
  fault_ = what + ", after " + count_text(text_bytes_ + got) + " bytes of text";
}

void GzipSource::hand_over_to_zlib(std::uint64_t handed) {
  zlib_ = std::make_unique<GzipSource>(std::make_unique<ReadAgain>(*compressed_), shown_,
                                       Inflater::kZlib);
  // zlib gives at least the text ISA-L gave: all that the data decides.
  std::unique_ptr<char[]> scrap(new char[kInputSize]);
  while (handed > 0) {
    std::size_t got = zlib_->read(scrap.get(), std::min<std::uint64_t>(handed, kInputSize));
    if (got == 0) break;
    handed -= got;
  }
}

std::size_t GzipSource::read(char* buffer, std::size_t size) {
  if (zlib_ != nullptr) return zlib_->read(buffer, size);
  if (!fault_.empty()) fail(fault_);
  const std::size_t wanted = std::min<std::size_t>(size, std::size_t{1} << 30);
  char* out = buffer;
  std::size_t room = wanted;
  while (room > 0) {
    const bool more_input = avail_in_ > 0 || take_input();
    if (!more_input) {
      if (member_ended_) break;
      if (stream_->isal()) {
        hand_over_to_zlib(text_bytes_ + (wanted - room));
        break;
      }
    } else if (member_ended_) {
      // More bytes after a member: the next member of the same text.
      stream_->next_member();
      member_ended_ = false;
      member_text_ = false;
      member_begins_ = true;
    }
    if (member_begins_ && more_input && stream_->isal()) {
      member_begins_ = false;
      if (reserved_flags_set()) {
        hand_over_to_zlib(text_bytes_ + (wanted - room));
        break;
      }
    }
    std::size_t room_before = room;
    Stream::Step step = stream_->step(next_in_, avail_in_, out, room);
    member_text_ = member_text_ || room != room_before;
    // With no more input, zlib still gives the text it had no room for the
    // last time (the end of a match); once it gives none, the data is cut
    // short there, wherever the reads before ended.
    if (!more_input && step == Stream::Step::kMore && room == room_before) {
      found_fault("the gzip data is cut short", wanted - room);
      break;
    }
    if (step == Stream::Step::kMemberEnd) {
      member_ended_ = true;
    } else if (step == Stream::Step::kFault) {
      if (stream_->isal()) {
        hand_over_to_zlib(text_bytes_ + (wanted - room));
        break;
      }
      // Text of a member that fails may be garbled from its start; one that
      // gave none (bytes after the last member that are no gzip member)
      // leaves only checked text before it.
      damaged_ = member_text_;
      found_fault("the gzip data is corrupt (" + stream_->fault() + ")", wanted - room);
      break;
    }
  }
  std::size_t got = wanted - room;
  text_bytes_ += got;
  if (got == 0 && zlib_ != nullptr) return zlib_->read(buffer, size);
  if (got == 0 && !fault_.empty()) fail(fault_);
  return got;
}
