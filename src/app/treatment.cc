#include "app/treatment.h"

#include <cstdint>
#include <string>

#include "app/stratumix.h"
#include "io/text_out.h"
#include "job/job.h"
#include "job/pasting.h"

namespace {

constexpr std::int64_t kRecordInterval = 100000;

// The dialogue's console: each file announced, a line for every hundred
// thousand points, and its X and Y extents once read.
class DialogueWords : public PastingObserver {
 public:
  void job_begun() override { console << "\n\n"; }
  InputFacts& input_begun(std::int32_t m, const std::string& path) override {
    m_ = m;
    console << "\n\n\tFile number " << m << " named " << path;
    console.flush();
    facts_ = InputFacts{};
    return facts_;
  }
  void points_begin() override { console << "\n\n"; }
  void run_ended(std::int64_t before, std::int64_t now) override {
    for (std::int64_t line = before / kRecordInterval + 1; line <= now / kRecordInterval; ++line) {
      console << "\t\trecord " << line * kRecordInterval << "            \r    ";
      console.flush();
    }
  }
  void input_ended(const Extents& extents) override {
    const Extent& X = extents.x;
    const Extent& Y = extents.y;
    console << "\n\n\tlayer " << m_ << " ";
    console << "\n\t\tX_min = " << Fixed6{X.min} << " X_max = " << Fixed6{X.max} << " ";
    console << "\n\t\tY_min = " << Fixed6{Y.min} << " Y_max = " << Fixed6{Y.max} << " ";
    console.flush();
  }
  void input_unopened(const std::string& path) override {
    console << "\n\tFile " << path << " unknown \n";
    console.flush();
  }

 private:
  std::int32_t m_ = 0;
  InputFacts facts_;
};

}  // namespace

void treatment() {
  Job job;
  // A count of zero or less, which the dialogue takes, pastes nothing.
  for (std::int32_t m = 1; m <= numlay; ++m) {
    job.inputs.push_back(files[static_cast<std::size_t>(m)].nombre);
  }
  job.result = &f2;
  job.info_report = &f6;
  job.measure_z = false;
  job.key_wait_on_unopened_input = true;
  DialogueWords words;
  paste(job, *disk, console, words, PastingLeft{f3, input_incomplete});
}
