// Opening an input for its points, in whatever form it comes: text,
// gzip-compressed text or LAS, told by its first bytes.
#ifndef STRATUMIX_INPUTS_H_
#define STRATUMIX_INPUTS_H_

#include <memory>
#include <string>

#include "disk.h"
#include "point_input.h"

// What pastes the points of `plain`, the bytes of the file at `path`
// (`shown` in messages), read ahead on a thread of their own, where gzip
// data is decompressed too.
std::unique_ptr<PointInput> open_points(std::unique_ptr<ByteSource> plain, const std::string& path,
                                        const std::string& shown);

#endif  // STRATUMIX_INPUTS_H_
