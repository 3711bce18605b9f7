// The job's two output files, the result point file and the info report,
// as the dialogue and the command line both set them up.
#ifndef STRATUMIX_OUTPUTS_H_
#define STRATUMIX_OUTPUTS_H_

#include <string>

// The info report's name for a result file: the result's name without its
// ".xyz", then "_xyz_info.txt".
std::string info_report_for(const std::string& result);

// Creates the result point file `result` and the info report `info` for the
// job in files and numlay: opens f2 and f6, sets nom_info and writes the
// info report out, so that it is whole on disk before any point is pasted;
// both stay open, claimed against other jobs, until the job ends. Throws
// Failure when the job cannot be set up: when an output is an input under
// any name, is written by another job or a standard stream, or cannot be
// created or written. An earlier result is then as it was, and the files
// the job created are removed.
void create_output_files(const std::string& result, const std::string& info);

// Ends the job, as an interruption noted before anything was changed asks:
// throws Failure with that status and message. Returns when none was noted.
void stop_if_interrupted_before_changes();

#endif  // STRATUMIX_OUTPUTS_H_
