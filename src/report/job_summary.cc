#include "report/job_summary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "io/paths.h"
#include "num/number.h"

namespace {

constexpr const char* kAxisNames[] = {"X", "Y", "Z"};

}  // namespace

std::size_t room_for_inputs(const std::vector<InputFacts>& inputs, std::size_t per_input,
                            std::size_t per_note) {
  std::size_t room = 0;
  for (const InputFacts& input : inputs) {
    room += input.path.size() + per_input;
    for (const std::string& note : input.notes) room += note.size() + per_note;
  }
  return room;
}

std::string json_number(double value) {
  // A string here would make the field text for every tile in a GIS.
  if (std::isinf(value)) return "null";
  return number::fixed6_text(value);
}

namespace {

std::string json_extents(const Bounds& extents) {
  std::string text = "{";
  for (int axis = 0; axis < 3; ++axis) {
    const Bound& extent = extents.axis(axis);
    text += std::array{"\"x\": ", ", \"y\": ", ", \"z\": "}[axis];
    text += extent.met ? "{\"min\": " + json_number(extent.min) +
                             ", \"max\": " + json_number(extent.max) + "}"
                       : std::string("null");
  }
  return text += "}";
}

}  // namespace

std::string points_read_json(const InputFacts& input) {
  std::string text = ", \"points_read\": " + number::int_text(input.read) + ", \"left_out\": [";
  for (std::size_t f = 0; f < input.left_out.size(); ++f)
    text += (f == 0 ? "" : ", ") + number::int_text(input.left_out[f]);
  return text + "]";
}

std::string valid_utf8(std::string_view text) {
  std::string valid;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = paths::utf8_length(text.substr(i));
    valid += length == 0 ? std::string_view("\xef\xbf\xbd") : text.substr(i, length);
    i += length == 0 ? 1 : length;
  }
  return valid;
}

std::string json_string(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted = "\"";
  const std::string valid = valid_utf8(text);
  for (std::size_t i = 0; i < valid.size(); ++i) {
    auto c = static_cast<unsigned char>(valid[i]);
    // The C1 controls (U+0080 to U+009F, C2 80 to C2 9F) and DEL escaped
    // as the C0 ones must be: the report shown on a terminal stays text.
    if (c == 0xc2 && static_cast<unsigned char>(valid[i + 1]) < 0xa0)
      c = static_cast<unsigned char>(valid[++i]);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20 || (c >= 0x7f && c < 0xa0)) {
      quoted += "\\u00";
      quoted += kHex[c >> 4];
      quoted += kHex[c & 15];
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted += '"';
}

std::int64_t JobFacts::points() const {
  std::int64_t total = 0;
  for (const InputFacts& input : inputs) total += input.points;
  return total;
}

std::int64_t JobFacts::points_read() const {
  std::int64_t total = 0;
  for (const InputFacts& input : inputs) total += input.read;
  return total;
}

std::vector<std::int64_t> JobFacts::left_out() const {
  std::vector<std::int64_t> total(filters.size(), 0);
  for (const InputFacts& input : inputs) {
    for (std::size_t f = 0; f < total.size() && f < input.left_out.size(); ++f)
      total[f] += input.left_out[f];
  }
  return total;
}

std::string left_out_text(const JobFacts& job, const std::vector<std::int64_t>& left_out) {
  std::string text;
  for (std::size_t f = 0; f < job.filters.size(); ++f) {
    if (f > 0) text += ", ";
    text += paths::for_message(job.filters[f]) + " left out " +
            number::int_text(f < left_out.size() ? left_out[f] : 0);
  }
  return text;
}

int JobFacts::files_cut_short() const {
  int count = 0;
  for (const InputFacts& input : inputs) count += input.cut_short && input.points > 0;
  return count;
}

int JobFacts::files_refused() const {
  int count = 0;
  for (const InputFacts& input : inputs) count += input.cut_short && input.points == 0;
  return count;
}

int JobFacts::files_damaged() const {
  int count = 0;
  for (const InputFacts& input : inputs) count += input.damaged;
  return count;
}

Bounds JobFacts::overall() const {
  Bounds extents;
  for (const InputFacts& input : inputs) extents.merge(input.extents);
  return extents;
}

Bounds JobFacts::overall_read() const {
  Bounds extents;
  for (const InputFacts& input : inputs) extents.merge(input.extents_read);
  return extents;
}

bool JobFacts::any_system() const {
  return std::any_of(inputs.begin(), inputs.end(),
                     [](const InputFacts& input) { return input.crs != nullptr; });
}

std::string json_epsg(int code) { return code == 0 ? "null" : number::int_text(code); }

namespace {

std::string json_system(const std::shared_ptr<const las::Crs>& crs) {
  if (crs == nullptr) return "null";
  return "{\"description\": " + json_string(crs->describe()) +
         ", \"epsg\": " + json_epsg(crs->horizontal_epsg) +
         ", \"vertical_epsg\": " + json_epsg(crs->vertical_epsg) + "}";
}

// A scale or offset as text: the fewest decimals that give it back.
std::string decimal_text(double value) {
  for (int decimals = 0; decimals < 17; ++decimals) {
    std::string text = number::fixed_text(value, decimals);
    if (std::strtod(text.c_str(), nullptr) == value) return text;
  }
  return number::fixed_text(value, 17);
}

// How far points were rounded: a difference of doubles, in nine decimals
// at most, which hide the doubles' own error.
std::string rounding_text(double value) {
  std::string text = number::fixed_text(value, 9);
  while (text.size() > 1 && text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string three(const double* values, const char* between) {
  return decimal_text(values[0]) + between + decimal_text(values[1]) + between +
         decimal_text(values[2]);
}

std::string form_text(const ResultForm& form) {
  std::string text = "Format: " + form.format + "; scale " + three(form.scale, " ") + "; offset " +
                     three(form.offset, " ") + "\n";
  if (!form.system.empty()) text += "Reference system: " + form.system + "\n";
  if (form.rounded_points > 0)
    text += "Rounded: " + number::int_text(form.rounded_points) + " points, by " +
            rounding_text(form.most_rounded) + " at most\n";
  return text;
}

}  // namespace

std::string form_json(const ResultForm& form) {
  std::string text =
      "{\"format\": " + json_string(form.format) + ", \"scale\": [" + three(form.scale, ", ") +
      "], \"offset\": [" + three(form.offset, ", ") +
      "], \"reference_system\": " + (form.system.empty() ? "null" : json_string(form.system)) +
      ", \"rounded_points\": " + number::int_text(form.rounded_points) +
      ", \"most_rounded\": " + rounding_text(form.most_rounded) + ", \"notes\": [";
  for (std::size_t n = 0; n < form.notes.size(); ++n)
    text += (n > 0 ? ", " : "") + json_string(form.notes[n]);
  return text + "]}";
}

std::string summary_text(const JobFacts& job) {
  std::string text = "Files pasted: " + number::int_text(job.files_pasted) + " of " +
                     number::int_text(job.files_given) + "\n";
  if (int cut = job.files_cut_short(); cut > 0)
    text += "Files pasted in part: " + number::int_text(cut) + " (see the warnings)\n";
  if (int refused = job.files_refused(); refused > 0)
    text += "Files refused: " + number::int_text(refused) + " (see the warnings)\n";
  if (int damaged = job.files_damaged(); damaged > 0)
    text += "Files pasted but damaged: " + number::int_text(damaged) + " (see the warnings)\n";
  text += "Points: " + number::int_text(job.points()) + "\n";
  if (!job.filters.empty()) {
    text += "Points read: " + number::int_text(job.points_read()) + "; " +
            left_out_text(job, job.left_out()) + "\n";
  }
  // A name's control bytes would reach the terminal: ESC sequences would
  // clear it or move the cursor, a line break would split the line.
  text += "Result: " + paths::for_message(job.result) + ", " + number::int_text(job.result_bytes) +
          " bytes\n";
  if (job.form.las) text += form_text(job.form);
  bool any = false;
  Bounds overall = job.overall();
  for (int axis = 0; axis < 3; ++axis) {
    const Bound& extent = overall.axis(axis);
    if (!extent.met) continue;
    any = true;
    text += std::string(kAxisNames[axis]) + "_min = " + number::fixed6_text(extent.min) + " " +
            kAxisNames[axis] + "_max = " + number::fixed6_text(extent.max) + "\n";
  }
  // NaN has no place on an axis, so points of NaN alone leave no extent.
  if (!any) text += job.points() == 0 ? "Extents: none, no point\n" : "Extents: none, NaN alone\n";
  text += "Time: " + number::fixed_text(job.seconds, 2) + " s\n";
  if (!job.why.empty()) text += "Stopped: " + job.why + "\n";
  return text;
}

std::string summary_json(const JobFacts& job) {
  const bool systems = job.any_system();
  std::string text;
  // A system's member takes about 100 bytes, more for a long name.
  text.reserve(1024 + job.result.size() + job.info_report.size() + job.why.size() +
               room_for_inputs(job.inputs, systems ? 420 : 300, 8));
  text += "{\n";
  text += "  \"result\": " + json_string(job.result) + ",\n";
  text += "  \"info_report\": " + json_string(job.info_report) + ",\n";
  text += std::string("  \"finished\": ") + (job.why.empty() ? "true" : "false") + ",\n";
  text += "  \"stopped_because\": " + (job.why.empty() ? "null" : json_string(job.why)) + ",\n";
  text += "  \"exit_status\": " + number::int_text(job.status) + ",\n";
  text += "  \"files_given\": " + number::int_text(job.files_given) + ",\n";
  text += "  \"files_pasted\": " + number::int_text(job.files_pasted) + ",\n";
  text += "  \"files_pasted_in_part\": " + number::int_text(job.files_cut_short()) + ",\n";
  text += "  \"files_refused\": " + number::int_text(job.files_refused()) + ",\n";
  text += "  \"points\": " + number::int_text(job.points()) + ",\n";
  if (!job.filters.empty()) {
    text += "  \"points_read\": " + number::int_text(job.points_read()) + ",\n";
    text += "  \"filters\": [";
    const std::vector<std::int64_t> left_out = job.left_out();
    for (std::size_t f = 0; f < job.filters.size(); ++f) {
      text += std::string(f == 0 ? "" : ", ") + "{\"filter\": " + json_string(job.filters[f]) +
              ", \"left_out\": " + number::int_text(left_out[f]) + "}";
    }
    text += "],\n";
  }
  text += "  \"result_bytes\": " + number::int_text(job.result_bytes) + ",\n";
  if (job.form.las) text += "  \"result_form\": " + form_json(job.form) + ",\n";
  text += "  \"seconds\": " + number::fixed_text(job.seconds, 3) + ",\n";
  text += "  \"extents\": " + json_extents(job.overall()) + ",\n";
  if (!job.filters.empty())
    text += "  \"extents_read\": " + json_extents(job.overall_read()) + ",\n";
  text += "  \"inputs\": [";
  for (std::size_t i = 0; i < job.inputs.size(); ++i) {
    const InputFacts& input = job.inputs[i];
    text += i == 0 ? "\n" : ",\n";
    text += "    {\"number\": " + number::int_text(static_cast<std::int64_t>(i) + 1) +
            ", \"path\": " + json_string(input.path) +
            ", \"points\": " + number::int_text(input.points) +
            ", \"bytes\": " + number::int_text(input.bytes) +
            (job.filters.empty() ? "" : points_read_json(input)) +
            ",\n     \"extents\": " + json_extents(input.extents) + ",\n     ";
    if (!job.filters.empty())
      text += "\"extents_read\": " + json_extents(input.extents_read) + ",\n     ";
    if (systems) text += "\"crs\": " + json_system(input.crs) + ",\n     ";
    text += "\"notes\": [";
    for (std::size_t n = 0; n < input.notes.size(); ++n) {
      if (n > 0) text += ", ";
      text += json_string(input.notes[n]);
    }
    text += "]}";
  }
  text += job.inputs.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return text;
}
