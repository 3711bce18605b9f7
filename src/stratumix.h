// The state the two stages of a run share: the job that the dialogue sets
// up and the pasting carries out.
#ifndef STRATUMIX_STRATUMIX_H_
#define STRATUMIX_STRATUMIX_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "disk.h"
#include "output_file.h"

// One input file of the job.
struct data_file {
  std::string nombre;  // its full path, as composed
};

// Entries 1 to numlay; entry 0 is never used, so a job holds 99 files.
inline constexpr int kMaxFiles = 99;
extern std::array<data_file, kMaxFiles + 1> files;
extern std::int32_t numlay;

extern std::string nom_info;            // the info report's path
extern OutputFile f2;                   // the result point file
extern std::unique_ptr<ByteSource> f3;  // the input file being read
extern OutputFile f6;                   // the info report

// Set when a file held text that is not points: its rest was not pasted.
extern bool input_incomplete;

#endif  // STRATUMIX_STRATUMIX_H_
