#include "app/command_line.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "app/usage.h"
#include "io/failure.h"
#include "io/paths.h"
#include "io/text_out.h"
#include "io/threads.h"
#include "job/outputs.h"
#include "job/stages.h"
#include "num/number.h"
#include "options/option_reader.h"
#include "platform/platform.h"
#include "read/text/layout_options.h"
#include "write/las/las_inputs.h"
#include "write/las/las_plan.h"
#include "write/las/las_writer.h"
#include "write/las/laz_chunks.h"
#include "write/writer_options.h"

#ifndef STRATUMIX_VERSION
#define STRATUMIX_VERSION "unknown"
#endif

namespace {

// Calls `each` for every input, on every core (at most 8) where the disk
// lets inputs be looked at from several threads and they are many: each
// is a few system calls that one thread would wait for in turn. `each`
// must touch nothing but its input's own results.
template <typename Each>
void for_each_input(Disk& disk, std::size_t count, const Each& each) {
  const unsigned cores = std::thread::hardware_concurrency();
  const std::size_t threads =
      disk.reads_ahead() && count >= 16 ? std::min<std::size_t>(std::max(cores, 1U), 8) : 1;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < count;) {
      if (platform::interruption() != 0) return;
      each(i);
    }
  };
  threads::run_on(threads, work);
}

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

// The number of single-character edits, or swaps of two neighbours, that
// turn `a` into `b` (optimal string alignment distance).
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// "unknown option --ouput", and the option meant when one alone is close:
// within two edits, and fewer than half the letters of the word typed.
std::string unknown_option(const std::string& argument) {
  std::string_view typed = argument;
  typed = typed.substr(0, typed.find('='));
  std::string text = "unknown option " + paths::for_message(argument);
  // "-decimals 2", one dash short, is the long option meant.
  std::string long_form(typed);
  if (!typed.starts_with("--")) {
    if (typed.size() <= 2) return text;
    long_form.insert(0, 1, '-');
  }
  typed = long_form;
  std::string_view closest;
  std::size_t best = 3;
  bool tied = false;
  for (std::string_view option : long_options()) {
    std::size_t distance = edit_distance(typed, option);
    if (distance < best) {
      best = distance;
      closest = option;
      tied = false;
    } else if (distance == best) {
      tied = true;
    }
  }
  if (closest.empty() || tied || 2 * best >= typed.size() - 2) return text;
  return text + "; did you mean " + std::string(closest) + "?";
}

// The form a result's name says: LAS for ".las", LAZ for ".laz", in any
// case; text for any other.
WriterOptions::Form form_named(const std::string& result) {
  using Form = WriterOptions::Form;
  std::string_view name = result;
  if (name.size() < 4) return Form::kText;
  std::string tail(name.substr(name.size() - 4));
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".las" ? Form::kLas : tail == ".laz" ? Form::kLaz : Form::kText;
}

const char* form_name(WriterOptions::Form form) {
  using Form = WriterOptions::Form;
  return form == Form::kLas ? "LAS" : form == Form::kLaz ? "LAZ" : "text";
}

// The result's form, as its name or --format says; what is wrong with
// the options for it, if anything.
std::string settle_form(Arguments& parsed) {
  using Form = WriterOptions::Form;
  WriterOptions& writing = parsed.writing;
  const Form named = form_named(parsed.result);
  if (writing.form == Form::kByName) {
    writing.form = named;
  } else if (named != Form::kText && named != writing.form) {
    // A result named for LAS but written as text would be refused by every
    // LAS reader.
    return "the result " + paths::for_message(parsed.result) + " is named for " + form_name(named) +
           ", but --format asks for " + form_name(writing.form);
  }
  if (writing.form == Form::kText) {
    if (writing.scale_given || writing.offset_given || !writing.crs_from.empty())
      return std::string(writing.scale_given    ? "--scale"
                         : writing.offset_given ? "--offset"
                                                : "--crs-from") +
             " is for a LAS or LAZ result, not text";
    return "";
  }
  if (!writing.columns.empty() || writing.titles)
    return std::string(writing.titles ? "--header" : "--fields") + " is for a text result, not " +
           form_name(writing.form);
  return "";
}

// "--report FILE", "--report=FILE", and the same for --map: the field the
// file goes to, with `value` the file (empty when missing) and i past it;
// null for any other argument. `wrong` says what is wrong with the value.
std::string* file_option(OptionReader& reader, Arguments& parsed, std::string& value) {
  for (auto [name, field] : {std::pair{"--report", &parsed.report},
                             {"--map", &parsed.map},
                             {"--index", &parsed.index}}) {
    auto take = [&value](const std::string& given) {
      value = given;
      return std::string();
    };
    if (reader.value(name, take, true)) return field;
  }
  return nullptr;
}

// A report or a map must be a file that can be written, and must not take
// the place of an input or of another output (nor must its temporary name):
// checked before anything is created.
void refuse_unwritable(Disk& disk, const std::string& path, const std::string& what,
                       const std::vector<std::string>& inputs,
                       const std::vector<std::string>& outputs) {
  std::string shown = paths::for_message(path);
  std::string why = platform::unfit_output_name(path);
  if (!why.empty())
    throw Failure{1, "The " + what + " " + shown + " " + why + "; nothing was created."};
  // Written where a link at the path leads, beside that file.
  const std::string target = disk.written_at(path);
  const std::vector<std::string> names = {path, path + ".part", target, target + ".part"};
  for (const std::vector<std::string>* others : {&inputs, &outputs}) {
    const std::vector<std::size_t> spelled = disk.first_same_spelling(names, *others);
    const std::vector<std::size_t> same = disk.first_same_file(names, *others);
    for (std::size_t j = 0; j < others->size(); ++j) {
      const std::string& other = (*others)[j];
      for (std::size_t k = 0; k < names.size(); ++k) {
        if (spelled[k] == j || same[k] == j) {
          throw Failure{1, "The " + what + " " + shown + " would overwrite " +
                               paths::for_message(other) + "; nothing was created."};
        }
      }
    }
  }
  // Written under a temporary name and renamed over the path, a report
  // sent to /dev/stdout would replace the system's link to the stream.
  if (int stream = disk.standard_stream_writing(path); stream != 0) {
    throw Failure{1, std::string(stream == 1 ? "Standard output" : "Standard error") +
                         " goes to the " + what + " " + shown + "; nothing was created."};
  }
  // Another job's result or info report, replaced at the end, would be
  // lost to that job while it still writes it.
  if (disk.held_by_another_job(target)) {
    throw Failure{1, "Cannot write the " + what + " " + disk.describe(target) +
                         ": another job is writing it; nothing was created."};
  }
  // The temporary file is made first: a folder left in its place would
  // stop the job only at its end.
  for (const std::string& name : {target, target + ".part"}) {
    std::string reason;
    if (!disk.can_write(name, reason, name != target)) {
      throw Failure{1, "Cannot write the " + what + " " + disk.describe(name) + ": " + reason +
                           "; nothing was created."};
    }
  }
}

// A column that is no dimension must be an extra dimension of some input:
// its files are looked at before anything is created, and a name found in
// none is refused with the names they do carry, so that a typing mistake
// does not cost a job of zeros.
void refuse_unknown_columns(const Job& job, Disk& disk, const std::vector<std::string>& inputs) {
  std::vector<std::string> unknown;
  for (const columns::Column& column : job.columns) {
    if (!column.dim) unknown.push_back(column.extra);
  }
  if (unknown.empty()) return;
  point::DimSet carried;
  std::vector<std::string> extra;
  for (const std::string& input : inputs) {
    stop_if_interrupted_before_changes();
    point::Schema schema = input_schema(job, disk, input);
    carried.add(schema.dims);
    for (const std::string& name : schema.extra) {
      if (std::find(extra.begin(), extra.end(), name) == extra.end()) extra.push_back(name);
    }
    std::erase_if(unknown, [&](const std::string& name) {
      return std::any_of(schema.extra.begin(), schema.extra.end(),
                         [&](const std::string& e) { return point::same_extra_name(e, name); });
    });
    if (unknown.empty()) return;
  }
  std::string names;
  for (int d = 0; d < point::kDimCount; ++d) {
    if (carried.has(static_cast<point::Dim>(d)))
      names +=
          (names.empty() ? "" : ", ") + std::string(point::name_of(static_cast<point::Dim>(d)));
  }
  // The inputs' own names, which a file may give any bytes.
  for (const std::string& name : extra) names += ", " + paths::for_message(name);
  throw Failure{1, "--fields names " + paths::for_message(unknown.front()) +
                       ", which no input carries; they carry " + names + "; nothing was created."};
}

// A filter that tests what an input lacks (a class on text of X Y Z alone)
// would leave out every point of it, or keep every one: the input is named
// before anything is created. Inputs that are no plain file are looked at
// in their turn, which a pipe's data allows once.
void refuse_lacking_attributes(const Job& job, Disk& disk, const std::vector<std::string>& inputs) {
  bool tests_any = false;
  for (const FilterMaker& make : job.filters) {
    if (!make()->lacks(point::Schema{}).empty()) tests_any = true;
  }
  if (!tests_any) return;
  for (const std::string& input : inputs) {
    stop_if_interrupted_before_changes();
    if (disk.size_of(input) < 0) continue;
    const std::optional<point::Schema> schema = known_schema(job, disk, input);
    if (!schema) continue;
    if (std::string why = lacking_for_filters(job, *schema); !why.empty())
      throw Failure{1, paths::for_message(input) + " " + why + "; nothing was created."};
  }
}

// On POSIX systems "C:\images\all.xyz" is one name, backslashes and all,
// in the working folder: a file nobody would find where it was meant.
void refuse_windows_path(const std::string& name, const std::string& what) {
  std::string why = platform::windows_path_elsewhere(name);
  if (!why.empty())
    throw Failure{
        1, "The " + what + " " + paths::for_message(name) + " " + why + "; nothing was created."};
}

// Every input that cannot be read is named at once, the first ten of them,
// so that one run tells all there is to mend.
// With `kept`, a LAS result's small tiles are read whole as they are
// checked, and kept for their headers and their turn.
void refuse_unreadable(Disk& disk, const std::vector<std::string>& inputs, KeptInputs* kept) {
  constexpr std::size_t kNamed = 10;
  // Thousands of inputs take a while to check: on every core, each
  // input's reason kept, then told in the inputs' order.
  std::vector<std::string> reasons(inputs.size());
  std::vector<char> readable(inputs.size(), 0);
  if (kept != nullptr) kept->make_room(disk, inputs);
  for_each_input(disk, inputs.size(), [&](std::size_t i) {
    if (!platform::windows_path_elsewhere(inputs[i]).empty()) return;
    if (kept != nullptr ? kept->check_and_keep(disk, i, inputs[i], "LASF", reasons[i])
                        : disk.can_read(inputs[i], reasons[i]))
      readable[i] = 1;
  });
  stop_if_interrupted_before_changes();
  std::size_t unreadable = 0;
  std::string first;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (readable[i] != 0) continue;
    const std::string& input = inputs[i];
    const std::string& reason = reasons[i];
    std::string why = platform::windows_path_elsewhere(input);
    std::string text = why.empty() ? "Cannot read " + paths::for_message(input) + ": " + reason
                                   : "The input " + paths::for_message(input) + " " + why;
    if (++unreadable == 1) {
      first = text;
    } else {
      if (unreadable == 2) report_error(first);
      if (unreadable <= kNamed) report_error(text);
    }
  }
  if (unreadable == 0) return;
  if (unreadable == 1) throw Failure{1, first + "; nothing was created."};
  const std::string count = number::int_text(static_cast<std::int64_t>(unreadable));
  throw Failure{
      1, count + " inputs cannot be read" +
             (unreadable > kNamed
                  ? " (the first " + std::to_string(kNamed) + " named above, " +
                        number::int_text(static_cast<std::int64_t>(unreadable - kNamed)) + " more)"
                  : "") +
             "; nothing was created."};
}

// The same file under two names (a link, "./a.xyz" and "a.xyz") is pasted
// twice, which is seldom meant: said before the job, which goes on as
// asked. A name given twice as it is was written twice on purpose.
void warn_of_inputs_given_twice(Disk& disk, const std::vector<std::string>& inputs) {
  // One input is no other's; and on Windows, telling which file a name is
  // opens it, which would take a named pipe's one connection from the job.
  if (inputs.size() < 2) return;
  const std::vector<std::size_t> first = disk.first_same_file(inputs, inputs);
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::size_t j = first[i];
    if (j >= i || inputs[j] == inputs[i]) continue;
    report_error("warning: " + paths::for_message(inputs[i]) + " is the file " +
                 paths::for_message(inputs[j]) + " under another name: its points are pasted " +
                 "twice.");
  }
}

// A LAS or LAZ result's header is completed once its points are written:
// a pipe, a device or a terminal cannot be rewritten, and is refused
// before anything is created.
void refuse_unrewritable(Disk& disk, const std::string& result, const char* form) {
  if (disk.is_device_name(result) || disk.standard_stream_writing(result) != 0 ||
      (disk.exists(result) && disk.size_of(result) < 0)) {
    throw Failure{1, "The result " + paths::for_message(result) + " is no file on a disk, and a " +
                         form + " result's header is completed at its end; nothing was created."};
  }
}

// The creation day of the job: the day of the year, from 1, and the year.
void today(int& day, int& year) {
  using namespace std::chrono;
  const sys_days now = floor<days>(system_clock::now());
  const year_month_day date(now);
  year = static_cast<int>(date.year());
  day = static_cast<int>((now - sys_days(date.year() / January / 1)).count()) + 1;
}

// The LAS or LAZ result's plan, from every input's header (text inputs
// give their columns, and the first one its first point, which places the
// offset where no LAS input does).
lasout::Plan plan_las_result(const Arguments& arguments, const Job& job, Disk& disk,
                             const std::vector<std::string>& inputs, const KeptInputs& kept) {
  const WriterOptions& writing = arguments.writing;
  lasout::Options options;
  options.form =
      writing.form == WriterOptions::Form::kLaz ? lasout::Form::kLaz : lasout::Form::kLas;
  options.scale_given = writing.scale_given;
  options.offset_given = writing.offset_given;
  options.crs_from = writing.crs_from;
  for (int axis = 0; axis < 3; ++axis) {
    options.scale[axis] = writing.scale[axis];
    options.offset[axis] = writing.offset[axis];
  }
  options.software = std::string("STRATUMIX ") + STRATUMIX_VERSION;
  today(options.day, options.year);
  std::vector<lasout::InputHeader> headers(inputs.size());
  std::vector<point::Schema> schemas(inputs.size());
  std::vector<char> is_las(inputs.size(), 0);
  // Thousands of tiles' headers are read on every core: each is a file
  // opened and a few hundred bytes read, which one thread waits for in
  // turn. What goes wrong is told for the first input it concerns.
  std::vector<std::exception_ptr> failed(inputs.size());
  auto read_one = [&](std::size_t i) {
    try {
      lasout::InputHeader& header = headers[i];
      if (lasout::read_las_input(disk, inputs[i], header, &kept, i)) {
        is_las[i] = 1;
        return;
      }
      header.path = inputs[i];
      // A pipe is read once, in its turn.
      if (disk.size_of(inputs[i]) >= 0) {
        schemas[i] = input_schema(job, disk, inputs[i]);
        header.dims = schemas[i].dims;
      }
    } catch (...) {
      failed[i] = std::current_exception();
    }
  };
  for_each_input(disk, inputs.size(), read_one);
  stop_if_interrupted_before_changes();
  bool any_las = false;
  const std::string* first_text = nullptr;
  std::vector<std::string> text_columns_left_out;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (failed[i] != nullptr) std::rethrow_exception(failed[i]);
    if (is_las[i] != 0) {
      any_las = true;
      continue;
    }
    if (disk.size_of(inputs[i]) < 0) continue;
    if (first_text == nullptr) first_text = &inputs[i];
    if (!schemas[i].extra.empty() && text_columns_left_out.size() < 10)
      text_columns_left_out.push_back(paths::for_message(inputs[i]));
  }
  if (!any_las && !options.offset_given && first_text != nullptr) {
    double xyz[3];
    if (first_point(job, disk, *first_text, xyz)) {
      // A round number near the first point, on the grid of the scale.
      for (int axis = 0; axis < 3; ++axis)
        options.offset[axis] = std::floor(xyz[axis] / 1000) * 1000;
      options.offset_given = true;
    }
  }
  lasout::Plan plan = lasout::compose(headers, options);
  if (!text_columns_left_out.empty()) {
    std::string names;
    for (const std::string& name : text_columns_left_out)
      names += (names.empty() ? "" : ", ") + name;
    plan.notes.push_back("the columns of text that are no LAS dimension are left out: of " + names);
  }
  if (plan.form == lasout::Form::kLaz)
    lasout::add_laszip_record(plan, lasout::laszip_record_for(plan));
  return plan;
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
    OptionReader reader(arguments, i);
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
    } else if (std::string* file = file_option(reader, parsed, result)) {
      if (!reader.wrong().empty()) return wrong(reader.wrong());
      if (result.empty())
        return wrong("option " + paths::for_message(argument) + " needs a file name");
      if (!file->empty())
        return wrong("option " + paths::for_message(argument) + " is given twice (" +
                     paths::for_message(*file) + ", " + paths::for_message(result) + ")");
      *file = result;
      continue;
    } else if (argument == "-o" || argument == "--output") {
      reader.value(
          argument,
          [&result](const std::string& given) {
            result = given;
            return std::string();
          },
          true);
      if (!reader.wrong().empty()) return wrong(reader.wrong());
    } else if (argument.starts_with("--output=")) {
      result = argument.substr(9);
    } else if (argument.starts_with("-o")) {
      result = argument.substr(2);
    } else if (read_layout_option(reader, parsed.reading) ||
               read_writer_option(reader, parsed.writing) ||
               read_filter_option(reader, parsed.filtering)) {
      if (!reader.wrong().empty()) return wrong(reader.wrong());
      continue;
    } else {
      return wrong(unknown_option(argument));
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
  if (std::string why = check_layout_options(parsed.reading); !why.empty()) return wrong(why);
  if (std::string why = settle_form(parsed); !why.empty()) return wrong(why);
  return parsed;
}

std::string version_line() { return std::string("stratumix ") + STRATUMIX_VERSION + "\n"; }

Job command_line_opening(Arguments& arguments, Disk& disk, OutputFile& result,
                         OutputFile& info_report) {
  std::vector<std::string> inputs = input_files(arguments.inputs);
  if (inputs.size() > static_cast<std::size_t>(INT32_MAX) - 1) {
    throw Failure{1, "Too many input files; nothing was created."};
  }
  refuse_windows_path(arguments.result, "result");
  for (const std::string* output : {&arguments.report, &arguments.map, &arguments.index}) {
    if (!output->empty()) refuse_windows_path(*output, "output");
  }
  Job job;
  if (arguments.writing.form != WriterOptions::Form::kText) {
    // Tiles read whole as they are checked are kept for their headers and
    // their turn, within a bound that the read-ahead of text also keeps.
    constexpr std::size_t kLargestKept = std::size_t{256} << 10;
    constexpr std::size_t kMostKept = std::size_t{32} << 20;
    job.kept =
        std::make_shared<KeptInputs>(inputs.size(), KeptInputs::Bounds{kLargestKept, kMostKept});
  }
  // Until the outputs are made, the checks ask of each input what one
  // look at it told.
  std::optional<LookedAt> looked_at;
  looked_at.emplace(disk, inputs);
  refuse_unreadable(disk, inputs, job.kept.get());
  warn_of_inputs_given_twice(disk, inputs);
  job.reading = arguments.reading;
  job.format = arguments.writing.format;
  job.columns = arguments.writing.columns;
  job.titles = arguments.writing.titles;
  refuse_unknown_columns(job, disk, inputs);
  read_polygon_files(arguments.filtering, disk);
  job.filters = arguments.filtering.makers();
  refuse_lacking_attributes(job, disk, inputs);
  std::unique_ptr<lasout::Plan> plan;
  if (arguments.writing.form != WriterOptions::Form::kText) {
    refuse_unrewritable(disk, arguments.result, form_name(arguments.writing.form));
    plan = std::make_unique<lasout::Plan>(plan_las_result(arguments, job, disk, inputs, *job.kept));
  }
  std::vector<std::string> outputs = {arguments.result, info_report_for(arguments.result)};
  if (!arguments.report.empty()) {
    refuse_unwritable(disk, arguments.report, "report", inputs, outputs);
    outputs.push_back(arguments.report);
    // The map is written first: the report's temporary file would take it.
    outputs.push_back(disk.written_at(arguments.report) + ".part");
  }
  // Each later one is written first (the report last, as it tells the
  // status the job ends with): no earlier temporary file may take it.
  if (!arguments.map.empty()) {
    refuse_unwritable(disk, arguments.map, "map", inputs, outputs);
    outputs.push_back(arguments.map);
    outputs.push_back(disk.written_at(arguments.map) + ".part");
  }
  if (!arguments.index.empty())
    refuse_unwritable(disk, arguments.index, "tile index", inputs, outputs);
  create_output_files(disk, static_cast<std::int32_t>(inputs.size()), inputs, arguments.result,
                      result, info_report);
  looked_at.reset();
  // The job keeps the names from here on, once.
  job.inputs = std::move(inputs);
  job.inputs.shrink_to_fit();
  job.result = &result;
  job.info_report = &info_report;
  if (plan != nullptr) {
    for (const std::string& note : plan->notes) report_error("note: the result: " + note + ".");
    // Its records are copied or compressed on one core while the other
    // writes the blocks before them.
    result.write_behind();
    job.las = std::make_shared<lasout::LasResult>(std::move(*plan), result, &disk);
    job.las->begin();
    result.set_ending(job.las.get());
  }
  return job;
}
