#include "filter/return_filter.h"

using point::Dim;

// A return number of 0, or one past the number of returns, which only
// unsound files have, is taken as first, or last, as LAStools takes it: the
// same files give the same points.

namespace {

constexpr unsigned kOverlapClass = 12;

}  // namespace

const char* ReturnFilter::option_of(Rule rule) {
  switch (rule) {
    case Rule::kFirst:
      return "--first-returns";
    case Rule::kLast:
      return "--last-returns";
    case Rule::kSingle:
      return "--single-returns";
    case Rule::kNotWithheld:
      return "--drop-withheld";
    case Rule::kNotOverlap:
      break;
  }
  return "--drop-overlap";
}

point::DimSet ReturnFilter::tests() const {
  switch (rule_) {
    case Rule::kFirst:
      return {Dim::kReturnNumber};
    case Rule::kLast:
      return {Dim::kReturnNumber, Dim::kNumberOfReturns};
    case Rule::kSingle:
      return {Dim::kNumberOfReturns};
    case Rule::kNotWithheld:
      return {Dim::kWithheld};
    case Rule::kNotOverlap:
      break;
  }
  return {Dim::kOverlap, Dim::kClassification};
}

std::string ReturnFilter::lacks(const point::Schema& schema) const {
  if (rule_ != Rule::kNotOverlap) return PointFilter::lacks(schema);
  if (schema.dims.has(Dim::kOverlap) || schema.dims.has(Dim::kClassification)) return {};
  return "Overlap or Classification";
}

void ReturnFilter::begin_run(const ScaledRecords& records) {
  switch (rule_) {
    case Rule::kFirst:
    case Rule::kLast:
    case Rule::kSingle:
      first_ = ByteField::of(records, Dim::kReturnNumber);
      second_ = ByteField::of(records, Dim::kNumberOfReturns);
      break;
    case Rule::kNotWithheld:
      first_ = ByteField::of(records, Dim::kWithheld);
      break;
    case Rule::kNotOverlap:
      // Formats 0 to 5 have no overlap flag: their overlap is class 12,
      // which the later formats leave unused.
      first_ = ByteField::of(records, Dim::kOverlap);
      second_ = ByteField::of(records, Dim::kClassification);
      break;
  }
}

bool ReturnFilter::keep(const Point& point) {
  switch (rule_) {
    case Rule::kFirst:
      return attribute_of(point, Dim::kReturnNumber) <= 1;
    case Rule::kLast:
      return attribute_of(point, Dim::kReturnNumber) >= attribute_of(point, Dim::kNumberOfReturns);
    case Rule::kSingle:
      return attribute_of(point, Dim::kNumberOfReturns) == 1;
    case Rule::kNotWithheld:
      return attribute_of(point, Dim::kWithheld) == 0;
    case Rule::kNotOverlap:
      break;
  }
  // Text may give the flag, the class, or both.
  return attribute_of(point, Dim::kOverlap) == 0 &&
         attribute_of(point, Dim::kClassification) != kOverlapClass;
}

bool ReturnFilter::keep(const ScaledRecords& /*records*/, const char* record) {
  switch (rule_) {
    case Rule::kFirst:
      return first_.of(record) <= 1;
    case Rule::kLast:
      return first_.of(record) >= second_.of(record);
    case Rule::kSingle:
      return second_.of(record) == 1;
    case Rule::kNotWithheld:
      return first_.of(record) == 0;
    case Rule::kNotOverlap:
      break;
  }
  // An absent flag reads as 0.
  return first_.of(record) == 0 && second_.of(record) != kOverlapClass;
}
