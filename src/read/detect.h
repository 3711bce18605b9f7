// What an input is: the one place that looks at an opened input's first
// bytes and lines, whatever its name, and gives back the reader of its
// points, or why it has none. Tiles come as text, gzip-compressed text, LAS
// and LAZ, and the dialogue names every one of them .xyz.
#ifndef STRATUMIX_READ_DETECT_H_
#define STRATUMIX_READ_DETECT_H_

#include <memory>
#include <string>
#include <string_view>

#include "io/disk.h"
#include "read/point_input.h"
#include "read/text/layout.h"

// Where an input's bytes are read and, for gzip data, decompressed: ahead,
// on a thread of their own (read_ahead.h), which also takes a share of the
// work on the text of each block; or in place, on the thread that asks for
// the points, for one of several threads that each read an input of their
// own, and so keep the cores busy without handing blocks between threads.
enum class Reading { kAhead, kInPlace };

// The points of the input at `path` (`shown` in messages) whose bytes
// `plain` gives, read as `reading` says. Decided in this order: a magic
// number (LAS, gzip around what follows), text that is no list of points
// (unless the options read numbers alone), then the text's layout as its
// first lines show it (layout.h) or as `options` say. The extents kept are
// those of `axes`. `quick` is the quick way of the sinks the points will go
// to (point_sink.h), for the reading thread to take its share of the work
// in. `wanted` is what the job wants of each point: a text reader reads the
// attributes it asks for where the layout names them, and X, Y and Z alone
// keep every quick way.
std::unique_ptr<PointInput> open_points(std::unique_ptr<ByteSource> plain, const std::string& path,
                                        const std::string& shown,
                                        const layout::Options& options = {}, Axes axes = Axes::kXYZ,
                                        Reading reading = Reading::kAhead,
                                        const QuickText* quick = nullptr,
                                        const point::Wanted& wanted = {});

// The phases of open_points(), apart for their tests.

// The form the magic number at the start of `first` gives (all of the
// input when it is shorter than kFormBytes). LAZ is LAS whose header says
// its records are compressed: the LAS reader tells them apart.
enum class InputForm { kText, kGzip, kLas };
InputForm input_form(std::string_view first);

// Why text that is no list of points is refused, by what its start shows
// (a zip archive, UTF-16, a PTX scan, an ASCII grid), or empty.
std::string refusal_of_other_text(std::string_view start, bool whole_file);

#endif  // STRATUMIX_READ_DETECT_H_
