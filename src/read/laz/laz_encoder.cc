#include "read/laz/laz_encoder.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "read/laz/arithmetic_encoder.h"
#include "read/laz/point14_encoder.h"
#include "read/laz/point_items.h"

namespace laz {

namespace {

std::uint32_t get(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

std::uint64_t get64(const unsigned char* p) {
  return std::uint64_t{get(p, 4)} | std::uint64_t{get(p + 4, 4)} << 32;
}

void put(std::string& to, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    to[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

// The records' lengths of formats 0 to 10, before any extra bytes.
constexpr std::size_t kLengths[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};

std::size_t extra_bytes(const ChunkFormat& f) { return f.record_length - kLengths[f.format]; }

bool layered(const ChunkFormat& f) { return f.format >= 6; }

// The items, as LASzip lists them: type, size, version.
std::vector<std::array<int, 3>> items_of(const ChunkFormat& f) {
  int format = f.format;
  auto extra = static_cast<int>(extra_bytes(f));
  if (layered(f)) {
    int version = f.layered_version;
    std::vector<std::array<int, 3>> items = {{10, 30, version}};
    if (format == 7) items.push_back({11, 6, version});
    if (format == 8 || format == 10) items.push_back({12, 8, version});
    if (format == 9 || format == 10) items.push_back({13, 29, version});
    if (extra > 0) items.push_back({14, extra, version});
    return items;
  }
  std::vector<std::array<int, 3>> items = {{6, 20, 2}};
  if (format == 1 || format == 3 || format == 4 || format == 5) items.push_back({7, 8, 2});
  if (format == 2 || format == 3 || format == 5) items.push_back({8, 6, 2});
  if (format == 4 || format == 5) items.push_back({9, 29, 1});
  if (extra > 0) items.push_back({0, extra, 2});
  return items;
}

// Room ahead for a chunk's stream, half its records' bytes, more than
// they compress to (points scattered at random take a third): the stream
// is then never moved to a larger vector on its way. Room it does not
// reach costs nothing, as the system gives memory its pages only once
// they are written. A vector that holds several chunks grows by
// doubling, not by one chunk's room at a time.
void make_room(std::vector<unsigned char>& out, std::size_t bytes) {
  std::size_t want = out.size() + bytes;
  if (out.capacity() < want) out.reserve(std::max(want, 2 * out.capacity()));
}

// The chunked compressor's chunk: the first record as it is, then one
// arithmetic stream of every item of every point after it.
void compress_pointwise_chunk(const ChunkFormat& f, RecordRuns records,
                              std::vector<unsigned char>& out) {
  const unsigned char* first = records.first();
  make_room(out, f.record_length + records.count() * f.record_length / 2);
  out.insert(out.end(), first, first + f.record_length);
  {
    Encoder e(out);
    if (encode_plain_records(f.format, f.record_length, records, e)) {
      e.done();
      return;
    }
  }
  std::vector<std::array<int, 3>> items = items_of(f);
  std::vector<std::unique_ptr<ItemEncoder>> encoders;
  for (const auto& item : items) {
    switch (item[0]) {
      case 6:
        encoders.push_back(make_point10_encoder());
        break;
      case 7:
        encoders.push_back(make_gpstime11_encoder());
        break;
      case 8:
        encoders.push_back(make_rgb12_encoder());
        break;
      case 9:
        encoders.push_back(make_wavepacket13_encoder());
        break;
      default:
        encoders.push_back(make_bytes_encoder(static_cast<std::size_t>(item[1])));
        break;
    }
  }
  std::size_t at = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    encoders[i]->first(first + at);
    at += static_cast<std::size_t>(items[i][1]);
  }
  Encoder e(out);
  records.after_first(f.record_length, [&](const unsigned char* p) {
    std::size_t item_at = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      encoders[i]->next(e, p + item_at);
      item_at += static_cast<std::size_t>(items[i][1]);
    }
  });
  e.done();
}

}  // namespace

bool can_compress(const ChunkFormat& f) {
  return f.format >= 0 && f.format <= 10 && f.record_length >= kLengths[f.format] &&
         (f.format < 6 || f.layered_version == 3 || f.layered_version == 4);
}

void compress_chunk(const ChunkFormat& f, RecordRuns records, std::vector<unsigned char>& out) {
  if (records.first() == nullptr || !can_compress(f)) return;
  if (!layered(f)) {
    compress_pointwise_chunk(f, records, out);
    return;
  }
  int format = f.format;
  LayeredPlaces places;
  places.rgb = format == 7 || format == 8 || format == 10 ? 30 : 0;
  places.nir = format == 8 || format == 10 ? 36 : 0;
  places.wave = format == 9 ? 30 : format == 10 ? 38 : 0;
  places.bytes = kLengths[format];
  places.count = extra_bytes(f);
  places.follow_channel = f.layered_version >= 4;
  encode_layered_chunk(places, f.record_length, records, out);
}

void compress_chunk(const ChunkFormat& f, const unsigned char* records, std::uint32_t count,
                    std::vector<unsigned char>& out) {
  const RecordRun run{records, count};
  compress_chunk(f, RecordRuns{&run, 1}, out);
}

std::string laszip_vlr_for(const ChunkFormat& f, std::uint32_t chunk_size, bool variable) {
  std::vector<std::array<int, 3>> items = items_of(f);
  std::string vlr(54 + 34 + 6 * items.size(), '\0');
  vlr.replace(2, 14, "laszip encoded");
  put(vlr, 18, 22204, 2);
  put(vlr, 20, vlr.size() - 54, 2);
  vlr.replace(22, 32, std::string("by the LAZ encoder of STRATUMIX") + std::string(1, '\0'));
  put(vlr, 54, layered(f) ? 3 : 2, 2);  // chunked, or layered
  put(vlr, 54 + 4, 2, 1);
  put(vlr, 54 + 5, 2, 1);
  put(vlr, 54 + 12, variable ? 0xffffffffu : chunk_size, 4);
  put(vlr, 54 + 16, ~std::uint64_t{0}, 8);
  put(vlr, 54 + 24, ~std::uint64_t{0}, 8);
  put(vlr, 54 + 32, items.size(), 2);
  for (std::size_t i = 0; i < items.size(); ++i) {
    for (std::size_t j = 0; j < 3; ++j)
      put(vlr, 54 + 34 + 6 * i + 2 * j, static_cast<std::uint64_t>(items[i][j]), 2);
  }
  return vlr;
}

std::string compress_las(const std::string& las, std::uint32_t chunk_size, bool variable,
                         int layered_version) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(las.data());
  if (las.size() < 227 || las.compare(0, 4, "LASF") != 0 || chunk_size == 0) return "";
  ChunkFormat f;
  f.format = bytes[104];
  f.record_length = get(bytes + 105, 2);
  f.layered_version = layered_version;
  if (!can_compress(f)) return "";
  std::size_t header_size = get(bytes + 94, 2);
  std::size_t points_at = get(bytes + 96, 4);
  std::size_t record = f.record_length;
  std::uint64_t count = bytes[25] >= 4 ? get64(bytes + 247) : get(bytes + 107, 4);
  if (points_at + count * record > las.size()) return "";
  std::string vlr = laszip_vlr_for(f, chunk_size, variable);
  std::string out = las.substr(0, points_at);
  out.insert(header_size, vlr);
  std::size_t new_points_at = points_at + vlr.size();
  put(out, 96, new_points_at, 4);
  put(out, 100, get(bytes + 100, 4) + 1, 4);
  put(out, 104, 0x80u | static_cast<unsigned>(f.format), 1);
  if (bytes[25] >= 4) put(out, 235, 0, 8);  // no EVLRs follow

  std::vector<unsigned char> data(8);
  std::vector<std::uint32_t> chunk_points, chunk_bytes;
  std::uint64_t done = 0;
  std::uint32_t size = chunk_size;
  while (done < count) {
    auto points = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, count - done));
    std::size_t start = data.size();
    compress_chunk(f, bytes + points_at + done * record, points, data);
    chunk_points.push_back(points);
    chunk_bytes.push_back(static_cast<std::uint32_t>(data.size() - start));
    done += points;
    // Varying sizes: each chunk a third smaller, down to one point.
    if (variable) size = size > 3 ? size - size / 3 : 1;
  }
  std::uint64_t table_at = new_points_at + data.size();
  for (int i = 0; i < 8; ++i)
    data[static_cast<std::size_t>(i)] = static_cast<unsigned char>(table_at >> (8 * i));
  std::string table(8, '\0');
  put(table, 4, chunk_points.size(), 4);
  std::vector<unsigned char> sizes;
  {
    Encoder e(sizes);
    IntegerEncoder numbers(32, 2);
    std::int32_t last_points = 0, last_bytes = 0;
    for (std::size_t i = 0; i < chunk_points.size(); ++i) {
      if (variable) {
        numbers.encode(e, last_points, static_cast<std::int32_t>(chunk_points[i]), 0);
        last_points = static_cast<std::int32_t>(chunk_points[i]);
      }
      numbers.encode(e, last_bytes, static_cast<std::int32_t>(chunk_bytes[i]), 1);
      last_bytes = static_cast<std::int32_t>(chunk_bytes[i]);
    }
    e.done();
  }
  out.append(reinterpret_cast<const char*>(data.data()), data.size());
  out += table;
  out.append(reinterpret_cast<const char*>(sizes.data()), sizes.size());
  return out;
}

}  // namespace laz
