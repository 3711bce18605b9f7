// The job's two output files, the result point file and the info report,
// as the dialogue and the command line both set them up.
#ifndef STRATUMIX_OUTPUTS_H_
#define STRATUMIX_OUTPUTS_H_

#include <string>

// Creates the result point file `result` and the info report `info` for the
// job in files and numlay: opens f2, sets nom_info, writes the info report
// and closes it, so that it is whole on disk before any point is pasted.
// Throws Failure when the job cannot be set up: when an output is an input
// under any name, is written by another job or cannot be created. Every
// file is then as it was before.
void create_output_files(const std::string& result, const std::string& info);

#endif  // STRATUMIX_OUTPUTS_H_
