#include "app/treatment.h"

#include <cstdint>
#include <string>

#include "app/command_line_job.h"
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
  explicit DialogueWords(DialogueJob& job) : job_(job) {}
  void job_begun() override { console << "\n\n"; }
  InputFacts& input_begun(std::int32_t m, const std::string& path) override {
    m_ = m;
    path_ = &path;
    job_.files_begun = m;
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
    job_.files_ended = m_;
    // On standard error: the dialogue's console keeps its words.
    warn_of_no_point(facts_, *path_);
  }
  void input_unopened(const std::string& path) override {
    console << "\n\tFile " << path << " unknown \n";
    console.flush();
  }

 private:
  DialogueJob& job_;
  std::int32_t m_ = 0;
  const std::string* path_ = nullptr;
  InputFacts facts_;
};

}  // namespace

void treatment(DialogueJob& job) {
  Job pasted;
  // A count of zero or less, which the dialogue takes, pastes nothing.
  for (std::int32_t m = 1; m <= job.numlay; ++m) {
    pasted.inputs.push_back(job.files[static_cast<std::size_t>(m)].nombre);
  }
  pasted.result = &job.f2;
  pasted.info_report = &job.f6;
  pasted.measure_z = false;
  pasted.key_wait_on_unopened_input = true;
  DialogueWords words(job);
  paste(pasted, *job.disk, console, words, PastingLeft{job.f3, job.input_incomplete});
}
