#include "read/laz/chunk_decoder.h"

#include <cstring>

namespace laz {

std::size_t record_length(const Laszip& laszip) {
  std::size_t length = 0;
  for (const LazItem& item : laszip.items) length += static_cast<std::size_t>(item.size);
  return length;
}

PointDecoder::PointDecoder(const Laszip& laszip, Layers layers)
    : laszip_(laszip),
      record_length_(record_length(laszip)),
      point_size_(decoded_size(layers, record_length_)) {
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
        items_.push_back(make_rgb12(item.version, point_size_ != kXyzSize));
        break;
      case kWavepacket13:
        items_.push_back(make_wavepacket13());
        break;
      default:
        items_.push_back(make_bytes(item.version, item.size, point_size_ != kXyzSize));
        break;
    }
  }
  const unsigned char* raw = first_.data();
  for (std::size_t i = 0; i < items_.size(); ++i) {
    items_[i]->first(raw);
    raw += laszip_.items[i].size;
  }
  decoder.start();
  // The first record is stored as it is: it is the whole point.
  if (point_size_ == kXyzSize) {
    store_xyz(out, point_.x, point_.y, point_.z);
  } else {
    std::memcpy(out, first_.data(), record_length_);
  }
}

void PointDecoder::next(Decoder& decoder, std::size_t count, char* out) {
  // Past the end of its bytes a stream decodes nothing but zeros: the
  // points are left, for the caller finds the stream cut short anyway.
  if (point_size_ == kXyzSize) {
    for (std::size_t i = 0; i < count && !decoder.past_end(); ++i, out += kXyzSize) {
      for (const std::unique_ptr<Item>& item : items_) item->next(decoder);
      store_xyz(out, point_.x, point_.y, point_.z);
    }
    return;
  }
  for (std::size_t i = 0; i < count && !decoder.past_end(); ++i, out += point_size_) {
    auto* record = reinterpret_cast<unsigned char*>(out);
    for (std::size_t j = 0; j < items_.size(); ++j) {
      items_[j]->next(decoder);
      items_[j]->store(record);
      record += laszip_.items[j].size;
    }
  }
}

bool decode_chunk(const Laszip& laszip, const unsigned char* bytes, std::size_t size,
                  std::uint32_t count, char* out, Layers layers) {
  if (laszip.compressor == Compressor::kLayered)
    return decode_layered_chunk(laszip, bytes, size, count, out, layers);
  if (count == 0) return size == 0;
  Decoder decoder;
  decoder.set_input(bytes, bytes + size);
  PointDecoder points(laszip, layers);
  points.start(decoder, out);
  points.next(decoder, count - 1, out + points.point_size());
  return !decoder.past_end() && decoder.consumed() == size;
}

}  // namespace laz
