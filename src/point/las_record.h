// Where each dimension lies in a LAS point record, for the ten formats and
// the extra bytes an Extra Bytes record describes: records travel as they
// lie in the file, and a dimension is read from them only where a job
// writes or tests it.
#ifndef STRATUMIX_POINT_LAS_RECORD_H_
#define STRATUMIX_POINT_LAS_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "point/dimension.h"

namespace point {

// An extra dimension after the standard fields of a record, as its
// descriptor in the Extra Bytes record (LASF_Spec, 4) gives it.
struct ExtraDim {
  std::string name;
  int type = 0;          // the descriptor's data type, 1 (unsigned char) to 10 (double)
  std::uint32_t at = 0;  // where it lies in the record
  bool scaled = false;   // its value is raw * scale + offset
  double scale = 1;
  double offset = 0;
  // Written with: the decimals the scale needs, or for a real the fewest
  // that give its value back (kShortestDecimals).
  int decimals = 0;
};

inline constexpr int kShortestDecimals = -1;

// The bytes of an extra bytes data type (1 to 10); 0 for another.
int extra_type_size(int type);

// The descriptors of an Extra Bytes record's payload (`size` bytes, 192 a
// descriptor), laid after the `first` bytes of a record of `length`;
// descriptors of the deprecated arrays and of undocumented bytes take
// their room but name nothing. Those that would run past the record are
// left out. A scale of 0 (every value the offset) or one that is no
// number, and an offset that is no number, are not applied: the field is
// read as stored, and `damage`, when given, says which.
std::vector<ExtraDim> read_extra_bytes(const unsigned char* payload, std::size_t size,
                                       std::uint32_t first, std::uint32_t length,
                                       std::string* damage = nullptr);

// The fields of the records of one input.
struct RecordLayout {
  int format = 0;            // the point format, 0 to 10; -1 for coordinates alone
  std::uint32_t length = 0;  // of a record
  DimSet dims;               // what each record holds
  std::vector<ExtraDim> extra;

  // Records of a LAS point format, of `length` bytes (at least the format's).
  static RecordLayout of_format(int format, std::uint32_t length, std::vector<ExtraDim> extra = {});
  // 12-byte records of X, Y and Z alone: LAZ decoded as far as a job needs.
  static RecordLayout coordinates_only();
  // The extra dimension named `name` (in any case), or null.
  const ExtraDim* extra_named(std::string_view name) const;
};

// The dimensions of point format `format` (0 to 10).
DimSet dims_of_format(int format);

// Where a dimension lies in each record of a layout: found once, and read
// from every record without looking at the layout again.
struct FieldPlace {
  enum class Kind : std::uint8_t { kAbsent, kUnsigned, kSigned, kDouble, kFloat };
  Kind kind = Kind::kAbsent;
  std::uint32_t at = 0;     // its first byte in the record
  std::uint8_t bytes = 0;   // little-endian
  std::uint8_t shift = 0;   // a whole number's bits within them,
  std::uint8_t width = 64;  // from `shift` on
  double step = 1;          // a whole number's value is whole * step

  // A whole number's bits as they lie (an unsigned 64-bit one's as its
  // bits), sign-extended for a signed one.
  std::int64_t whole(const char* record) const {
    std::uint64_t raw = 0;
    for (int i = bytes - 1; i >= 0; --i) {
      raw = raw << 8 | static_cast<unsigned char>(record[at + static_cast<std::uint32_t>(i)]);
    }
    if (kind == Kind::kSigned) {
      const int unused = 64 - 8 * bytes;
      return static_cast<std::int64_t>(raw << unused) >> unused;
    }
    raw >>= shift;
    if (width < 64) raw &= (std::uint64_t{1} << width) - 1;
    return static_cast<std::int64_t>(raw);
  }
  // Its value, whatever its kind; 0 where absent.
  double value(const char* record) const;
};

// Where `dim` lies in the records of `layout`: absent where they hold none.
FieldPlace place_of(const RecordLayout& layout, Dim dim);

// The value of `dim` in `record`, which `layout` holds; 0 where it holds
// none. A wave packet's offset past 2^53 loses its last bits here:
// whole_of() keeps them.
double value_of(const RecordLayout& layout, const char* record, Dim dim);
// The value of a whole-number dimension, exactly; a wave packet's offset
// as the bits of its unsigned 64-bit integer.
std::int64_t whole_of(const RecordLayout& layout, const char* record, Dim dim);
// The value of an extra dimension: raw, or scaled and offset.
double extra_value(const ExtraDim& extra, const char* record);

}  // namespace point

#endif  // STRATUMIX_POINT_LAS_RECORD_H_
