// --keep-class and --drop-class: the points of the classes listed, or all
// but those, by their numbers or the ASPRS names.
#ifndef STRATUMIX_FILTER_CLASS_FILTER_H_
#define STRATUMIX_FILTER_CLASS_FILTER_H_

#include <bitset>
#include <string>

#include "filter/byte_field.h"
#include "filter/point_filter.h"

class ClassFilter : public PointFilter {
 public:
  // `listed`: the classes of the list; `keep`: whether those are kept or left out.
  ClassFilter(std::string name, const std::bitset<256>& listed, bool keep);

  std::string name() const override { return name_; }
  point::DimSet tests() const override { return {point::Dim::kClassification}; }
  void begin_run(const ScaledRecords& records) override;
  bool keep(const Point& point) override;
  bool keep(const ScaledRecords& /*records*/, const char* record) override {
    return kept_[field_.of(record)];
  }

 private:
  std::string name_;
  // Whether each class goes on, one byte each for the records' loop.
  bool kept_[256];
  bool other_kept_;  // a class of text that is no whole number from 0 to 255
  ByteField field_;
};

// Reads a list of --keep-class or --drop-class into `listed`: numbers from
// 0 to 255 and names, in any case, "noise" for 7 and 18. Says what is
// wrong, or nothing.
std::string parse_classes(const std::string& list, std::bitset<256>& listed);

#endif  // STRATUMIX_FILTER_CLASS_FILTER_H_
