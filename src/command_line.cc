#include "command_line.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "failure.h"
#include "outputs.h"
#include "paths.h"
#include "platform.h"
#include "stratumix.h"

#ifndef STRATUMIX_VERSION
#define STRATUMIX_VERSION "unknown"
#endif

namespace {

Arguments wrong(const std::string& what) {
  Arguments arguments;
  arguments.action = Arguments::Action::kWrong;
  arguments.wrong = what;
  return arguments;
}

// The inputs as files: on Windows, wildcards expanded. The names are moved
// out of `inputs`: a job of thousands keeps each name once.
std::vector<std::string> input_files(std::vector<std::string>& inputs) {
  std::vector<std::string> names;
  names.reserve(inputs.size());
  for (std::string& input : inputs) {
    std::vector<std::string> matches = platform::expand_wildcards(input);
    if (matches.empty())
      throw Failure{1, "No file matches " + paths::for_message(input) + "; nothing was created."};
    for (std::string& match : matches) names.push_back(std::move(match));
    std::string().swap(input);
  }
  std::vector<std::string>().swap(inputs);
  return names;
}

// The value of the option `name` at arguments[i], given as "NAME VALUE"
// or "NAME=VALUE": kNone when arguments[i] is another option.
enum class Value { kNone, kGiven, kMissing };
Value option_value(const std::vector<std::string>& arguments, std::size_t& i, std::string_view name,
                   std::string& value) {
  const std::string& argument = arguments[i];
  if (argument == name) {
    if (i + 1 == arguments.size()) return Value::kMissing;
    value = arguments[++i];
    return Value::kGiven;
  }
  if (argument.size() > name.size() && argument.starts_with(name) && argument[name.size()] == '=') {
    value = argument.substr(name.size() + 1);
    return Value::kGiven;
  }
  return Value::kNone;
}

// Reads one of the options that say how inputs are read; false when
// arguments[i] is none of them, or sets `wrong`.
bool read_layout_option(const std::vector<std::string>& arguments, std::size_t& i,
                        layout::Options& reading, std::string& wrong) {
  const std::string& argument = arguments[i];
  std::string value;
  if (argument == "--stream") {
    reading.stream = true;
  } else if (argument == "--decimal-comma") {
    reading.decimal_comma = true;
  } else if (Value given = option_value(arguments, i, "--columns", value); given != Value::kNone) {
    wrong = layout::parse_columns(given == Value::kMissing ? "" : value, reading.columns);
  } else if (given = option_value(arguments, i, "--separator", value); given != Value::kNone) {
    wrong = layout::parse_separator(given == Value::kMissing ? "" : value, reading.separator);
  } else {
    return false;
  }
  return true;
}

// "--report FILE", "--report=FILE", and the same for --map: the field the
// file goes to, with `value` the file (empty when missing) and i past it;
// null for any other argument.
std::string* file_option(const std::vector<std::string>& arguments, std::size_t& i,
                         Arguments& parsed, std::string& value) {
  for (auto [name, field] : {std::pair{"--report", &parsed.report}, {"--map", &parsed.map}}) {
    Value given = option_value(arguments, i, name, value);
    if (given == Value::kMissing) value.clear();
    if (given != Value::kNone) return field;
  }
  return nullptr;
}

// A report or a map must be a file that can be written, and must not take
// the place of an input or of another output (nor must its temporary name):
// checked before anything is created.
void refuse_unwritable(const std::string& path, const std::string& what,
                       const std::vector<std::string>& inputs,
                       const std::vector<std::string>& outputs) {
  std::string shown = paths::for_message(path);
  std::string why = platform::unfit_output_name(path);
  if (!why.empty())
    throw Failure{1, "The " + what + " " + shown + " " + why + "; nothing was created."};
  // Written where a link at the path leads, beside that file.
  const std::string target = disk->written_at(path);
  for (const std::vector<std::string>* others : {&inputs, &outputs}) {
    for (const std::string& other : *others) {
      for (const std::string& name : {path, path + ".part", target, target + ".part"}) {
        if (disk->same_spelling(name, other) || disk->same_file(name, other)) {
          throw Failure{1, "The " + what + " " + shown + " would overwrite " +
                               paths::for_message(other) + "; nothing was created."};
        }
      }
    }
  }
  // Written under a temporary name and renamed over the path, a report
  // sent to /dev/stdout would replace the system's link to the stream.
  if (int stream = disk->standard_stream_writing(path); stream != 0) {
    throw Failure{1, std::string(stream == 1 ? "Standard output" : "Standard error") +
                         " goes to the " + what + " " + shown + "; nothing was created."};
  }
  // Another job's result or info report, replaced at the end, would be
  // lost to that job while it still writes it.
  if (disk->held_by_another_job(target)) {
    throw Failure{1, "Cannot write the " + what + " " + disk->describe(target) +
                         ": another job is writing it; nothing was created."};
  }
  // The temporary file is made first: a folder left in its place would
  // stop the job only at its end.
  for (const std::string& name : {target, target + ".part"}) {
    std::string reason;
    if (!disk->can_write(name, reason, name != target)) {
      throw Failure{1, "Cannot write the " + what + " " + disk->describe(name) + ": " + reason +
                           "; nothing was created."};
    }
  }
}

}  // namespace

Arguments parse_arguments(std::vector<std::string> arguments) {
  if (arguments.empty()) return {};
  Arguments parsed;
  parsed.action = Arguments::Action::kPaste;
  bool has_result = false;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      // Moved: a job of thousands keeps each name once.
      parsed.inputs.push_back(std::move(arguments[i]));
      continue;
    }
    std::string result;
    if (argument == "--") {
      options_ended = true;
      continue;
    } else if (argument == "-h" || argument == "--help") {
      parsed.action = Arguments::Action::kHelp;
      return parsed;
    } else if (argument == "--version") {
      parsed.action = Arguments::Action::kVersion;
      return parsed;
    } else if (argument == "-q" || argument == "--quiet") {
      parsed.quiet = true;
      continue;
    } else if (argument == "--brief") {
      parsed.brief = true;
      continue;
    } else if (argument == "--progress" || argument == "--no-progress") {
      parsed.progress =
          argument == "--progress" ? Arguments::Progress::kOn : Arguments::Progress::kOff;
      continue;
    } else if (std::string* file = file_option(arguments, i, parsed, result)) {
      if (result.empty())
        return wrong("option " + paths::for_message(argument) + " needs a file name");
      if (!file->empty())
        return wrong("option " + paths::for_message(argument) + " is given twice (" +
                     paths::for_message(*file) + ", " + paths::for_message(result) + ")");
      *file = result;
      continue;
    } else if (argument == "-o" || argument == "--output") {
      if (i + 1 == arguments.size())
        return wrong("option " + paths::for_message(argument) + " needs a file name");
      result = arguments[++i];
    } else if (argument.starts_with("--output=")) {
      result = argument.substr(9);
    } else if (argument.starts_with("-o")) {
      result = argument.substr(2);
    } else if (read_layout_option(arguments, i, parsed.reading, parsed.wrong)) {
      if (!parsed.wrong.empty()) return wrong(parsed.wrong);
      continue;
    } else {
      return wrong("unknown option " + paths::for_message(argument));
    }
    if (has_result)
      return wrong("the result is given twice (-o " + paths::for_message(parsed.result) + ", -o " +
                   paths::for_message(result) + ")");
    if (result.empty())
      return wrong("option " + paths::for_message(argument) + " needs a file name");
    parsed.result = result;
    has_result = true;
  }
  if (!has_result) return wrong("no result file: give it with -o RESULT");
  if (parsed.inputs.empty())
    return wrong("no input files to paste into " + paths::for_message(parsed.result));
  if (parsed.reading.stream && (parsed.reading.decimal_comma || parsed.reading.separator != 0 ||
                                !parsed.reading.columns.empty()))
    return wrong(
        "--stream reads numbers alone, whatever the lines: it takes no --columns, "
        "--separator or --decimal-comma");
  // The reader would take the commas for separators and drop the decimals
  // without a word.
  if (parsed.reading.decimal_comma && parsed.reading.separator == ',')
    return wrong("--decimal-comma takes another --separator than the comma: --separator ';'");
  return parsed;
}

std::string usage() {
  return "Usage: stratumix\n"
         "       stratumix [OPTION]... -o RESULT INPUT...\n"
         "\n"
         "Pastes point files (.xyz: three numbers a point, X Y Z) into one, every\n"
         "number rewritten with six decimals, and reports each file's X and Y extents.\n"
         "\n"
         "Without arguments it asks for a folder under C:\\images, the files and the\n"
         "result, one question after the other.\n"
         "\n"
         "With arguments it pastes the INPUT files, in the order given, into RESULT,\n"
         "and writes the info report beside it: RESULT without its .xyz, then\n"
         "_xyz_info.txt (all.xyz gives all_xyz_info.txt, merged.txt gives\n"
         "merged.txt_xyz_info.txt); a RESULT that is no plain file (/dev/stdout, a\n"
         "pipe, a device) gets none. Paths are used as given; no extension is added.\n"
         "On Windows, INPUT may hold the wildcards * and ?. At the end it prints a\n"
         "summary: files pasted, points, the result's size, its X, Y and Z extents\n"
         "and the time taken. While it works, a terminal shows a progress bar on\n"
         "standard error.\n"
         "\n"
         "  -o, --output RESULT  the result point file (replaced if it exists)\n"
         "  -q, --quiet          print nothing on standard output, show no progress bar\n"
         "      --brief          print the summary alone, not each file's report\n"
         "      --progress       show the progress bar, even where standard error is\n"
         "                       no terminal\n"
         "      --no-progress    show no progress bar\n"
         "      --report FILE    write the summary and each input's points, extents\n"
         "                       and warnings to FILE as JSON, also for a job that stops\n"
         "      --map FILE       draw each input's X/Y extent to scale in FILE (SVG),\n"
         "                       where overlaps show darker and gaps stay white\n"
         "  -h, --help           show this help and end\n"
         "      --version        show the version and end\n"
         "  --                   what follows is an input file, even if it starts with -\n"
         "\n"
         "Each input's first lines tell how it is laid out: a header, comments and a\n"
         "point count before the points are skipped, the separator (white space,\n"
         "comma, semicolon, tab, |) and decimal commas are found, and lines of more\n"
         "than three fields give X Y Z from the fields a header names, else the first\n"
         "three. Standard error notes what was done. These options say what a file\n"
         "cannot tell, for every input:\n"
         "      --columns X,Y,Z  the fields of X, Y and Z, from 1 or named by the\n"
         "                       header: --columns 2,3,4, --columns Easting,Northing,H\n"
         "      --separator C    the character between fields: --separator ';', tab\n"
         "                       (no digit, letter, '.', '+' or '-': numbers hold them)\n"
         "      --decimal-comma  numbers are written with a decimal comma: 651216,89\n"
         "      --stream         every three numbers a point, whatever the lines\n"
         "\n"
         "Examples:\n"
         "  stratumix -o all.xyz north.xyz south.xyz\n"
         "  stratumix --quiet -o all.xyz tiles/*.xyz\n"
         "  stratumix --brief -o all.xyz tiles/*.xyz\n"
         "  stratumix --progress -o all.xyz big.xyz 2> progress.txt\n"
         "  stratumix --no-progress -o all.xyz big.xyz\n"
         "  stratumix --report job.json -o all.xyz tiles/*.xyz\n"
         "  stratumix --map tiles.svg -o all.xyz tiles/*.xyz\n"
         "  stratumix --columns 2,3,4 -o all.xyz numbered.csv\n"
         "  stratumix --separator ';' --decimal-comma -o all.xyz export.txt\n"
         "  stratumix --stream -o all.xyz odd.xyz\n"
         "\n"
         "Exit status: 0 done; 1 nothing or not all was pasted, or the report, the map\n"
         "or standard output could not be written (standard error says why); 2 done,\n"
         "but some input held text that is not points; 129, 130 or 143 stopped by the\n"
         "terminal closing, Ctrl-C or a kill, the result closed on a whole line.\n";
}

std::string version_line() { return std::string("stratumix ") + STRATUMIX_VERSION + "\n"; }

void command_line_opening(Arguments& arguments) {
  std::vector<std::string> inputs = input_files(arguments.inputs);
  if (inputs.size() > static_cast<std::size_t>(INT32_MAX) - 1) {
    throw Failure{1, "Too many input files; nothing was created."};
  }
  for (const std::string& input : inputs) {
    // Thousands of inputs take a while to check.
    stop_if_interrupted_before_changes();
    std::string reason;
    if (!disk->can_read(input, reason)) {
      throw Failure{
          1, "Cannot read " + paths::for_message(input) + ": " + reason + "; nothing was created."};
    }
  }
  numlay = static_cast<std::int32_t>(inputs.size());
  reading = arguments.reading;
  std::vector<std::string> outputs = {arguments.result, info_report_for(arguments.result)};
  if (!arguments.report.empty()) {
    refuse_unwritable(arguments.report, "report", inputs, outputs);
    outputs.push_back(arguments.report);
    // The map is written first: the report's temporary file would take it.
    outputs.push_back(disk->written_at(arguments.report) + ".part");
  }
  if (!arguments.map.empty()) refuse_unwritable(arguments.map, "map", inputs, outputs);
  create_output_files(*disk, numlay, inputs, arguments.result, f2, f6);
  // The job table keeps the names from here on, once.
  files.assign(inputs.size() + 1, data_file{});
  files.shrink_to_fit();
  for (std::size_t i = 0; i < inputs.size(); ++i) files[i + 1].nombre = std::move(inputs[i]);
}
