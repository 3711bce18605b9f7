#include "app/opening.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/answers.h"
#include "app/stratumix.h"
#include "io/failure.h"
#include "io/paths.h"
#include "io/text_out.h"
#include "job/outputs.h"
#include "platform/platform.h"

namespace {

void print_banner() {
  const std::string stars(62, '*');
  auto framed = [](std::size_t left, const char* word, std::size_t right) {
    std::string line(1, '*');
    line.append(left, ' ').append(word).append(right, ' ').push_back('*');
    return line;
  };
  const std::string blank = framed(60, "", 0);
  console << "\n\n\t" << stars;
  console << "\n\t" << blank;
  console << "\n\t" << framed(23, "STRATUMIX", 28);
  for (int i = 0; i < 4; ++i) console << "\n\t" << blank;
  console << "\n\t" << framed(41, "QUASPERNOLDT", 7);
  console << "\n\t" << framed(41, "(march 2018)", 7);
  for (int i = 0; i < 2; ++i) console << "\n\t" << blank;
  console << "\n\t" << stars;
}

[[noreturn]] void answers_ended(const Answers& answers) {
  // Standard input that is no stream of text (a folder) did not end: it
  // gave nothing, and the operator is to know why.
  if (int error = answers.error(); error != 0) {
    throw Failure{1, std::string("The answers cannot be read: ") + std::strerror(error) +
                         "; nothing was created."};
  }
  throw Failure{1, "The answers ended before the job was complete; nothing was created."};
}

// A NUL would cut the path short where the system reads it, and another
// file than the one named would be opened.
std::string checked(std::string answer) {
  if (answer.find('\0') != std::string::npos) {
    throw Failure{1,
                  "An answer holds a NUL byte, which no file name can hold; nothing was "
                  "created."};
  }
  return answer;
}

std::string answer_name(Answers& answers) {
  console.flush();
  std::optional<std::string> word = answers.word();
  // A Ctrl-C while an answer was typed, or waited for.
  stop_if_interrupted_before_changes();
  if (!word) answers_ended(answers);
  return checked(std::move(*word));
}

// A count typed in error (a file's name, "2.5") must not leave its words
// to the next questions, which would take one for the result and empty
// that file: a person is asked again, answers from a file end the job.
std::int32_t answer_count(Answers& answers) {
  for (;;) {
    console.flush();
    Answers::Count count = answers.count();
    stop_if_interrupted_before_changes();
    if (count.kind == Answers::Count::kEnd) answers_ended(answers);
    if (count.whole()) {
      if (count.value > kMaxFiles) {
        throw Failure{1, "The dialogue pastes at most " + std::to_string(kMaxFiles) +
                             " files, not " + paths::for_message(count.text) +
                             "; nothing was created. The command line takes any number: "
                             "stratumix -o RESULT INPUT... (stratumix --help tells more)."};
      }
      if (!count.fits_32_bits) {
        throw Failure{1, "The number of files " + paths::for_message(count.text) +
                             " is out of range; nothing was created."};
      }
      return static_cast<std::int32_t>(count.value);
    }
    const std::string shown = paths::for_message(count.word);
    if (!answers.at_terminal()) {
      throw Failure{1, "The number of files \"" + shown + "\" is not a whole number from 1 to " +
                           std::to_string(kMaxFiles) + "; nothing was created."};
    }
    answers.skip_line();
    console << "\n\t\"" << shown << "\" is not a whole number: type a whole number from 1 to "
            << kMaxFiles << ".";
    console << "\n\n\tNumber of files to paste ? ";
  }
}

// A full path typed as the folder, c:\images\ and all, names the folder
// under it: the dialogue would put c:\images\ in front once more.
std::string folder_answer(std::string answer) {
  const std::string_view images = paths::kImagesDirectory;
  if (answer.size() > images.size() &&
      paths::equal_ignoring_case(std::string_view(answer).substr(0, images.size()), images)) {
    answer.erase(0, images.size());
    while (answer.size() > 1 && answer.back() == paths::kSeparator[0]) answer.pop_back();
  }
  return answer;
}

// A folder that is not there would only be found once every question has
// been answered, when the result cannot be made: said at once, and, as for
// a file unknown, the console window waits for a key before it closes.
void refuse_missing_folder(Disk& disk, const std::string& folder) {
  if (disk.is_folder(folder)) return;
  console << "\n\tFolder " << folder << " unknown \n";
  console.flush();
  report_error("The folder " + disk.describe(folder) + " does not exist; nothing was created.");
  if (platform::can_wait_for_key()) console.error("Press a key to end.");
  platform::getch();
  throw Failure{1, ""};
}

// The file a name typed stands for: <name>.xyz as always; where there is
// none, tiles as they are delivered: the name itself when it is a file, or
// the one file of the name in a form of their own.
std::string input_path(Disk& disk, const std::string& folder, const std::string& name) {
  const std::string with_xyz = folder + name + std::string(paths::kExtension);
  if (disk.exists(with_xyz)) return with_xyz;
  if (!name.empty() && disk.exists(folder + name)) return folder + name;
  std::vector<std::string> found;
  for (const char* extension : {".las", ".laz", ".xyz.gz", ".txt", ".csv"}) {
    if (disk.exists(folder + name + extension)) found.push_back(folder + name + extension);
  }
  if (found.size() == 1) return found[0];
  if (found.size() > 1) {
    std::string names;
    for (const std::string& path : found) names += (names.empty() ? "" : ", ") + path;
    report_error("note: " + paths::for_message(name) + " may be any of " +
                 paths::for_message(names) + ": type the name with its extension.");
  }
  return with_xyz;
}

}  // namespace

void opening(DialogueJob& job) {
  platform::take_names_from_answers();
  print_banner();
  std::string nomim1(paths::kImagesDirectory);
  console << "\n\n\tName of the File Folder located in the Directory C:\\images ? ";
  std::string nomdir = folder_answer(answer_name(*job.answers));
  nomim1 += nomdir;
  refuse_missing_folder(*job.disk, nomim1);
  nomim1 += paths::kSeparator;

  console << "\n\n\tNumber of files to paste ? ";
  job.numlay = answer_count(*job.answers);
  std::string nomfic;
  std::vector<std::string> inputs;
  for (std::int32_t i = 1; i <= job.numlay; ++i) {
    console << "\n\n\tName of the file " << i << " (without extension .xyz) ? ";
    nomfic = answer_name(*job.answers);
    std::string nomim3 = input_path(*job.disk, nomim1, nomfic);
    job.files[static_cast<std::size_t>(i)].nombre = nomim3;
    inputs.push_back(nomim3);
  }
  console << "\n\n\tName of the resulting file (without extension .xyz) ? ";
  nomfic = answer_name(*job.answers);
  std::string nomim2 = nomim1 + nomfic + std::string(paths::kExtension);
  create_output_files(*job.disk, job.numlay, inputs, nomim2, job.f2, job.f6);
}
