// The info report beside the result: which files a job pastes, written
// whole before the first point, so that it tells what was meant even of a
// job that never ends.
#ifndef STRATUMIX_WRITE_INFO_REPORT_H_
#define STRATUMIX_WRITE_INFO_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "io/text_out.h"

// `count` as the job gave it, then the path of each of `inputs`; every
// line ended by CR LF, as the file's TextOut ends them.
void write_info_report(TextOut& info, std::int32_t count, const std::vector<std::string>& inputs);

// After the list, for a job that was interrupted: how many files were
// pasted, and whether the next one was pasted in part.
void write_interruption(TextOut& info, std::int64_t pasted, bool next_in_part);

#endif  // STRATUMIX_WRITE_INFO_REPORT_H_
