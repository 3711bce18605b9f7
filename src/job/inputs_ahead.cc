#include "job/inputs_ahead.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "io/threads.h"
#include "job/runs.h"
#include "job/stages.h"
#include "read/detect.h"

namespace {

// The result's bytes waiting in memory: those of the inputs after the one
// being pasted, all together, and of that one, which the pasting takes as
// they come. Memory stays within these (and a run's blocks for each lane)
// however many and however large the inputs: a lane whose text would go
// beyond waits for the pasting to come to its input.
constexpr std::size_t kWaitingAhead = std::size_t{32} << 20;
constexpr std::size_t kWaitingNow = std::size_t{4} << 20;
// Text of at most this is copied rather than handed on in its block.
constexpr std::size_t kSmallText = std::size_t{4} << 10;
// An input larger than this is read in its turn: its text would not fit.
constexpr std::uint64_t kLargeInput = std::uint64_t{8} << 20;

// The blocks of a lane's result, kept whole for the pasting to write.
class BlockSink : public ByteSink {
 public:
  BlockSink(InputsAhead& ahead, std::vector<AheadBlock>& blocks) : ahead_(ahead), blocks_(blocks) {}
  void take(std::unique_ptr<char[]>& block, std::size_t size, std::size_t room) override {
    // The little text of a tiny tile is copied, so that it holds its bytes,
    // not a block; larger pieces (the last of a run) are not worth a copy.
    if (size <= kSmallText) {
      write(block.get(), size);
      return;
    }
    blocks_.push_back({std::move(block), size, room});
    block = room == kIoBlockSize ? ahead_.spare_block() : std::unique_ptr<char[]>(new char[room]);
  }
  // Bytes from elsewhere than the buffer (a reader's own block): copied.
  void write(const char* data, std::size_t size) override {
    while (size > 0) {
      std::size_t piece = std::min(size, kIoBlockSize);
      if (piece == kIoBlockSize) {
        blocks_.push_back({ahead_.spare_block(), piece, kIoBlockSize});
      } else {
        blocks_.push_back({std::unique_ptr<char[]>(new char[piece]), piece, piece});
      }
      std::memcpy(blocks_.back().bytes.get(), data, piece);
      data += piece;
      size -= piece;
    }
  }
  void close() override {}
  std::uint64_t kept() const override { return 0; }
  bool cut(std::uint64_t /*size*/) override { return false; }

 private:
  InputsAhead& ahead_;
  std::vector<AheadBlock>& blocks_;
};

// Blocks kept for the lanes beyond those in flight: enough for a run each.
constexpr std::size_t kSpareBlocks = 8;

// The memory an event's text holds.
std::size_t room_of(const AheadEvent& event) {
  std::size_t room = 0;
  for (const AheadBlock& block : event.text) room += block.room;
  return room;
}

}  // namespace

int InputsAhead::lanes_for_this_machine() {
  // A lane is one thread, reading and converting: one a core. Beyond
  // eight, the one thread that writes the result, or the disk, is the bound.
  unsigned cores = std::thread::hardware_concurrency();
  return cores < 2 ? 0 : static_cast<int>(std::min(cores, 8U));
}

InputsAhead::InputsAhead(const Job& job, Disk& disk, int lanes)
    : job_(job), disk_(disk), depth_(static_cast<std::size_t>(lanes) + 1), queues_(depth_ + 1) {
  // The lanes begun read every input.
  threads::start(lanes_, static_cast<std::size_t>(lanes), [this] { lane(); });
}

InputsAhead::~InputsAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  room_.notify_all();
  for (std::thread& lane : lanes_) lane.join();
}

bool InputsAhead::stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

// Each side wakes the other only when it waits for what changed: a tile set
// tells thousands of events, and a thread woken for nothing costs two
// switches.
AheadEvent InputsAhead::next(std::size_t i) {
  std::unique_lock<std::mutex> lock(mutex_);
  Queue& queue = queue_of(i);
  waited_for_ = i;
  told_.wait(lock, [&] { return !queue.events.empty(); });
  waited_for_ = kNoInput;
  AheadEvent event = std::move(queue.events.front());
  queue.events.pop_front();
  const std::size_t before = queue.bytes;
  queue.bytes -= room_of(event);
  // What the pasting takes frees only a lane held up by this input's own
  // queue; turns and the room ahead wait for passed().
  const bool wake = lanes_waiting_ > 0 && before >= kWaitingNow && queue.bytes < kWaitingNow;
  lock.unlock();
  if (wake) room_.notify_all();
  return event;
}

void InputsAhead::passed(std::size_t i) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = i + 1;
    // Its bytes are taken as they come from now on.
    waiting_ahead_ -= queue_of(current_).bytes;
    wake = lanes_waiting_ > 0;
  }
  if (wake) room_.notify_all();
}

void InputsAhead::tell(std::size_t i, AheadEvent* events, std::size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  Queue& queue = queue_of(i);
  ++lanes_waiting_;
  room_.wait(lock, [&] {
    return stopping_ ||
           (i == current_ ? queue.bytes < kWaitingNow : waiting_ahead_ < kWaitingAhead);
  });
  --lanes_waiting_;
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t room = room_of(events[k]);
    queue.bytes += room;
    if (i != current_) waiting_ahead_ += room;
    queue.events.push_back(std::move(events[k]));
  }
  const bool wake = waited_for_ == i;
  lock.unlock();
  if (wake) told_.notify_one();
}

void InputsAhead::give_back(std::vector<AheadBlock>& blocks) {
  std::lock_guard<std::mutex> lock(spare_mutex_);
  for (AheadBlock& block : blocks) {
    if (block.room == kIoBlockSize && spare_.size() < kSpareBlocks) {
      spare_.push_back(std::move(block.bytes));
    }
  }
  blocks.clear();
}

std::unique_ptr<char[]> InputsAhead::spare_block() {
  {
    std::lock_guard<std::mutex> lock(spare_mutex_);
    if (!spare_.empty()) {
      std::unique_ptr<char[]> block = std::move(spare_.back());
      spare_.pop_back();
      return block;
    }
  }
  return std::unique_ptr<char[]>(new char[kIoBlockSize]);
}

void InputsAhead::lane() {
  // One buffer for all the inputs the lane reads.
  OutputFile out;
  std::vector<AheadBlock> text;
  for (;;) {
    std::size_t i = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ++lanes_waiting_;
      room_.wait(lock, [&] {
        return stopping_ || next_ >= job_.inputs.size() || next_ < current_ + depth_;
      });
      --lanes_waiting_;
      if (stopping_ || next_ >= job_.inputs.size()) return;
      i = next_++;
    }
    try {
      read_ahead(i, out, text);
    } catch (...) {
      // Memory that ran out between the reader's calls: the pasting stops
      // there, as it would reading the input itself.
      AheadEvent failed;
      failed.kind = AheadEvent::Kind::kFailed;
      failed.failure = std::current_exception();
      tell(i, &failed, 1);
    }
  }
}

void InputsAhead::read_ahead(std::size_t i, OutputFile& out, std::vector<AheadBlock>& text) {
  const std::string& path = job_.inputs[i];
  AheadEvent event;
  // Only a file read again from any place is read ahead: the bytes of a
  // pipe or a device read now would be lost to others if the job stopped
  // before their turn, and a named pipe opened now would take the data of
  // its writer's next round as well, or give the same round to two of its
  // turns. Neither is even opened before its turn. A large file is read in
  // its turn too, by its own reading thread and the pasting's, so that both
  // cores work on it, as they could not on more than the memory allowed for
  // reading ahead.
  const std::int64_t size = disk_.size_of(path);
  if (size < 0 || static_cast<std::uint64_t>(size) > kLargeInput) {
    event.kind = AheadEvent::Kind::kInTurn;
    tell(i, &event, 1);
    return;
  }
  std::unique_ptr<ByteSource> source = disk_.open_for_reading(path, event.reason);
  if (source == nullptr) {
    event.kind = AheadEvent::Kind::kUnopened;
    tell(i, &event, 1);
    return;
  }
  auto bytes_read = std::make_shared<std::atomic<std::int64_t>>(0);
  source = std::make_unique<CountedSource>(std::move(source), bytes_read);
  std::unique_ptr<PointInput> input;
  try {
    // The lanes keep the cores busy: each reads its input in place, with
    // no thread of its own to hand blocks to and from.
    input = open_points(std::move(source), path, disk_.describe(path), job_.reading,
                        job_.measure_z ? Axes::kXYZ : Axes::kXY, Reading::kInPlace);
    ask_for_columns(job_, *input);
    refuse_if_lacking(job_, *input, path);
  } catch (...) {
    event.kind = AheadEvent::Kind::kRefused;
    event.failure = std::current_exception();
    tell(i, &event, 1);
    return;
  }
  text.clear();
  out.open(std::make_unique<BlockSink>(*this, text));
  Stages stages(job_, out);
  Extents extents;
  // What the input gave so far, with the bytes of the result it made.
  auto told = [&](AheadEvent::Kind kind) {
    AheadEvent run;
    run.kind = kind;
    out.flush();
    run.text = std::move(text);
    text.clear();
    run.points = stages.kept(input->points());
    if (!job_.filters.empty()) {
      run.read = input->points();
      run.left_out = stages.left_out();
      run.extents_read = stages.extents_read(extents);
    }
    run.bytes = bytes_read->load(std::memory_order_relaxed);
    run.extents = extents;
    return run;
  };
  // The last run goes with the input's end, in one hand-over: a tile wakes
  // the pasting once, not twice. Room for both is made before anything is
  // read, so that memory that runs out later cannot lose the run.
  std::vector<AheadEvent> last;
  last.reserve(2);
  class Tell : public RunTaker {
   public:
    Tell(InputsAhead& ahead, std::size_t i, decltype(told)& told, std::vector<AheadEvent>& last)
        : ahead_(ahead), i_(i), told_(told), last_(last) {}
    bool go_on() override {
      stopped = ahead_.stopping();
      return !stopped;
    }
    void run_pasted(std::int64_t copied, std::int64_t /*pasted*/, bool last) override {
      AheadEvent event_of_run = told_(AheadEvent::Kind::kRun);
      event_of_run.copied = copied;
      if (last) {
        last_.push_back(std::move(event_of_run));
      } else {
        ahead_.tell(i_, &event_of_run, 1);
      }
    }
    bool stopped = false;

   private:
    InputsAhead& ahead_;
    std::size_t i_;
    decltype(told)& told_;
    std::vector<AheadEvent>& last_;
  } tell_runs(*this, i, told, last);
  try {
    paste_points(*input, stages, extents, tell_runs);
    if (tell_runs.stopped) return;
  } catch (...) {
    AheadEvent failed = told(AheadEvent::Kind::kFailed);
    failed.failure = std::current_exception();
    input.reset();
    last.push_back(std::move(failed));
    tell(i, last.data(), last.size());
    return;
  }
  AheadEvent ended = told(AheadEvent::Kind::kEnded);
  ended.note = note_of(job_, *input);
  ended.problem = input->problem();
  ended.problem_at_end = input->problem_at_end();
  ended.unit = input->unit();
  ended.crs = input->crs();
  input.reset();
  ended.bytes = bytes_read->load(std::memory_order_relaxed);
  last.push_back(std::move(ended));
  tell(i, last.data(), last.size());
}
