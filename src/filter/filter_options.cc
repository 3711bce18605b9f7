#include "filter/filter_options.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <memory>

#include "filter/class_filter.h"
#include "filter/crop_filter.h"
#include "filter/json.h"
#include "filter/polygon_filter.h"
#include "filter/return_filter.h"
#include "filter/thin_filter.h"
#include "io/failure.h"
#include "io/paths.h"
#include "num/number.h"

namespace {

constexpr OptionHelp kHelp[] = {
    {"--crop XMIN,YMIN,XMAX,YMAX",
     "paste only the points with XMIN <= X < XMAX and\n"
     "YMIN <= Y < YMAX: crops that touch share no point"},
    {"--z-range ZMIN,ZMAX", "paste only the points with ZMIN <= Z < ZMAX"},
    {"--crop-polygon FILE",
     "paste only the points within the polygons of the\n"
     "GeoJSON FILE (Polygon, MultiPolygon), holes left out;\n"
     "a point on an edge two polygons share is in one alone"},
    {"--keep-class LIST",
     "paste only the points of these classes: numbers or\n"
     "names (ground 2, low-vegetation 3, medium-vegetation\n"
     "4, high-vegetation 5, building 6, low-point 7, water\n"
     "9, rail 10, road-surface 11, overlap 12, wire-guard\n"
     "13, wire-conductor 14, transmission-tower 15,\n"
     "wire-connector 16, bridge-deck 17, high-noise 18,\n"
     "never-classified 0, unclassified 1; noise: 7 and 18)"},
    {"--drop-class LIST", "paste every point but those of these classes"},
    {"--first-returns", "paste only first returns (return number 1, or 0)"},
    {"--last-returns", "paste only last returns (return number >= returns)"},
    {"--single-returns", "paste only points of a single return"},
    {"--drop-withheld", "leave out the points flagged withheld"},
    {"--drop-overlap",
     "leave out overlap points: those of class 12 (formats\n"
     "0 to 5), or flagged overlap (formats 6 to 10)"},
    {"--thin N",
     "paste one point in N of each input: its 1st, its\n"
     "N+1th, ... (before the other filters)"},
};

// The numbers of a list "a,b,...": `count` of them, none NaN.
std::string parse_numbers(const std::string& value, std::size_t count, double* numbers) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t end = i + 1 < count ? value.find(',', at) : value.size();
    if (end == std::string::npos) return "too few numbers";
    const std::string item = value.substr(at, end - at);
    const number::Parsed parsed = number::parse_token(item.data(), item.data() + item.size());
    if (item.find(',') != std::string::npos) return "too many numbers";
    if (!parsed.ok || std::isnan(parsed.value)) return paths::for_message(item) + " is no number";
    numbers[i] = parsed.value;
    at = end + 1;
  }
  return "";
}

std::string named(std::string_view option, const std::string& value) {
  return std::string(option) + " " + paths::for_message(value);
}

void add(FilterOptions& options, FilterOptions::Given given, bool first = false) {
  auto& list = options.given;
  list.insert(first ? list.begin() : list.end(), std::move(given));
}

bool read_box_option(OptionReader& reader, FilterOptions& options) {
  return reader.value("--crop", [&](const std::string& value) {
    double n[4];
    const std::string wrong = parse_numbers(value, 4, n);
    if (!wrong.empty() || !(n[0] < n[2] && n[1] < n[3])) {
      return "--crop takes XMIN,YMIN,XMAX,YMAX with XMIN < XMAX and YMIN < YMAX, not " +
             paths::for_message(value) + (wrong.empty() ? "" : " (" + wrong + ")");
    }
    Box box = Box::everything();
    box.from[0] = n[0];
    box.from[1] = n[1];
    box.to[0] = n[2];
    box.to[1] = n[3];
    std::string name = named("--crop", value);
    add(options, {name, [name, box] { return std::make_unique<CropFilter>(name, box); }, {}});
    return std::string();
  }) || reader.value("--z-range", [&](const std::string& value) {
    double n[2];
    const std::string wrong = parse_numbers(value, 2, n);
    if (!wrong.empty() || !(n[0] < n[1])) {
      return "--z-range takes ZMIN,ZMAX with ZMIN < ZMAX, not " + paths::for_message(value) +
             (wrong.empty() ? "" : " (" + wrong + ")");
    }
    Box box = Box::everything();
    box.from[2] = n[0];
    box.to[2] = n[1];
    std::string name = named("--z-range", value);
    add(options, {name, [name, box] { return std::make_unique<CropFilter>(name, box); }, {}});
    return std::string();
  });
}

bool read_class_option(OptionReader& reader, FilterOptions& options) {
  for (const char* option : {"--keep-class", "--drop-class"}) {
    const bool keep = option[2] == 'k';
    if (reader.value(option, [&](const std::string& value) {
          std::bitset<256> listed;
          if (std::string wrong = parse_classes(value, listed); !wrong.empty())
            return std::string(option) + " " + wrong;
          std::string name = named(option, value);
          add(options,
              {name,
               [name, listed, keep] { return std::make_unique<ClassFilter>(name, listed, keep); },
               {}});
          return std::string();
        })) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<FilterMaker> FilterOptions::makers() const {
  std::vector<FilterMaker> makers;
  for (const Given& filter : given) makers.push_back(filter.make);
  return makers;
}

bool read_filter_option(OptionReader& reader, FilterOptions& options) {
  using Rule = ReturnFilter::Rule;
  for (Rule rule :
       {Rule::kFirst, Rule::kLast, Rule::kSingle, Rule::kNotWithheld, Rule::kNotOverlap}) {
    if (reader.flag(ReturnFilter::option_of(rule))) {
      // Given twice, it is one filter.
      for (const FilterOptions::Given& given : options.given)
        if (given.name == ReturnFilter::option_of(rule)) return true;
      add(options, {ReturnFilter::option_of(rule),
                    [rule] { return std::make_unique<ReturnFilter>(rule); },
                    {}});
      return true;
    }
  }
  return read_box_option(reader, options) || read_class_option(reader, options) ||
         reader.value(
             "--thin",
             [&](const std::string& value) {
               const bool digits = !value.empty() && value.size() <= 12 &&
                                   std::all_of(value.begin(), value.end(),
                                               [](char c) { return c >= '0' && c <= '9'; });
               const std::int64_t every = digits ? std::stoll(value) : 0;
               if (every < 1)
                 return "--thin takes a whole number of points, 1 or more, not " +
                        paths::for_message(value);
               if (std::any_of(
                       options.given.begin(), options.given.end(),
                       [](const FilterOptions::Given& g) { return g.name.starts_with("--thin "); }))
                 return std::string("--thin is given twice");
               std::string name = named("--thin", value);
               add(options,
                   {name, [name, every] { return std::make_unique<ThinFilter>(name, every); }, {}},
                   true);
               return std::string();
             }) ||
         reader.value(
             "--crop-polygon",
             [&](const std::string& value) {
               if (value.empty()) return std::string("option --crop-polygon needs a file name");
               add(options, {named("--crop-polygon", value), {}, value});
               return std::string();
             },
             true);
}

void read_polygon_files(FilterOptions& options, Disk& disk) {
  // The GeoJSON of a site is small; one past this is no polygon file.
  constexpr std::size_t kLargest = std::size_t{256} << 20;
  for (FilterOptions::Given& given : options.given) {
    if (given.polygon_file.empty()) continue;
    const std::string& path = given.polygon_file;
    std::string reason;
    std::unique_ptr<ByteSource> source = disk.open_for_reading(path, reason);
    if (source == nullptr)
      throw Failure{1, "Cannot read the polygons " + disk.describe(path) + ": " + reason +
                           "; nothing was created."};
    std::string text;
    for (;;) {
      const std::size_t had = text.size();
      text.resize(had + (std::size_t{1} << 16));
      const std::size_t got = source->read(text.data() + had, text.size() - had);
      text.resize(had + got);
      if (got == 0) break;
      if (text.size() > kLargest)
        throw Failure{1, "The polygons " + disk.describe(path) +
                             " are more than 256 MiB of text; nothing was created."};
    }
    try {
      auto polygons = std::make_shared<const Polygons>(read_polygons(text));
      const std::string name = given.name;
      given.make = [name, polygons] { return std::make_unique<PolygonFilter>(name, polygons); };
    } catch (const JsonError& error) {
      throw Failure{1, "The polygons " + disk.describe(path) + ", line " +
                           number::int_text(error.line) + ": " + error.what +
                           "; nothing was created."};
    }
  }
}

std::span<const OptionHelp> filter_option_help() { return kHelp; }
