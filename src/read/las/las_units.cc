#include "read/las/las_units.h"

#include <cstring>
#include <string>

#include "read/las/las_header.h"
#include "read/las/last_answer.h"

namespace {

std::uint16_t u16(const unsigned char* at) {
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

// The EPSG codes of GeoTIFF's ProjLinearUnitsGeoKey.
LinearUnit epsg_unit(std::uint16_t code) {
  switch (code) {
    case 9001:
      return LinearUnit::kMetre;
    case 9002:
      return LinearUnit::kFoot;
    case 9003:
      return LinearUnit::kUsSurveyFoot;
    default:
      return LinearUnit::kUnknown;
  }
}

// GeoTIFF's key directory: a header of four shorts (the last the number of
// keys), then four shorts a key: its ID, where its value is (0: in the
// key), its count and its value. GTModelTypeGeoKey (1024) is 2 for a
// geographic system, whose X and Y are degrees; ProjLinearUnitsGeoKey
// (3076) names a projected system's unit.
LinearUnit geokeys_unit(const unsigned char* keys, std::size_t size) {
  if (size < 8) return LinearUnit::kUnknown;
  std::size_t count = u16(keys + 6);
  LinearUnit unit = LinearUnit::kUnknown;
  bool geographic = false;
  for (std::size_t k = 0; k < count && 8 + 8 * k + 8 <= size; ++k) {
    const unsigned char* key = keys + 8 + 8 * k;
    if (u16(key + 2) != 0) continue;  // a value elsewhere: none of those read here
    if (u16(key) == 1024) geographic = u16(key + 6) == 2;
    if (u16(key) == 3076) unit = epsg_unit(u16(key + 6));
  }
  return geographic ? LinearUnit::kDegree : unit;
}

// The unit a WKT UNIT[...] names: its name, or its factor to the metre.
LinearUnit named_unit(std::string_view unit) {
  std::string lower;
  for (char c : unit) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::size_t quote = lower.find('"');
  std::size_t end = quote == std::string::npos ? quote : lower.find('"', quote + 1);
  if (end == std::string::npos) return LinearUnit::kUnknown;
  std::string name = lower.substr(quote + 1, end - quote - 1);
  if (name == "metre" || name == "meter" || name == "m") return LinearUnit::kMetre;
  if (name.find("us survey foot") != std::string::npos || name == "foot_us" ||
      name == "us_survey_foot" || name == "ftus" || name == "foot (us survey)")
    return LinearUnit::kUsSurveyFoot;
  if (name == "foot" || name == "ft" || name == "international foot" || name == "foot_int")
    return LinearUnit::kFoot;
  if (name == "degree" || name == "degrees") return LinearUnit::kDegree;
  return LinearUnit::kUnknown;
}

// The element `keyword[` at depth 1 of the element that begins at `from`
// (its keyword's first letter); npos if none.
std::size_t child(std::string_view wkt, std::size_t from, std::string_view keyword) {
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = from; i < wkt.size(); ++i) {
    char c = wkt[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '[' || c == '(') ++depth;
    if (c == ']' || c == ')') {
      if (--depth == 0) return std::string_view::npos;
    }
    if (depth == 1 && wkt.compare(i, keyword.size(), keyword) == 0 &&
        (i == 0 || wkt[i - 1] == ',' || wkt[i - 1] == ' ' || wkt[i - 1] == '['))
      return i;
  }
  return std::string_view::npos;
}

}  // namespace

namespace {

LinearUnit parse_linear_unit(std::string_view wkt) {
  std::size_t start = wkt.find_first_not_of(" \t\n\r");
  if (start == std::string_view::npos) return LinearUnit::kUnknown;
  // A compound system (horizontal and vertical) holds the horizontal one.
  if (wkt.compare(start, 8, "COMPD_CS") == 0) {
    std::size_t inner = child(wkt, start, "PROJCS[");
    if (inner == std::string_view::npos) inner = child(wkt, start, "GEOGCS[");
    if (inner == std::string_view::npos) return LinearUnit::kUnknown;
    start = inner;
  }
  if (wkt.compare(start, 7, "GEOGCS[") == 0) return LinearUnit::kDegree;
  if (wkt.compare(start, 7, "PROJCS[") != 0) return LinearUnit::kUnknown;
  // The projected system's own UNIT, not its geographic system's degrees.
  std::size_t unit = child(wkt, start, "UNIT[");
  return unit == std::string_view::npos ? LinearUnit::kUnknown : named_unit(wkt.substr(unit));
}

}  // namespace

LinearUnit wkt_linear_unit(std::string_view wkt) {
  static las::LastAnswer<LinearUnit> last;
  return last(wkt, [wkt] { return parse_linear_unit(wkt); });
}

LinearUnit las_linear_unit(const unsigned char* records, std::size_t size, std::uint32_t count) {
  LinearUnit found = LinearUnit::kUnknown;
  for (const las::VariableRecord& record : las::variable_records(records, size, count)) {
    if (record.user != "LASF_Projection") continue;
    LinearUnit unit = LinearUnit::kUnknown;
    if (record.id == 34735) unit = geokeys_unit(record.body, record.length);
    if (record.id == 2112) {
      std::string_view wkt(reinterpret_cast<const char*>(record.body), record.length);
      unit = wkt_linear_unit(wkt.substr(0, wkt.find('\0')));
    }
    if (unit == LinearUnit::kUnknown) continue;
    if (found != LinearUnit::kUnknown && found != unit) return LinearUnit::kUnknown;
    found = unit;
  }
  return found;
}

std::string_view unit_name(LinearUnit unit, bool plural) {
  switch (unit) {
    case LinearUnit::kMetre:
      return plural ? "metres" : "metre";
    case LinearUnit::kFoot:
      return plural ? "feet" : "foot";
    case LinearUnit::kUsSurveyFoot:
      return plural ? "US survey feet" : "US survey foot";
    case LinearUnit::kDegree:
      return plural ? "degrees" : "degree";
    case LinearUnit::kUnknown:
      break;
  }
  return plural ? "map units" : "map unit";
}
