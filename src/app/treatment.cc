#include "app/treatment.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "app/stratumix.h"
#include "io/failure.h"
#include "io/paths.h"
#include "io/text_out.h"
#include "num/extent.h"
#include "platform/platform.h"
#include "read/inputs.h"

namespace {

constexpr std::int64_t kProgressInterval = 100000;
// Points between two looks for an interruption.
constexpr std::int64_t kInterruptionCheck = 4096;

[[noreturn]] void stop_interrupted() { throw Failure{1, ""}; }

// What was pasted stays: the result is written out and closed before the
// job waits, so that closing the console window then loses nothing.
[[noreturn]] void stop_on_unknown_file(const std::string& nomim3, const std::string& reason) {
  // The command line says it on standard error alone.
  if (stop_with_key_wait) {
    console << "\n\tFile " << nomim3 << " unknown \n";
    console.flush();
  }
  report_error("Cannot open " + disk->describe(nomim3) + ": " + reason);
  f2.close();
  f6.close();
  if (!stop_with_key_wait) throw Failure{1, ""};
  if (platform::can_wait_for_key()) report_error("Press a key to end.");
  platform::getch();
  throw Failure{0, ""};
}

std::unique_ptr<ByteSource> open_input(const std::string& nomim3) {
  std::string reason;
  std::unique_ptr<ByteSource> source = disk->open_for_reading(nomim3, reason);
  if (source == nullptr) stop_on_unknown_file(nomim3, reason);
  return source;
}

// The bytes an input gave, for the progress bar: counted where the reading
// thread reads them, before any decompression, so that they add up to the
// file's size. The count is shared: a job that stops leaves f3, and its
// reading thread, to the end of the run.
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

// The points a failure or an interruption cut short are in the result all
// the same, and the report says so.
void note_cut_short(InputFacts& facts, const Extents& extents) {
  facts.points = f3->points();
  facts.extents = Bounds::of(extents);
}

void warn_incomplete(const std::string& nomim3, const std::string& problem) {
  input_incomplete = true;
  report_error("warning: " + paths::for_message(nomim3) + ", " + problem +
               "; the rest of this file is not pasted.");
}

}  // namespace

void treatment(PastingWatch* watch) {
  // The dialogue's console tells each file in its own words; a watched job
  // (the command line) gives each input one line of its own.
  const bool dialogue = watch == nullptr;
  if (dialogue) console << "\n\n";
  for (std::int32_t m = 1; m <= numlay; ++m) {
    // Between files too: thousands of small ones may never reach a look.
    if (platform::interruption() != 0) stop_interrupted();
    // The job table's name: the watch keeps it as the input's path.
    const std::string& nomim3 = files[static_cast<std::size_t>(m)].nombre;
    std::unique_ptr<ByteSource> source = open_input(nomim3);
    if (dialogue) {
      console << "\n\n\tFile number " << m << " named " << nomim3;
      console.flush();
    }
    InputFacts unwatched;
    InputFacts& facts = watch != nullptr ? watch->input_begun(m, nomim3) : unwatched;
    auto bytes_read = std::make_shared<std::atomic<std::int64_t>>(0);
    if (watch != nullptr) source = std::make_unique<CountedSource>(std::move(source), bytes_read);
    // Its form is told by its first bytes, which a pipe may be slow to give:
    // the file is announced first.
    // Z is the command line's alone, and has a cost.
    f3 = open_points(std::move(source), nomim3, disk->describe(nomim3), reading,
                     watch != nullptr ? Axes::kXYZ : Axes::kXY);
    Extents extents;
    const Extent& X = extents.x;
    const Extent& Y = extents.y;
    std::int64_t ico = 0;
    // Where the input's points begin in the result: taken back to there
    // when its bytes turn out to be damaged.
    const std::int64_t begin = f2.position();
    if (dialogue) console << "\n\n";

    try {
      for (;;) {
        // Points go in runs that end where the next look or progress line is
        // due, or a little after, when the reading thread copied ahead.
        std::int64_t run = std::min(kInterruptionCheck - ico % kInterruptionCheck,
                                    kProgressInterval - ico % kProgressInterval);
        std::int64_t copied = f3->copy_points(f2, extents, run);
        if (copied == 0) break;
        std::int64_t before = ico;
        ico += copied;
        if (watch != nullptr) {
          facts.points = ico;
          facts.extents = Bounds::of(extents);
          facts.bytes = bytes_read->load(std::memory_order_relaxed);
          watch->points_pasted();
        }
        if (copied >= run && platform::interruption() != 0) stop_interrupted();
        for (std::int64_t line = before / kProgressInterval + 1;
             dialogue && line <= ico / kProgressInterval; ++line) {
          console << "\t\trecord " << line * kProgressInterval << "            \r    ";
          console.flush();
        }
        if (copied < run) break;
      }
      // Text that is not points may be gzip data garbled before its check.
      if (!f3->problem().empty()) f3->check_rest();
    } catch (const Failure& failure) {
      facts.bytes = bytes_read->load(std::memory_order_relaxed);
      if (!failure.input_damaged) {
        note_cut_short(facts, extents);
        throw;
      }
      // None of a damaged input's text can be trusted: its points go.
      if (!f2.cut_to(begin)) {
        note_cut_short(facts, extents);
        throw Failure{1, failure.message +
                             "; its points already sent to the result, which is no file on a "
                             "disk, cannot be taken back"};
      }
      facts.points = 0;
      facts.extents = {};
      throw Failure{1, failure.message + "; none of its points are pasted"};
    } catch (...) {
      facts.bytes = bytes_read->load(std::memory_order_relaxed);
      note_cut_short(facts, extents);
      throw;
    }
    if (std::string note = f3->note(); !note.empty()) {
      facts.notes.push_back(note);
      report_error("note: " + paths::for_message(nomim3) + ": " + note + ".");
    }
    if (!f3->problem().empty()) {
      facts.cut_short = true;
      facts.notes.push_back(f3->problem() + "; the rest of this file is not pasted");
      warn_incomplete(nomim3, f3->problem());
    }
    facts.unit = f3->unit();
    f3.reset();
    facts.bytes = bytes_read->load(std::memory_order_relaxed);
    facts.extents = Bounds::of(extents);

    if (dialogue) {
      console << "\n\n\tlayer " << m << " ";
      console << "\n\t\tX_min = " << Fixed6{X.min} << " X_max = " << Fixed6{X.max} << " ";
      console << "\n\t\tY_min = " << Fixed6{Y.min} << " Y_max = " << Fixed6{Y.max} << " ";
      console.flush();
    } else {
      watch->input_ended();
    }
  }
  f2.close();
}
