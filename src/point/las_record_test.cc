#include "point/las_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace point {
namespace {

// A record of `length` bytes, filled in place by the LAS tables' offsets.
struct Record {
  explicit Record(std::size_t length) : bytes(length, '\0') {}
  template <typename T>
  void put(std::size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);  // little-endian hosts
  }
  std::string bytes;
};

TEST(LasRecord, FormatsSixToTenPackReturnsFlagsAndChannelInTwoBytes) {
  // Format 10: the 30 bytes of format 6, RGB and NIR, then a wave packet.
  Record r(67);
  r.put<std::int32_t>(0, -7);
  r.put<std::uint16_t>(12, 65535);
  r.put<std::uint8_t>(14, 0xfe);  // return 14 of 15
  // Synthetic, withheld and overlap set, key-point not; channel 2; scan
  // direction set, edge of flight line not.
  r.put<std::uint8_t>(15, 0b0110'1101);
  r.put<std::uint8_t>(16, 200);
  r.put<std::uint8_t>(17, 7);
  r.put<std::int16_t>(18, -15000);
  r.put<std::uint16_t>(20, 40000);
  r.put<double>(22, 1.5e9);
  r.put<std::uint16_t>(30, 1);
  r.put<std::uint16_t>(32, 2);
  r.put<std::uint16_t>(34, 3);
  r.put<std::uint16_t>(36, 4);
  r.put<std::uint8_t>(38, 9);
  r.put<std::uint64_t>(39, 0xfedcba9876543210ull);
  r.put<std::uint32_t>(47, 123456);
  r.put<float>(51, 2.5f);
  r.put<float>(55, -0.25f);
  r.put<float>(59, 0.125f);
  r.put<float>(63, 1e-3f);
  const RecordLayout layout = RecordLayout::of_format(10, 67);
  const char* p = r.bytes.data();
  EXPECT_EQ(whole_of(layout, p, Dim::kX), -7);
  EXPECT_EQ(whole_of(layout, p, Dim::kIntensity), 65535);
  EXPECT_EQ(whole_of(layout, p, Dim::kReturnNumber), 14);
  EXPECT_EQ(whole_of(layout, p, Dim::kNumberOfReturns), 15);
  EXPECT_EQ(whole_of(layout, p, Dim::kSynthetic), 1);
  EXPECT_EQ(whole_of(layout, p, Dim::kKeyPoint), 0);
  EXPECT_EQ(whole_of(layout, p, Dim::kWithheld), 1);
  EXPECT_EQ(whole_of(layout, p, Dim::kOverlap), 1);
  EXPECT_EQ(whole_of(layout, p, Dim::kScanChannel), 2);
  EXPECT_EQ(whole_of(layout, p, Dim::kScanDirectionFlag), 1);
  EXPECT_EQ(whole_of(layout, p, Dim::kEdgeOfFlightLine), 0);
  EXPECT_EQ(whole_of(layout, p, Dim::kClassification), 200);
  EXPECT_EQ(whole_of(layout, p, Dim::kUserData), 7);
  EXPECT_DOUBLE_EQ(value_of(layout, p, Dim::kScanAngle), -90.0);
  EXPECT_EQ(whole_of(layout, p, Dim::kPointSourceId), 40000);
  EXPECT_EQ(value_of(layout, p, Dim::kGpsTime), 1.5e9);
  EXPECT_EQ(whole_of(layout, p, Dim::kRed), 1);
  EXPECT_EQ(whole_of(layout, p, Dim::kGreen), 2);
  EXPECT_EQ(whole_of(layout, p, Dim::kBlue), 3);
  EXPECT_EQ(whole_of(layout, p, Dim::kInfrared), 4);
  EXPECT_EQ(whole_of(layout, p, Dim::kWavePacketDescriptorIndex), 9);
  EXPECT_EQ(static_cast<std::uint64_t>(whole_of(layout, p, Dim::kWaveformDataOffset)),
            0xfedcba9876543210ull);
  EXPECT_EQ(whole_of(layout, p, Dim::kWaveformPacketSize), 123456);
  EXPECT_EQ(value_of(layout, p, Dim::kReturnPointWaveformLocation), 2.5);
  EXPECT_EQ(value_of(layout, p, Dim::kWaveformXt), -0.25);
  EXPECT_EQ(value_of(layout, p, Dim::kWaveformYt), 0.125);
  EXPECT_EQ(value_of(layout, p, Dim::kWaveformZt), 1e-3f);
  // A 1.4 record has no rank: its angle is 1.4's.
  EXPECT_FALSE(layout.dims.has(Dim::kScanAngleRank));
}

TEST(LasRecord, LegacyFormatsPackReturnsAndFlagsAsLas12Does) {
  // Format 5: format 3's 34 bytes (GPS time at 20, RGB at 28), then the
  // wave packet at 34.
  Record r(63);
  r.put<std::uint8_t>(14, 0b1010'1011);  // return 3 of 5, scan direction 0, edge 1
  r.put<std::uint8_t>(15, 0b1100'0110);  // class 6, key-point and withheld
  r.put<std::int8_t>(16, -12);
  r.put<std::uint16_t>(18, 77);
  r.put<double>(20, 245380.78255);
  r.put<std::uint16_t>(28, 68);
  r.put<std::uint16_t>(32, 88);
  r.put<std::uint32_t>(43, 99);
  const RecordLayout layout = RecordLayout::of_format(5, 63);
  const char* p = r.bytes.data();
  EXPECT_EQ(whole_of(layout, p, Dim::kReturnNumber), 3);
  EXPECT_EQ(whole_of(layout, p, Dim::kNumberOfReturns), 5);
  EXPECT_EQ(whole_of(layout, p, Dim::kScanDirectionFlag), 0);
  EXPECT_EQ(whole_of(layout, p, Dim::kEdgeOfFlightLine), 1);
  EXPECT_EQ(whole_of(layout, p, Dim::kClassification), 6);
  EXPECT_EQ(whole_of(layout, p, Dim::kSynthetic), 0);
  EXPECT_EQ(whole_of(layout, p, Dim::kKeyPoint), 1);
  EXPECT_EQ(whole_of(layout, p, Dim::kWithheld), 1);
  EXPECT_EQ(whole_of(layout, p, Dim::kScanAngleRank), -12);
  EXPECT_DOUBLE_EQ(value_of(layout, p, Dim::kScanAngle), -12.0);
  EXPECT_EQ(whole_of(layout, p, Dim::kPointSourceId), 77);
  EXPECT_EQ(value_of(layout, p, Dim::kGpsTime), 245380.78255);
  EXPECT_EQ(whole_of(layout, p, Dim::kRed), 68);
  EXPECT_EQ(whole_of(layout, p, Dim::kBlue), 88);
  EXPECT_EQ(whole_of(layout, p, Dim::kWaveformPacketSize), 99);
  EXPECT_FALSE(layout.dims.has(Dim::kOverlap));
  EXPECT_FALSE(layout.dims.has(Dim::kInfrared));
}

TEST(LasRecord, EachFormatCarriesItsOwnParts) {
  EXPECT_FALSE(dims_of_format(0).has(Dim::kGpsTime));
  EXPECT_TRUE(dims_of_format(1).has(Dim::kGpsTime));
  EXPECT_TRUE(dims_of_format(2).has(Dim::kRed));
  EXPECT_FALSE(dims_of_format(2).has(Dim::kGpsTime));
  EXPECT_TRUE(dims_of_format(4).has(Dim::kWaveformXt));
  EXPECT_FALSE(dims_of_format(6).has(Dim::kRed));
  EXPECT_TRUE(dims_of_format(8).has(Dim::kInfrared));
  EXPECT_FALSE(dims_of_format(9).has(Dim::kRed));
  // A record shorter than its format says holds only what the coordinates
  // need: nothing is read past its end.
  EXPECT_EQ(RecordLayout::of_format(3, 20).dims, kXyz);
  EXPECT_EQ(RecordLayout::coordinates_only().dims, kXyz);
}

std::string descriptor(int type, int options, const char* name, double scale = 0,
                       double offset = 0) {
  std::string d(192, '\0');
  d[2] = static_cast<char>(type);
  d[3] = static_cast<char>(options);
  std::memcpy(d.data() + 4, name, std::strlen(name));
  std::memcpy(d.data() + 112, &scale, 8);
  std::memcpy(d.data() + 136, &offset, 8);
  return d;
}

TEST(LasRecord, ExtraBytesLieInTheirDescriptorsOrderEachTakingItsRoom) {
  // 3 undocumented bytes, a scaled and offset short, a deprecated pair of
  // unsigned shorts, an unscaled double, then a descriptor past the record.
  std::string payload = descriptor(0, 3, "") + descriptor(4, 8 | 16, "height", 0.01, 100) +
                        descriptor(13, 0, "pair") + descriptor(10, 0, "Range") +
                        descriptor(1, 0, "beyond");
  const std::uint32_t first = 20;
  std::vector<ExtraDim> extra =
      read_extra_bytes(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(),
                       first, 20 + 3 + 2 + 4 + 8);
  ASSERT_EQ(extra.size(), 2u);
  EXPECT_EQ(extra[0].name, "height");
  EXPECT_EQ(extra[0].at, 23u);
  EXPECT_EQ(extra[0].decimals, 2);
  EXPECT_EQ(extra[1].name, "Range");
  EXPECT_EQ(extra[1].at, 29u);
  EXPECT_EQ(extra[1].decimals, kShortestDecimals);

  Record r(37);
  r.put<std::int16_t>(23, -1234);
  r.put<double>(29, 42.125);
  EXPECT_DOUBLE_EQ(extra_value(extra[0], r.bytes.data()), 100 - 12.34);
  EXPECT_EQ(extra_value(extra[1], r.bytes.data()), 42.125);

  RecordLayout layout = RecordLayout::of_format(0, 37, extra);
  EXPECT_EQ(layout.extra_named("RANGE"), &layout.extra[1]);
  EXPECT_EQ(layout.extra_named("rang"), nullptr);
  EXPECT_TRUE(same_extra_name("Echo Width", "echo_width"));
  EXPECT_FALSE(same_extra_name("Echo Width", "EchoWidth"));
}

// A scale given alone writes the decimals it needs, not those of an
// offset of 0; a scale of 0 or one that is no number, and an offset that
// is no number, would make every value one or none: they are not applied,
// and said so, where the field could be asked for.
TEST(LasRecord, ExtraBytesScalesThatGiveNoValuesAreNotApplied) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::string payload = descriptor(4, 8, "depth", 0.01) + descriptor(3, 8, "zero", 0) +
                              descriptor(6, 8 | 16, "odd", nan, 7) +
                              descriptor(6, 16, "far", 1, nan) + descriptor(3, 8, "", 0);
  std::string damage;
  const std::vector<ExtraDim> extra =
      read_extra_bytes(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), 20,
                       20 + 2 + 2 + 4 + 4 + 2, &damage);
  ASSERT_EQ(extra.size(), 4u);
  EXPECT_EQ(extra[0].decimals, 2);
  EXPECT_EQ(extra[1].scale, 1);
  EXPECT_EQ(extra[1].decimals, 0);
  EXPECT_EQ(extra[2].scale, 1);
  EXPECT_EQ(extra[2].offset, 7);
  EXPECT_EQ(extra[3].offset, 0);
  Record r(34);
  r.put<std::int16_t>(20, 1234);
  r.put<std::uint16_t>(22, 40000);
  r.put<std::int32_t>(24, -5);
  r.put<std::int32_t>(28, 9);
  EXPECT_DOUBLE_EQ(extra_value(extra[0], r.bytes.data()), 12.34);
  EXPECT_EQ(extra_value(extra[1], r.bytes.data()), 40000);
  EXPECT_EQ(extra_value(extra[2], r.bytes.data()), 2);
  EXPECT_EQ(extra_value(extra[3], r.bytes.data()), 9);
  EXPECT_EQ(damage,
            "its extra bytes' zero have a scale of 0, which is not applied: their values are "
            "written as stored; its extra bytes' odd have a scale of no number, which is not "
            "applied: their values are written as stored; its extra bytes' far have an offset of "
            "no number, which is not applied");
}

TEST(LasRecord, DimensionsAreNamedAsPdalNamesThemInAnyCase) {
  EXPECT_EQ(dim_named("GpsTime"), Dim::kGpsTime);
  EXPECT_EQ(dim_named("gps_time"), Dim::kGpsTime);
  EXPECT_EQ(dim_named("INTENSITY"), Dim::kIntensity);
  EXPECT_EQ(dim_named("ScanAngleRank"), Dim::kScanAngleRank);
  EXPECT_EQ(dim_named("Time"), std::nullopt);
  EXPECT_EQ(dim_named("Xx"), std::nullopt);
  for (int d = 0; d < kDimCount; ++d) {
    EXPECT_EQ(dim_named(name_of(static_cast<Dim>(d))), static_cast<Dim>(d));
  }
}

}  // namespace
}  // namespace point
