// The texts of a job, for tests in a process of its own and in memory
// alike: the answers that set it up and the bytes the program shows and
// writes for it.
#ifndef STRATUMIX_TESTS_JOB_TEXT_H_
#define STRATUMIX_TESTS_JOB_TEXT_H_

#include <cstddef>
#include <string>
#include <vector>

// The answers of a job: folder, count, one name per file, result.
inline std::string job_answers(const std::string& folder, const std::vector<std::string>& names,
                               const std::string& result) {
  std::string text = folder + "\n" + std::to_string(names.size()) + "\n";
  for (const std::string& name : names) text += name + "\n";
  return text + result + "\n";
}

// `count` points in CR LF lines, X from x0 on in a cycle of 1000, every Y
// above 6100000.
inline std::string many_points(int count, int x0) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(x0 + i % 1000) + ".25 " + std::to_string(6100000 + i) + ".5 1\r\n";
  }
  return text;
}

// The console text the program prints, piece by piece.
inline const std::string kBanner =
    "\n\n\t**************************************************************"
    "\n\t*                                                            *"
    "\n\t*                       STRATUMIX                            *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t*                                         QUASPERNOLDT       *"
    "\n\t*                                         (march 2018)       *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t**************************************************************";
inline const std::string kFolderPrompt =
    "\n\n\tName of the File Folder located in the Directory C:\\images ? ";
inline const std::string kCountPrompt = "\n\n\tNumber of files to paste ? ";
inline const std::string kResultPrompt =
    "\n\n\tName of the resulting file (without extension .xyz) ? ";

inline std::string file_prompt(int i) {
  return "\n\n\tName of the file " + std::to_string(i) + " (without extension .xyz) ? ";
}

// The whole dialogue of a job of `count` files.
inline std::string dialogue(int count) {
  std::string text = kBanner + kFolderPrompt + kCountPrompt;
  for (int i = 1; i <= count; ++i) text += file_prompt(i);
  return text + kResultPrompt;
}

// One file's pasting: announcement, progress, extents ("X_min = <x>", ...).
inline std::string layer(int m, const std::string& path, const std::string& progress,
                         const std::string& x, const std::string& y) {
  return "\n\n\tFile number " + std::to_string(m) + " named " + path + "\n\n" + progress +
         "\n\n\tlayer " + std::to_string(m) + " \n\t\tX_min = " + x + " \n\t\tY_min = " + y + " ";
}

// The X and Y reports of a file without points.
inline const std::string kEmptyExtentsX = "6000000.000000 X_max = 0.000000";
inline const std::string kEmptyExtentsY = "6000000.000000 Y_max = 0.000000";

// The info report of a job.
inline std::string info_report(const std::string& count, const std::vector<std::string>& paths) {
  std::string text =
      "\r\n PROGRAM STRATUMIX \r\n\r\n\r\n\tNumber of files to paste = " + count + " ";
  for (std::size_t i = 0; i < paths.size(); ++i) {
    text += "\r\n\t\tFile " + std::to_string(i + 1) + " Name : " + paths[i] + " ";
  }
  return text + "\r\n\r\n";
}

// Points as the result file holds them, one "X Y Z" per line with CR LF.
inline std::string crlf_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

#endif  // STRATUMIX_TESTS_JOB_TEXT_H_
