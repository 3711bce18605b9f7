#include "filter/class_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/return_filter.h"

namespace {

// A record of point format 1 (28 bytes) or 6 (30 bytes) with these fields,
// the others filled with bits the filters must not look at.
struct Fields {
  unsigned klass = 0;
  unsigned return_number = 1;
  unsigned returns = 1;
  bool withheld = false;
  bool overlap = false;  // format 6 alone
};

std::vector<char> record_of(int format, const Fields& f) {
  std::vector<char> record(format == 6 ? 30 : 28, '\x5a');
  if (format == 6) {
    record[14] = static_cast<char>(f.return_number | f.returns << 4);
    record[15] = static_cast<char>(0x30 | (f.withheld ? 4 : 0) | (f.overlap ? 8 : 0));
    record[16] = static_cast<char>(f.klass);
  } else {
    record[14] = static_cast<char>(0xc0 | f.return_number | f.returns << 3);
    record[15] = static_cast<char>(0x60 | f.klass | (f.withheld ? 0x80 : 0));
  }
  return record;
}

// Each filter, on records of formats 1 and 6 and on points by value, keeps
// what a plain rule says.
void expect_as_rule(PointFilter& filter, const std::vector<Fields>& all,
                    bool (*rule)(const Fields&), bool overlap_flag_in_text = false) {
  for (int format : {1, 6}) {
    const point::RecordLayout layout =
        point::RecordLayout::of_format(format, format == 6 ? 30 : 28);
    const double one[3] = {1, 1, 1};
    const double zero[3] = {0, 0, 0};
    for (const Fields& f : all) {
      if (format == 1 && (f.klass > 31 || f.return_number > 7 || f.returns > 7 || f.overlap))
        continue;
      std::vector<char> record = record_of(format, f);
      const ScaledRecords records{record.data(), record.size(), 1, one, zero, &layout};
      filter.begin_run(records);
      Fields seen = f;
      // Formats 0 to 5 tell overlap by class alone.
      if (format == 1) seen.overlap = false;
      EXPECT_EQ(filter.keep(records, record.data()), rule(seen))
          << filter.name() << " format " << format << " class " << f.klass << " returns "
          << f.return_number << "/" << f.returns << " withheld " << f.withheld;
    }
  }
  for (const Fields& f : all) {
    PointAttributes attributes;
    using point::Dim;
    attributes.value[static_cast<int>(Dim::kClassification)] = f.klass;
    attributes.value[static_cast<int>(Dim::kReturnNumber)] = f.return_number;
    attributes.value[static_cast<int>(Dim::kNumberOfReturns)] = f.returns;
    attributes.value[static_cast<int>(Dim::kWithheld)] = f.withheld;
    attributes.value[static_cast<int>(Dim::kOverlap)] = overlap_flag_in_text && f.overlap;
    Point point;
    point.attributes = &attributes;
    Fields seen = f;
    seen.overlap = overlap_flag_in_text && f.overlap;
    EXPECT_EQ(filter.keep(point), rule(seen)) << filter.name() << " by value, class " << f.klass;
  }
}

std::vector<Fields> every_case() {
  std::vector<Fields> all;
  for (unsigned klass : {0u, 1u, 2u, 7u, 12u, 18u, 31u, 200u}) {
    for (unsigned n = 0; n <= 3; ++n) {
      for (unsigned r = 0; r <= n + 1; ++r) {
        for (int flags = 0; flags < 4; ++flags)
          all.push_back({klass, r, n, (flags & 1) != 0, (flags & 2) != 0});
      }
    }
  }
  return all;
}

TEST(ClassFilter, ListsOfNumbersAndNames) {
  std::bitset<256> listed;
  EXPECT_EQ(parse_classes("2,Building,noise,255", listed), "");
  EXPECT_EQ(listed, std::bitset<256>().set(2).set(6).set(7).set(18).set(255));
  for (const char* wrong : {"", "2,", "256", "-1", "grass", "2;6", "1.5"}) {
    std::bitset<256> none;
    EXPECT_NE(parse_classes(wrong, none), "") << wrong;
  }
  std::bitset<256> names;
  EXPECT_EQ(parse_classes("never-classified,unclassified,ground,low-vegetation,medium-vegetation,"
                          "high-vegetation,building,low-point,water,rail,road-surface,overlap,"
                          "wire-guard,wire-conductor,transmission-tower,wire-connector,"
                          "bridge-deck,high-noise",
                          names),
            "");
  EXPECT_EQ(names.count(), 18u);
  EXPECT_FALSE(names[8]);
}

TEST(ClassFilter, KeepsOrDropsTheClassesListed) {
  std::bitset<256> listed;
  parse_classes("2,noise,200", listed);
  ClassFilter keep("--keep-class", listed, true);
  ClassFilter drop("--drop-class", listed, false);
  expect_as_rule(keep, every_case(), [](const Fields& f) {
    return f.klass == 2 || f.klass == 7 || f.klass == 18 || f.klass == 200;
  });
  expect_as_rule(drop, every_case(), [](const Fields& f) {
    return !(f.klass == 2 || f.klass == 7 || f.klass == 18 || f.klass == 200);
  });
  // A class of text that is no class: kept by a drop, left out by a keep.
  PointAttributes attributes;
  attributes.value[static_cast<int>(point::Dim::kClassification)] = 2.5;
  Point point;
  point.attributes = &attributes;
  EXPECT_FALSE(keep.keep(point));
  EXPECT_TRUE(drop.keep(point));
}

TEST(ReturnFilter, ReturnsAndFlags) {
  using Rule = ReturnFilter::Rule;
  struct Case {
    Rule rule;
    bool (*keeps)(const Fields&);
  };
  for (const Case& c : {
           Case{Rule::kFirst, [](const Fields& f) { return f.return_number <= 1; }},
           Case{Rule::kLast, [](const Fields& f) { return f.return_number >= f.returns; }},
           Case{Rule::kSingle, [](const Fields& f) { return f.returns == 1; }},
           Case{Rule::kNotWithheld, [](const Fields& f) { return !f.withheld; }},
           Case{Rule::kNotOverlap, [](const Fields& f) { return !f.overlap && f.klass != 12; }},
       }) {
    ReturnFilter filter(c.rule);
    expect_as_rule(filter, every_case(), c.keeps, true);
  }
}

// What an input must carry for each filter.
TEST(ReturnFilter, WhatAnInputLacks) {
  point::Schema xyz;
  point::Schema classes;
  classes.dims.add(point::Dim::kClassification);
  EXPECT_EQ(ReturnFilter(ReturnFilter::Rule::kNotOverlap).lacks(xyz), "Overlap or Classification");
  EXPECT_EQ(ReturnFilter(ReturnFilter::Rule::kNotOverlap).lacks(classes), "");
  EXPECT_EQ(ReturnFilter(ReturnFilter::Rule::kLast).lacks(classes), "ReturnNumber");
  EXPECT_EQ(ClassFilter("c", {}, true).lacks(xyz), "Classification");
  EXPECT_EQ(ClassFilter("c", {}, true).lacks(classes), "");
}

}  // namespace
