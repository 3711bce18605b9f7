#include "write/writer_options.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
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
    {"--format FORM",
     "write the result as FORM: text, las or laz, where its\n"
     "name does not end in .las or .laz (which say it)"},
    {"--scale SX[,SY,SZ]",
     "a LAS or LAZ result's steps: one for all axes or each\n"
     "its own; points not exact in them are rounded, and\n"
     "counted (default: the inputs' finest, 0.001 for text)"},
    {"--offset X,Y,Z", "a LAS or LAZ result's offset (default: amid the inputs)"},
    {"--crs-from FILE",
     "give a LAS or LAZ result the reference system of the\n"
     "input FILE, where the inputs' systems differ"},
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

// One to three numbers, as "0.01" or "0.01,0.01,0.001"; `all` where one
// stands for every axis.
std::string parse_numbers(const std::string& option, const std::string& value, double* out,
                          bool one_for_all, bool positive) {
  double numbers[3];
  int count = 0;
  for (std::size_t at = 0; count < 3;) {
    const std::size_t end = std::min(value.find(',', at), value.size());
    const std::string part = value.substr(at, end - at);
    char* stop = nullptr;
    const double number = part.empty() ? 0 : std::strtod(part.c_str(), &stop);
    if (part.empty() || stop != part.c_str() + part.size() || !std::isfinite(number) ||
        (positive && !(number > 0)))
      break;
    numbers[count++] = number;
    if (end == value.size()) {
      if (count == 3 || (count == 1 && one_for_all)) {
        for (int axis = 0; axis < 3; ++axis) out[axis] = numbers[count == 1 ? 0 : axis];
        return "";
      }
      break;
    }
    at = end + 1;
  }
  return option + " takes " +
         (one_for_all ? std::string("one number above 0, or three separated by commas")
                      : std::string("three numbers separated by commas")) +
         ", not " + paths::for_message(value);
}

std::string parse_form(const std::string& value, WriterOptions::Form& form) {
  std::string lower = value;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  using Form = WriterOptions::Form;
  if (lower == "text") {
    form = Form::kText;
  } else if (lower == "las") {
    form = Form::kLas;
  } else if (lower == "laz") {
    form = Form::kLaz;
  } else {
    return "--format takes text, las or laz, not " + paths::for_message(value);
  }
  return "";
}

}  // namespace

bool read_writer_option(OptionReader& reader, WriterOptions& options) {
  if (reader.flag("--header")) {
    options.titles = true;
    return true;
  }
  return reader.value(
             "--fields",
             [&](const std::string& value) { return columns::parse(value, options.columns); }) ||
         reader.value("--decimals",
                      [&](const std::string& value) {
                        return parse_decimals(value, options.format.decimals);
                      }) ||
         reader.value("--line-ends",
                      [&](const std::string& value) {
                        return parse_line_ends(value, options.format.crlf);
                      }) ||
         reader.value("--format",
                      [&](const std::string& value) { return parse_form(value, options.form); }) ||
         reader.value("--scale",
                      [&](const std::string& value) {
                        options.scale_given = true;
                        return parse_numbers("--scale", value, options.scale, true, true);
                      }) ||
         reader.value(
             "--crs-from",
             [&](const std::string& value) {
               options.crs_from = value;
               return value.empty() ? std::string("--crs-from needs a file name") : std::string();
             },
             true) ||
         reader.value("--offset", [&](const std::string& value) {
           options.offset_given = true;
           return parse_numbers("--offset", value, options.offset, false, false);
         });
}

std::span<const OptionHelp> writer_option_help() { return kHelp; }
