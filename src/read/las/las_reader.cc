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

// Counts and places as the file holds them: unsigned, whatever their size.
std::string text(std::uint64_t value) { return number::uint_text(value); }

}  // namespace

LasReader::LasReader(ByteSource& source, std::size_t buffer_size, Axes axes)
    : source_(source),
      lasting_(source.lasting_bytes()),
      measured_(axes),
      buffer_(source, std::max(buffer_size, las::kLongestHeader), 0) {}

LasReader::LasReader(ReadAhead& ahead, Axes axes)
    : source_(ahead), measured_(axes), buffer_(ahead, ahead.storage_size(), 0) {}

LasReader::~LasReader() = default;

unsigned LasReader::cores() {
  static const unsigned count = std::max(1u, std::thread::hardware_concurrency());
  return count;
}

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
  layout_ = point::RecordLayout::of_format(header_.point_format, header_.record_length);
  points_left_ = header_.point_count;
  // The records between the header and the points say the unit of X and Y,
  // the reference system (also of a file without points) and, for LAZ, how
  // the points are compressed: kept up to a bound that no real file's
  // records reach, passed over beyond it.
  constexpr std::size_t kMostRecordBytes = std::size_t{64} << 20;
  std::string records;
  std::uint64_t skip = header_.point_offset;
  while (skip > 0) {
    if (position_ == end_ && !fill(1)) {
      if (points_left_ == 0) return false;
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
  crs_ = las::read_crs(header_, after_header, records.size() - first, &source_, crs_note_);
  if (points_left_ == 0) return false;
  // One Extra Bytes record is allowed, but writers that append extra
  // bytes to a file that has some add a second: their descriptors follow
  // the first's, in the record's bytes as in the records' order.
  std::basic_string<unsigned char> descriptors;
  for (const las::VariableRecord& record :
       las::variable_records(after_header, records.size() - first, header_.records)) {
    if (record.user == "LASF_Spec" && record.id == 4)
      descriptors.append(record.body, record.length);
  }
  std::vector<point::ExtraDim> extra = point::read_extra_bytes(
      descriptors.data(), descriptors.size(),
      static_cast<std::uint32_t>(las::format_record_length(header_.point_format)),
      header_.record_length, &extra_note_);
  layout_ =
      point::RecordLayout::of_format(header_.point_format, header_.record_length, std::move(extra));
  if (header_.compressed) return start_laz(after_header, records.size() - first);
  return true;
}

bool LasReader::start_laz(const unsigned char* records, std::size_t size) {
  problem_ = laz::read_laszip(header_, records, size, header_.records, laszip_);
  if (!problem_.empty()) {
    points_left_ = 0;
    return false;
  }
  laz_layout_ = laz_layers_ == laz::kXyzOnly ? point::RecordLayout::coordinates_only() : layout_;
  laz_ = std::make_unique<laz::LazPoints>(laszip_, laz_layers_, header_.point_count,
                                          header_.points_end, static_cast<laz::Refill&>(*this),
                                          source_, header_.point_offset, laz_workers_);
  return true;
}

bool LasReader::more(const unsigned char*& next, const unsigned char*& end) {
  if (position_ == end_ && !fill(1)) return false;
  next = reinterpret_cast<const unsigned char*>(buffer_.data() + position_);
  end = reinterpret_cast<const unsigned char*>(buffer_.data() + end_);
  position_ = end_;
  return true;
}

std::string LasReader::note() const {
  std::string told;
  for (const std::string* part : {&crs_note_, &extra_note_, &note_}) {
    if (part->empty()) continue;
    if (!told.empty()) told += "; ";
    told += *part;
  }
  return told;
}

void LasReader::want(const point::Wanted& wanted) {
  using point::Dim;
  // Each dimension's layer of the layered compressor; the returns and the
  // scanner channel come with X and Y.
  static constexpr struct {
    Dim dim;
    laz::Layers layers;
  } kLayerOf[] = {
      {Dim::kIntensity, laz::kIntensity},
      {Dim::kClassification, laz::kClassification},
      {Dim::kSynthetic, laz::kFlags | laz::kClassification},
      {Dim::kKeyPoint, laz::kFlags | laz::kClassification},
      {Dim::kWithheld, laz::kFlags | laz::kClassification},
      {Dim::kOverlap, laz::kFlags | laz::kClassification},
      {Dim::kScanDirectionFlag, laz::kFlags},
      {Dim::kEdgeOfFlightLine, laz::kFlags},
      {Dim::kScanAngleRank, laz::kScanAngle},
      {Dim::kScanAngle, laz::kScanAngle},
      {Dim::kUserData, laz::kUserData},
      {Dim::kPointSourceId, laz::kPointSource},
      {Dim::kGpsTime, laz::kGpsTime},
      {Dim::kRed, laz::kRgb},
      {Dim::kGreen, laz::kRgb},
      {Dim::kBlue, laz::kRgb},
      {Dim::kInfrared, laz::kNir},
      {Dim::kWavePacketDescriptorIndex, laz::kWavePacket},
      {Dim::kWaveformDataOffset, laz::kWavePacket},
      {Dim::kWaveformPacketSize, laz::kWavePacket},
      {Dim::kReturnPointWaveformLocation, laz::kWavePacket},
      {Dim::kWaveformXt, laz::kWavePacket},
      {Dim::kWaveformYt, laz::kWavePacket},
      {Dim::kWaveformZt, laz::kWavePacket},
  };
  laz::Layers layers = wanted.extra.empty() ? laz::kXyzOnly : laz::kExtraBytes;
  for (const auto& of : kLayerOf) {
    if (wanted.dims.has(of.dim)) layers |= of.layers;
  }
  // The returns and the channel come with X and Y, but only in whole
  // records: asked for alone, they take the smallest layer with them.
  if (layers == laz::kXyzOnly && !wanted.dims.without(point::kXyz).empty()) layers = laz::kFlags;
  set_laz_layers(layers);
}

point::Schema LasReader::schema() const {
  point::Schema schema;
  schema.dims = layout_.dims;
  for (const point::ExtraDim& extra : layout_.extra) schema.extra.push_back(extra.name);
  return schema;
}

std::int64_t LasReader::copy_laz_points(PointSink& sink, Extents& extents, std::int64_t count) {
  std::int64_t copied = 0;
  while (copied < count) {
    const char* records = nullptr;
    auto batch =
        static_cast<std::int64_t>(laz_->next(records, static_cast<std::size_t>(count - copied)));
    if (batch == 0) {
      problem_ = laz_->problem();
      problem_at_end_ = laz_->problem_at_end();
      note_ = laz_->note();
      break;
    }
    sink.records({records, laz_->point_size(), batch, header_.scale, header_.offset, &laz_layout_},
                 extents, measured_);
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
    ScaledRecords records{
        buffer_.data() + position_, length, batch, header_.scale, header_.offset, &layout_};
    // A tile kept whole in memory lends its records where they lie, the
    // same bytes as the buffer's: a writer may keep them there.
    const std::uint64_t at = bytes_read_ - (end_ - position_);
    if (at <= lasting_.size() &&
        (lasting_.size() - at) / length >= static_cast<std::uint64_t>(batch)) {
      records.first = lasting_.data() + at;
      records.lasting = true;
    }
    sink.records(records, extents, measured_);
    position_ += static_cast<std::size_t>(batch) * length;
    copied += batch;
    pasted_ += batch;
    points_left_ -= static_cast<std::uint64_t>(batch);
  }
  return copied;
}
