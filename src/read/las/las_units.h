// The unit of a LAS file's X and Y, as its georeferencing records state it:
// the GeoTIFF keys (record 34735 of "LASF_Projection") or OGC WKT (record
// 2112). A map of LAS tiles can then give its scale in metres or feet
// rather than in units nobody named.
#ifndef STRATUMIX_READ_LAS_LAS_UNITS_H_
#define STRATUMIX_READ_LAS_LAS_UNITS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

enum class LinearUnit : std::uint8_t { kUnknown, kMetre, kFoot, kUsSurveyFoot, kDegree };

// The unit the records between a LAS header and its points state, from
// `records` (`size` bytes, `count` records at most); kUnknown where none
// is stated, or two records disagree.
LinearUnit las_linear_unit(const unsigned char* records, std::size_t size, std::uint32_t count);

// The unit of a WKT coordinate system's X and Y: the linear unit of its
// projected system, degrees for a geographic one.
LinearUnit wkt_linear_unit(std::string_view wkt);

// "metre", "foot", "US survey foot", "degree"; the plural where `plural`.
std::string_view unit_name(LinearUnit unit, bool plural);

#endif  // STRATUMIX_READ_LAS_LAS_UNITS_H_
