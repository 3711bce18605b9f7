#include "read/gzip/gzip_source.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "io/failure.h"
#include "num/number.h"
#include "read/gzip/deflate_header.h"

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
  // Whether the inflater wants more than `available` bytes in one piece.
  virtual bool wants_input(std::size_t /*available*/) const { return false; }
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
// ISA-L passes over what zlib refuses in a dynamic block's header (a code
// that leaves codes unused), and it inflates block after block without a
// pause. So each block's header is read here first, and the block is handed
// to ISA-L marked as the last (in this copy of the data), which makes ISA-L
// stop at its end; it then goes on from the bits it kept and the 32 KiB of
// text later blocks may repeat, as a new stream with that dictionary.
class IsalStream : public GzipSource::Stream {
 public:
  // Left as it comes: isal_inflate_init sets what inflating reads, and the
  // state is 87 KB, a cost on every tile of a set if it were zeroed.
  IsalStream()
      : state_(new inflate_state),
        history_(new unsigned char[kHistory]),
        dictionary_(new unsigned char[kHistory]) {
    next_member();
  }

  // Whether this ISA-L stops at the end of a block marked last with the bits
  // after it kept (later versions drop those of the last byte: then blocks
  // cannot be followed, and zlib inflates).
  static bool follows_blocks() {
    static const bool follows = [] {
      // Two blocks of fixed codes, 'a' then 'b', the first 18 bits long.
      unsigned char data[8] = {};
      int at = 0;
      auto put = [&](unsigned code, int length) {
        for (int i = length - 1; i >= 0; --i, ++at) {
          if ((code >> i & 1) != 0)
            data[at / 8] = static_cast<unsigned char>(data[at / 8] | 1 << at % 8);
        }
      };
      for (unsigned letter : {unsigned{'a'}, unsigned{'b'}}) {
        put(1, 1);  // last
        put(2, 2);  // fixed codes: type 1, its low bit first
        put(0x30 + letter, 8);
        put(0, 7);  // the end of the block
      }
      std::unique_ptr<inflate_state> state(new inflate_state);
      isal_inflate_init(state.get());
      unsigned char text[8];
      state->next_in = data;
      state->avail_in = sizeof data;
      state->next_out = text;
      state->avail_out = sizeof text;
      return isal_inflate(state.get()) == ISAL_DECOMP_OK &&
             state->block_state == ISAL_BLOCK_FINISH && state->total_out == 1 && text[0] == 'a' &&
             (state->next_in - data) * 8 - state->read_in_length == 18;
    }();
    return follows;
  }

  void next_member() override {
    isal_inflate_init(state_.get());
    isal_gzip_header_init(&gzip_header_);
    part_ = Part::kMemberHeader;
    at_ = 0;
    kept_ = 0;
  }
  bool wants_input(std::size_t available) const override {
    return part_ == Part::kBlockHeader && available < kHeaderRoom;
  }
  Step step(unsigned char*& in, std::size_t& in_size, char*& out, std::size_t& out_size) override {
    inflate_state& s = *state_;
    s.next_in = in;
    s.avail_in = static_cast<std::uint32_t>(std::min<std::size_t>(in_size, UINT32_MAX));
    Step step = Step::kMore;
    if (part_ == Part::kMemberHeader) {
      int result = isal_read_gzip_header(&s, &gzip_header_);
      if (result < 0) step = Step::kFault;
      // The text's check sum is kept by ISA-L and checked at the last block.
      if (result == ISAL_DECOMP_OK) {
        s.crc_flag = ISAL_GZIP_NO_HDR;
        part_ = Part::kBlockHeader;
      }
    } else if (part_ == Part::kBlockHeader) {
      step = begin_block();
    } else {
      s.next_out = reinterpret_cast<std::uint8_t*>(out);
      s.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(out_size, UINT32_MAX));
      int result = isal_inflate(&s);
      std::size_t made = static_cast<std::size_t>(reinterpret_cast<char*>(s.next_out) - out);
      keep(reinterpret_cast<const unsigned char*>(out), made);
      made_ += made;
      out_size -= made;
      out = reinterpret_cast<char*>(s.next_out);
      if (result < 0 || result == ISAL_NEED_DICT) {
        step = Step::kFault;
      } else if (s.block_state == ISAL_BLOCK_FINISH) {
        if (last_) {
          step = Step::kMemberEnd;
        } else if (++followed_ >= 32 && made_ < followed_ * kShortBlock) {
          // Blocks of a few bytes each (data flushed at every line) would
          // cost ISA-L more than zlib, 32 KiB of dictionary a block.
          step = Step::kFault;
        } else {
          go_on();
          part_ = Part::kBlockHeader;
        }
      }
    }
    in_size -= static_cast<std::size_t>(s.next_in - in);
    in = s.next_in;
    return step;
  }
  // Never told: zlib reads the data again and tells it in its words.
  std::string fault() const override { return ""; }
  bool isal() const override { return true; }

 private:
  enum class Part { kMemberHeader, kBlockHeader, kBlock };
  static constexpr std::size_t kHistory = ISAL_DEF_HIST_SIZE;
  // The longest dynamic header is under 300 bytes.
  static constexpr std::size_t kHeaderRoom = 1024;
  // The text a block gives on average below which zlib inflates the rest.
  static constexpr std::uint64_t kShortBlock = 8192;

  Step begin_block() {
    inflate_state& s = *state_;
    BlockHeader header = read_block_header(s.read_in, s.read_in_length, s.next_in, s.avail_in);
    // Cut short in a header, or refused there: zlib reads it again and tells.
    if (header.verdict != BlockHeader::Verdict::kGood) return Step::kFault;
    last_ = header.final;
    if (!last_) {
      // The first bit of a block says whether it is the last.
      if (s.read_in_length > 0) {
        s.read_in |= 1;
      } else {
        s.next_in[0] = static_cast<std::uint8_t>(s.next_in[0] | 1);
      }
    }
    s.crc_flag = last_ ? ISAL_GZIP_NO_HDR_VER : ISAL_GZIP_NO_HDR;
    part_ = Part::kBlock;
    return Step::kMore;
  }

  // The last 32 KiB of text, for the blocks after the current one: kept_
  // bytes of history_ taken as a ring, ending before at_.
  void keep(const unsigned char* text, std::size_t size) {
    if (size >= kHistory) {
      std::memcpy(history_.get(), text + size - kHistory, kHistory);
      at_ = 0;
      kept_ = kHistory;
      return;
    }
    std::size_t first = std::min(size, kHistory - at_);
    std::memcpy(history_.get() + at_, text, first);
    std::memcpy(history_.get(), text + first, size - first);
    at_ = (at_ + size) % kHistory;
    kept_ = std::min(kHistory, kept_ + size);
  }

  // ISA-L ended the stream at the block's end: the next block follows as a
  // stream of its own, from the bits ISA-L kept, with the text before it
  // as its dictionary, the check sum and the count going on.
  void go_on() {
    inflate_state& s = *state_;
    const std::uint64_t held = s.read_in;
    const std::int32_t held_count = s.read_in_length;
    const std::uint32_t crc = s.crc;
    const std::uint32_t total = s.total_out;
    // The ring is most often whole in one piece (a read of 32 KiB or more
    // fills it from its start): then it is the dictionary as it is.
    const std::size_t begin = (at_ + kHistory - kept_) % kHistory;
    unsigned char* dictionary = history_.get() + begin;
    if (begin + kept_ > kHistory) {
      const std::size_t first = kHistory - begin;
      std::memcpy(dictionary_.get(), dictionary, first);
      std::memcpy(dictionary_.get() + first, history_.get(), kept_ - first);
      dictionary = dictionary_.get();
    }
    isal_inflate_reset(&s);
    isal_inflate_set_dict(&s, dictionary, static_cast<std::uint32_t>(kept_));
    s.read_in = held;
    s.read_in_length = held_count;
    s.crc = crc;
    s.total_out = total;
  }

  std::unique_ptr<inflate_state> state_;
  isal_gzip_header gzip_header_{};
  Part part_ = Part::kMemberHeader;
  bool last_ = false;
  std::unique_ptr<unsigned char[]> history_;
  std::size_t at_ = 0;
  std::size_t kept_ = 0;
  std::uint64_t followed_ = 0;  // blocks ended and gone on from
  std::uint64_t made_ = 0;      // the text of all members
  std::unique_ptr<unsigned char[]> dictionary_;
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
  if (inflater == Inflater::kFastest && IsalStream::follows_blocks() &&
      compressed_->read_at(0, &probe, 1) == 1) {
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

void GzipSource::top_up() {
  std::memmove(input_.get(), next_in_, avail_in_);
  next_in_ = input_.get();
  while (avail_in_ < kInputSize) {
    std::size_t got = compressed_->read(reinterpret_cast<char*>(input_.get()) + avail_in_,
                                        kInputSize - avail_in_);
    if (got == 0) {
      input_ended_ = true;
      break;
    }
    avail_in_ += got;
    taken_ += got;
  }
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
    if (more_input && !input_ended_ && stream_->wants_input(avail_in_)) top_up();
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
