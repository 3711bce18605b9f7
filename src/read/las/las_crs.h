// The coordinate reference system a LAS or LAZ file states: GeoTIFF keys
// (records 34735, 34736 and 34737 of "LASF_Projection") or OGC WKT (record
// 2112), among the records before the points or the extended ones after
// them. Kept raw, so that a writer can hand them on as they were, with the
// EPSG codes they give, so that reports can name the system and tell
// whether two tiles share it.
#ifndef STRATUMIX_READ_LAS_LAS_CRS_H_
#define STRATUMIX_READ_LAS_LAS_CRS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/disk.h"
#include "read/las/las_header.h"

namespace las {

struct Crs {
  // The records as the file holds them: the WKT up to its first NUL, the
  // GeoTIFF key directory, its doubles and its ASCII parameters.
  std::string wkt;
  std::vector<std::uint8_t> geokeys, doubles, ascii;
  // The EPSG codes the records give; 0 where they give none (a system
  // defined in the file, or none).
  int horizontal_epsg = 0;
  int vertical_epsg = 0;
  // The WKT's name, or the GeoTIFF keys' citation; empty where neither
  // names one.
  std::string name;

  // Whether the file states no system.
  bool empty() const { return wkt.empty() && geokeys.empty(); }
  // "EPSG:2994", "EPSG:2994+5703" with a vertical system, or the name,
  // "vertical EPSG:5703" for a vertical system alone, "unnamed"; "" for no
  // system.
  std::string describe() const;
  // describe() and, where no EPSG code names the system, how the file
  // states it: "Local grid (WKT)", "(GeoTIFF keys)" or "(GeoTIFF keys and
  // WKT)". Two systems of one name that differ are told apart so.
  std::string describe_with_form() const;
  // The same system: the same EPSG codes, horizontal and vertical, where
  // both give a horizontal one; otherwise the same records, the WKT's
  // spaces and line ends aside.
  bool same_as(const Crs& other) const;
};

// The largest record of a system read: far beyond any real WKT or key
// directory, small enough to hold.
inline constexpr std::uint64_t kMostCrsRecordBytes = std::uint64_t{1} << 20;

// Adds the body of a "LASF_Projection" record to `crs`, unless one of the
// same ID came first; other IDs (2111, the math transform) are left.
void add_projection_record(Crs& crs, std::uint16_t id, const unsigned char* body,
                           std::size_t length);

// Settles the EPSG codes and the name from the raw records. Where both
// forms give a horizontal code, `wkt_first` (the header's bit saying the
// file's system is its WKT) chooses. Returns what was found damaged, for a
// note, or "".
std::string settle_codes(Crs& crs, bool wkt_first);

// The EPSG codes and name of a WKT (version 1 or 2) alone.
void wkt_codes(std::string_view wkt, int& horizontal, int& vertical, std::string& name);

// The system of a file whose header is `header`: from the records between
// it and the points (`records`, `size` bytes past the header), then from
// its extended records, read from `file` apart from the points where the
// header says it has some (nothing where `file` cannot be read out of
// order, a pipe). `note` gets what was damaged or passed over, if anything.
Crs read_crs(const Header& header, const unsigned char* records, std::size_t size, ByteSource* file,
             std::string& note);

}  // namespace las

#endif  // STRATUMIX_READ_LAS_LAS_CRS_H_
