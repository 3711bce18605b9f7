// Where an input's form is settled: the one place that turns the bytes of
// an opened input into what pastes its points.
#ifndef STRATUMIX_INPUTS_H_
#define STRATUMIX_INPUTS_H_

#include <memory>

#include "disk.h"
#include "point_input.h"

// The points of the input whose bytes `source` gives, read ahead on a
// thread of their own (read_ahead.h). Point files are text.
std::unique_ptr<PointInput> open_points(std::unique_ptr<ByteSource> source);

#endif  // STRATUMIX_INPUTS_H_
