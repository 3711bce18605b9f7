#include "point/las_record.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace point {
namespace {

std::uint64_t unsigned_at(const char* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(p[i]);
  return value;
}

std::int64_t signed_at(const char* p, int bytes) {
  std::uint64_t value = unsigned_at(p, bytes);
  const int unused = 64 - 8 * bytes;
  // Sign-extended through the top bits, without shifting a negative value.
  return static_cast<std::int64_t>(value << unused) >> unused;
}

double double_at(const char* p) { return std::bit_cast<double>(unsigned_at(p, 8)); }
float float_at(const char* p) {
  return std::bit_cast<float>(static_cast<std::uint32_t>(unsigned_at(p, 4)));
}

// Where the optional parts of each format begin, -1 where it has none.
struct FormatParts {
  int gps;
  int rgb;
  int nir;
  int wave;
};
constexpr FormatParts kParts[11] = {
    {-1, -1, -1, -1}, {20, -1, -1, -1}, {-1, 20, -1, -1}, {20, 28, -1, -1},
    {20, -1, -1, 28}, {20, 28, -1, 34}, {22, -1, -1, -1}, {22, 30, -1, -1},
    {22, 30, 36, -1}, {22, -1, -1, 30}, {22, 30, 36, 38},
};
constexpr std::uint32_t kFormatLength[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};

// The fewest decimals that write a multiple of `scale` as it is: 2 for
// 0.01, 3 for 0.005; 6 where none up to 17 does (a scale of 1/3).
int decimals_of_scale(double scale) {
  double step = std::fabs(scale);
  if (!(step > 0) || !std::isfinite(step)) return 6;
  double power = 1;
  for (int k = 0; k <= 17; ++k, power *= 10) {
    double units = step * power;
    if (std::fabs(units - std::nearbyint(units)) <= 1e-9 * units) return k;
  }
  return 6;
}

}  // namespace

int extra_type_size(int type) {
  static constexpr int kSizes[11] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8};
  return type >= 1 && type <= 10 ? kSizes[type] : 0;
}

std::vector<ExtraDim> read_extra_bytes(const unsigned char* payload, std::size_t size,
                                       std::uint32_t first, std::uint32_t length) {
  std::vector<ExtraDim> dims;
  std::uint64_t at = first;
  for (std::size_t d = 0; d + 192 <= size; d += 192) {
    const auto* descriptor = reinterpret_cast<const char*>(payload + d);
    const int type = static_cast<unsigned char>(descriptor[2]);
    const int options = static_cast<unsigned char>(descriptor[3]);
    // Type 0 is `options` undocumented bytes; 11 to 30 the deprecated
    // arrays of two or three of types 1 to 10.
    std::uint64_t bytes = 0;
    if (type == 0) {
      bytes = static_cast<std::uint64_t>(options);
    } else if (type <= 10) {
      bytes = static_cast<std::uint64_t>(extra_type_size(type));
    } else if (type <= 30) {
      bytes = static_cast<std::uint64_t>(extra_type_size((type - 11) % 10 + 1)) *
              static_cast<std::uint64_t>((type - 11) / 10 + 2);
    } else {
      break;  // no size can be known for what follows
    }
    if (at + bytes > length) break;
    if (type >= 1 && type <= 10) {
      ExtraDim dim;
      const char* name = descriptor + 4;
      dim.name.assign(name, strnlen(name, 32));
      dim.type = type;
      dim.at = static_cast<std::uint32_t>(at);
      if ((options & 8) != 0) dim.scale = double_at(descriptor + 112);
      if ((options & 16) != 0) dim.offset = double_at(descriptor + 136);
      dim.scaled = (options & 24) != 0;
      if (dim.scaled) {
        dim.decimals = std::max(decimals_of_scale(dim.scale), decimals_of_scale(dim.offset));
      } else {
        dim.decimals = type >= 9 ? kShortestDecimals : 0;
      }
      if (!dim.name.empty()) dims.push_back(std::move(dim));
    }
    at += bytes;
  }
  return dims;
}

DimSet dims_of_format(int format) {
  DimSet dims{Dim::kX,
              Dim::kY,
              Dim::kZ,
              Dim::kIntensity,
              Dim::kReturnNumber,
              Dim::kNumberOfReturns,
              Dim::kClassification,
              Dim::kSynthetic,
              Dim::kKeyPoint,
              Dim::kWithheld,
              Dim::kScanDirectionFlag,
              Dim::kEdgeOfFlightLine,
              Dim::kScanAngle,
              Dim::kUserData,
              Dim::kPointSourceId};
  if (format < 0 || format > 10) return kXyz;
  if (format >= 6) {
    dims.add({Dim::kOverlap, Dim::kScanChannel});
  } else {
    dims.add(Dim::kScanAngleRank);
  }
  const FormatParts& parts = kParts[format];
  if (parts.gps >= 0) dims.add(Dim::kGpsTime);
  if (parts.rgb >= 0) dims.add({Dim::kRed, Dim::kGreen, Dim::kBlue});
  if (parts.nir >= 0) dims.add(Dim::kInfrared);
  if (parts.wave >= 0) {
    dims.add({Dim::kWavePacketDescriptorIndex, Dim::kWaveformDataOffset, Dim::kWaveformPacketSize,
              Dim::kReturnPointWaveformLocation, Dim::kWaveformXt, Dim::kWaveformYt,
              Dim::kWaveformZt});
  }
  return dims;
}

RecordLayout RecordLayout::of_format(int format, std::uint32_t length,
                                     std::vector<ExtraDim> extra) {
  RecordLayout layout;
  layout.format = format;
  layout.length = length;
  layout.dims = dims_of_format(format);
  if (format >= 0 && format <= 10 && length < kFormatLength[format]) layout.dims = kXyz;
  layout.extra = std::move(extra);
  return layout;
}

RecordLayout RecordLayout::coordinates_only() {
  RecordLayout layout;
  layout.format = -1;
  layout.length = 12;
  layout.dims = kXyz;
  return layout;
}

const ExtraDim* RecordLayout::extra_named(std::string_view name) const {
  for (const ExtraDim& dim : extra) {
    if (same_extra_name(dim.name, name)) return &dim;
  }
  return nullptr;
}

std::int64_t whole_of(const RecordLayout& layout, const char* r, Dim dim) {
  if (!layout.dims.has(dim)) return 0;
  const bool legacy = layout.format < 6;
  const auto byte = [r](int at) {
    return static_cast<std::int64_t>(static_cast<unsigned char>(r[at]));
  };
  const FormatParts& parts = kParts[layout.format < 0 ? 0 : layout.format];
  switch (dim) {
    case Dim::kX:
      return signed_at(r, 4);
    case Dim::kY:
      return signed_at(r + 4, 4);
    case Dim::kZ:
      return signed_at(r + 8, 4);
    case Dim::kIntensity:
      return static_cast<std::int64_t>(unsigned_at(r + 12, 2));
    case Dim::kReturnNumber:
      return legacy ? byte(14) & 7 : byte(14) & 15;
    case Dim::kNumberOfReturns:
      return legacy ? byte(14) >> 3 & 7 : byte(14) >> 4;
    case Dim::kClassification:
      return legacy ? byte(15) & 31 : byte(16);
    case Dim::kSynthetic:
      return legacy ? byte(15) >> 5 & 1 : byte(15) & 1;
    case Dim::kKeyPoint:
      return legacy ? byte(15) >> 6 & 1 : byte(15) >> 1 & 1;
    case Dim::kWithheld:
      return legacy ? byte(15) >> 7 : byte(15) >> 2 & 1;
    case Dim::kOverlap:
      return byte(15) >> 3 & 1;
    case Dim::kScanChannel:
      return byte(15) >> 4 & 3;
    case Dim::kScanDirectionFlag:
      return legacy ? byte(14) >> 6 & 1 : byte(15) >> 6 & 1;
    case Dim::kEdgeOfFlightLine:
      return legacy ? byte(14) >> 7 : byte(15) >> 7;
    case Dim::kScanAngleRank:
      return signed_at(r + 16, 1);
    case Dim::kScanAngle:
      return legacy ? signed_at(r + 16, 1) : signed_at(r + 18, 2);
    case Dim::kUserData:
      return byte(17);
    case Dim::kPointSourceId:
      return static_cast<std::int64_t>(unsigned_at(r + (legacy ? 18 : 20), 2));
    case Dim::kRed:
      return static_cast<std::int64_t>(unsigned_at(r + parts.rgb, 2));
    case Dim::kGreen:
      return static_cast<std::int64_t>(unsigned_at(r + parts.rgb + 2, 2));
    case Dim::kBlue:
      return static_cast<std::int64_t>(unsigned_at(r + parts.rgb + 4, 2));
    case Dim::kInfrared:
      return static_cast<std::int64_t>(unsigned_at(r + parts.nir, 2));
    case Dim::kWavePacketDescriptorIndex:
      return byte(parts.wave);
    case Dim::kWaveformDataOffset:
      return static_cast<std::int64_t>(unsigned_at(r + parts.wave + 1, 8));
    case Dim::kWaveformPacketSize:
      return static_cast<std::int64_t>(unsigned_at(r + parts.wave + 9, 4));
    default:
      return static_cast<std::int64_t>(value_of(layout, r, dim));
  }
}

double value_of(const RecordLayout& layout, const char* r, Dim dim) {
  if (!layout.dims.has(dim)) return 0;
  const FormatParts& parts = kParts[layout.format < 0 ? 0 : layout.format];
  switch (dim) {
    case Dim::kScanAngle:
      // 1.4's angle is in steps of 0.006 degrees; the rank in degrees.
      return layout.format < 6 ? static_cast<double>(whole_of(layout, r, dim))
                               : static_cast<double>(whole_of(layout, r, dim)) * 0.006;
    case Dim::kGpsTime:
      return double_at(r + parts.gps);
    case Dim::kReturnPointWaveformLocation:
      return float_at(r + parts.wave + 13);
    case Dim::kWaveformXt:
      return float_at(r + parts.wave + 17);
    case Dim::kWaveformYt:
      return float_at(r + parts.wave + 21);
    case Dim::kWaveformZt:
      return float_at(r + parts.wave + 25);
    default:
      return static_cast<double>(whole_of(layout, r, dim));
  }
}

double extra_value(const ExtraDim& extra, const char* record) {
  const char* p = record + extra.at;
  double raw = 0;
  switch (extra.type) {
    case 1:
    case 3:
    case 5:
    case 7:
      raw = static_cast<double>(unsigned_at(p, extra_type_size(extra.type)));
      break;
    case 2:
    case 4:
    case 6:
    case 8:
      raw = static_cast<double>(signed_at(p, extra_type_size(extra.type)));
      break;
    case 9:
      raw = float_at(p);
      break;
    case 10:
      raw = double_at(p);
      break;
    default:
      return 0;
  }
  return extra.scaled ? raw * extra.scale + extra.offset : raw;
}

}  // namespace point
