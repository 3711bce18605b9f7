#include "las_reader.h"

#include <algorithm>
#include <cstring>

#include "number.h"
#include "points.h"

namespace {

std::string text(std::uint64_t value) {
  char digits[number::kMaxIntLength];
  char* end = number::format_int(static_cast<std::int64_t>(value), digits);
  return std::string(digits, end);
}

std::int32_t little_endian_32(const unsigned char* p) {
  return static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                   std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
}

// The room one line takes at most, and the 8 bytes the quick writer may
// write past its text.
constexpr std::size_t kLineRoom = kMaxPointLine + 8;

}  // namespace

LasReader::LasReader(ByteSource& source, std::size_t buffer_size)
    : source_(source), buffer_(std::max(buffer_size, las::kLongestHeader)) {}

bool LasReader::fill(std::size_t needed) {
  if (position_ != 0) {
    std::memmove(buffer_.data(), buffer_.data() + position_, end_ - position_);
    end_ -= position_;
    position_ = 0;
  }
  if (buffer_.size() < needed) buffer_.resize(needed);
  while (end_ < needed) {
    std::size_t got =
        source_.read(reinterpret_cast<char*>(buffer_.data() + end_), buffer_.size() - end_);
    if (got == 0) return false;
    end_ += got;
    bytes_read_ += got;
  }
  return true;
}

bool LasReader::start() {
  fill(las::kLongestHeader);
  problem_ = las::read_header(buffer_.data(), end_, header_);
  if (!problem_.empty()) return false;
  points_left_ = header_.point_count;
  if (points_left_ == 0) return false;
  // Past the header and the records that follow it.
  std::uint64_t skip = header_.point_offset;
  while (skip > end_ - position_) {
    skip -= end_ - position_;
    position_ = end_;
    if (!fill(1)) {
      problem_ = "the LAS header puts the points at byte " + text(header_.point_offset) +
                 ", past the end of the file, at byte " + text(bytes_read_);
      points_left_ = 0;
      return false;
    }
  }
  position_ += skip;
  return true;
}

std::int64_t LasReader::copy_points(OutputFile& file, Extent& x, Extent& y, std::int64_t count) {
  if (!started_) {
    started_ = true;
    if (!start()) return 0;
  }
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
    write_records(file, x, y, batch);
    copied += batch;
    pasted_ += batch;
    points_left_ -= static_cast<std::uint64_t>(batch);
  }
  return copied;
}

void LasReader::write_records(OutputFile& file, Extent& x, Extent& y, std::int64_t count) {
  const std::size_t length = header_.record_length;
  const unsigned char* record = buffer_.data() + position_;
  const double scale_x = header_.scale[0], scale_y = header_.scale[1], scale_z = header_.scale[2];
  const double offset_x = header_.offset[0], offset_y = header_.offset[1],
               offset_z = header_.offset[2];
  char* out = file.reserve(kLineRoom);
  char* room_end = file.room_end() - kLineRoom;
  for (std::int64_t i = 0; i < count; ++i, record += length) {
    if (out > room_end) {
      file.commit(out);
      out = file.reserve(kLineRoom);
      room_end = file.room_end() - kLineRoom;
    }
    // Multiplied, then added, each rounded once: the program is built
    // without contracting the two into one fused step.
    double value_x = little_endian_32(record) * scale_x + offset_x;
    double value_y = little_endian_32(record + 4) * scale_y + offset_y;
    double value_z = little_endian_32(record + 8) * scale_z + offset_z;
    out = number::format_fixed6_quickly(value_x, out);
    *out++ = ' ';
    out = number::format_fixed6_quickly(value_y, out);
    *out++ = ' ';
    out = number::format_fixed6_quickly(value_z, out);
    out[0] = '\r';
    out[1] = '\n';
    out += 2;
    x.add(value_x);
    y.add(value_y);
  }
  file.commit(out);
  position_ = static_cast<std::size_t>(record - buffer_.data());
}
