#include "read/laz/chunk_decoder.h"

namespace laz {

PointDecoder::PointDecoder(const Laszip& laszip) : laszip_(laszip) {
  for (const LazItem& item : laszip.items) record_length_ += static_cast<std::size_t>(item.size);
  first_.resize(record_length_);
}

void PointDecoder::start(Decoder& decoder, char* out) {
  for (unsigned char& byte : first_) byte = decoder.raw_byte();
  // Fresh models for every chunk.
  items_.clear();
  for (const LazItem& item : laszip_.items) {
    switch (item.type) {
      case kPoint10:
        items_.push_back(make_point10(item.version, point_));
        break;
      case kGpsTime11:
        items_.push_back(make_gpstime11(item.version));
        break;
      case kRgb12:
        items_.push_back(make_rgb12(item.version));
        break;
      case kWavepacket13:
        items_.push_back(make_wavepacket13());
        break;
      default:
        items_.push_back(make_bytes(item.version, item.size));
        break;
    }
  }
  const unsigned char* raw = first_.data();
  for (std::size_t i = 0; i < items_.size(); ++i) {
    items_[i]->first(raw);
    raw += laszip_.items[i].size;
  }
  decoder.start();
  store_xyz(out, point_.x, point_.y, point_.z);
}

void PointDecoder::next(Decoder& decoder, std::size_t count, char* out) {
  // Past the end of its bytes a stream decodes nothing but zeros: the
  // points are left, for the caller finds the stream cut short anyway.
  for (std::size_t i = 0; i < count && !decoder.past_end(); ++i, out += kXyzSize) {
    for (const std::unique_ptr<Item>& item : items_) item->next(decoder);
    store_xyz(out, point_.x, point_.y, point_.z);
  }
}

bool decode_chunk(const Laszip& laszip, const unsigned char* bytes, std::size_t size,
                  std::uint32_t count, char* out) {
  if (laszip.compressor == Compressor::kLayered)
    return decode_layered_chunk(laszip, bytes, size, count, out);
  if (count == 0) return size == 0;
  Decoder decoder;
  decoder.set_input(bytes, bytes + size);
  PointDecoder points(laszip);
  points.start(decoder, out);
  points.next(decoder, count - 1, out + kXyzSize);
  return !decoder.past_end() && decoder.consumed() == size;
}

}  // namespace laz
