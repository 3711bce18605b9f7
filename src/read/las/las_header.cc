#include "read/las/las_header.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "num/bytes.h"
#include "num/number.h"

namespace las {
namespace {

// Where version 1.4's header keeps what the program reads; the older
// headers are its first 227 bytes (and 1.3's the first 235).
constexpr std::size_t kVersionMajor = 24;
constexpr std::size_t kVersionMinor = 25;
constexpr std::size_t kHeaderSize = 94;
constexpr std::size_t kPointOffset = 96;
constexpr std::size_t kRecords = 100;
constexpr std::size_t kPointFormat = 104;
constexpr std::size_t kRecordLength = 105;
constexpr std::size_t kLegacyCount = 107;
constexpr std::size_t kScales = 131;
constexpr std::size_t kOffsets = 155;
constexpr std::size_t kGlobalEncoding = 6;
constexpr unsigned kWaveformsInside = 0x02;  // of the global encoding
constexpr unsigned kWktSystem = 0x10;
constexpr std::size_t kWaveforms = 227;
constexpr std::size_t kFirstExtendedRecord = 235;
constexpr std::size_t kExtendedRecords = 243;
constexpr std::size_t kCount = 247;
constexpr std::size_t kHeaderSizes[] = {227, 227, 227, 235, 375};

using bytes::little_endian;

double little_endian_double(const unsigned char* p) {
  return std::bit_cast<double>(little_endian(p, 8));
}

// Counts and places as the header holds them: unsigned, whatever their size.
std::string text(std::uint64_t value) { return number::uint_text(value); }

std::string ends_inside(std::size_t size) {
  return "the file ends inside its LAS header, after " + text(size) + " bytes";
}

// What is wrong with the counts and places of the points, if anything.
std::string check_points(const unsigned char* bytes, Header& h) {
  if (h.point_offset < h.header_size) {
    return "the LAS header puts the points at byte " + text(h.point_offset) +
           ", inside the header of " + text(h.header_size) + " bytes";
  }
  std::uint64_t legacy = little_endian(bytes + kLegacyCount, 4);
  h.point_count = legacy;
  if (h.version_minor >= 4) {
    h.point_count = little_endian(bytes + kCount, 8);
    if (legacy != 0 && legacy != h.point_count) {
      return "the LAS header gives two point counts, " + text(legacy) + " and " +
             text(h.point_count);
    }
  }
  // Far beyond any disk, and safe to add and multiply.
  constexpr std::uint64_t kLargestFile = std::uint64_t{1} << 62;
  if (h.point_count > (kLargestFile - h.point_offset) / h.record_length) {
    return "the LAS header gives " + text(h.point_count) + " points of " + text(h.record_length) +
           " bytes, more than any file holds";
  }
  std::uint64_t points_end = h.point_offset + h.point_count * h.record_length;
  h.extended_at = 0;
  h.extended_records = 0;
  h.wkt = h.version_minor >= 4 && (bytes[kGlobalEncoding] & kWktSystem) != 0;
  if (h.version_minor >= 4 && little_endian(bytes + kExtendedRecords, 4) != 0) {
    h.extended_at = little_endian(bytes + kFirstExtendedRecord, 8);
    h.extended_records = static_cast<std::uint32_t>(little_endian(bytes + kExtendedRecords, 4));
  }
  h.points_end = h.extended_at;
  if (h.version_minor >= 3 && (bytes[kGlobalEncoding] & kWaveformsInside) != 0) {
    std::uint64_t waveforms = little_endian(bytes + kWaveforms, 8);
    if (waveforms > h.point_offset && (h.points_end == 0 || waveforms < h.points_end))
      h.points_end = waveforms;
  }
  if (!h.compressed && h.extended_at != 0) {
    std::uint64_t first_extended = h.extended_at;
    if (first_extended < points_end) {
      return "the LAS header's " + text(h.point_count) + " points reach byte " + text(points_end) +
             ", past where its extended records begin, at byte " + text(first_extended);
    }
  }
  return "";
}

}  // namespace

int format_record_length(int format) {
  static constexpr int kLengths[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  return kLengths[format];
}

std::string read_header(const unsigned char* bytes, std::size_t size, Header& h) {
  if (size < 4 || std::memcmp(bytes, "LASF", 4) != 0) return "not a LAS file";
  if (size < kHeaderSizes[0]) return ends_inside(size);
  int major = bytes[kVersionMajor];
  h.version_minor = bytes[kVersionMinor];
  if (major != 1 || h.version_minor > 4) {
    return "LAS version " + text(static_cast<std::uint64_t>(major)) + "." +
           text(static_cast<std::uint64_t>(h.version_minor)) + " is not read (1.0 to 1.4 are)";
  }
  // The compressed forms (LAZ) set one of the two high bits of the format.
  h.compressed = (bytes[kPointFormat] & 0xc0) != 0;
  h.point_format = bytes[kPointFormat] & 0x3f;
  if (h.point_format > 10) {
    return "LAS point format " + text(static_cast<std::uint64_t>(h.point_format)) +
           " is not read (0 to 10 are)";
  }
  h.header_size = static_cast<std::uint32_t>(little_endian(bytes + kHeaderSize, 2));
  std::size_t least = kHeaderSizes[h.version_minor];
  if (h.header_size < least) {
    return "the LAS header says it is " + text(h.header_size) + " bytes, less than version 1." +
           text(static_cast<std::uint64_t>(h.version_minor)) + "'s " + text(least);
  }
  if (size < least) return ends_inside(size);
  h.point_offset = little_endian(bytes + kPointOffset, 4);
  h.records = static_cast<std::uint32_t>(little_endian(bytes + kRecords, 4));
  h.record_length = static_cast<std::uint32_t>(little_endian(bytes + kRecordLength, 2));
  auto format_length = static_cast<std::uint32_t>(format_record_length(h.point_format));
  if (h.record_length < format_length) {
    return "the LAS header gives records of " + text(h.record_length) +
           " bytes, less than point format " + text(static_cast<std::uint64_t>(h.point_format)) +
           "'s " + text(format_length);
  }
  static const char* const kAxes[] = {"X", "Y", "Z"};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    h.scale[axis] = little_endian_double(bytes + kScales + 8 * axis);
    h.offset[axis] = little_endian_double(bytes + kOffsets + 8 * axis);
    if (h.scale[axis] == 0 || !std::isfinite(h.scale[axis]) || !std::isfinite(h.offset[axis])) {
      return std::string("the LAS header's ") + kAxes[axis] +
             " scale or offset is not a usable number";
    }
  }
  return check_points(bytes, h);
}

std::vector<VariableRecord> variable_records(const unsigned char* records, std::size_t size,
                                             std::uint32_t count) {
  // A record: 2 reserved bytes, a user ID of 16, its record ID, the length
  // of what follows its 54-byte header, and a description of 32.
  constexpr std::size_t kRecordHeader = 54;
  std::vector<VariableRecord> found;
  std::size_t at = 0;
  for (std::uint32_t r = 0; r < count && at + kRecordHeader <= size; ++r) {
    const unsigned char* header = records + at;
    VariableRecord record;
    record.length = static_cast<std::size_t>(header[20] | header[21] << 8);
    record.body = header + kRecordHeader;
    at += kRecordHeader + record.length;
    if (at > size) break;
    const auto* user = reinterpret_cast<const char*>(header + 2);
    record.user = std::string_view(user, strnlen(user, 16));
    record.id = static_cast<std::uint16_t>(header[18] | header[19] << 8);
    found.push_back(record);
  }
  return found;
}

}  // namespace las
