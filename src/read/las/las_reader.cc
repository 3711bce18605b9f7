#include "read/las/las_reader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "num/bytes.h"
#include "num/number.h"
#include "read/laz/chunk_decoder.h"
#include "read/laz/laz_points.h"

namespace {

std::string text(std::uint64_t value) {
  char digits[number::kMaxIntLength];
  char* end = number::format_int(static_cast<std::int64_t>(value), digits);
  return std::string(digits, end);
}

}  // namespace

LasReader::LasReader(ByteSource& source, std::size_t buffer_size, Axes axes)
    : source_(source),
      measured_(axes),
      buffer_(source, std::max(buffer_size, las::kLongestHeader), 0) {}

LasReader::LasReader(ReadAhead& ahead, Axes axes)
    : source_(ahead), measured_(axes), buffer_(ahead, ahead.storage_size(), 0) {}

LasReader::~LasReader() = default;

bool LasReader::fill(std::size_t needed) {
  while (end_ - position_ < needed) {
    InputBuffer::Refill more = buffer_.refill(position_, end_, needed);
    end_ = more.first + (end_ - position_) + more.got;
    position_ = more.first;
    if (more.got == 0) return false;
    bytes_read_ += more.got;
  }
  return true;
}

bool LasReader::start() {
  fill(las::kLongestHeader);
  problem_ = las::read_header(reinterpret_cast<const unsigned char*>(buffer_.data() + position_),
                              end_ - position_, header_);
  if (!problem_.empty()) return false;
  points_left_ = header_.point_count;
  if (points_left_ == 0) return false;
  // The records between the header and the points say the unit of X and Y
  // and, for LAZ, how the points are compressed: kept up to a bound that no
  // real file's records reach, passed over beyond it.
  constexpr std::size_t kMostRecordBytes = std::size_t{64} << 20;
  std::string records;
  std::uint64_t skip = header_.point_offset;
  while (skip > 0) {
    if (position_ == end_ && !fill(1)) {
      problem_ = "the LAS header puts the points at byte " + text(header_.point_offset) +
                 ", past the end of the file, at byte " + text(bytes_read_);
      points_left_ = 0;
      return false;
    }
    auto part = static_cast<std::size_t>(std::min<std::uint64_t>(skip, end_ - position_));
    if (records.size() < kMostRecordBytes)
      records.append(buffer_.data() + position_, std::min(part, kMostRecordBytes - records.size()));
    position_ += part;
    skip -= part;
  }
  std::size_t first = std::min<std::size_t>(header_.header_size, records.size());
  const auto* after_header = reinterpret_cast<const unsigned char*>(records.data()) + first;
  unit_ = las_linear_unit(after_header, records.size() - first, header_.records);
  if (header_.compressed) return start_laz(after_header, records.size() - first);
  return true;
}

bool LasReader::start_laz(const unsigned char* records, std::size_t size) {
  problem_ = laz::read_laszip(header_, records, size, header_.records, laszip_);
  if (!problem_.empty()) {
    points_left_ = 0;
    return false;
  }
  laz_ = std::make_unique<laz::LazPoints>(laszip_, laz_layers_, header_.point_count,
                                          static_cast<laz::Refill&>(*this), source_,
                                          header_.point_offset, laz_workers_);
  return true;
}

bool LasReader::more(const unsigned char*& next, const unsigned char*& end) {
  if (position_ == end_ && !fill(1)) return false;
  next = reinterpret_cast<const unsigned char*>(buffer_.data() + position_);
  end = reinterpret_cast<const unsigned char*>(buffer_.data() + end_);
  position_ = end_;
  return true;
}

std::int64_t LasReader::copy_laz_points(PointSink& sink, Extents& extents, std::int64_t count) {
  std::int64_t copied = 0;
  while (copied < count) {
    const char* records = nullptr;
    auto batch =
        static_cast<std::int64_t>(laz_->next(records, static_cast<std::size_t>(count - copied)));
    if (batch == 0) {
      problem_ = laz_->problem();
      break;
    }
    sink.records({records, laz_->point_size(), batch, header_.scale, header_.offset}, extents,
                 measured_);
    copied += batch;
    pasted_ += batch;
  }
  return copied;
}

std::int64_t LasReader::copy_points(PointSink& sink, Extents& extents, std::int64_t count) {
  if (!started_) {
    started_ = true;
    if (!start()) return 0;
  }
  if (laz_ != nullptr) return copy_laz_points(sink, extents, count);
  std::int64_t copied = 0;
  const std::size_t length = header_.record_length;
  while (copied < count && points_left_ > 0) {
    if (end_ - position_ < length && !fill(length)) {
      std::uint64_t pasted = header_.point_count - points_left_;
      problem_ = "the file ends after " + text(pasted) + " of the " + text(header_.point_count) +
                 " points its LAS header gives";
      points_left_ = 0;
      break;
    }
    std::uint64_t whole = (end_ - position_) / length;
    auto batch = static_cast<std::int64_t>(
        std::min({whole, points_left_, static_cast<std::uint64_t>(count - copied)}));
    sink.records({buffer_.data() + position_, length, batch, header_.scale, header_.offset},
                 extents, measured_);
    position_ += static_cast<std::size_t>(batch) * length;
    copied += batch;
    pasted_ += batch;
    points_left_ -= static_cast<std::uint64_t>(batch);
  }
  return copied;
}
