// A map of a job's tiles: each input's X/Y extent drawn to scale as a
// rectangle labelled with its number, so that gaps and overlaps between
// tiles show at a glance. A self-contained SVG file.
#ifndef STRATUMIX_REPORT_TILE_MAP_H_
#define STRATUMIX_REPORT_TILE_MAP_H_

#include <string>

#include "report/job_summary.h"

// The map of the job's inputs: north up, one rectangle (class "tile",
// id "tile-N", its number and path as its tooltip) per input with points,
// half transparent so that overlaps show darker; the overall extent, axis
// values and a scale bar. Labels that would not fit their tile or would
// cover another are left out, so that thousands of tiles stay readable.
std::string tile_map_svg(const JobFacts& job);

#endif  // STRATUMIX_REPORT_TILE_MAP_H_
