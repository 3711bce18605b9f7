#include "filter/class_filter.h"

#include <cmath>
#include <string_view>

#include "io/paths.h"

namespace {

struct ClassName {
  std::string_view name;
  int number;
};

// The classes the ASPRS tables name, for the formats 6 to 10 and, up to
// 31, the older ones.
constexpr ClassName kNames[] = {
    {"never-classified", 0},
    {"unclassified", 1},
    {"ground", 2},
    {"low-vegetation", 3},
    {"medium-vegetation", 4},
    {"high-vegetation", 5},
    {"building", 6},
    {"low-point", 7},
    {"water", 9},
    {"rail", 10},
    {"road-surface", 11},
    {"overlap", 12},
    {"wire-guard", 13},
    {"wire-conductor", 14},
    {"transmission-tower", 15},
    {"wire-connector", 16},
    {"bridge-deck", 17},
    {"high-noise", 18},
};

std::string lower(std::string_view text) {
  std::string low(text);
  for (char& c : low) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return low;
}

}  // namespace

ClassFilter::ClassFilter(std::string name, const std::bitset<256>& listed, bool keep)
    : name_(std::move(name)), other_kept_(!keep) {
  for (std::size_t c = 0; c < 256; ++c) kept_[c] = listed[c] == keep;
}

void ClassFilter::begin_run(const ScaledRecords& records) {
  field_ = ByteField::of(records, point::Dim::kClassification);
}

bool ClassFilter::keep(const Point& point) {
  const double value = attribute_of(point, point::Dim::kClassification);
  if (!(value >= 0 && value <= 255) || value != std::floor(value)) return other_kept_;
  return kept_[static_cast<int>(value)];
}

std::string parse_classes(const std::string& list, std::bitset<256>& listed) {
  if (list.empty()) return "needs a list of classes, such as 2,6 or ground,building";
  std::size_t at = 0;
  for (;;) {
    const std::size_t end = std::min(list.find(',', at), list.size());
    const std::string item = lower(list.substr(at, end - at));
    bool known = false;
    if (!item.empty() && item.size() <= 3 &&
        item.find_first_not_of("0123456789") == std::string::npos) {
      const int number = std::stoi(item);
      known = number <= 255;
      if (known) listed.set(static_cast<std::size_t>(number));
    } else if (item == "noise") {
      listed.set(7).set(18);
      known = true;
    } else {
      for (const ClassName& name : kNames) {
        if (item == name.name) {
          listed.set(static_cast<std::size_t>(name.number));
          known = true;
        }
      }
    }
    if (!known) {
      return "takes class numbers from 0 to 255 or names (ground, building, noise, ...), not " +
             paths::for_message(list.substr(at, end - at));
    }
    if (end == list.size()) return "";
    at = end + 1;
  }
}
