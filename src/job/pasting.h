// Pasting: every point of every input of a job, in the job's order, into
// its result. The one way both the dialogue and the command line paste.
#ifndef STRATUMIX_JOB_PASTING_H_
#define STRATUMIX_JOB_PASTING_H_

#include <cstdint>
#include <memory>
#include <string>

#include "io/disk.h"
#include "io/text_out.h"
#include "job/job.h"
#include "num/extent.h"
#include "read/point_input.h"
#include "report/job_summary.h"

// Who follows the pasting as it goes: the dialogue's words on the console,
// or the command line's line per input, progress bar and summary.
class PastingObserver {
 public:
  virtual ~PastingObserver() = default;
  virtual void job_begun() {}
  // Input m (from 1), at `path`, is open: its facts, which the pasting keeps
  // up to date until input_ended(): bytes read, points and extents after
  // each run of points. `path` is the job's, as long as the job lives.
  virtual InputFacts& input_begun(std::int32_t m, const std::string& path) = 0;
  // Its form is known, and its points come next.
  virtual void points_begin() {}
  // After each run of points, with the facts up to date...
  virtual void points_pasted() {}
  // ...and once the job has looked for an interruption: the input had
  // `before` points before the run and has `now`.
  virtual void run_ended(std::int64_t /*before*/, std::int64_t /*now*/) {}
  // The input is read, to its end or to text that is not points.
  virtual void input_ended(const Extents& extents) = 0;
  // Said before a job stops at an input that cannot be opened.
  virtual void input_unopened(const std::string& /*path*/) {}
};

// What a pasting leaves to the run, whether the job ends or stops: the
// input being read, with its reading thread, to end with the run, and
// whether some input held text that is not points, whose rest was not
// pasted (the job's status tells it, even where a later input stops it).
struct PastingLeft {
  std::unique_ptr<PointInput>& input;
  bool& incomplete;
};

// Pastes the job and closes its result. Throws Failure after an input that
// cannot be opened (status 0 where the job waits for a key then, 1
// otherwise), and on a read or write error, damaged data or an
// interruption (status 1).
void paste(const Job& job, Disk& disk, Console& console, PastingObserver& observer,
           PastingLeft left);

#endif  // STRATUMIX_JOB_PASTING_H_
