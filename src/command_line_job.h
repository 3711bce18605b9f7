// What a command-line job shows and leaves besides its files: the progress
// bar while it pastes, the summary at its end, the JSON report and the map.
#ifndef STRATUMIX_COMMAND_LINE_JOB_H_
#define STRATUMIX_COMMAND_LINE_JOB_H_

#include <cstdint>
#include <memory>
#include <string>

#include "command_line.h"
#include "job_summary.h"
#include "progress.h"
#include "treatment.h"

class CommandLineJob : public PastingWatch {
 public:
  // The clock starts here; `clock` and `terminal` stand in for the real
  // ones in tests, where the bar is then drawn whatever standard error is.
  explicit CommandLineJob(const Arguments& arguments, Clock* clock = nullptr,
                          Terminal* terminal = nullptr);
  ~CommandLineJob() override;
  CommandLineJob(const CommandLineJob&) = delete;
  CommandLineJob& operator=(const CommandLineJob&) = delete;

  // Once command_line_opening() has set the job up: from here on, the job
  // leaves its report and map however it ends.
  void set_up();

  InputFacts& input_begun(std::int32_t m, const std::string& path) override;
  void points_pasted() override;
  void input_ended() override;

  // Ends the job that ended with `status`, stopped by `why` if not empty:
  // erases the bar, prints the summary, writes the report and the map.
  // Returns the status, 1 if one of them could not be written.
  int finish(int status, const std::string& why);

 private:
  const Arguments& arguments_;
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

  void print_input_line(const std::string& end);
};

#endif  // STRATUMIX_COMMAND_LINE_JOB_H_
