#include "points.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "bytes.h"
#include "read_ahead.h"

namespace {

using bytes::count_line_ends;
using bytes::is_white;

constexpr char kCtrlZ = 0x1a;

void copy_block_tail(char* text, std::size_t size, std::size_t block_size,
                     std::unique_ptr<BlockExtra>& extra);

// Where a run of points copied by the fast path has come to.
struct Run {
  const char* end;  // in the text: after the last point copied
  char* out;
  std::int64_t points;
  std::int64_t line_ends;
  bool stopped;  // at a point the fast path does not take, or at the stop
};

// The reading thread's share of the work on a block: the points of its
// tail, from the first line end past where the share begins, copied to
// storage of their own, on the chance that a point begins there, as in most
// files, where each line holds one. The reader checks that chance when it
// comes there, and either takes what was copied or does the work itself.
struct BlockTail : BlockExtra {
  // How much of the block the tail is, in 64ths, as the reader last asked:
  // set on the way back to the reading thread.
  static constexpr int kShares = 64;
  int share = kShares / 2;
  // Offsets into the block: `stop`, where the white space before the tail
  // begins, so where the reader must be to take it, and `end`.
  std::size_t stop = 0;
  std::size_t end = 0;
  std::int64_t points = 0;     // none: nothing to take
  std::int64_t line_ends = 0;  // from `stop` to `end`
  Extent x;
  Extent y;
  std::unique_ptr<char[]> out;  // left as it comes: only what is copied is written
  std::size_t out_room = 0;
  std::size_t out_size = 0;
  bool clear_of_ctrl_z = false;  // the block has none: the reader need not look
};

// Text of the file for a message, in quotes: white space as one space, so
// that the message does not depend on how much of a long gap the reader
// still held, unprintable bytes escaped, and at most 40 characters of it.
std::string quoted(const char* first, const char* last) {
  constexpr std::size_t kShown = 40;
  while (last != first && is_white(last[-1])) --last;
  std::string text;
  const char* p = first;
  for (; p != last && text.size() < kShown; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (is_white(*p)) {
      if (text.empty() || text.back() != ' ') text += ' ';
    } else if (c >= 0x20 && c < 0x7f) {
      text += *p;
    } else {
      static const char kHex[] = "0123456789abcdef";
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  return "\"" + text + (p != last ? "..." : "") + "\"";
}

}  // namespace

constexpr std::size_t kSlack = 32;
static_assert(kSlack <= ReadAhead::kBack);

PointReader::PointReader(ByteSource& source, std::size_t buffer_size)
    : source_(source), capacity_(buffer_size) {
  std::size_t size = capacity_ + kSlack;
  // Blocks taken whole must hold all the copying way can put in the
  // buffer, and a point the buffer can hold must not be refused for the
  // room in front of a block.
  auto* ahead = dynamic_cast<ReadAhead*>(&source);
  if (ahead != nullptr && ahead->front() < capacity_ && size <= ahead->storage_size()) {
    ahead_ = ahead;
    size = ahead->storage_size();
    ahead_->set_work(&copy_block_tail);
  }
  // Left as they come but for the slack behind the text, which the fast
  // path reads into: the NUL there ends every number.
  buffer_.reset(new char[size]);
  std::memset(buffer_.get(), 0, kSlack);
}

// The reading thread's tail grows while its blocks are ready before they
// are asked for and shrinks while the reader waits for them, so that each
// side has about the same to do. What the reader asks for goes with the
// storage it hands back, for the block to be read into it.
void PointReader::share_tail_work() {
  constexpr int kLeast = BlockTail::kShares / 8;
  tail_share_ = ahead_->waited() ? std::max(kLeast, tail_share_ - 1)
                                 : std::min(BlockTail::kShares - kLeast, tail_share_ + 1);
  if (block_extra_ != nullptr) static_cast<BlockTail&>(*block_extra_).share = tail_share_;
}

// Keeps the current point's text, moved to the front, and reads more
// behind it. Returns false when nothing more can come.
bool PointReader::refill() {
  if (source_ended_) return false;
  // A CR passed at the end of what was read counted as a line end of its
  // own; it is not, if a LF comes next.
  cr_passed_at_end_ = position_ == end_ && end_ > 0 && buffer_[end_ - 1] == '\r';
  std::size_t kept = end_ - point_first_;
  std::size_t got = ReadAhead::kNotExchanged;
  if (ahead_ != nullptr) {
    share_tail_work();
    got = ahead_->exchange(buffer_, block_extra_, buffer_.get() + point_first_, kept);
  }
  // The points of a block copied by other means were copied here.
  if (got == ReadAhead::kNotExchanged) block_extra_.reset();
  if (got == 0) {
    source_ended_ = true;
    return false;
  }
  if (got != ReadAhead::kNotExchanged) {
    std::size_t first = ahead_->front() - kept;
    position_ = position_ - point_first_ + first;
    word_first_ = word_first_ - point_first_ + first;
    point_first_ = first;
    end_ = ahead_->front();
    const auto* tail = static_cast<const BlockTail*>(block_extra_.get());
    take_read(got, tail != nullptr && tail->clear_of_ctrl_z);
    return true;
  }
  std::memmove(buffer_.get(), buffer_.get() + point_first_, kept);
  position_ -= point_first_;
  word_first_ -= point_first_;
  point_first_ = 0;
  end_ = kept;
  std::memset(buffer_.get() + end_, 0, kSlack);
  // A block taken whole may have left more than the buffer holds.
  if (end_ >= capacity_) return false;
  got = source_.read(buffer_.get() + end_, capacity_ - end_);
  if (got == 0) {
    source_ended_ = true;
    return false;
  }
  take_read(got, false);
  return true;
}

// Adds the `got` bytes read at end_ to the text, as far as a Ctrl-Z.
void PointReader::take_read(std::size_t got, bool clear_of_ctrl_z) {
  char* first = buffer_.get() + end_;
  if (cr_passed_at_end_ && *first == '\n') --line_ends_;
  void* stop = clear_of_ctrl_z ? nullptr : std::memchr(first, kCtrlZ, got);
  if (stop != nullptr) {
    got = static_cast<std::size_t>(static_cast<char*>(stop) - first);
    source_ended_ = true;
  }
  end_ += got;
  std::memset(buffer_.get() + end_, 0, kSlack);
}

PointReader::Word PointReader::next_word(bool starts_point) {
  if (starts_point) line_ends_dropped_ = 0;
  // Where the white space before the word starts, from the point's start,
  // which stays put when the buffer is refilled.
  std::size_t gap = position_ - point_first_;
  for (;;) {
    const char* data = buffer_.get();
    while (position_ < end_ && is_white(data[position_])) {
      line_ends_ += bytes::ends_line(data + position_);
      ++position_;
    }
    if (starts_point) point_first_ = position_;
    if (position_ < end_) break;
    if (!starts_point) drop_white_space(point_first_ + gap);
    // Only a source that has more to give means the buffer is full: a last
    // block taken whole may reach past capacity_ and still end the text.
    if (!refill() && position_ == end_) return source_ended_ ? Word::kEnd : Word::kTooLong;
  }
  word_first_ = position_;
  for (;;) {
    const char* data = buffer_.get();
    while (position_ < end_ && !is_white(data[position_])) ++position_;
    if (position_ < end_ || source_ended_) return Word::kFound;
    if (!refill()) return source_ended_ ? Word::kFound : Word::kTooLong;
  }
}

// White space inside a point, however long, must not fill the buffer: what
// was passed over of it, up to the end of the text read, shrinks to one
// space. Only a word has to fit.
void PointReader::drop_white_space(std::size_t first) {
  if (position_ - first <= 1) return;
  char* data = buffer_.get();
  // A CR at the end stays: the next read may bring its LF.
  char last = data[position_ - 1] == '\r' ? '\r' : ' ';
  std::size_t dropped_end = last == '\r' ? position_ - 1 : position_;
  line_ends_dropped_ += count_line_ends(data + first, data + dropped_end);
  data[first] = last;
  position_ = end_ = first + 1;
  std::memset(data + end_, 0, kSlack);
}

void PointReader::set_problem(std::size_t offset, const std::string& what) {
  const char* data = buffer_.get();
  std::int64_t line = 1 + line_ends_ - count_line_ends(data + offset, data + position_);
  // The white space dropped lay after the point's start, before its last word.
  if (offset == point_first_) line -= line_ends_dropped_;
  problem_ = "line " + std::to_string(line) + ": " + what;
}

bool PointReader::next(Point& point) {
  for (int axis = 0; axis < 3; ++axis) {
    Word word = next_word(axis == 0);
    if (word == Word::kTooLong) {
      set_problem(point_first_, "a point longer than " + std::to_string(capacity_) + " bytes");
      return false;
    }
    if (word == Word::kEnd) {
      if (axis > 0) {
        const char* data = buffer_.get();
        set_problem(point_first_, quoted(data + point_first_, data + position_) +
                                      " is not a whole point (X Y Z)");
      }
      return false;
    }
    const char* data = buffer_.get();
    point.xyz[axis] = number::parse_token(data + word_first_, data + position_);
    if (!point.xyz[axis].ok) {
      set_problem(word_first_, quoted(data + word_first_, data + position_) + " is not a number");
      return false;
    }
  }
  return true;
}

namespace {

// Where a number copied by copy_axis ends, in the text and in the output;
// a null `end` leaves the number to the general way.
struct Copied {
  const char* end;
  char* out;
};

// Passes over white space, adding its line ends to `line_ends`. Spaces and
// tabs, most of it, end no line.
inline const char* skip_white(const char* p, std::int64_t& line_ends) {
  for (;; ++p) {
    char c = *p;
    if (c == ' ' || c == '\t') continue;
    // A LF always ends a line, so it needs no look at the byte after it.
    if (c == '\n') {
      ++line_ends;
      continue;
    }
    if (!is_white(c)) return p;
    line_ends += bytes::ends_line(p);
  }
}

// The value of a number that might change an extent, which is rare: kept
// out of the loop so that its registers stay its own.
[[gnu::noinline]] double value_of(const char* first, const char* last) {
  return number::parse_token(first, last).value;
}

// The numbers copy_axis leaves: plain decimals of other shapes are copied as
// text, other decimal forms read and formatted. `value` gets the number
// when it might change `extent` (none for Z), and `measured` says so.
[[gnu::noinline]] Copied copy_other(const char* p, const char* text_end, char* o,
                                    const Extent* extent, bool& measured, double& value) {
  number::Decimal decimal;
  const char* end = number::copy_decimal(p, o, decimal);
  if (end != nullptr) {
    // Most points change no extent, and a plain decimal's integer part
    // shows it: its value is worked out only when it might.
    if (extent != nullptr && (extent->could_change_key(decimal.integer_key()) &&
                              extent->could_change(decimal.floor_bound()))) {
      measured = true;
      value = decimal.value();
    }
    return {end, o};
  }
  end = number::read_decimal(p, text_end, value);
  if (end == nullptr) return {nullptr, o};
  measured = extent != nullptr;
  return {end, number::format_fixed6(value, o)};
}

// Copies the number after the white space at `p` to `o` as "%f" writes it.
// The bulk of survey data, one to seven integer digits, then at most six
// decimals, is copied here after one look at sixteen bytes, with no branch
// per digit. X and Y (`kMeasured`) have their integer part checked against
// `extent`; a number that might change it sets `pending` and its value.
// Nothing here takes the address of the loop's own variables, which then
// stay in registers.
template <bool kMeasured>
[[gnu::always_inline]] inline Copied copy_axis(const char* p, const char* text_end, char* o,
                                               std::int64_t& line_ends, const Extent& extent,
                                               bool& pending, double& value) {
  // The usual separators, a space or CR LF, first; then LF and a tab,
  // which cost those nothing. Longer runs of white space are rarer and go
  // the longer way below.
  if (*p == ' ') {
    ++p;
  } else if (*p == '\r' && p[1] == '\n') {
    p += 2;
    ++line_ends;
  } else if (*p == '\n') {
    ++p;
    ++line_ends;
  } else {
    p += *p == '\t';
  }
  for (;;) {
    if (static_cast<unsigned char>(*p - '1') < 9) {
      unsigned not_digits = bytes::not_digits_16(p);
      int integer_digits = std::countr_zero(not_digits);
      if (integer_digits > 7) break;
      std::uint64_t word = bytes::load8(p);
      // The text as it stands is its "%f" text but for the zeros that pad
      // the decimals to six.
      std::memcpy(o, p, 16);
      const char* end = p + integer_digits;
      if (*end == '.') {
        int after = std::countr_zero(not_digits & (not_digits - 1));
        if (after > integer_digits + 7) break;  // more than six decimals
        end = p + after;
        if (!is_white(*end)) break;
        bytes::store8(o + after, bytes::kZeros);
      } else {
        // A whole number, short and so dear per byte: its point and zeros
        // go in one store.
        if (!is_white(*end)) break;
        bytes::store8(o + integer_digits, bytes::kPointZeros);
      }
      if constexpr (kMeasured) {
        // One to seven digits: the shift stays below 64.
        auto key = static_cast<std::int64_t>(bytes::first_high(word) >> (64 - 8 * integer_digits));
        if (extent.could_change_key(key)) [[unlikely]] {
          pending = true;
          value = value_of(p, end);
        }
      }
      return {end, o + integer_digits + 7};
    }
    if constexpr (!kMeasured) {
      // A minus on Z, common below sea level: "%f" writes it as it is,
      // then the number's own text. X and Y would need their keys signed.
      if (*p == '-' && static_cast<unsigned char>(p[1] - '1') < 9) {
        *o++ = '-';
        ++p;
        continue;
      }
    }
    if (!is_white(*p)) break;
    p = skip_white(p, line_ends);
  }
  bool measured = false;
  Copied copied = copy_other(p, text_end, o, kMeasured ? &extent : nullptr, measured, value);
  if (measured) pending = true;
  return copied;
}

// Up to `count` more whole points copied on from run.end to run.out, with
// their count and line ends added, each starting before `stop`; the caller
// has room for `count` of the longest lines. run.stopped at a point the
// fast path does not take, which is left as it is, or at `stop`. Relies on
// the NUL after the text, which ends every number, and on kSlack bytes to
// read on past it, sixteen at a time.
void copy_run(Run& run, const char* stop, const char* text_end, std::int64_t count, Extent& x,
              Extent& y) {
  // The loop's own variables stay in registers: nothing takes their
  // address.
  const char* p = run.end;
  char* o = run.out;
  std::int64_t line_ends = 0;
  std::int64_t copied = 0;
  bool stopped = false;
  for (; copied < count; ++copied) {
    if (p >= stop) {
      stopped = true;
      break;
    }
    // Nothing of a point counts until all of it is read: its extents are
    // applied once it is whole, which is seldom needed at all.
    std::int64_t point_line_ends = 0;
    bool x_pending = false;
    bool y_pending = false;
    bool z_pending = false;
    double x_value;
    double y_value;
    double z_value;
    Copied c = copy_axis<true>(p, text_end, o, point_line_ends, x, x_pending, x_value);
    if (c.end != nullptr) {
      *c.out = ' ';
      c = copy_axis<true>(c.end, text_end, c.out + 1, point_line_ends, y, y_pending, y_value);
    }
    if (c.end != nullptr) {
      *c.out = ' ';
      c = copy_axis<false>(c.end, text_end, c.out + 1, point_line_ends, y, z_pending, z_value);
    }
    if (c.end == nullptr) {
      stopped = true;
      break;
    }
    c.out[0] = '\r';
    c.out[1] = '\n';
    o = c.out + 2;
    p = c.end;
    line_ends += point_line_ends;
    if (x_pending) [[unlikely]]
      x.add(x_value);
    if (y_pending) [[unlikely]]
      y.add(y_value);
  }
  run.end = p;
  run.out = o;
  run.points += copied;
  run.line_ends += line_ends;
  run.stopped = stopped;
}

// The room a tail is copied into, at most: twice the tail, as when
// single-digit numbers of one line each get their six decimals, is more
// than plain decimals with two or more of them need.
constexpr std::size_t kTailRoom = kIoBlockSize;

// The work the reading thread does on each block.
void copy_block_tail(char* text, std::size_t size, std::size_t block_size,
                     std::unique_ptr<BlockExtra>& extra) {
  // A small block, a small file or the last of a large one, is not worth
  // the storage: thousands of small files would each take their own.
  bool worth_it = size >= block_size / 4;
  if (extra == nullptr && !worth_it) return;
  if (extra == nullptr) extra = std::make_unique<BlockTail>();
  auto& tail = static_cast<BlockTail&>(*extra);
  tail.points = 0;
  tail.clear_of_ctrl_z = false;
  if (!worth_it) return;
  // A Ctrl-Z ends the text: the reader alone knows where it stands.
  tail.clear_of_ctrl_z = std::memchr(text, kCtrlZ, size) == nullptr;
  if (!tail.clear_of_ctrl_z) return;
  std::memset(text + size, 0, kSlack);
  std::size_t from = size - size * static_cast<std::size_t>(tail.share) / BlockTail::kShares;
  const auto* line_end = static_cast<const char*>(std::memchr(text + from, '\n', size - from));
  if (line_end == nullptr) return;
  const char* stop = line_end;
  while (stop != text && is_white(stop[-1])) --stop;
  if (stop == text) return;
  std::size_t room = std::min(kTailRoom, 2 * (size - from) + kMaxPointLine);
  if (tail.out_room < room) {
    tail.out.reset(new char[room]);
    tail.out_room = room;
  }
  tail.x = Extent{};
  tail.y = Extent{};
  Run run{line_end + 1, tail.out.get(), 0, 0, false};
  const char* room_end = tail.out.get() + tail.out_room;
  constexpr auto kLongest = static_cast<std::ptrdiff_t>(kMaxPointLine);
  while (!run.stopped && room_end - run.out >= kLongest)
    copy_run(run, text + size + 1, text + size, (room_end - run.out) / kLongest, tail.x, tail.y);
  tail.stop = static_cast<std::size_t>(stop - text);
  tail.end = static_cast<std::size_t>(run.end - text);
  tail.line_ends = count_line_ends(stop, line_end + 1) + run.line_ends;
  tail.out_size = static_cast<std::size_t>(run.out - tail.out.get());
  tail.points = run.points;
}

}  // namespace

std::int64_t PointReader::copy_points(OutputFile& file, Extent& x, Extent& y, std::int64_t count) {
  std::int64_t copied = 0;
  while (copied < count && !stopped_) {
    copied += copy_quickly(file, x, y, count - copied);
    if (position_ == tail_start()) {
      copied += take_tail(file, x, y);
      continue;
    }
    if (copied == count) break;
    if (copy_next_slowly(file, x, y)) {
      ++copied;
    } else {
      stopped_ = true;
    }
  }
  return copied;
}

// Up to `count` points, as far as the first the fast path cannot take, or
// as far as the block's tail that the reading thread copied.
std::int64_t PointReader::copy_quickly(OutputFile& file, Extent& x, Extent& y, std::int64_t count) {
  const char* const data = buffer_.get();
  const char* const text_end = data + end_;
  std::size_t tail = tail_start();
  const char* stop = tail == kNoTail ? text_end + 1 : data + tail;
  Run run{data + position_, nullptr, 0, 0, false};
  while (run.points < count && !run.stopped) {
    run.out = file.reserve(kMaxPointLine);
    // The room is checked for as many of the longest lines as it holds at
    // once, not line by line.
    std::int64_t room = (file.room_end() - run.out) / static_cast<std::ptrdiff_t>(kMaxPointLine);
    copy_run(run, stop, text_end, std::min(count - run.points, room), x, y);
    file.commit(run.out);
  }
  position_ = static_cast<std::size_t>(run.end - data);
  line_ends_ += run.line_ends;
  return run.points;
}

std::size_t PointReader::tail_start() {
  auto* tail = static_cast<BlockTail*>(block_extra_.get());
  if (tail == nullptr || tail->points == 0) return kNoTail;
  std::size_t start = ahead_->front() + tail->stop;
  // A point went on past where the reading thread began one: its copy is
  // out of step.
  if (position_ > start) {
    tail->points = 0;
    return kNoTail;
  }
  return start;
}

// The reader has come to where the reading thread began: what it copied
// from there follows as if the reader had copied it.
std::int64_t PointReader::take_tail(OutputFile& file, Extent& x, Extent& y) {
  auto& tail = static_cast<BlockTail&>(*block_extra_);
  std::int64_t points = std::exchange(tail.points, 0);
  file.write_block(tail.out.get(), tail.out_size);
  x.merge(tail.x);
  y.merge(tail.y);
  position_ = ahead_->front() + tail.end;
  line_ends_ += tail.line_ends;
  return points;
}

bool PointReader::copy_next_slowly(OutputFile& file, Extent& x, Extent& y) {
  Point point;
  if (!next(point)) return false;
  write_point(file, point);
  x.add(point.xyz[0].value);
  y.add(point.xyz[1].value);
  return true;
}

void write_point(OutputFile& file, const Point& point) {
  char* out = file.reserve(kMaxPointLine);
  for (int axis = 0; axis < 3; ++axis) {
    const number::Parsed& n = point.xyz[axis];
    if (n.plain_decimal) {
      std::memcpy(out, n.text, n.text_length);
      out += n.text_length;
    } else {
      out = number::format_fixed6(n.value, out);
    }
    *out++ = axis < 2 ? ' ' : '\r';
  }
  *out++ = '\n';
  file.commit(out);
}
