#include "read/text/layout_options.h"

namespace {

constexpr OptionHelp kHelp[] = {
    {"--columns X,Y,Z",
     "the fields of X, Y and Z, from 1 or named by the\n"
     "header: --columns 2,3,4, --columns Easting,Northing,H"},
    {"--separator C",
     "the character between fields: --separator ';', tab\n"
     "(no digit, letter, '.', '+' or '-': numbers hold them)"},
    {"--decimal-comma", "numbers are written with a decimal comma: 651216,89"},
    {"--stream", "every three numbers a point, whatever the lines"}};

}  // namespace

bool read_layout_option(OptionReader& reader, layout::Options& options) {
  if (reader.flag("--stream")) {
    options.stream = true;
    return true;
  }
  if (reader.flag("--decimal-comma")) {
    options.decimal_comma = true;
    return true;
  }
  return reader.value("--columns", [&](const std::string& value) {
    return layout::parse_columns(value, options.columns);
  }) || reader.value("--separator", [&](const std::string& value) {
    return layout::parse_separator(value, options.separator);
  });
}

std::string check_layout_options(const layout::Options& options) {
  if (options.stream &&
      (options.decimal_comma || options.separator != 0 || !options.columns.empty()))
    return "--stream reads numbers alone, whatever the lines: it takes no --columns, "
           "--separator or --decimal-comma";
  // The reader would take the commas for separators and drop the decimals
  // without a word.
  if (options.decimal_comma && options.separator == ',')
    return "--decimal-comma takes another --separator than the comma: --separator ';'";
  return {};
}

std::span<const OptionHelp> layout_option_help() { return kHelp; }
