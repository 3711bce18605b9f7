// The inputs of a job read and converted ahead of their turn, on threads of
// their own, while the pasting writes the result in the job's order: the
// pasting replays what each told, run by run, as if it had read it then.
#ifndef STRATUMIX_JOB_INPUTS_AHEAD_H_
#define STRATUMIX_JOB_INPUTS_AHEAD_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "io/disk.h"
#include "io/output_file.h"
#include "job/job.h"
#include "num/extent.h"
#include "read/las/las_crs.h"
#include "read/las/las_units.h"

// Bytes of the result, in a buffer handed on whole.
struct AheadBlock {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;
  std::size_t room = 0;
};

// What an input read ahead tells, in order: it could not be opened; or it
// is to be opened and read in its turn after all (a pipe, a device, a large
// file); or its form was refused; then its runs of points, and its end or
// the failure that cut it short.
struct AheadEvent {
  enum class Kind { kUnopened, kInTurn, kRefused, kRun, kFailed, kEnded };
  Kind kind = Kind::kEnded;
  std::string reason;            // kUnopened: the system's word
  std::exception_ptr failure;    // kRefused, kFailed
  std::vector<AheadBlock> text;  // kRun, kFailed: the result's bytes
  std::int64_t copied = 0;       // kRun: its points
  std::int64_t points = 0;       // the input's points so far, those of `text` too
  std::int64_t bytes = 0;        // the bytes it gave so far
  // Where the job has filters: the points read so far, and those each
  // left out.
  std::int64_t read = 0;
  std::vector<std::int64_t> left_out;
  Bounds extents_read;
  Extents extents;  // of its points so far
  // kEnded: what the reader says once it has read the input.
  std::string note;
  std::string problem;
  bool problem_at_end = false;
  LinearUnit unit = LinearUnit::kUnknown;
  las::Crs crs;
};

class InputsAhead {
 public:
  // `lanes` threads read inputs ahead, in the job's order, as far as
  // `lanes` of them beyond the one being pasted.
  InputsAhead(const Job& job, Disk& disk, int lanes);
  // Stops the lanes where they are, and waits for them.
  ~InputsAhead();
  InputsAhead(const InputsAhead&) = delete;
  InputsAhead& operator=(const InputsAhead&) = delete;

  // The next event of input `i` (from 0), waiting for it.
  AheadEvent next(std::size_t i);
  // The pasting has gone past input `i`: a lane may take another.
  void passed(std::size_t i);
  // Blocks whose bytes are written, for the lanes to fill again.
  void give_back(std::vector<AheadBlock>& blocks);
  // A block to fill: one given back, or a new one.
  std::unique_ptr<char[]> spare_block();

  // The lanes worth starting on this machine: none where it has one core.
  static int lanes_for_this_machine();

 private:
  struct Queue {
    std::deque<AheadEvent> events;
    std::size_t bytes = 0;  // of the blocks of their text
  };
  Queue& queue_of(std::size_t i) { return queues_[i % queues_.size()]; }
  void lane();
  void read_ahead(std::size_t i, OutputFile& out, std::vector<AheadBlock>& text);
  // Queues the `count` events at `events`, moving them; waits while the
  // input's queue holds too many bytes.
  void tell(std::size_t i, AheadEvent* events, std::size_t count);
  bool stopping() const;

  const Job& job_;
  Disk& disk_;
  std::size_t depth_;
  mutable std::mutex mutex_;
  // The pasting waits on told_ for input waited_for_'s events; lanes, as
  // many as lanes_waiting_, wait on room_ for a turn or for room.
  std::condition_variable told_;
  std::condition_variable room_;
  static constexpr std::size_t kNoInput = ~std::size_t{0};
  std::size_t waited_for_ = kNoInput;
  int lanes_waiting_ = 0;
  // One for each input a lane may have begun, input i's at i % size.
  std::vector<Queue> queues_;
  std::size_t next_ = 0;     // the next input a lane takes
  std::size_t current_ = 0;  // the input being pasted
  // The bytes of inputs after it in their queues.
  std::size_t waiting_ahead_ = 0;
  bool stopping_ = false;
  std::mutex spare_mutex_;
  std::vector<std::unique_ptr<char[]>> spare_;
  std::vector<std::thread> lanes_;
};

#endif  // STRATUMIX_JOB_INPUTS_AHEAD_H_
