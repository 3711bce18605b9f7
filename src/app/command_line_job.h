// What a command-line job shows and leaves besides its files: the progress
// bar while it pastes, the summary at its end, the JSON report and the map.
#ifndef STRATUMIX_APP_COMMAND_LINE_JOB_H_
#define STRATUMIX_APP_COMMAND_LINE_JOB_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "io/disk.h"
#include "job/job.h"
#include "job/pasting.h"
#include "report/job_summary.h"
#include "report/progress.h"

// An input read to its end that gave no point (an empty file, one of
// comments alone) is warned of, which a note alone would hide among the
// others: why, "no point: ...", or empty for any other input; and the
// warning on standard error.
std::string no_point(const InputFacts& input);
void warn_of_no_point(const InputFacts& input, const std::string& path);

class CommandLineJob : public PastingObserver {
 public:
  // The clock starts here; `clock` and `terminal` stand in for the real
  // ones in tests, where the bar is then drawn whatever standard error is.
  explicit CommandLineJob(const Arguments& arguments, Clock* clock = nullptr,
                          Terminal* terminal = nullptr);
  ~CommandLineJob() override;
  CommandLineJob(const CommandLineJob&) = delete;
  CommandLineJob& operator=(const CommandLineJob&) = delete;

  // Once command_line_opening() has set `job` up: from here on, the job
  // leaves its report and map however it ends. Both are kept by reference
  // until the job's end.
  void set_up(const Job& job, Disk& disk);

  // `path` is the job table's, kept by reference until the job's end.
  InputFacts& input_begun(std::int32_t m, const std::string& path) override;
  void points_pasted() override;
  void input_ended(const Extents& extents) override;

  // Whether set_up() was called: the job then ends with its summary.
  bool began() const { return set_up_; }
  // Erases the progress bar for good, before the message of a job that
  // stops: redrawn under it, it would only be erased again.
  void end_progress();

  // The inputs begun, and those read to their end: for the info report of
  // a job that is interrupted.
  std::size_t inputs_begun() const { return facts_.inputs.size(); }
  std::size_t inputs_ended() const { return ended_; }

  // Ends the job that ended with `status`, stopped by `why` if not empty:
  // erases the bar, prints the summary, writes the report and the map.
  // Returns the status, 1 if one of them could not be written.
  int finish(int status, const std::string& why);

 private:
  // The job's figures at a point of the result: what the result holds up
  // to `position`.
  struct Mark {
    std::int64_t position = 0;
    std::size_t inputs = 0;  // begun; the last one's figures follow
    std::int64_t points = 0;
    Bounds extents;
    int files_pasted = 0;
  };
  void mark();
  // A result cut short by a full disk or a size limit: cut back to the
  // last mark it holds whole, and the figures made those of the mark.
  void keep_what_the_result_holds();
  // Counts the points of the result's lines from `from` to `to` (whole
  // lines, read back from the result) to the `inputs`, those in whose
  // part of the result they lie. False where the lines cannot be read.
  bool measure_lines(std::int64_t from, std::int64_t to, std::vector<InputFacts>& inputs) const;

  const Arguments& arguments_;
  const Job* job_ = nullptr;
  Disk* disk_ = nullptr;
  std::unique_ptr<Clock> own_clock_;
  std::unique_ptr<Terminal> own_terminal_;
  Clock* clock_;
  Terminal* terminal_;
  double start_;
  JobFacts facts_;
  std::int64_t points_before_ = 0;  // of the inputs before the current one
  std::int64_t bytes_before_ = 0;
  bool set_up_ = false;
  std::unique_ptr<ProgressBar> bar_;
  std::size_t ended_ = 0;  // the inputs read to their end
  bool lines_printed_ = false;
  // The last mark the result holds on the disk, and those after it, in
  // order, whose bytes may still be buffered. A mark is made after each
  // run of points; thinned, they stay a few dozen, in memory and in the
  // points a cut loses beyond the last whole line.
  Mark on_disk_;
  std::vector<Mark> pending_;

  void print_input_line(const std::string& end);
};

#endif  // STRATUMIX_APP_COMMAND_LINE_JOB_H_
