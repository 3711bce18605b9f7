#include "job/pasting.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "io/failure.h"
#include "io/paths.h"
#include "job/inputs_ahead.h"
#include "job/runs.h"
#include "job/stages.h"
#include "platform/platform.h"
#include "read/detect.h"

namespace {

[[noreturn]] void stop_interrupted() { throw Failure{1, ""}; }

// How far an input went into the result, for the report of a job it
// stopped: its points there, the bytes it gave, their extents.
struct Reached {
  std::int64_t points = 0;
  std::int64_t bytes = 0;
  Extents extents;
};

class Pasting {
 public:
  Pasting(const Job& job, Disk& disk, Console& console, PastingObserver& observer, PastingLeft left)
      : job_(job), disk_(disk), console_(console), observer_(observer), left_(left) {}

  void paste_all() {
    observer_.job_begun();
    if (job_.titles) FieldsWriter::write_titles(*job_.result, job_.format, job_.columns);
    const auto count = static_cast<std::int32_t>(job_.inputs.size());
    // The next inputs are read ahead on other cores; one input keeps its
    // reading thread and the pasting's to itself.
    // A LAS result takes records, which the lanes do not make.
    if (count > 1 && disk_.reads_ahead() && job_.las == nullptr) {
      if (int lanes = InputsAhead::lanes_for_this_machine(); lanes > 0) {
        ahead_ = std::make_unique<InputsAhead>(job_, disk_, lanes);
      }
    }
    for (std::int32_t m = 1; m <= count; ++m) {
      // Between files too: thousands of small ones may never reach a look.
      if (platform::interruption() != 0) stop_interrupted();
      const std::string& path = job_.inputs[static_cast<std::size_t>(m - 1)];
      if (ahead_ != nullptr) {
        paste_read_ahead(m, path);
      } else {
        paste_one(m, path, open_input(m, path));
      }
    }
    job_.result->close();
  }

 private:
  void paste_one(std::int32_t m, const std::string& path, std::unique_ptr<ByteSource> source);
  void paste_read_ahead(std::int32_t m, const std::string& path);
  // Input `m` (from 1), kept before the job or opened now.
  std::unique_ptr<ByteSource> open_input(std::int32_t m, const std::string& path);
  [[noreturn]] void stop_on_unopened(const std::string& path, const std::string& reason);
  // Called in a handler: what the job tells of the failure or interruption
  // that cut the input short, with its points in the result taken back
  // where its bytes turned out damaged. Rethrows.
  [[noreturn]] void stop_at_failure(InputFacts& facts, std::int64_t begin, const Reached& reached);
  // What the reader says once it has read the input.
  void tell_end(InputFacts& facts, const std::string& path, const std::string& note,
                const std::string& problem, bool problem_at_end, LinearUnit unit,
                const las::Crs& crs);
  // Gives the input its reference system, one shared by all inputs in it,
  // and warns where it differs from the first input's: the result's
  // coordinates are then of several systems.
  void tell_system(InputFacts& facts, const std::string& path, const las::Crs& crs);

  const Job& job_;
  Disk& disk_;
  Console& console_;
  PastingObserver& observer_;
  PastingLeft left_;
  std::unique_ptr<InputsAhead> ahead_;
  // Each system met, once, with the first input found in it.
  struct System {
    std::shared_ptr<const las::Crs> crs;
    std::string path;
  };
  std::vector<System> systems_;
  std::size_t last_system_ = 0;
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

std::unique_ptr<ByteSource> Pasting::open_input(std::int32_t m, const std::string& path) {
  if (job_.kept != nullptr) {
    if (std::unique_ptr<ByteSource> kept = job_.kept->take(static_cast<std::size_t>(m - 1), path))
      return kept;
  }
  std::string reason;
  std::unique_ptr<ByteSource> source = disk_.open_for_reading(path, reason);
  if (source == nullptr) stop_on_unopened(path, reason);
  return source;
}

void Pasting::stop_at_failure(InputFacts& facts, std::int64_t begin, const Reached& reached) {
  auto note_cut_short = [&] {
    facts.points = reached.points;
    facts.bytes = reached.bytes;
    facts.extents = Bounds::of(reached.extents);
  };
  try {
    throw;
  } catch (const Failure& failure) {
    if (!failure.input_damaged) {
      note_cut_short();
      throw;
    }
    // None of a damaged input's text can be trusted: its points go (from
    // a LAS result, with its header's counts).
    if (job_.las != nullptr ? !job_.las->take_back_input() : !job_.result->cut_to(begin)) {
      note_cut_short();
      throw Failure{1, failure.message +
                           "; its points already sent to the result, which is no file on a "
                           "disk, cannot be taken back"};
    }
    facts.bytes = reached.bytes;
    facts.points = 0;
    facts.extents = {};
    throw Failure{1, failure.message + "; none of its points are pasted"};
  } catch (...) {
    note_cut_short();
    throw;
  }
}

void Pasting::tell_system(InputFacts& facts, const std::string& path, const las::Crs& crs) {
  if (crs.empty()) return;
  // Tiles come in runs of one system: the last one met is looked at first.
  // Past a bound, a job of tiles each in a system of its own would cost a
  // comparison with every other: those beyond it are kept alone.
  constexpr std::size_t kMostSystems = 64;
  if (!systems_.empty() && systems_[last_system_].crs->same_as(crs)) {
    facts.crs = systems_[last_system_].crs;
    return;
  }
  for (std::size_t s = 0; s < systems_.size(); ++s) {
    if (systems_[s].crs->same_as(crs)) {
      last_system_ = s;
      facts.crs = systems_[s].crs;
      return;
    }
  }
  facts.crs = std::make_shared<const las::Crs>(crs);
  if (systems_.size() < kMostSystems) {
    systems_.push_back({facts.crs, path});
    last_system_ = systems_.size() - 1;
  }
  if (systems_.size() == 1) return;
  const System& first = systems_.front();
  const std::string told = "its reference system, " + crs.describe_with_form() +
                           ", is not that of " + first.path + ", " +
                           first.crs->describe_with_form() +
                           ": the result holds the coordinates of both as they are";
  facts.notes.push_back(told);
  console_.error("warning: " + paths::for_message(path) + ": " + paths::for_message(told) + ".");
}

void Pasting::tell_end(InputFacts& facts, const std::string& path, const std::string& note,
                       const std::string& problem, bool problem_at_end, LinearUnit unit,
                       const las::Crs& crs) {
  if (!note.empty()) {
    facts.notes.push_back(note);
    console_.error("note: " + paths::for_message(path) + ": " + note + ".");
  }
  if (!problem.empty()) {
    facts.cut_short = !problem_at_end;
    facts.damaged = problem_at_end;
    // Damage found only at the input's end left nothing out, but let
    // wrong points in.
    const std::string told =
        problem + (problem_at_end ? "; all its points are pasted, but some may be wrong"
                                  : "; the rest of this file is not pasted");
    facts.notes.push_back(told);
    left_.incomplete = true;
    console_.error("warning: " + paths::for_message(path) + ", " + told + ".");
  }
  facts.unit = unit;
  tell_system(facts, path, crs);
}

void Pasting::paste_one(std::int32_t m, const std::string& path,
                        std::unique_ptr<ByteSource> source) {
  InputFacts& facts = observer_.input_begun(m, path);
  // A LAS result takes its inputs one after the other, with no lanes
  // ahead: a small file is read on this thread, where a reading thread of
  // its own would cost more than it saves. Its size is what opening it
  // found, unless the source cannot tell.
  constexpr std::int64_t kSmall = std::int64_t{8} << 20;
  std::int64_t size = -1;
  if (job_.las != nullptr) {
    size = source->plain_size();
    if (size < 0) size = disk_.size_of(path);
  }
  const Reading reading = size >= 0 && size < kSmall ? Reading::kInPlace : Reading::kAhead;
  auto bytes_read = std::make_shared<std::atomic<std::int64_t>>(0);
  source = std::make_unique<CountedSource>(std::move(source), bytes_read);
  // Its form is told by its first bytes, which a pipe may be slow to give:
  // the file is announced first.
  std::unique_ptr<PointInput>& slot = left_.input;
  slot = open_points(std::move(source), path, disk_.describe(path), job_.reading,
                     job_.measure_z ? Axes::kXYZ : Axes::kXY, reading, quick_text_for(job_));
  PointInput& input = *slot;
  ask_for_columns(job_, input);
  refuse_if_lacking(job_, input, path);
  Extents extents;
  OutputFile& result = *job_.result;
  Stages stages(job_, result, path);
  // Where the input's points begin in the result: taken back to there when
  // its bytes turn out to be damaged.
  const std::int64_t begin = result.position();
  observer_.points_begin();
  // Each run is told as it is written, and a job stops between two.
  class Tell : public RunTaker {
   public:
    Tell(Pasting& pasting, InputFacts& facts, const Extents& extents, const ByteCount& bytes,
         const PointInput& input, const Stages& stages)
        : pasting_(pasting),
          facts_(facts),
          extents_(extents),
          bytes_(bytes),
          input_(input),
          stages_(stages) {}
    void run_pasted(std::int64_t copied, std::int64_t pasted, bool last) override {
      facts_.points = pasted;
      if (!pasting_.job_.filters.empty()) {
        facts_.read = input_.points();
        facts_.left_out = stages_.left_out();
        facts_.extents_read = stages_.extents_read(extents_);
      }
      facts_.extents = Bounds::of(extents_);
      facts_.bytes = bytes_->load(std::memory_order_relaxed);
      pasting_.observer_.points_pasted();
      if (!last && platform::interruption() != 0) stop_interrupted();
      pasting_.observer_.run_ended(pasted - copied, pasted);
    }

   private:
    Pasting& pasting_;
    InputFacts& facts_;
    const Extents& extents_;
    const ByteCount& bytes_;
    const PointInput& input_;
    const Stages& stages_;
  } tell(*this, facts, extents, bytes_read, input, stages);
  try {
    paste_points(input, stages, extents, tell);
  } catch (...) {
    // The points a failure or an interruption cut short are in the result
    // all the same, and the report says so.
    if (!job_.filters.empty()) {
      facts.read = input.points();
      facts.left_out = stages.left_out();
      facts.extents_read = stages.extents_read(extents);
    }
    stop_at_failure(
        facts, begin,
        Reached{stages.kept(input.points()), bytes_read->load(std::memory_order_relaxed), extents});
  }
  tell_end(facts, path, note_of(job_, input), input.problem(), input.problem_at_end(), input.unit(),
           input.crs());
  slot.reset();
  facts.bytes = bytes_read->load(std::memory_order_relaxed);
  facts.extents = Bounds::of(extents);
  observer_.input_ended(extents);
}

// As paste_one(), but for what a lane read and converted ahead: the same
// runs, told in the same order, their text written as it comes.
void Pasting::paste_read_ahead(std::int32_t m, const std::string& path) {
  const auto i = static_cast<std::size_t>(m - 1);
  AheadEvent event = ahead_->next(i);
  if (event.kind == AheadEvent::Kind::kUnopened) stop_on_unopened(path, event.reason);
  if (event.kind == AheadEvent::Kind::kInTurn) {
    paste_one(m, path, open_input(m, path));
    ahead_->passed(i);
    return;
  }
  InputFacts& facts = observer_.input_begun(m, path);
  if (event.kind == AheadEvent::Kind::kRefused) std::rethrow_exception(event.failure);
  OutputFile& result = *job_.result;
  const std::int64_t begin = result.position();
  observer_.points_begin();
  std::int64_t pasted = 0;
  Reached reached;
  try {
    for (; event.kind != AheadEvent::Kind::kEnded; event = ahead_->next(i)) {
      reached = Reached{event.points, event.bytes, event.extents};
      if (event.kind == AheadEvent::Kind::kFailed && !job_.filters.empty()) {
        facts.read = event.read;
        facts.left_out = event.left_out;
        facts.extents_read = event.extents_read;
      }
      for (const AheadBlock& block : event.text) result.write_block(block.bytes.get(), block.size);
      ahead_->give_back(event.text);
      if (event.kind == AheadEvent::Kind::kFailed) std::rethrow_exception(event.failure);
      const std::int64_t run = points_in_run(pasted);
      const std::int64_t before = pasted;
      pasted += event.copied;
      facts.points = pasted;
      facts.read = event.read;
      facts.left_out = std::move(event.left_out);
      facts.extents_read = event.extents_read;
      facts.extents = Bounds::of(event.extents);
      facts.bytes = event.bytes;
      observer_.points_pasted();
      if (event.copied >= run && platform::interruption() != 0) stop_interrupted();
      observer_.run_ended(before, pasted);
    }
  } catch (...) {
    stop_at_failure(facts, begin, reached);
  }
  tell_end(facts, path, event.note, event.problem, event.problem_at_end, event.unit, event.crs);
  facts.bytes = event.bytes;
  if (!job_.filters.empty()) {
    facts.read = event.read;
    facts.left_out = std::move(event.left_out);
    facts.extents_read = event.extents_read;
  }
  facts.extents = Bounds::of(event.extents);
  ahead_->passed(i);
  observer_.input_ended(event.extents);
}

}  // namespace

void paste(const Job& job, Disk& disk, Console& console, PastingObserver& observer,
           PastingLeft left) {
  Pasting(job, disk, console, observer, left).paste_all();
}
