// A tile index for a GIS: each input's X/Y extent as a polygon feature of a
// GeoJSON FeatureCollection (the layout of RFC 7946), with the input's path,
// points, bytes, X/Y/Z extents and what its reader noted, so that a tile set
// can be laid over a map and its gaps, overlaps and thin tiles queried.
#ifndef STRATUMIX_REPORT_TILE_INDEX_H_
#define STRATUMIX_REPORT_TILE_INDEX_H_

#include <string>

#include "report/job_summary.h"

// One feature per input begun, in job order. An input without points, or
// whose X/Y extent reaches infinity, has no geometry (null) but keeps its
// properties. Coordinates are the inputs' own, in their units. Where some
// input states a reference system, each feature tells its own (null for
// none); where every tile on the map states the same EPSG code, the
// collection's "crs" member names it, so that a GIS places the tiles;
// otherwise the user assigns the system they are in.
std::string tile_index_geojson(const JobFacts& job);

#endif  // STRATUMIX_REPORT_TILE_INDEX_H_
