#include "job_summary.h"

#include <array>
#include <cmath>

#include "number.h"
#include "paths.h"

namespace {

std::string fixed6(double value) {
  char digits[number::kMaxFixed6Length];
  return std::string(digits, number::format_fixed6(value, digits));
}

constexpr const char* kAxisNames[] = {"X", "Y", "Z"};

// The length of the valid UTF-8 sequence at `text`, 0 if none: names on
// POSIX systems are bytes, and a JSON text must be UTF-8.
std::size_t utf8_length(std::string_view text) {
  auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char first = byte(0);
  std::size_t length = first < 0x80                    ? 1
                       : first >= 0xc2 && first < 0xe0 ? 2
                       : first >= 0xe0 && first < 0xf0 ? 3
                       : first >= 0xf0 && first < 0xf5 ? 4
                                                       : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
  }
  // No overlong forms, no surrogates, nothing past U+10FFFF.
  if (length == 3 && ((first == 0xe0 && byte(1) < 0xa0) || (first == 0xed && byte(1) >= 0xa0)))
    return 0;
  if (length == 4 && ((first == 0xf0 && byte(1) < 0x90) || (first == 0xf4 && byte(1) >= 0x90)))
    return 0;
  return length;
}

std::string json_string(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (char c : valid_utf8(text)) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      quoted += "\\u00";
      quoted += kHex[c >> 4];
      quoted += kHex[c & 15];
    } else {
      quoted += c;
    }
  }
  return quoted += '"';
}

std::string json_number(double value) {
  if (std::isinf(value)) return value < 0 ? "\"-inf\"" : "\"inf\"";
  return fixed6(value);
}

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

std::string valid_utf8(std::string_view text) {
  std::string valid;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = utf8_length(text.substr(i));
    valid += length == 0 ? std::string_view("\xef\xbf\xbd") : text.substr(i, length);
    i += length == 0 ? 1 : length;
  }
  return valid;
}

std::int64_t JobFacts::points() const {
  std::int64_t total = 0;
  for (const InputFacts& input : inputs) total += input.points;
  return total;
}

int JobFacts::files_cut_short() const {
  int count = 0;
  for (const InputFacts& input : inputs) count += input.cut_short;
  return count;
}

Bounds JobFacts::overall() const {
  Bounds extents;
  for (const InputFacts& input : inputs) extents.merge(input.extents);
  return extents;
}

std::string summary_text(const JobFacts& job) {
  std::string text = "Files pasted: " + number::int_text(job.files_pasted) + " of " +
                     number::int_text(job.files_given) + "\n";
  if (int cut = job.files_cut_short(); cut > 0)
    text += "Files pasted in part: " + number::int_text(cut) + " (see the warnings)\n";
  text += "Points: " + number::int_text(job.points()) + "\n";
  // A name's control bytes would reach the terminal: ESC sequences would
  // clear it or move the cursor, a line break would split the line.
  text += "Result: " + paths::for_message(job.result) + ", " + number::int_text(job.result_bytes) +
          " bytes\n";
  bool any = false;
  Bounds overall = job.overall();
  for (int axis = 0; axis < 3; ++axis) {
    const Bound& extent = overall.axis(axis);
    if (!extent.met) continue;
    any = true;
    text += std::string(kAxisNames[axis]) + "_min = " + fixed6(extent.min) + " " +
            kAxisNames[axis] + "_max = " + fixed6(extent.max) + "\n";
  }
  // NaN has no place on an axis, so points of NaN alone leave no extent.
  if (!any) text += job.points() == 0 ? "Extents: none, no point\n" : "Extents: none, NaN alone\n";
  text += "Time: " + number::fixed_text(job.seconds, 2) + " s\n";
  if (!job.why.empty()) text += "Stopped: " + job.why + "\n";
  return text;
}

std::string summary_json(const JobFacts& job) {
  // Room for it all at once: grown by doubling, the text of thousands of
  // inputs would take up to twice its size.
  std::size_t room = 1024 + job.result.size() + job.info_report.size() + job.why.size();
  for (const InputFacts& input : job.inputs) {
    room += input.path.size() + 300;
    for (const std::string& note : input.notes) room += note.size() + 8;
  }
  std::string text;
  text.reserve(room);
  text += "{\n";
  text += "  \"result\": " + json_string(job.result) + ",\n";
  text += "  \"info_report\": " + json_string(job.info_report) + ",\n";
  text += std::string("  \"finished\": ") + (job.why.empty() ? "true" : "false") + ",\n";
  text += "  \"stopped_because\": " + (job.why.empty() ? "null" : json_string(job.why)) + ",\n";
  text += "  \"exit_status\": " + number::int_text(job.status) + ",\n";
  text += "  \"files_given\": " + number::int_text(job.files_given) + ",\n";
  text += "  \"files_pasted\": " + number::int_text(job.files_pasted) + ",\n";
  text += "  \"files_pasted_in_part\": " + number::int_text(job.files_cut_short()) + ",\n";
  text += "  \"points\": " + number::int_text(job.points()) + ",\n";
  text += "  \"result_bytes\": " + number::int_text(job.result_bytes) + ",\n";
  text += "  \"seconds\": " + number::fixed_text(job.seconds, 3) + ",\n";
  text += "  \"extents\": " + json_extents(job.overall()) + ",\n";
  text += "  \"inputs\": [";
  for (std::size_t i = 0; i < job.inputs.size(); ++i) {
    const InputFacts& input = job.inputs[i];
    text += i == 0 ? "\n" : ",\n";
    text += "    {\"number\": " + number::int_text(static_cast<std::int64_t>(i) + 1) +
            ", \"path\": " + json_string(input.path) +
            ", \"points\": " + number::int_text(input.points) +
            ", \"bytes\": " + number::int_text(input.bytes) +
            ",\n     \"extents\": " + json_extents(input.extents) + ",\n     \"notes\": [";
    for (std::size_t n = 0; n < input.notes.size(); ++n) {
      if (n > 0) text += ", ";
      text += json_string(input.notes[n]);
    }
    text += "]}";
  }
  text += job.inputs.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return text;
}
