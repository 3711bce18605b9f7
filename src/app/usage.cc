#include "app/usage.h"

#include <algorithm>
#include <span>

#include "filter/filter_options.h"
#include "options/option_reader.h"
#include "read/text/layout_options.h"
#include "write/writer_options.h"

namespace {

using Option = OptionHelp;

constexpr std::string_view kSynopsis[] = {"stratumix", "stratumix [OPTION]... -o RESULT INPUT..."};

constexpr std::string_view kSummary =
    "Pastes point files into one text of X Y Z lines, or one LAS or LAZ file\n"
    "where RESULT is named .las or .laz: .xyz text (three numbers a\n"
    "point), delimited text (CSV and the like, X Y Z found by its header or\n"
    "fields), gzip of either (.gz), and LAS and LAZ tiles. Every number is\n"
    "rewritten with six decimals unless --decimals says otherwise, and each\n"
    "file's X and Y extents are reported.";

constexpr std::string_view kDescription[] = {
    "Without arguments it asks for a folder under C:\\images, the files and the\n"
    "result, one question after the other.",
    "With arguments it pastes the INPUT files, in the order given, into RESULT,\n"
    "and writes the info report beside it: RESULT without its .xyz, then\n"
    "_xyz_info.txt (all.xyz gives all_xyz_info.txt, merged.txt gives\n"
    "merged.txt_xyz_info.txt); a RESULT that is no plain file (/dev/stdout, a\n"
    "pipe, a device) gets none. Paths are used as given; no extension is added.\n"
    "On Windows, INPUT may hold the wildcards * and ?. At the end it prints a\n"
    "summary: files pasted, points, the result's size, its X, Y and Z extents\n"
    "and the time taken. While it works, a terminal shows a progress bar on\n"
    "standard error."};

constexpr Option kOptions[] = {
    {"-o, --output RESULT", "the result point file (replaced if it exists)"},
    {"-q, --quiet", "print nothing on standard output, show no progress bar"},
    {"--brief", "print the summary alone, not the line of each input"},
    {"--progress", "show the progress bar, even where standard error is\nno terminal"},
    {"--no-progress", "show no progress bar"},
};

// After the writer's options.
constexpr Option kOutputOptions[] = {
    {"--report FILE",
     "write the summary and each input's points, extents,\n"
     "reference system and warnings to FILE as JSON, also\n"
     "for a job that stops"},
    {"--map FILE",
     "draw each input's X/Y extent to scale in FILE (SVG),\n"
     "where overlaps show darker and gaps stay white"},
    {"--index FILE",
     "write each input's X/Y extent as a polygon in FILE\n"
     "(GeoJSON), with its path, points, extents and reference\n"
     "system, for a GIS"},
    {"-h, --help", "show this help and end"},
    {"--version", "show the version and end"},
    {"--", "what follows is an input file, even if it starts with -"}};

constexpr std::string_view kReading =
    "Each input's first lines tell how it is laid out: a header, comments and a\n"
    "point count before the points are skipped, the separator (white space,\n"
    "comma, semicolon, tab, |) and decimal commas are found, and lines of more\n"
    "than three fields give X Y Z from the fields a header names, else the first\n"
    "three. Standard error notes what was done. These options say what a file\n"
    "cannot tell, for every input:";

constexpr std::string_view kChoosing =
    "These options choose the points pasted: a point is pasted when every filter\n"
    "keeps it. A filter that tests what an input does not carry (a class, on text\n"
    "of X Y Z alone) refuses the job before anything is created. Each input's\n"
    "line, the summary, --report and --index then tell the points read and what\n"
    "each filter left out; extents are those of the points kept.";

constexpr std::string_view kExamples[] = {
    "stratumix -o all.xyz north.xyz south.xyz",
    "stratumix --quiet -o all.xyz tiles/*.xyz",
    "stratumix --brief -o all.xyz tiles/*.xyz",
    "stratumix --progress -o all.xyz big.xyz 2> progress.txt",
    "stratumix --no-progress -o all.xyz big.xyz",
    "stratumix --decimals 2 --line-ends lf -o all.xyz tiles/*.xyz",
    "stratumix --fields X,Y,Z,Intensity,Classification,GpsTime -o ground.txt tiles/*.laz",
    "stratumix --report job.json -o all.xyz tiles/*.xyz",
    "stratumix --crop-polygon site.geojson --drop-class noise -o site.xyz tiles/*.laz",
    "stratumix --crop 500000,6000000,501000,6001000 --keep-class ground -o g.xyz *.las",
    "stratumix -o block7.laz tiles/*.laz",
    "stratumix --map tiles.svg -o all.xyz tiles/*.xyz",
    "stratumix --index tiles.geojson -o all.xyz tiles/*.xyz",
    "stratumix --columns 2,3,4 -o all.xyz numbered.csv",
    "stratumix --separator ';' --decimal-comma -o all.xyz export.txt",
    "stratumix --stream -o all.xyz odd.xyz"};

constexpr std::string_view kExitStatus =
    "0 done, every input pasted whole; 1 refused before anything\n"
    "was created, or stopped by an error (an input that cannot be read, a read or\n"
    "write error, damaged gzip data), or the report, the map, the index or\n"
    "standard output could not be written (standard error says why); 2 done, but\n"
    "some input was left out, whole or in part: text that is not points, a form\n"
    "refused (zip, PTX, UTF-16, a grid), a damaged LAS or LAZ file (a warning\n"
    "names it); 129, 130 or 143 stopped by the terminal closing, Ctrl-C or a\n"
    "kill, the result closed on a whole line.";

// What the program leaves, for the manual's FILES.
constexpr Option kFiles[] = {
    {"RESULT",
     "every point of every input, one a line: X Y Z with six decimals, CR LF\n"
     "(or as --decimals and --line-ends say)"},
    {"RESULT_xyz_info.txt",
     "the info report beside the result: the number of files and their paths\n"
     "(RESULT's .xyz left out of its name)"},
    {"FILE of --report, --map, --index",
     "written to FILE.part, then renamed, so never seen half written"}};

// The column at which the help's option texts begin.
constexpr std::size_t kTextColumn = 23;

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0;;) {
    std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    if (end == std::string_view::npos) return lines;
    at = end + 1;
  }
}

void add_options(std::string& text, std::span<const Option> options) {
  for (const Option& option : options) {
    // Long options alone line up under those with a short name.
    bool long_alone = option.names.starts_with("--") && option.names.size() > 2;
    std::string line = std::string(long_alone ? 6 : 2, ' ') + std::string(option.names);
    bool first = true;
    // Names that reach the text stand on a line of their own.
    if (line.size() + 1 > kTextColumn) {
      text += line + "\n";
      first = false;
    }
    for (std::string_view part : lines_of(option.text)) {
      if (!first) line.clear();
      line.resize(std::max(line.size() + 1, kTextColumn), ' ');
      text += line + std::string(part) + "\n";
      first = false;
    }
  }
}

// Text for man(7): backslashes and hyphens escaped, and no line taken for a
// request by its first character.
std::string roff(std::string_view text) {
  std::string escaped;
  bool line_start = true;
  for (char c : text) {
    if (line_start && (c == '.' || c == '\'')) escaped += "\\&";
    if (c == '\\') {
      escaped += "\\e";
    } else if (c == '-') {
      escaped += "\\-";
    } else {
      escaped += c;
    }
    line_start = c == '\n';
  }
  return escaped;
}

// "-o, --output RESULT": the names bold, the value italic.
std::string roff_names(std::string_view names) {
  std::string marked;
  for (std::size_t at = 0; at < names.size();) {
    std::size_t end = std::min(names.find(' ', at), names.size());
    std::string_view token = names.substr(at, end - at);
    bool comma = token.ends_with(',');
    if (comma) token.remove_suffix(1);
    marked += (token.starts_with('-') ? "\\fB" : "\\fI") + roff(token) + "\\fR";
    if (comma) marked += ",";
    if (end < names.size()) marked += ' ';
    at = end + 1;
  }
  return marked;
}

void add_roff_options(std::string& page, std::span<const Option> options) {
  for (const Option& option : options)
    page += ".TP\n" + roff_names(option.names) + "\n" + roff(option.text) + "\n";
}

}  // namespace

std::string usage() {
  std::string text =
      "Usage: " + std::string(kSynopsis[0]) + "\n       " + std::string(kSynopsis[1]) + "\n\n";
  text += std::string(kSummary) + "\n\n";
  for (std::string_view paragraph : kDescription) text += std::string(paragraph) + "\n\n";
  add_options(text, kOptions);
  add_options(text, writer_option_help());
  add_options(text, kOutputOptions);
  text += "\n" + std::string(kReading) + "\n";
  add_options(text, layout_option_help());
  text += "\n" + std::string(kChoosing) + "\n";
  add_options(text, filter_option_help());
  text += "\nExamples:\n";
  for (std::string_view example : kExamples) text += "  " + std::string(example) + "\n";
  text += "\nExit status: " + std::string(kExitStatus) + "\n";
  return text;
}

std::string man_page(std::string_view version) {
  std::string page = ".TH STRATUMIX 1 \"\" \"stratumix " + roff(version) + "\" \"User Commands\"\n";
  page += ".SH NAME\nstratumix \\- pastes point files into one\n.SH SYNOPSIS\n";
  for (std::string_view line : kSynopsis) {
    std::size_t space = line.find(' ');
    page += ".B stratumix\n";
    if (space != std::string_view::npos) page += roff_names(line.substr(space + 1)) + "\n";
    page += ".br\n";
  }
  page += ".SH DESCRIPTION\n" + roff(kSummary) + "\n";
  for (std::string_view paragraph : kDescription) page += ".PP\n" + roff(paragraph) + "\n";
  page += ".SH OPTIONS\n";
  add_roff_options(page, kOptions);
  add_roff_options(page, writer_option_help());
  add_roff_options(page, kOutputOptions);
  page += ".SS Reading the inputs\n" + roff(kReading) + "\n";
  add_roff_options(page, layout_option_help());
  page += ".SS Choosing the points\n" + roff(kChoosing) + "\n";
  add_roff_options(page, filter_option_help());
  page += ".SH FILES\n";
  add_roff_options(page, kFiles);
  page += ".SH EXIT STATUS\n" + roff(kExitStatus) + "\n.SH EXAMPLES\n.nf\n";
  for (std::string_view example : kExamples) page += roff(example) + "\n";
  page += ".fi\n";
  return page;
}

std::vector<std::string_view> long_options() {
  std::vector<std::string_view> names;
  auto add = [&names](const Option& option) {
    std::string_view text = option.names;
    std::size_t at = text.find("--");
    if (at == std::string_view::npos || text.size() == 2) return;
    std::size_t end = text.find(' ', at);
    names.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
  };
  for (std::span<const Option> options :
       {std::span<const Option>(kOptions), writer_option_help(),
        std::span<const Option>(kOutputOptions), layout_option_help(), filter_option_help()}) {
    for (const Option& option : options) add(option);
  }
  return names;
}
