// The header of a LAS or LAZ result, composed before any point is written
// from every input's header, so that nothing any input carries is lost:
// the point format and version, the scale and offset, the extra bytes and
// the other records the inputs share. A pure function of what the inputs'
// headers say, so that each of its rules is tested alone.
#ifndef STRATUMIX_WRITE_LAS_LAS_PLAN_H_
#define STRATUMIX_WRITE_LAS_LAS_PLAN_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "point/dimension.h"
#include "point/las_record.h"
#include "read/las/las_crs.h"

namespace lasout {

enum class Form { kText, kLas, kLaz };

// A variable-length record, as it lies between a header and its points.
struct Vlr {
  std::string user;  // at most 16 bytes
  std::uint16_t id = 0;
  std::string description;  // at most 32 bytes
  std::string body;
  bool operator==(const Vlr&) const = default;
};

// Where an input's waveform data lies: the bytes of its waveform data
// packet record after the record's header, in the input itself or in the
// .wdp file beside it. Each wave packet's offset counts from that header's
// first byte, 60 bytes before them, as LASlib reads it.
struct Waveform {
  std::string path;  // the file that holds them; empty where none is found
  std::uint64_t at = 0;
  std::uint64_t size = 0;
  bool found() const { return !path.empty(); }
};

// What the plan needs of one input.
struct InputHeader {
  std::string path;
  bool las = false;  // LAS or LAZ; otherwise text, of which `dims` alone is known
  point::DimSet dims = point::kXyz;
  int format = 0;
  int version_minor = 2;
  std::uint16_t global_encoding = 0;
  std::uint64_t points = 0;
  double scale[3] = {};
  double offset[3] = {};
  double min[3] = {};
  double max[3] = {};
  // The Extra Bytes record's descriptors, each with its 192 bytes as they
  // lie (the record's place of each left to the result).
  std::vector<point::ExtraDim> extra;
  std::vector<std::string> extra_descriptors;
  // The other records, but the LASzip record, the Extra Bytes record
  // and the reference system's, which the result makes anew.
  std::vector<Vlr> vlrs;
  // The reference system it states, if any.
  las::Crs crs;
  // Of a format with wave packets (4, 5, 9, 10).
  Waveform waveform;
};

// What the command line asks of the result.
struct Options {
  Form form = Form::kText;
  bool scale_given = false;
  double scale[3] = {0.001, 0.001, 0.001};
  bool offset_given = false;
  double offset[3] = {};
  // The input whose reference system the result takes, where they differ.
  std::string crs_from;
  std::string software;  // the generating software, "STRATUMIX 1.2.0"
  int day = 1;           // the creation day of the year, from 1
  int year = 2000;
};

// An extra dimension the result keeps: its descriptor, and where it lies
// in the result's records.
struct KeptExtra {
  std::string name;
  std::string descriptor;  // 192 bytes
  int size = 0;            // its bytes in a record
  std::uint32_t at = 0;
};

// An input's waveform data as the result carries it: after the waveform
// data of the inputs before it, its packets' offsets moved by `shift`, and
// its descriptors' indexes as the result numbers them (`index`, by the
// input's own; 0 for a descriptor it lacks). Where its data was not found,
// its points' descriptor index becomes 0.
struct WaveInput {
  std::string path;  // the input's
  Waveform source;
  std::uint64_t shift = 0;
  bool carried = false;
  std::array<std::uint8_t, 256> index{};
};

// The length of a variable-length record's header after the points.
inline constexpr std::uint64_t kEvlrHeader = 60;

struct Plan {
  Form form = Form::kLas;
  int format = 0;
  int version_minor = 2;
  std::uint16_t global_encoding = 0;
  std::uint32_t record_length = 0;
  double scale[3] = {};
  double offset[3] = {};
  std::vector<KeptExtra> extra;
  // Every input describes the same extra bytes: they are kept whole, as
  // they lie after the standard fields.
  bool whole_extra = false;
  std::vector<Vlr> vlrs;  // kept, the Extra Bytes record among them
  std::string software;
  int day = 1;
  int year = 2000;
  // The reference system's description, where the inputs say one.
  std::string system;
  // Said of the result: what was left out.
  std::vector<std::string> notes;
  // Whether points not exact in the result's scale and offset may be
  // rounded (--scale given); otherwise they were refused.
  bool may_round = false;
  // The inputs with wave packets, and the bytes of waveform data the
  // result carries after its points, in one record.
  std::vector<WaveInput> waves;
  std::uint64_t wave_bytes = 0;
  const WaveInput* wave_of(const std::string& path) const;

  std::uint32_t header_size() const {
    return version_minor >= 4 ? 375 : version_minor == 3 ? 235 : 227;
  }
  // Where the first record lies, after the header and the records.
  std::uint32_t point_offset() const;
  // The layout of the result's records.
  point::RecordLayout layout() const;
};

// The bytes of the standard fields of a record of `format` (0 to 10).
std::uint32_t standard_length(int format);

// The result's plan for `inputs`, or Failure (status 1) with what makes a
// result that loses nothing impossible, the files named.
Plan compose(const std::vector<InputHeader>& inputs, const Options& options);

// What a result holds so far: its header's counts and bounds.
struct Totals {
  std::uint64_t points = 0;
  std::uint64_t by_return[15] = {};
  std::int32_t min[3] = {};
  std::int32_t max[3] = {};
  // Where the waveform data packet record begins, once written whole.
  std::uint64_t waveform_at = 0;

  // A record's X, Y or Z integer (`axis` 0, 1, 2), little-endian.
  static std::int32_t coordinate(const char* record, int axis) {
    const auto* b = reinterpret_cast<const unsigned char*>(record + std::ptrdiff_t{4} * axis);
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
        static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
  }

  // One record of the result, in its layout.
  void add(const char* record, bool extended) {
    std::int32_t xyz[3];
    for (int axis = 0; axis < 3; ++axis) {
      xyz[axis] = coordinate(record, axis);
      if (points == 0 || xyz[axis] < min[axis]) min[axis] = xyz[axis];
      if (points == 0 || xyz[axis] > max[axis]) max[axis] = xyz[axis];
    }
    const auto flags = static_cast<unsigned char>(record[14]);
    const int number = extended ? flags & 15 : flags & 7;
    if (number >= 1 && number <= 15) ++by_return[number - 1];
    ++points;
  }
  // `count` records one after another, `length` bytes apart: add() of
  // each, the bounds and counts kept in registers rather than in the
  // totals, a record at a time.
  void add_run(const char* records, std::size_t count, std::size_t length, bool extended);
  void merge(const Totals& other);
};

// The header and the records before the points, as the result holds them
// with `totals`.
std::string header_bytes(const Plan& plan, const Totals& totals);

// The LASzip record of a LAZ result goes among the records: its body,
// made by the compressor.
void add_laszip_record(Plan& plan, std::string body);

}  // namespace lasout

#endif  // STRATUMIX_WRITE_LAS_LAS_PLAN_H_
