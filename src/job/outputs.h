// The job's two output files, the result point file and the info report,
// as the dialogue and the command line both set them up.
#ifndef STRATUMIX_JOB_OUTPUTS_H_
#define STRATUMIX_JOB_OUTPUTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "io/disk.h"
#include "io/output_file.h"

// The info report's name for a result file: the result's name without its
// ".xyz", then "_xyz_info.txt".
std::string info_report_for(const std::string& result);

// Creates the result point file `result` and its info report (named by
// info_report_for) on `disk` for a job that pastes `inputs`, in order, its
// count as the job gave it (the dialogue's count of 0 or less asks for none):
// opens `result_file` and `info_file` on them and writes the info report
// out, so that it is whole on disk before any point is pasted; both stay
// open, claimed against other jobs, until the job closes them. Throws
// Failure when the job cannot be set up: when an output is an input under
// any name, is written by another job or a standard stream, or cannot be
// created or written. An earlier result is then as it was, and the files
// the job created are removed.
void create_output_files(Disk& disk, std::int32_t count, const std::vector<std::string>& inputs,
                         const std::string& result, OutputFile& result_file, OutputFile& info_file);

// Ends the job, as an interruption noted before anything was changed asks:
// throws Failure with that status and message. Returns when none was noted.
void stop_if_interrupted_before_changes();

#endif  // STRATUMIX_JOB_OUTPUTS_H_
