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
                                       std::uint32_t first, std::uint32_t length,
                                       std::string* damage) {
  auto tell = [damage](const std::string& told) {
    if (damage == nullptr) return;
    if (!damage->empty()) *damage += "; ";
    *damage += told;
  };
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
    const char* name = descriptor + 4;
    if (type >= 1 && type <= 10 && name[0] != '\0') {
      ExtraDim dim;
      dim.name.assign(name, strnlen(name, 32));
      dim.type = type;
      dim.at = static_cast<std::uint32_t>(at);
      if ((options & 8) != 0) dim.scale = double_at(descriptor + 112);
      if ((options & 16) != 0) dim.offset = double_at(descriptor + 136);
      if (dim.scale == 0 || !std::isfinite(dim.scale)) {
        tell("its extra bytes' " + dim.name + " have a scale of " +
             (dim.scale == 0 ? std::string("0") : std::string("no number")) +
             ", which is not applied: their values are written as stored");
        dim.scale = 1;
      }
      if (!std::isfinite(dim.offset)) {
        tell("its extra bytes' " + dim.name + " have an offset of no number, which is not applied");
        dim.offset = 0;
      }
      dim.scaled = (options & 24) != 0;
      if (dim.scaled) {
        // An offset of 0, as where only a scale is given, needs no decimals.
        dim.decimals = std::max(decimals_of_scale(dim.scale),
                                dim.offset == 0 ? 0 : decimals_of_scale(dim.offset));
      } else {
        dim.decimals = type >= 9 ? kShortestDecimals : 0;
      }
      dims.push_back(std::move(dim));
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

FieldPlace place_of(const RecordLayout& layout, Dim dim) {
  using Kind = FieldPlace::Kind;
  if (!layout.dims.has(dim)) return {};
  const bool legacy = layout.format < 6;
  const FormatParts& parts = kParts[layout.format < 0 ? 0 : layout.format];
  // A whole number of `bytes` at `at`; bits `shift` on of `width` of one.
  auto whole = [](int at, int bytes) {
    return FieldPlace{Kind::kUnsigned, static_cast<std::uint32_t>(at),
                      static_cast<std::uint8_t>(bytes)};
  };
  auto signed_whole = [](int at, int bytes) {
    return FieldPlace{Kind::kSigned, static_cast<std::uint32_t>(at),
                      static_cast<std::uint8_t>(bytes)};
  };
  auto bits = [](int at, int shift, int width) {
    return FieldPlace{Kind::kUnsigned, static_cast<std::uint32_t>(at), 1,
                      static_cast<std::uint8_t>(shift), static_cast<std::uint8_t>(width)};
  };
  switch (dim) {
    case Dim::kX:
      return signed_whole(0, 4);
    case Dim::kY:
      return signed_whole(4, 4);
    case Dim::kZ:
      return signed_whole(8, 4);
    case Dim::kIntensity:
      return whole(12, 2);
    case Dim::kReturnNumber:
      return legacy ? bits(14, 0, 3) : bits(14, 0, 4);
    case Dim::kNumberOfReturns:
      return legacy ? bits(14, 3, 3) : bits(14, 4, 4);
    case Dim::kClassification:
      return legacy ? bits(15, 0, 5) : whole(16, 1);
    case Dim::kSynthetic:
      return legacy ? bits(15, 5, 1) : bits(15, 0, 1);
    case Dim::kKeyPoint:
      return legacy ? bits(15, 6, 1) : bits(15, 1, 1);
    case Dim::kWithheld:
      return legacy ? bits(15, 7, 1) : bits(15, 2, 1);
    case Dim::kOverlap:
      return bits(15, 3, 1);
    case Dim::kScanChannel:
      return bits(15, 4, 2);
    case Dim::kScanDirectionFlag:
      return legacy ? bits(14, 6, 1) : bits(15, 6, 1);
    case Dim::kEdgeOfFlightLine:
      return legacy ? bits(14, 7, 1) : bits(15, 7, 1);
    case Dim::kScanAngleRank:
      return signed_whole(16, 1);
    case Dim::kScanAngle: {
      // 1.4's angle is in steps of 0.006 degrees; the rank in degrees.
      if (legacy) return signed_whole(16, 1);
      FieldPlace angle = signed_whole(18, 2);
      angle.step = 0.006;
      return angle;
    }
    case Dim::kUserData:
      return whole(17, 1);
    case Dim::kPointSourceId:
      return whole(legacy ? 18 : 20, 2);
    case Dim::kGpsTime:
      return {Kind::kDouble, static_cast<std::uint32_t>(parts.gps), 8};
    case Dim::kRed:
      return whole(parts.rgb, 2);
    case Dim::kGreen:
      return whole(parts.rgb + 2, 2);
    case Dim::kBlue:
      return whole(parts.rgb + 4, 2);
    case Dim::kInfrared:
      return whole(parts.nir, 2);
    case Dim::kWavePacketDescriptorIndex:
      return whole(parts.wave, 1);
    case Dim::kWaveformDataOffset:
      return whole(parts.wave + 1, 8);
    case Dim::kWaveformPacketSize:
      return whole(parts.wave + 9, 4);
    case Dim::kReturnPointWaveformLocation:
      return {Kind::kFloat, static_cast<std::uint32_t>(parts.wave + 13), 4};
    case Dim::kWaveformXt:
      return {Kind::kFloat, static_cast<std::uint32_t>(parts.wave + 17), 4};
    case Dim::kWaveformYt:
      return {Kind::kFloat, static_cast<std::uint32_t>(parts.wave + 21), 4};
    case Dim::kWaveformZt:
      return {Kind::kFloat, static_cast<std::uint32_t>(parts.wave + 25), 4};
  }
  return {};
}

std::int64_t whole_of(const RecordLayout& layout, const char* r, Dim dim) {
  const FieldPlace place = place_of(layout, dim);
  switch (place.kind) {
    case FieldPlace::Kind::kUnsigned:
    case FieldPlace::Kind::kSigned:
      return place.whole(r);
    default:
      return static_cast<std::int64_t>(place.value(r));
  }
}

double value_of(const RecordLayout& layout, const char* r, Dim dim) {
  return place_of(layout, dim).value(r);
}

double FieldPlace::value(const char* record) const {
  switch (kind) {
    case Kind::kAbsent:
      return 0;
    case Kind::kUnsigned:
    case Kind::kSigned:
      return static_cast<double>(whole(record)) * step;
    case Kind::kDouble:
      return double_at(record + at);
    case Kind::kFloat:
      return float_at(record + at);
  }
  return 0;
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
