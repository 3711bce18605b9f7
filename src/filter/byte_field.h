// A field of one byte, or of some bits of one, in a record: the class, the
// return numbers, the flags. Found once per layout and read with a shift
// and a mask, which keeps the filters that test it cheap.
#ifndef STRATUMIX_FILTER_BYTE_FIELD_H_
#define STRATUMIX_FILTER_BYTE_FIELD_H_

#include <cstdint>

#include "point/las_record.h"
#include "point/point.h"

struct ByteField {
  std::uint32_t at = 0;
  std::uint8_t shift = 0;
  std::uint8_t mask = 0;  // none where the records hold no such field
  bool present() const { return mask != 0; }
  unsigned of(const char* record) const {
    return static_cast<unsigned>(static_cast<unsigned char>(record[at]) >> shift) & mask;
  }
  // Where `dim` lies in the records: absent without a layout, or where it
  // is no field of one byte.
  static ByteField of(const ScaledRecords& records, point::Dim dim) {
    ByteField field;
    if (records.layout == nullptr) return field;
    const point::FieldPlace place = point::place_of(*records.layout, dim);
    if (place.kind != point::FieldPlace::Kind::kUnsigned || place.bytes != 1) return field;
    field.at = place.at;
    field.shift = place.shift;
    field.mask = static_cast<std::uint8_t>(place.width >= 8 ? 0xff : (1u << place.width) - 1);
    return field;
  }
};

// The value of `dim` of a point by value, where its input carries it.
inline double attribute_of(const Point& point, point::Dim dim) {
  return point.attributes == nullptr ? 0 : point.attributes->value[static_cast<int>(dim)];
}

#endif  // STRATUMIX_FILTER_BYTE_FIELD_H_
