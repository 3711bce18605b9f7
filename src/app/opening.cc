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

[[noreturn]] void answers_ended() {
  // Standard input that is no stream of text (a folder) did not end: it
  // gave nothing, and the operator is to know why.
  if (int error = answers->error(); error != 0) {
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

std::string answer_name() {
  console.flush();
  std::optional<std::string> word = answers->word();
  // A Ctrl-C while an answer was typed, or waited for.
  stop_if_interrupted_before_changes();
  if (!word) answers_ended();
  return checked(std::move(*word));
}

std::int32_t answer_count() {
  console.flush();
  Answers::Count count = answers->count();
  stop_if_interrupted_before_changes();
  switch (count.kind) {
    case Answers::Count::kEnd:
      answers_ended();
    case Answers::Count::kNotANumber:
      // The word stays for the next question, which takes it as the result.
      report_error("note: the number of files \"" + paths::for_message(count.text) +
                   "\" is not a number, so no file is asked for.");
      return 0;
    case Answers::Count::kNumber:
      break;
  }
  if (count.value > kMaxFiles) {
    throw Failure{1, "A job pastes at most " + std::to_string(kMaxFiles) + " files, not " +
                         paths::for_message(count.text) + "; nothing was created."};
  }
  if (!count.fits_32_bits) {
    throw Failure{1, "The number of files " + paths::for_message(count.text) +
                         " is out of range; nothing was created."};
  }
  return static_cast<std::int32_t>(count.value);
}

}  // namespace

void opening() {
  platform::take_names_from_answers();
  print_banner();
  std::string nomim1(paths::kImagesDirectory);
  console << "\n\n\tName of the File Folder located in the Directory C:\\images ? ";
  std::string nomdir = answer_name();
  nomim1 += nomdir;
  nomim1 += paths::kSeparator;

  console << "\n\n\tNumber of files to paste ? ";
  numlay = answer_count();
  std::string nomfic;
  std::vector<std::string> inputs;
  for (std::int32_t i = 1; i <= numlay; ++i) {
    console << "\n\n\tName of the file " << i << " (without extension .xyz) ? ";
    nomfic = answer_name();
    std::string nomim3 = nomim1 + nomfic + std::string(paths::kExtension);
    files[static_cast<std::size_t>(i)].nombre = nomim3;
    inputs.push_back(nomim3);
  }
  console << "\n\n\tName of the resulting file (without extension .xyz) ? ";
  nomfic = answer_name();
  std::string nomim2 = nomim1 + nomfic + std::string(paths::kExtension);
  create_output_files(*disk, numlay, inputs, nomim2, f2, f6);
}
