// Where an input's form is settled: the one place that turns the bytes of
// an opened input into what pastes its points. Text, gzip-compressed text
// and LAS are told apart by their first bytes.
#ifndef STRATUMIX_READ_INPUTS_H_
#define STRATUMIX_READ_INPUTS_H_

#include <memory>
#include <string>

#include "io/disk.h"
#include "read/point_input.h"
#include "read/text/layout.h"

// The points of the input at `path` (`shown` in messages) whose bytes
// `plain` gives, read ahead on a thread of their own (read_ahead.h), where
// gzip data is decompressed too. Text is read as its first lines show
// (layout.h), or as `options` say. The extents kept are those of `axes`.
std::unique_ptr<PointInput> open_points(std::unique_ptr<ByteSource> plain, const std::string& path,
                                        const std::string& shown,
                                        const layout::Options& options = {},
                                        Axes axes = Axes::kXYZ);

#endif  // STRATUMIX_READ_INPUTS_H_
