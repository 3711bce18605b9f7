// What a LAS or LAZ result's plan needs of each LAS or LAZ input: its
// header and the records before its points, read before anything is
// created.
#ifndef STRATUMIX_WRITE_LAS_LAS_INPUTS_H_
#define STRATUMIX_WRITE_LAS_LAS_INPUTS_H_

#include <string>

#include "io/disk.h"
#include "io/kept_inputs.h"
#include "write/las/las_plan.h"

namespace lasout {

// Reads the header of the input at `path` into `header`: false where it
// is no LAS or LAZ (text, gzip, a pipe, which is not opened), or cannot be
// read; Failure (status 1) for a LAS header that is wrong.
// A file `kept` holds as input `i` is read from there, not opened again.
bool read_las_input(Disk& disk, const std::string& path, InputHeader& header,
                    const KeptInputs* kept = nullptr, std::size_t i = 0);

}  // namespace lasout

#endif  // STRATUMIX_WRITE_LAS_LAS_INPUTS_H_
