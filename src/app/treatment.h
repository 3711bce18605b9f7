// Pasting: every point of every input file, in job order, into the result
// point file, with each file's X and Y extents reported on the console.
#ifndef STRATUMIX_APP_TREATMENT_H_
#define STRATUMIX_APP_TREATMENT_H_

#include <cstdint>
#include <string>

#include "report/job_summary.h"

// Who follows the pasting as it goes: the command line's progress bar and
// summary.
class PastingWatch {
 public:
  virtual ~PastingWatch() = default;
  // The facts of input m, which the pasting keeps up to date until
  // input_ended(): its bytes read, points and extents after each run of
  // points.
  virtual InputFacts& input_begun(std::int32_t m, const std::string& path) = 0;
  virtual void points_pasted() = 0;
  virtual void input_ended() = 0;
};

// Reads files and numlay, writes and closes f2. Throws Failure after an
// input file that cannot be opened (status 0 in the dialogue, after the
// key wait; 1 on the command line), and on a read or write error
// (status 1).
void treatment(PastingWatch* watch = nullptr);

#endif  // STRATUMIX_APP_TREATMENT_H_
