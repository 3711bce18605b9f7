// The dimensions a point may carry: X, Y and Z, and every attribute of a
// LAS record, in the names PDAL gives them, which lidar users know from
// its pipelines and from other tools' column headers. An input carries
// some of them; the rest are absent, not zero.
#ifndef STRATUMIX_POINT_DIMENSION_H_
#define STRATUMIX_POINT_DIMENSION_H_

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

namespace point {

enum class Dim : std::uint8_t {
  kX,
  kY,
  kZ,
  kIntensity,
  kReturnNumber,
  kNumberOfReturns,
  kClassification,
  kSynthetic,
  kKeyPoint,
  kWithheld,
  kOverlap,
  kScanChannel,
  kScanDirectionFlag,
  kEdgeOfFlightLine,
  kScanAngleRank,  // formats 0 to 5: whole degrees
  kScanAngle,      // degrees: 1.4's steps of 0.006, or the rank
  kUserData,
  kPointSourceId,
  kGpsTime,
  kRed,
  kGreen,
  kBlue,
  kInfrared,
  kWavePacketDescriptorIndex,
  kWaveformDataOffset,
  kWaveformPacketSize,
  kReturnPointWaveformLocation,
  kWaveformXt,
  kWaveformYt,
  kWaveformZt,
};
inline constexpr int kDimCount = static_cast<int>(Dim::kWaveformZt) + 1;

// How a dimension's value is written as text.
enum class Written : std::uint8_t {
  kCoordinate,  // as the job writes X, Y and Z
  kWhole,       // an integer
  kTime,        // six decimals, a GPS time's microseconds
  kAngle,       // three decimals, a 0.006-degree step's
  kReal,        // a 32-bit float of the wave packet: the decimals that give it back
};

std::string_view name_of(Dim dim);
Written written_as(Dim dim);
// The dimension `name` names, in any case; none for another name.
std::optional<Dim> dim_named(std::string_view name);

// Whether two names of extra dimensions are the same, in any case, a
// space and '_' alike.
bool same_extra_name(std::string_view a, std::string_view b);

// A set of dimensions, one bit each.
class DimSet {
 public:
  constexpr DimSet() = default;
  constexpr DimSet(std::initializer_list<Dim> dims) {
    for (Dim dim : dims) add(dim);
  }
  constexpr void add(Dim dim) { bits_ |= bit(dim); }
  constexpr void add(DimSet other) { bits_ |= other.bits_; }
  constexpr bool has(Dim dim) const { return (bits_ & bit(dim)) != 0; }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr DimSet without(DimSet other) const { return DimSet(bits_ & ~other.bits_); }
  constexpr bool operator==(const DimSet&) const = default;

 private:
  constexpr explicit DimSet(std::uint32_t bits) : bits_(bits) {}
  static constexpr std::uint32_t bit(Dim dim) { return std::uint32_t{1} << static_cast<int>(dim); }
  std::uint32_t bits_ = 0;
};
static_assert(kDimCount <= 32, "a DimSet holds 32 dimensions");

inline constexpr DimSet kXyz{Dim::kX, Dim::kY, Dim::kZ};

}  // namespace point

#endif  // STRATUMIX_POINT_DIMENSION_H_
