#include "point/dimension.h"

#include <array>

namespace point {
namespace {

struct Known {
  std::string_view name;
  Written written;
};

// In the order of Dim.
constexpr std::array<Known, kDimCount> kKnown = {{
    {"X", Written::kCoordinate},
    {"Y", Written::kCoordinate},
    {"Z", Written::kCoordinate},
    {"Intensity", Written::kWhole},
    {"ReturnNumber", Written::kWhole},
    {"NumberOfReturns", Written::kWhole},
    {"Classification", Written::kWhole},
    {"Synthetic", Written::kWhole},
    {"KeyPoint", Written::kWhole},
    {"Withheld", Written::kWhole},
    {"Overlap", Written::kWhole},
    {"ScanChannel", Written::kWhole},
    {"ScanDirectionFlag", Written::kWhole},
    {"EdgeOfFlightLine", Written::kWhole},
    {"ScanAngleRank", Written::kWhole},
    {"ScanAngle", Written::kAngle},
    {"UserData", Written::kWhole},
    {"PointSourceId", Written::kWhole},
    {"GpsTime", Written::kTime},
    {"Red", Written::kWhole},
    {"Green", Written::kWhole},
    {"Blue", Written::kWhole},
    {"Infrared", Written::kWhole},
    {"WavePacketDescriptorIndex", Written::kWhole},
    {"WaveformDataOffset", Written::kWhole},
    {"WaveformPacketSize", Written::kWhole},
    {"ReturnPointWaveformLocation", Written::kReal},
    {"WaveformXt", Written::kReal},
    {"WaveformYt", Written::kReal},
    {"WaveformZt", Written::kReal},
}};

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Names match in any case, and with or without underscores: `gps_time`
// as users of other tools type it is GpsTime.
bool same_name(std::string_view typed, std::string_view known) {
  std::size_t k = 0;
  for (char c : typed) {
    if (c == '_') continue;
    if (k == known.size() || folded(c) != folded(known[k])) return false;
    ++k;
  }
  return k == known.size();
}

}  // namespace

// A header line shows a name's spaces as '_' (one word a column), so
// that the name read back from it matches the name in the file.
bool same_extra_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char c) { return c == ' ' ? '_' : folded(c); };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string_view name_of(Dim dim) { return kKnown[static_cast<std::size_t>(dim)].name; }

Written written_as(Dim dim) { return kKnown[static_cast<std::size_t>(dim)].written; }

std::optional<Dim> dim_named(std::string_view name) {
  for (std::size_t i = 0; i < kKnown.size(); ++i) {
    if (same_name(name, kKnown[i].name)) return static_cast<Dim>(i);
  }
  return std::nullopt;
}

}  // namespace point
