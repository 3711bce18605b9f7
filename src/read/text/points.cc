#include "read/text/points.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "io/paths.h"
#include "num/bytes.h"
#include "read/text/run_loop.h"

namespace {

using bytes::is_white;

using bytes::kCtrlZ;

// Text of a file as messages quote it: its white space as one space, so
// that a message does not depend on how much of a long gap the reader
// still held.
std::string quoted(const char* first, const char* last) {
  return paths::quoted(std::string_view(first, static_cast<std::size_t>(last - first)));
}

}  // namespace

PointReader::PointReader(ByteSource& source, std::size_t buffer_size, Axes axes)
    : measured_(axes), buffer_(source, buffer_size, kTextSlack) {
  end_text(buffer_.data());
}

// Blocks taken whole must hold all the copying way can put in the buffer,
// and a point the buffer can hold must not be refused for the room in
// front of a block: the buffer sees to both.
PointReader::PointReader(ReadAhead& ahead, std::size_t buffer_size, Axes axes,
                         const QuickText* quick)
    : measured_(axes), buffer_(ahead, buffer_size, kTextSlack) {
  if (buffer_.takes_blocks() && quick != nullptr) {
    tails_quick_ = quick;
    auto tails = std::make_unique<BlockTails>(axes, *quick);
    tails_ = tails.get();
    ahead.set_work(std::move(tails));
  }
  end_text(buffer_.data());
}

BlockTail* PointReader::block_tail() {
  return tails_ != nullptr ? &tails_->of(buffer_.storage()) : nullptr;
}

// The reading thread's tail grows while its blocks are ready before they
// are asked for and shrinks while the reader waits for them, so that each
// side has about the same to do. What the reader asks for goes with the
// storage it hands back, for the block to be read into it.
void PointReader::share_tail_work() {
  constexpr int kLeast = BlockTail::kShares / 8;
  tail_share_ = buffer_.waited() ? std::max(kLeast, tail_share_ - 1)
                                 : std::min(BlockTail::kShares - kLeast, tail_share_ + 1);
  block_tail()->share = tail_share_;
}

// Keeps the current point's text, moved to the front, and reads more
// behind it. Returns false when nothing more can come.
bool PointReader::refill() {
  if (source_ended_) return false;
  // A CR passed at the end of what was read counted as a line end of its
  // own; it is not, if a LF comes next.
  cr_passed_at_end_ = position_ == end_ && end_ > 0 && buffer_.data()[end_ - 1] == '\r';
  const std::size_t kept = end_ - point_first_;
  if (tails_ != nullptr) share_tail_work();
  InputBuffer::Refill more = buffer_.refill(point_first_, end_);
  // The points of a block copied by other means were copied here.
  if (more.copied && tails_ != nullptr) block_tail()->forget();
  position_ = position_ - point_first_ + more.first;
  word_first_ = word_first_ - point_first_ + more.first;
  point_first_ = more.first;
  end_ = more.first + kept;
  if (more.got == 0) {
    if (more.copied) end_text(buffer_.data() + end_);
    if (more.full) return false;
    source_ended_ = true;
    return false;
  }
  take_read(more.got, more.whole_block && tails_ != nullptr && block_tail()->clear_of_ctrl_z);
  return true;
}

// Adds the `got` bytes read at end_ to the text, as far as a Ctrl-Z.
void PointReader::take_read(std::size_t got, bool clear_of_ctrl_z) {
  char* first = buffer_.data() + end_;
  // The CR was counted with no byte after it; with its LF it ends no line.
  const char cr_then[2] = {'\r', *first};
  if (cr_passed_at_end_ && !ends_line(cr_then)) --line_ends_;
  void* stop = clear_of_ctrl_z ? nullptr : std::memchr(first, kCtrlZ, got);
  if (stop != nullptr) {
    got = static_cast<std::size_t>(static_cast<char*>(stop) - first);
    source_ended_ = true;
  }
  end_ += got;
  end_text(buffer_.data() + end_);
}

PointReader::Word PointReader::next_word(bool starts_point) {
  if (starts_point) line_ends_dropped_ = 0;
  // Where the white space before the word starts, from the point's start,
  // which stays put when the buffer is refilled.
  std::size_t gap = position_ - point_first_;
  for (;;) {
    const char* data = buffer_.data();
    while (position_ < end_ && is_white(data[position_])) {
      line_ends_ += ends_line(data + position_);
      ++position_;
    }
    if (starts_point) point_first_ = position_;
    if (position_ < end_) break;
    if (!starts_point) drop_white_space(point_first_ + gap);
    // Only a source that has more to give means the buffer is full: a last
    // block taken whole may reach past the buffer's capacity and still end the text.
    if (!refill() && position_ == end_) {
      if (source_ended_) return Word::kEnd;
      std::size_t freed = squeeze_point(point_first_ + gap);
      if (freed == 0) return Word::kTooLong;
      gap -= freed;
    }
  }
  word_first_ = position_;
  for (;;) {
    const char* data = buffer_.data();
    while (position_ < end_ && !is_white(data[position_])) ++position_;
    if (position_ < end_ || source_ended_) return Word::kFound;
    if (!refill() && (source_ended_ || squeeze_point(word_first_) == 0)) {
      return source_ended_ ? Word::kFound : Word::kTooLong;
    }
  }
}

// When a point fills the buffer, each run of white space inside it before
// `last` (the start of the word or white space being read) shrinks to one
// space, so that only a point whose numbers do not fit one byte apart is
// refused, however its white space ran. Returns the bytes freed.
std::size_t PointReader::squeeze_point(std::size_t last) {
  char* data = buffer_.data();
  std::size_t to = point_first_;
  for (std::size_t from = point_first_; from < last;) {
    if (!is_white(data[from])) {
      data[to++] = data[from++];
      continue;
    }
    std::size_t run_end = from;
    while (run_end < last && is_white(data[run_end])) ++run_end;
    line_ends_dropped_ += count_line_ends(data + from, data + run_end);
    data[to++] = ' ';
    from = run_end;
  }
  std::size_t freed = last - to;
  if (freed == 0) return 0;
  std::memmove(data + to, data + last, end_ - last);
  if (word_first_ >= last) word_first_ -= freed;
  position_ -= freed;
  end_ -= freed;
  end_text(data + end_);
  return freed;
}

// White space inside a point, however long, must not fill the buffer: what
// was passed over of it, up to the end of the text read, shrinks to one
// space. Only a word has to fit.
void PointReader::drop_white_space(std::size_t first) {
  if (position_ - first <= 1) return;
  char* data = buffer_.data();
  // A CR at the end stays: the next read may bring its LF.
  char last = data[position_ - 1] == '\r' ? '\r' : ' ';
  std::size_t dropped_end = last == '\r' ? position_ - 1 : position_;
  line_ends_dropped_ += count_line_ends(data + first, data + dropped_end);
  data[first] = last;
  position_ = end_ = first + 1;
  end_text(data + end_);
}

void PointReader::set_problem(std::size_t offset, const std::string& what) {
  const char* data = buffer_.data();
  std::int64_t line = 1 + line_ends_ - count_line_ends(data + offset, data + position_);
  // The white space dropped lay after the point's start, before its last word.
  if (offset == point_first_) line -= line_ends_dropped_;
  problem_ = "line " + std::to_string(line) + ": " + what;
}

bool PointReader::next(Point& point) {
  for (int axis = 0; axis < 3; ++axis) {
    Word word = next_word(axis == 0);
    if (word == Word::kTooLong) {
      set_problem(point_first_,
                  "a point of " + std::to_string(buffer_.capacity()) + " bytes or more");
      return false;
    }
    if (word == Word::kEnd) {
      if (axis > 0) {
        const char* data = buffer_.data();
        set_problem(point_first_, quoted(data + point_first_, data + position_) +
                                      " is not a whole point (X Y Z)");
      }
      return false;
    }
    const char* data = buffer_.data();
    number::Parsed parsed = number::parse_token(data + word_first_, data + position_);
    if (!parsed.ok) {
      set_problem(word_first_, quoted(data + word_first_, data + position_) + " is not a number");
      return false;
    }
    Coordinate& c = point.xyz[axis];
    c.value = parsed.value;
    c.keep_text(data + word_first_, data + position_);
  }
  return true;
}

std::int64_t PointReader::copy_points(PointSink& sink, Extents& extents, std::int64_t count) {
  // Counted in the reader as it goes: a read that fails, or that an
  // interruption cuts short, leaves what went before in the result.
  const std::int64_t before = pasted_;
  PassThrough* pass = sink.pass_through();
  // The tails copied ahead are of no use to a sink of another text.
  if (tails_ != nullptr && (pass == nullptr || &pass->text() != tails_quick_)) tails_ = nullptr;
  while (pasted_ - before < count && !stopped_) {
    if (pass != nullptr) {
      pasted_ += copy_quickly(*pass, extents, count - (pasted_ - before));
      if (position_ == tail_start()) {
        pasted_ += take_tail(*pass, extents);
        continue;
      }
      if (pasted_ - before == count) break;
    }
    if (copy_next_slowly(sink, extents)) {
      ++pasted_;
    } else {
      stopped_ = true;
    }
  }
  return pasted_ - before;
}

// Up to `count` points, as far as the first the quick way cannot take, or
// as far as the block's tail that the reading thread copied.
std::int64_t PointReader::copy_quickly(PassThrough& pass, Extents& extents, std::int64_t count) {
  const char* const data = buffer_.data();
  const char* const text_end = data + end_;
  std::size_t tail = tail_start();
  const char* stop = tail == kNoTail ? text_end + 1 : data + tail;
  Run run{data + position_, nullptr, 0, 0, false};
  pass.pass_runs(run, stop, text_end, count, extents, measured_);
  position_ = static_cast<std::size_t>(run.end - data);
  line_ends_ += run.line_ends;
  return run.points;
}

std::size_t PointReader::tail_start() {
  BlockTail* tail = block_tail();
  if (tail == nullptr || tail->points == 0) return kNoTail;
  std::size_t start = buffer_.block_first() + tail->stop;
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
std::int64_t PointReader::take_tail(PassThrough& pass, Extents& extents) {
  BlockTail& tail = *block_tail();
  std::int64_t points = std::exchange(tail.points, 0);
  // The tail's storage may be taken as it stands, and a new one left.
  pass.pass_block(tail.out, tail.out_size, tail.out_room);
  extents.merge(tail.extents);
  position_ = buffer_.block_first() + tail.end;
  line_ends_ += tail.line_ends;
  return points;
}

bool PointReader::copy_next_slowly(PointSink& sink, Extents& extents) {
  Point point;
  if (!next(point)) return false;
  sink.point(point, extents, measured_);
  return true;
}
