#include "read/laz/laszip_vlr.h"

#include <cstring>

#include "num/bytes.h"
#include "num/number.h"

namespace laz {
namespace {

using bytes::little_endian;

std::string text(std::uint64_t value) { return number::uint_text(value); }

const char* item_name(int type) {
  switch (type) {
    case kByte:
      return "BYTE";
    case kPoint10:
      return "POINT10";
    case kGpsTime11:
      return "GPSTIME11";
    case kRgb12:
      return "RGB12";
    case kWavepacket13:
      return "WAVEPACKET13";
    case kPoint14:
      return "POINT14";
    case kRgb14:
      return "RGB14";
    case kRgbNir14:
      return "RGBNIR14";
    case kWavepacket14:
      return "WAVEPACKET14";
    case kByte14:
      return "BYTE14";
    default:
      return nullptr;
  }
}

// The size each item has, 0 for the extra bytes of any size.
int item_size(int type) {
  switch (type) {
    case kPoint10:
      return 20;
    case kGpsTime11:
      return 8;
    case kRgb12:
    case kRgb14:
      return 6;
    case kWavepacket13:
    case kWavepacket14:
      return 29;
    case kPoint14:
      return 30;
    case kRgbNir14:
      return 8;
    default:
      return 0;
  }
}

// Whether the program decodes `item` under `compressor`: the older items,
// versions 1 and 2, with the point-wise and chunked compressors; those of
// LAS 1.4, versions 3 and 4, with the layered one.
bool known(const LazItem& item, Compressor compressor) {
  bool layered_item = item.type >= kPoint14;
  if (layered_item)
    return compressor == Compressor::kLayered && (item.version == 3 || item.version == 4);
  if (compressor == Compressor::kLayered) return false;
  if (item.type == kWavepacket13) return item.version == 1;
  return item.version == 1 || item.version == 2;
}

}  // namespace

std::string read_laszip(const las::Header& header, const unsigned char* records, std::size_t size,
                        std::uint32_t count, Laszip& laszip) {
  constexpr std::size_t kRecordHeader = 54;
  const unsigned char* found = nullptr;
  std::size_t found_size = 0;
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < count && size - at >= kRecordHeader; ++i) {
    const unsigned char* record = records + at;
    auto length = static_cast<std::size_t>(little_endian(record + 20, 2));
    if (length > size - at - kRecordHeader) break;
    if (std::memcmp(record + 2, "laszip encoded", 15) == 0 &&
        little_endian(record + 18, 2) == 22204) {
      found = record + kRecordHeader;
      found_size = length;
      break;
    }
    at += kRecordHeader + length;
  }
  if (found == nullptr)
    return "the LAS header says its points are compressed, but no LASzip record says how";
  constexpr std::size_t kFixedPart = 34;
  if (found_size < kFixedPart) return "the LASzip record is cut short";
  auto compressor = static_cast<int>(little_endian(found, 2));
  if (compressor < 1 || compressor > 3) {
    return "LAZ compressor " + text(static_cast<std::uint64_t>(compressor)) +
           " is not read (1 point-wise, 2 chunked and 3 layered are)";
  }
  laszip.compressor = static_cast<Compressor>(compressor);
  laszip.chunk_size = static_cast<std::uint32_t>(little_endian(found + 12, 4));
  auto items = static_cast<std::size_t>(little_endian(found + 32, 2));
  if (found_size < kFixedPart + 6 * items) return "the LASzip record is cut short";
  laszip.items.clear();
  std::uint64_t record_length = 0;
  for (std::size_t i = 0; i < items; ++i) {
    const unsigned char* p = found + kFixedPart + 6 * i;
    LazItem item{static_cast<int>(little_endian(p, 2)), static_cast<int>(little_endian(p + 2, 2)),
                 static_cast<int>(little_endian(p + 4, 2))};
    const char* name = item_name(item.type);
    if (name == nullptr) {
      return "LAZ item " + text(static_cast<std::uint64_t>(item.type)) + " is not read";
    }
    if (!known(item, laszip.compressor)) {
      return std::string("LAZ item ") + name + " version " +
             text(static_cast<std::uint64_t>(item.version)) + " is not read with the " +
             (compressor == 1   ? "point-wise"
              : compressor == 2 ? "chunked"
                                : "layered") +
             " compressor";
    }
    int expected = item_size(item.type);
    if ((expected != 0 && item.size != expected) || item.size == 0) {
      return std::string("the LASzip record gives item ") + name + " " +
             text(static_cast<std::uint64_t>(item.size)) + " bytes";
    }
    record_length += static_cast<std::uint64_t>(item.size);
    laszip.items.push_back(item);
  }
  int first = header.point_format <= 5 ? kPoint10 : kPoint14;
  if (laszip.items.empty() || laszip.items[0].type != first) {
    return "the LASzip record's first item is not the point of format " +
           text(static_cast<std::uint64_t>(header.point_format));
  }
  if (record_length != header.record_length) {
    return "the LASzip record's items make records of " + text(record_length) +
           " bytes, the LAS header's are " + text(header.record_length);
  }
  return "";
}

}  // namespace laz
