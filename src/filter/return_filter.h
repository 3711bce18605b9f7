// The filters of a record's returns and flags: --first-returns,
// --last-returns, --single-returns, --drop-withheld and --drop-overlap.
#ifndef STRATUMIX_FILTER_RETURN_FILTER_H_
#define STRATUMIX_FILTER_RETURN_FILTER_H_

#include <string>

#include "filter/byte_field.h"
#include "filter/point_filter.h"

class ReturnFilter : public PointFilter {
 public:
  enum class Rule { kFirst, kLast, kSingle, kNotWithheld, kNotOverlap };
  explicit ReturnFilter(Rule rule) : rule_(rule) {}

  // The option that asks for it: "--first-returns".
  static const char* option_of(Rule rule);

  std::string name() const override { return option_of(rule_); }
  point::DimSet tests() const override;
  // Overlap is the 1.4 flag, or class 12 where an input has no such flag.
  std::string lacks(const point::Schema& schema) const override;
  void begin_run(const ScaledRecords& records) override;
  bool keep(const Point& point) override;
  bool keep(const ScaledRecords& records, const char* record) override;

 private:
  Rule rule_;
  ByteField first_;   // the return number, the withheld or the overlap flag
  ByteField second_;  // the number of returns, or the class
};

#endif  // STRATUMIX_FILTER_RETURN_FILTER_H_
