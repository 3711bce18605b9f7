#include "job/pasting.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "io/failure.h"
#include "io/paths.h"
#include "platform/platform.h"
#include "read/detect.h"

namespace {

constexpr std::int64_t kProgressInterval = 100000;
// Points between two looks for an interruption.
constexpr std::int64_t kInterruptionCheck = 4096;

[[noreturn]] void stop_interrupted() { throw Failure{1, ""}; }

// The bytes an input gave, for the progress bar: counted where the reading
// thread reads them, before any decompression, so that they add up to the
// file's size. The count is shared: a job that stops leaves the input, and
// its reading thread, to the end of the run.
using ByteCount = std::shared_ptr<std::atomic<std::int64_t>>;
class CountedSource : public ByteSource {
 public:
  CountedSource(std::unique_ptr<ByteSource> source, ByteCount count)
      : source_(std::move(source)), count_(std::move(count)) {}
  std::size_t read(char* buffer, std::size_t size) override {
    std::size_t got = source_->read(buffer, size);
    count_->fetch_add(static_cast<std::int64_t>(got), std::memory_order_relaxed);
    return got;
  }
  // Not counted: the bytes read in order add up to the file's size alone.
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    return source_->read_at(offset, buffer, size);
  }

 private:
  std::unique_ptr<ByteSource> source_;
  ByteCount count_;
};

class Pasting {
 public:
  Pasting(const Job& job, Disk& disk, Console& console, PastingObserver& observer, PastingLeft left)
      : job_(job), disk_(disk), console_(console), observer_(observer), left_(left) {}

  void paste_all() {
    observer_.job_begun();
    const auto count = static_cast<std::int32_t>(job_.inputs.size());
    for (std::int32_t m = 1; m <= count; ++m) {
      // Between files too: thousands of small ones may never reach a look.
      if (platform::interruption() != 0) stop_interrupted();
      paste_one(m, job_.inputs[static_cast<std::size_t>(m - 1)]);
    }
    job_.result->close();
  }

 private:
  void paste_one(std::int32_t m, const std::string& path);
  std::unique_ptr<ByteSource> open_input(const std::string& path);
  [[noreturn]] void stop_on_unopened(const std::string& path, const std::string& reason);

  const Job& job_;
  Disk& disk_;
  Console& console_;
  PastingObserver& observer_;
  PastingLeft left_;
};

// What was pasted stays: the result is written out and closed before the
// job waits, so that closing the console window then loses nothing.
void Pasting::stop_on_unopened(const std::string& path, const std::string& reason) {
  observer_.input_unopened(path);
  console_.error("Cannot open " + disk_.describe(path) + ": " + reason);
  job_.result->close();
  job_.info_report->close();
  if (!job_.key_wait_on_unopened_input) throw Failure{1, ""};
  if (platform::can_wait_for_key()) console_.error("Press a key to end.");
  platform::getch();
  throw Failure{0, ""};
}

std::unique_ptr<ByteSource> Pasting::open_input(const std::string& path) {
  std::string reason;
  std::unique_ptr<ByteSource> source = disk_.open_for_reading(path, reason);
  if (source == nullptr) stop_on_unopened(path, reason);
  return source;
}

void Pasting::paste_one(std::int32_t m, const std::string& path) {
  std::unique_ptr<ByteSource> source = open_input(path);
  InputFacts& facts = observer_.input_begun(m, path);
  auto bytes_read = std::make_shared<std::atomic<std::int64_t>>(0);
  source = std::make_unique<CountedSource>(std::move(source), bytes_read);
  // Its form is told by its first bytes, which a pipe may be slow to give:
  // the file is announced first.
  std::unique_ptr<PointInput>& slot = left_.input;
  slot = open_points(std::move(source), path, disk_.describe(path), job_.reading,
                     job_.measure_z ? Axes::kXYZ : Axes::kXY);
  PointInput& input = *slot;
  // The points a failure or an interruption cut short are in the result all
  // the same, and the report says so.
  Extents extents;
  auto note_cut_short = [&] {
    facts.bytes = bytes_read->load(std::memory_order_relaxed);
    facts.points = input.points();
    facts.extents = Bounds::of(extents);
  };
  std::int64_t pasted = 0;
  OutputFile& result = *job_.result;
  // Where the input's points begin in the result: taken back to there when
  // its bytes turn out to be damaged.
  const std::int64_t begin = result.position();
  observer_.points_begin();
  try {
    for (;;) {
      // Points go in runs that end where the next look or progress line is
      // due, or a little after, when the reading thread copied ahead.
      std::int64_t run = std::min(kInterruptionCheck - pasted % kInterruptionCheck,
                                  kProgressInterval - pasted % kProgressInterval);
      std::int64_t copied = input.copy_points(result, extents, run);
      if (copied == 0) break;
      std::int64_t before = pasted;
      pasted += copied;
      facts.points = pasted;
      facts.extents = Bounds::of(extents);
      facts.bytes = bytes_read->load(std::memory_order_relaxed);
      observer_.points_pasted();
      if (copied >= run && platform::interruption() != 0) stop_interrupted();
      observer_.run_ended(before, pasted);
      if (copied < run) break;
    }
    // Text that is not points may be gzip data garbled before its check.
    if (!input.problem().empty()) input.check_rest();
  } catch (const Failure& failure) {
    if (!failure.input_damaged) {
      note_cut_short();
      throw;
    }
    // None of a damaged input's text can be trusted: its points go.
    if (!result.cut_to(begin)) {
      note_cut_short();
      throw Failure{1, failure.message +
                           "; its points already sent to the result, which is no file on a "
                           "disk, cannot be taken back"};
    }
    facts.bytes = bytes_read->load(std::memory_order_relaxed);
    facts.points = 0;
    facts.extents = {};
    throw Failure{1, failure.message + "; none of its points are pasted"};
  } catch (...) {
    note_cut_short();
    throw;
  }
  if (std::string note = input.note(); !note.empty()) {
    facts.notes.push_back(note);
    console_.error("note: " + paths::for_message(path) + ": " + note + ".");
  }
  if (!input.problem().empty()) {
    facts.cut_short = true;
    facts.notes.push_back(input.problem() + "; the rest of this file is not pasted");
    left_.incomplete = true;
    console_.error("warning: " + paths::for_message(path) + ", " + input.problem() +
                   "; the rest of this file is not pasted.");
  }
  facts.unit = input.unit();
  slot.reset();
  facts.bytes = bytes_read->load(std::memory_order_relaxed);
  facts.extents = Bounds::of(extents);
  observer_.input_ended(extents);
}

}  // namespace

void paste(const Job& job, Disk& disk, Console& console, PastingObserver& observer,
           PastingLeft left) {
  Pasting(job, disk, console, observer, left).paste_all();
}
