#include "write/las/las_inputs.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "io/failure.h"
#include "io/paths.h"
#include "num/bytes.h"
#include "read/las/las_header.h"

namespace lasout {

namespace {

using bytes::little_endian;

double double_at(const unsigned char* p) { return std::bit_cast<double>(little_endian(p, 8)); }

// Up to `size` bytes from the start of `source`.
std::string first_bytes(ByteSource& source, std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const std::size_t n = source.read(bytes.data() + got, size - got);
    if (n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return bytes;
}

// The record ID of a waveform data packet record.
constexpr std::uint64_t kWaveformRecord = 65535;

// The .wdp file LASlib looks for beside `path`: its extension's three
// letters replaced, in the case of its first.
std::string wdp_beside(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      path.size() - dot != 4)
    return path + ".wdp";
  const bool upper = path[dot + 1] >= 'A' && path[dot + 1] <= 'Z';
  return path.substr(0, dot + 1) + (upper ? "WDP" : "wdp");
}

// The waveform data packet record whose header begins at `at` in `path`:
// its bytes after the header, as far as the file holds them; of a .wdp
// file (`whole`), the rest of the file, as LASlib reads it whatever its
// header says.
Waveform waveform_record(Disk& disk, const std::string& path, std::uint64_t at, bool whole) {
  const std::int64_t size = disk.size_of(path);
  if (size < 0 || static_cast<std::uint64_t>(size) < at + kEvlrHeader) return {};
  std::string reason;
  std::unique_ptr<ByteSource> source = disk.open_for_reading(path, reason);
  if (source == nullptr) return {};
  unsigned char head[kEvlrHeader];
  if (source->read_at(at, reinterpret_cast<char*>(head), kEvlrHeader) !=
      static_cast<std::ptrdiff_t>(kEvlrHeader))
    return {};
  // Some writers spell its user otherwise ("LAS_Spec"): its ID tells it.
  if (little_endian(head + 18, 2) != kWaveformRecord) return {};
  const std::uint64_t held = static_cast<std::uint64_t>(size) - at - kEvlrHeader;
  return {path, at + kEvlrHeader, whole ? held : std::min(little_endian(head + 20, 8), held)};
}

}  // namespace

bool read_las_input(Disk& disk, const std::string& path, InputHeader& header,
                    const KeptInputs* kept, std::size_t i) {
  std::unique_ptr<ByteSource> source;
  std::string bytes;
  // Read whole when it was checked: read again from memory, as far as
  // the file would have been read for its header.
  if (const std::string_view* whole = kept != nullptr ? kept->kept(i, path) : nullptr) {
    bytes.assign(whole->substr(0, las::kLongestHeader));
    source = std::make_unique<KeptSource>(*whole, bytes.size());
  } else {
    // A pipe is read once, in its turn: it is taken for text.
    if (disk.size_of(path) < 0) return false;
    std::string reason;
    source = disk.open_for_reading(path, reason);
    if (source == nullptr) return false;
    bytes = first_bytes(*source, las::kLongestHeader);
  }
  if (bytes.size() < 4 || bytes.compare(0, 4, "LASF") != 0) return false;
  las::Header h;
  const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());
  std::string problem = las::read_header(raw, bytes.size(), h);
  if (!problem.empty())
    throw Failure{
        1, "Cannot read " + paths::for_message(path) + ": " + problem + "; nothing was created."};
  header.path = path;
  header.las = true;
  header.format = h.point_format;
  header.version_minor = h.version_minor;
  header.points = h.point_count;
  header.global_encoding = static_cast<std::uint16_t>(little_endian(raw + 6, 2));
  for (int axis = 0; axis < 3; ++axis) {
    header.scale[axis] = h.scale[axis];
    header.offset[axis] = h.offset[axis];
    header.max[axis] = double_at(raw + 179 + std::ptrdiff_t{16} * axis);
    header.min[axis] = double_at(raw + 187 + std::ptrdiff_t{16} * axis);
  }
  // The records between the header and the points, bounded as the reader
  // bounds them.
  constexpr std::uint64_t kMostRecordBytes = std::uint64_t{64} << 20;
  const std::uint64_t until = std::min(h.point_offset, kMostRecordBytes);
  if (until > bytes.size())
    bytes += first_bytes(*source, static_cast<std::size_t>(until - bytes.size()));
  raw = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t first = std::min<std::size_t>(h.header_size, bytes.size());
  std::string descriptors;
  for (const las::VariableRecord& record :
       las::variable_records(raw + first, bytes.size() - first, h.records)) {
    const std::string body(reinterpret_cast<const char*>(record.body), record.length);
    if (record.user == "LASF_Spec" && record.id == 4) {
      descriptors += body;
      continue;
    }
    // Made anew for the result.
    if (record.user == "laszip encoded" && record.id == 22204) continue;
    // Records that tell how an input's own bytes are laid out, untrue of a
    // result that lays its points out anew: COPC's octree, LAStools' spatial
    // index, and the records LAS 1.4 marks superseded.
    if (record.user == "copc" || (record.user == "LAStools" && record.id == 10) ||
        (record.user == "LASF_Spec" && record.id == 7))
      continue;
    if (record.user == "LASF_Projection" &&
        (record.id == 34735 || record.id == 34736 || record.id == 34737 || record.id == 2112))
      continue;
    const auto* head = reinterpret_cast<const char*>(record.body) - 54;
    Vlr vlr;
    vlr.user = std::string(record.user);
    vlr.id = record.id;
    vlr.description.assign(head + 22, strnlen(head + 22, 32));
    vlr.body = body;
    header.vlrs.push_back(std::move(vlr));
  }
  std::string note;
  header.crs = las::read_crs(h, raw + first, bytes.size() - first, source.get(), note);
  for (std::size_t d = 0; d + 192 <= descriptors.size(); d += 192)
    header.extra_descriptors.push_back(descriptors.substr(d, 192));
  header.extra =
      point::read_extra_bytes(reinterpret_cast<const unsigned char*>(descriptors.data()),
                              descriptors.size(), standard_length(h.point_format), h.record_length);
  header.dims = point::dims_of_format(h.point_format);
  // The waveform data, in the file (global encoding's bit 1) or, as
  // LASlib also looks where the file holds none, in the .wdp beside it.
  if (header.dims.has(point::Dim::kWavePacketDescriptorIndex)) {
    const std::uint64_t start =
        h.version_minor >= 3 && bytes.size() >= 235 ? little_endian(raw + 227, 8) : 0;
    if ((header.global_encoding & 2) != 0 && start != 0)
      header.waveform = waveform_record(disk, path, start, false);
    if (!header.waveform.found())
      header.waveform = waveform_record(disk, wdp_beside(path), 0, true);
  }
  return true;
}

}  // namespace lasout
