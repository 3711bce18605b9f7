#include "write/las/las_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "io/failure.h"
#include "io/paths.h"
#include "num/number.h"
#include "write/las/laz_chunks.h"

namespace lasout {

namespace {

using point::Dim;
using point::FieldPlace;

// The dimensions after X, Y and Z, as any format holds them.
constexpr Dim kFields[] = {
    Dim::kIntensity,
    Dim::kReturnNumber,
    Dim::kNumberOfReturns,
    Dim::kClassification,
    Dim::kSynthetic,
    Dim::kKeyPoint,
    Dim::kWithheld,
    Dim::kOverlap,
    Dim::kScanChannel,
    Dim::kScanDirectionFlag,
    Dim::kEdgeOfFlightLine,
    Dim::kScanAngle,
    Dim::kUserData,
    Dim::kPointSourceId,
    Dim::kGpsTime,
    Dim::kRed,
    Dim::kGreen,
    Dim::kBlue,
    Dim::kInfrared,
    Dim::kWavePacketDescriptorIndex,
    Dim::kWaveformDataOffset,
    Dim::kWaveformPacketSize,
    Dim::kReturnPointWaveformLocation,
    Dim::kWaveformXt,
    Dim::kWaveformYt,
    Dim::kWaveformZt,
};

void put_whole(char* record, const FieldPlace& to, std::int64_t value) {
  if (to.width < 8 * to.bytes) {
    const auto mask = static_cast<unsigned>(((1u << to.width) - 1) << to.shift);
    auto& byte = reinterpret_cast<unsigned char&>(record[to.at]);
    byte = static_cast<unsigned char>((byte & ~mask) |
                                      ((static_cast<unsigned>(value) << to.shift) & mask));
    return;
  }
  const auto bits = static_cast<std::uint64_t>(value);
  for (int i = 0; i < to.bytes; ++i)
    record[to.at + static_cast<std::uint32_t>(i)] = static_cast<char>(bits >> (8 * i) & 0xff);
}

// Whether a whole number fits a field.
bool fits(const FieldPlace& to, std::int64_t value) {
  const int bits = std::min<int>(to.width, 8 * to.bytes);
  if (to.kind == FieldPlace::Kind::kSigned) {
    const std::int64_t half = std::int64_t{1} << (bits - 1);
    return value >= -half && value < half;
  }
  return value >= 0 && (bits >= 64 || value < (std::int64_t{1} << bits));
}

void put_int32(char* record, int axis, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) record[4 * axis + i] = static_cast<char>(bits >> (8 * i) & 0xff);
}

std::int32_t int32_at(const char* record, int axis) {
  const auto* b = reinterpret_cast<const unsigned char*>(record + std::ptrdiff_t{4} * axis);
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
      static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
}

[[noreturn]] void beyond_integers(double value, int axis, const Plan& plan) {
  const char* names[3] = {"X", "Y", "Z"};
  throw Failure{1, std::string("A point's ") + names[axis] + " of " + number::fixed6_text(value) +
                       " lies beyond what the result's 32-bit integers hold from its offset " +
                       number::fixed6_text(plan.offset[axis]) + "; give --offset"};
}

std::uint64_t uint_at(const char* at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(at[i]);
  return value;
}

void put_uint(char* at, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) at[i] = static_cast<char>(value >> (8 * i) & 0xff);
}

}  // namespace

LasResult::LasResult(Plan plan, OutputFile& file, Disk* disk)
    : plan_(std::move(plan)), file_(file), extended_(plan_.format >= 6), disk_(disk) {
  if (plan_.form == Form::kLaz) chunks_ = make_laz_chunks(plan_, file_);
  layout_ = plan_.layout();
}

LasResult::~LasResult() = default;

void LasResult::begin() {
  const std::string header = header_bytes(plan_, Totals{});
  file_.write_block(header.data(), header.size());
  if (chunks_ != nullptr) chunks_->begin();
}

void LasResult::write_header(OutputFile& file) {
  const std::string header = header_bytes(plan_, totals_);
  if (!file.write_at(0, header.data(), plan_.header_size()))
    throw Failure{1, "Cannot complete the header of the result"};
}

std::uint64_t LasResult::points() const {
  return chunks_ != nullptr && !settled_ ? chunks_->totals().points : totals_.points;
}

void LasResult::input_begins() {
  input_position_ = file_.position();
  before_input_ = totals_;
}

bool LasResult::take_back_input() {
  if (chunks_ != nullptr || !file_.cut_to(input_position_)) return false;
  totals_ = before_input_;
  return true;
}

std::vector<std::string> LasResult::notes() const {
  std::vector<std::string> notes = plan_.notes;
  if (waves_lost_ > 0)
    notes.push_back("the wave packets of " +
                    number::int_text(static_cast<std::int64_t>(waves_lost_)) +
                    " points lie outside their input's waveform data: their descriptor index is "
                    "set to 0");
  if (inputs_unknown_ > 0) {
    std::string names;
    for (const std::string& path : waves_unknown_)
      names += (names.empty() ? "" : ", ") + paths::for_message(path);
    if (inputs_unknown_ > 10) names += " and " + number::int_text(inputs_unknown_ - 10) + " more";
    notes.push_back(
        "the waveform data of these inputs is not known (text, or read from a pipe): their "
        "points' wave packet descriptor index is set to 0: " +
        names);
  }
  return notes;
}

void LasResult::finish(OutputFile& file) {
  if (chunks_ != nullptr) {
    chunks_->finish();
    totals_ = chunks_->totals();
  }
  write_waveforms(file);
  write_header(file);
  settled_ = true;
}

// The inputs' waveform data in one record after the points, each input's
// where its points' offsets were moved to, read in pieces.
void LasResult::write_waveforms(OutputFile& file) {
  if (plan_.wave_bytes == 0 || disk_ == nullptr) return;
  points_end_ = file.position();
  std::string head(kEvlrHeader, '\0');
  head.replace(2, 9, "LASF_Spec");
  put_uint(head.data() + 18, 65535, 2);
  put_uint(head.data() + 20, plan_.wave_bytes, 8);
  head.replace(28, 21, "Waveform Data Packets");
  file.write_block(head.data(), head.size());
  std::vector<char> piece(kIoBlockSize);
  for (const WaveInput& wave : plan_.waves) {
    if (!wave.carried) continue;
    std::string reason;
    std::unique_ptr<ByteSource> source = disk_->open_for_reading(wave.source.path, reason);
    std::uint64_t done = 0;
    while (source != nullptr && done < wave.source.size) {
      const auto want =
          static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), wave.source.size - done));
      const std::ptrdiff_t got = source->read_at(wave.source.at + done, piece.data(), want);
      if (got <= 0) break;
      file.write_block(piece.data(), static_cast<std::size_t>(got));
      done += static_cast<std::uint64_t>(got);
    }
    if (done < wave.source.size) {
      // Its points would point at bytes that are not theirs: the result
      // keeps its points and no waveform data, and the job fails.
      file.cut_to(points_end_);
      write_header(file);
      settled_ = true;
      throw Failure{1, "Cannot read the waveform data of " + paths::for_message(wave.path) +
                           " in " + paths::for_message(wave.source.path) +
                           (reason.empty() ? "" : ": " + reason)};
    }
  }
  totals_.waveform_at = static_cast<std::uint64_t>(points_end_);
}

void LasResult::after_failure(OutputFile& file) {
  // Waveform data cut short is not kept.
  const std::int64_t held =
      points_end_ >= 0 ? std::min(file.written(), points_end_) : file.written();
  const std::int64_t first = plan_.point_offset();
  Totals kept;
  std::int64_t end = first;
  if (held < first) {
    // Not even the header is whole: no LAS at all, rather than one that
    // lies.
    file.cut_to(0);
    totals_ = Totals{};
    return;
  }
  settled_ = true;
  if (chunks_ != nullptr) {
    chunks_->whole_points(held, kept, end);
    if (end < 0) {
      file.cut_to(0);
      totals_ = Totals{};
      return;
    }
  } else {
    const auto whole = static_cast<std::uint64_t>((held - first) / plan_.record_length);
    end = first + static_cast<std::int64_t>(whole * plan_.record_length);
    // The totals of what the file holds, read back from it.
    std::string block(static_cast<std::size_t>(plan_.record_length) * 4096, '\0');
    for (std::int64_t at = first; at < end;) {
      const auto want = static_cast<std::size_t>(
          std::min<std::int64_t>(end - at, static_cast<std::int64_t>(block.size())));
      const std::size_t got = file.read_back(at, block.data(), want);
      const std::size_t records = got / plan_.record_length;
      if (records == 0) {
        // What cannot be read back cannot be told: the points go.
        end = first;
        kept = Totals{};
        break;
      }
      for (std::size_t r = 0; r < records; ++r)
        kept.add(block.data() + r * plan_.record_length, extended_);
      at += static_cast<std::int64_t>(records * plan_.record_length);
    }
  }
  file.cut_to(end);
  totals_ = kept;
  const std::string header = header_bytes(plan_, totals_);
  if (!file.write_at(0, header.data(), plan_.header_size())) {
    // A header that cannot be completed must not promise points.
    file.cut_to(0);
    totals_ = Totals{};
  }
}

LasSink::LasSink(LasResult& result, const std::string& path)
    : result_(result), plan_(result.plan()), length_(result.plan().record_length) {
  result_.input_begins();
  const point::RecordLayout& layout = result_.layout();
  const FieldPlace index = point::place_of(layout, Dim::kWavePacketDescriptorIndex);
  waves_ = index.kind != FieldPlace::Kind::kAbsent;
  if (waves_) {
    wave_index_at_ = index.at;
    wave_offset_at_ = point::place_of(layout, Dim::kWaveformDataOffset).at;
    wave_size_at_ = point::place_of(layout, Dim::kWaveformPacketSize).at;
    wave_ = plan_.wave_of(path);
    path_ = path;
  }
}

// A wave packet's offset moved to where its input's waveform data lies in
// the result; one that the result has no waveform data for loses its
// descriptor, the rest of it kept.
void LasSink::place_wave(char* out) {
  char& index = out[wave_index_at_];
  if (index == 0) return;
  if (wave_ != nullptr) index = static_cast<char>(wave_->index[static_cast<unsigned char>(index)]);
  if (index == 0) {
    result_.wave_lost();
    return;
  }
  if (wave_ == nullptr || !wave_->carried) {
    index = 0;
    // Inputs whose headers were read before the job were told then.
    if (wave_ == nullptr && !told_unknown_) result_.waves_unknown(path_);
    told_unknown_ = true;
    return;
  }
  const std::uint64_t offset = uint_at(out + wave_offset_at_, 8);
  const std::uint64_t size = uint_at(out + wave_size_at_, 4);
  if (offset >= kEvlrHeader && offset - kEvlrHeader <= wave_->source.size &&
      size <= wave_->source.size - (offset - kEvlrHeader)) {
    put_uint(out + wave_offset_at_, offset + wave_->shift, 8);
    return;
  }
  index = 0;
  result_.wave_lost();
}

std::int32_t LasSink::integer(double value, int axis) {
  const double steps = (value - plan_.offset[axis]) / plan_.scale[axis];
  const double nearest = std::nearbyint(steps);
  if (!(nearest >= -2147483648.0 && nearest <= 2147483647.0)) beyond_integers(value, axis, plan_);
  // A decimal number is seldom exactly a double: only what is off by more
  // than a double's error was rounded.
  const double off = std::fabs(steps - nearest);
  if (off > 1e-4) rounded_by_ = std::max(rounded_by_, off * plan_.scale[axis]);
  return static_cast<std::int32_t>(nearest);
}

void LasSink::point(const Point& point, Extents& extents, Axes measured) {
  char* out = result_.slot();
  std::memset(out, 0, length_);
  double at[3];
  rounded_by_ = 0;
  for (int axis = 0; axis < 3; ++axis) {
    const std::int32_t whole = integer(point.xyz[axis].value, axis);
    put_int32(out, axis, whole);
    at[axis] = whole * plan_.scale[axis] + plan_.offset[axis];
  }
  if (rounded_by_ > 0) result_.rounded(rounded_by_);
  if (point.attributes != nullptr) {
    const point::RecordLayout& layout = result_.layout();
    for (Dim dim : kFields) {
      const double value = point.attributes->value[static_cast<int>(dim)];
      if (value == 0) continue;
      const FieldPlace to = point::place_of(layout, dim);
      switch (to.kind) {
        case FieldPlace::Kind::kAbsent:
          break;
        case FieldPlace::Kind::kDouble:
          std::memcpy(out + to.at, &value, 8);
          break;
        case FieldPlace::Kind::kFloat: {
          const auto single = static_cast<float>(value);
          std::memcpy(out + to.at, &single, 4);
          break;
        }
        default: {
          const auto whole = static_cast<std::int64_t>(std::nearbyint(value / to.step));
          if (!fits(to, whole) ||
              std::fabs(static_cast<double>(whole) * to.step - value) > 1e-9 * std::fabs(value)) {
            throw Failure{1, "A point's " + std::string(point::name_of(dim)) + " of " +
                                 number::fixed6_text(value) +
                                 " has no place in the result's records"};
          }
          put_whole(out, to, whole);
        }
      }
    }
  }
  if (waves_) place_wave(out);
  result_.placed();
  extents.add(at[0], at[1], at[2], measured);
}

void LasSink::prepare(const ScaledRecords& records) {
  Conversion& c = conversion_;
  c = Conversion{};
  c.layout = records.layout;
  const point::RecordLayout& to = result_.layout();
  const point::RecordLayout from =
      records.layout != nullptr ? *records.layout : point::RecordLayout::coordinates_only();
  for (int axis = 0; axis < 3; ++axis) {
    c.scale[axis] = records.scale[axis];
    c.offset[axis] = records.offset[axis];
    const double factor = records.scale[axis] / plan_.scale[axis];
    const double shift = (records.offset[axis] - plan_.offset[axis]) / plan_.scale[axis];
    c.exact[axis] = std::fabs(factor - std::nearbyint(factor)) <= 1e-6 &&
                    std::fabs(shift - std::nearbyint(shift)) <= 1e-6 && std::fabs(shift) < 9e15;
    c.factor[axis] = static_cast<std::int64_t>(std::nearbyint(factor));
    c.shift[axis] = c.exact[axis] ? static_cast<std::int64_t>(std::nearbyint(shift)) : 0;
    c.ratio[axis] = factor;
    c.move[axis] = shift;
  }
  c.same_format = from.format == to.format;
  c.standard = standard_length(to.format);
  if (!c.same_format) {
    for (Dim dim : kFields) {
      FieldPlace out = point::place_of(to, dim);
      FieldPlace in = point::place_of(from, dim);
      if (out.kind == FieldPlace::Kind::kAbsent || in.kind == FieldPlace::Kind::kAbsent) continue;
      c.fields.push_back({in, out});
    }
    c.overlap_class = from.format >= 0 && from.format < 6 && to.format >= 6;
  }
  if (plan_.whole_extra) {
    const std::uint32_t first = plan_.extra.front().at;
    const std::uint32_t size = length_ - first;
    if (from.format >= 0 && standard_length(from.format) + size <= from.length)
      c.extra.push_back({standard_length(from.format), first, size});
  } else {
    for (const point::ExtraDim& kept : to.extra) {
      const point::ExtraDim* in = from.extra_named(kept.name);
      // Kept only where every input has it with the same type.
      if (in != nullptr)
        c.extra.push_back(
            {in->at, kept.at, static_cast<std::uint32_t>(point::extra_type_size(kept.type))});
    }
  }
  c.as_they_are = c.same_format && from.length == length_ && !waves_;
  for (int axis = 0; axis < 3; ++axis)
    c.as_they_are = c.as_they_are && c.exact[axis] && c.factor[axis] == 1 && c.shift[axis] == 0;
  // The extra bytes, copied each to the same place, one after another from
  // the standard fields to the record's end.
  std::uint32_t next = c.standard;
  for (const Conversion::Extra& extra : c.extra) {
    c.as_they_are = c.as_they_are && extra.from == next && extra.to == next;
    next += extra.size;
  }
  c.as_they_are = c.as_they_are && next == length_;
}

Totals LasResult::place_as_they_are(const char* records, std::size_t count, bool lasting) {
  if (chunks_ != nullptr)
    return lasting ? chunks_->lend_all(records, count) : chunks_->place_all(records, count);
  const std::size_t length = plan_.record_length;
  Totals batch;
  batch.add_run(records, count, length, extended_);
  totals_.merge(batch);
  const std::size_t most = OutputFile::kBufferSize / length;
  while (count > 0) {
    const std::size_t n = std::min(count, most);
    char* to = file_.reserve(n * length);
    std::memcpy(to, records, n * length);
    file_.commit(to + n * length);
    records += n * length;
    count -= n;
  }
  return batch;
}

void LasSink::place_as_they_are(const ScaledRecords& records, Extents& extents, Axes measured) {
  if (records.count <= 0) return;
  const Totals batch = result_.place_as_they_are(
      records.first, static_cast<std::size_t>(records.count), records.lasting);
  // The extents are those of the least and greatest integers, which the
  // scale and offset keep least and greatest (or make greatest and least).
  for (const std::int32_t* end : {batch.min, batch.max}) {
    extents.add(end[0] * plan_.scale[0] + plan_.offset[0],
                end[1] * plan_.scale[1] + plan_.offset[1],
                end[2] * plan_.scale[2] + plan_.offset[2], measured);
  }
}

void LasSink::convert(const Conversion& c, const char* in, char* out) {
  double rounded_by = 0;
  for (int axis = 0; axis < 3; ++axis) {
    const std::int64_t whole = int32_at(in, axis);
    std::int64_t result;
    if (c.exact[axis]) {
      result = whole * c.factor[axis] + c.shift[axis];
      if (result < INT32_MIN || result > INT32_MAX)
        beyond_integers(static_cast<double>(whole) * c.scale[axis] + c.offset[axis], axis, plan_);
    } else {
      const double steps = static_cast<double>(whole) * c.ratio[axis] + c.move[axis];
      const double nearest = std::nearbyint(steps);
      if (!(nearest >= -2147483648.0 && nearest <= 2147483647.0))
        beyond_integers(static_cast<double>(whole) * c.scale[axis] + c.offset[axis], axis, plan_);
      if (std::fabs(steps - nearest) > 1e-6)
        rounded_by = std::max(rounded_by, std::fabs(steps - nearest) * plan_.scale[axis]);
      result = static_cast<std::int64_t>(nearest);
    }
    put_int32(out, axis, static_cast<std::int32_t>(result));
  }
  // A point is rounded once, however many of its coordinates were.
  if (rounded_by > 0) result_.rounded(rounded_by);
  if (c.same_format) {
    std::memcpy(out + 12, in + 12, c.standard - 12);
    if (length_ > c.standard) std::memset(out + c.standard, 0, length_ - c.standard);
  } else {
    std::memset(out + 12, 0, length_ - 12);
    for (const Field& field : c.fields) {
      switch (field.to.kind) {
        case FieldPlace::Kind::kDouble:
          std::memcpy(out + field.to.at, in + field.from.at, 8);
          break;
        case FieldPlace::Kind::kFloat:
          std::memcpy(out + field.to.at, in + field.from.at, 4);
          break;
        default: {
          std::int64_t whole = field.from.whole(in);
          if (field.from.step != field.to.step)
            whole = static_cast<std::int64_t>(
                std::nearbyint(static_cast<double>(whole) * field.from.step / field.to.step));
          put_whole(out, field.to, whole);
        }
      }
    }
    // Formats 0 to 5 told an overlap by its class, 12; 1.4 by a flag.
    if (c.overlap_class && (static_cast<unsigned char>(in[15]) & 31) == 12) out[15] |= 8;
  }
  for (const Conversion::Extra& extra : c.extra)
    std::memcpy(out + extra.to, in + extra.from, extra.size);
  if (waves_) place_wave(out);
}

void LasSink::records(const ScaledRecords& records, Extents& extents, Axes measured) {
  const Conversion& c = conversion_;
  if (c.layout != records.layout || c.layout == nullptr || c.scale[0] != records.scale[0] ||
      c.scale[1] != records.scale[1] || c.scale[2] != records.scale[2] ||
      c.offset[0] != records.offset[0] || c.offset[1] != records.offset[1] ||
      c.offset[2] != records.offset[2])
    prepare(records);
  if (c.as_they_are && records.length == length_) {
    place_as_they_are(records, extents, measured);
    return;
  }
  const char* in = records.first;
  for (std::int64_t i = 0; i < records.count; ++i, in += records.length) {
    char* out = result_.slot();
    convert(conversion_, in, out);
    extents.add(int32_at(out, 0) * plan_.scale[0] + plan_.offset[0],
                int32_at(out, 1) * plan_.scale[1] + plan_.offset[1],
                int32_at(out, 2) * plan_.scale[2] + plan_.offset[2], measured);
    result_.placed();
  }
}

}  // namespace lasout
