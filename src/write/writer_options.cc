#include "write/writer_options.h"

#include <algorithm>
#include <string>

#include "io/paths.h"
#include "num/number.h"

namespace {

constexpr OptionHelp kHelp[] = {
    {"--decimals N",
     "write every number of the result with N decimals, 0 to\n"
     "17, as printf's %.Nf (default 6)"},
    {"--line-ends END", "end the result's lines with END: lf or crlf (default)"},
    {"--fields LIST",
     "the result's columns, in PDAL's names, in any case:\n"
     "X,Y,Z,Intensity,ReturnNumber,NumberOfReturns,\n"
     "Classification,Synthetic,KeyPoint,Withheld,Overlap,\n"
     "ScanChannel,ScanDirectionFlag,EdgeOfFlightLine,\n"
     "ScanAngleRank,ScanAngle,UserData,PointSourceId,\n"
     "GpsTime,Red,Green,Blue,Infrared, the wave packet's\n"
     "and extra bytes by their names (default X,Y,Z)"},
    {"--header", "begin the result with a line of its columns' names"},
};

// The number of decimals of --decimals: 0 to the most the writer takes.
std::string parse_decimals(const std::string& value, int& decimals) {
  const std::string wrong_text = "--decimals takes a number of decimals from 0 to " +
                                 std::to_string(number::kMostDecimals) + ", not " +
                                 paths::for_message(value);
  if (value.empty() || value.size() > 2 ||
      !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return wrong_text;
  int given = std::stoi(value);
  if (given > number::kMostDecimals) return wrong_text;
  decimals = given;
  return "";
}

// The line ends of --line-ends: "lf" or "crlf", in either case.
std::string parse_line_ends(const std::string& value, bool& crlf) {
  std::string lower = value;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower != "lf" && lower != "crlf")
    return "--line-ends takes lf or crlf, not " + paths::for_message(value);
  crlf = lower == "crlf";
  return "";
}

}  // namespace

bool read_writer_option(OptionReader& reader, WriterOptions& options) {
  if (reader.flag("--header")) {
    options.titles = true;
    return true;
  }
  return reader.value("--fields", [&](const std::string& value) {
    return columns::parse(value, options.columns);
  }) || reader.value("--decimals", [&](const std::string& value) {
    return parse_decimals(value, options.format.decimals);
  }) || reader.value("--line-ends", [&](const std::string& value) {
    return parse_line_ends(value, options.format.crlf);
  });
}

std::span<const OptionHelp> writer_option_help() { return kHelp; }
