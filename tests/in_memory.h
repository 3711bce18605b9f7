// Whole runs of the program inside the test's own process: its files on a
// MemoryDisk, its answers typed, its console captured. The inputs are read
// ahead on a thread of their own, as in every real run.
#ifndef STRATUMIX_TESTS_IN_MEMORY_H_
#define STRATUMIX_TESTS_IN_MEMORY_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "app/answers.h"
#include "app/stratumix.h"
#include "fake_disk.h"
#include "io/paths.h"
#include "io/text_out.h"
#include "job_text.h"

struct JobRun {
  int status = -1;  // what run_stratumix returned
  std::string out;  // the console
  std::string err;  // the messages
};

// The disk of the runs, and the runs on it.
class MemoryWorkspace : public MemoryDisk {
 public:
  // Inputs read in whole blocks, as from a disk.
  MemoryWorkspace() { piece = SIZE_MAX; }

  // Files below c:\images\, named with "/" ("s/a.xyz"), at the paths the
  // dialogue composes.
  static std::string path(const std::string& name) {
    std::string composed = std::string(paths::kImagesDirectory) + name;
    std::replace(composed.begin(), composed.end(), '/', '\\');
    return composed;
  }
  void write(const std::string& name, const std::string& bytes) { files[path(name)] = bytes; }
  std::string read(const std::string& name) const {
    auto file = files.find(path(name));
    return file == files.end() ? "" : file->second;
  }
  bool exists(const std::string& name) const { return files.count(path(name)) != 0; }

  // The dialogue's answers as a person at a terminal types them, who is
  // asked again; else as read from a file.
  bool answers_at_terminal = false;

  // The dialogue with these answers.
  JobRun run(const std::string& typed) { return run_job({}, typed); }
  // The command line with these arguments, words between spaces.
  JobRun run_arguments(const std::string& arguments) {
    std::vector<std::string> words;
    std::istringstream split(arguments);
    for (std::string word; split >> word;) words.push_back(word);
    return run_job(words, "");
  }

 private:
  JobRun run_job(const std::vector<std::string>& arguments, const std::string& typed) {
    JobRun job;
    Answers typed_answers(typed, answers_at_terminal);
    console.capture(&job.out, &job.err);
    job.status = run_stratumix(arguments, this, &typed_answers);
    console.capture(nullptr, nullptr);
    return job;
  }
};

class InMemory : public testing::Test {
 protected:
  MemoryWorkspace disk;
};

#endif  // STRATUMIX_TESTS_IN_MEMORY_H_
