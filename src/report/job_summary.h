// What a command-line job did, per input and in all: the summary printed at
// its end and the report it leaves for scripts (JSON), for a job that ended
// as for one that stopped.
#ifndef STRATUMIX_REPORT_JOB_SUMMARY_H_
#define STRATUMIX_REPORT_JOB_SUMMARY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "num/extent.h"
#include "read/las/las_crs.h"
#include "read/las/las_units.h"

// One input, as far as the result keeps it. A job of thousands of inputs
// keeps one each: the path is the job table's, not a copy.
struct InputFacts {
  std::string_view path;
  std::int64_t points = 0;
  std::int64_t bytes = 0;  // read
  Bounds extents;
  // What the reader noted or warned, one line each.
  std::vector<std::string> notes;
  // Ended at text that is not a point, or refused: what follows is not in
  // the result.
  bool cut_short = false;
  // Pasted whole, but found damaged at its end: some points may be wrong.
  bool damaged = false;
  LinearUnit unit = LinearUnit::kUnknown;  // of X and Y, where the input states it
  // The reference system it states, shared by the inputs in the same one;
  // null for none (text).
  std::shared_ptr<const las::Crs> crs = nullptr;
  std::int64_t begin = 0;  // where its points begin in the result
  // Where the job has filters: the points read, of which `points` were
  // kept, and those each filter left out, in the job's order.
  std::int64_t read = 0;
  std::vector<std::int64_t> left_out{};
  Bounds extents_read{};  // of the points read
};

// A LAS or LAZ result's form: what a text result has none of.
struct ResultForm {
  bool las = false;    // a LAS or LAZ result; the rest only then
  std::string format;  // "LAZ 1.4, point format 7"
  double scale[3] = {};
  double offset[3] = {};
  std::string system;               // its reference system, or empty
  std::int64_t rounded_points = 0;  // not exact in its scale and offset
  double most_rounded = 0;          // by this much at most
  std::vector<std::string> notes;   // what was left out of it
};

struct JobFacts {
  std::string result;
  ResultForm form;
  std::string info_report;
  int files_given = 0;
  std::vector<InputFacts> inputs;  // those begun, in job order
  int files_pasted = 0;            // read to their end, whole
  std::int64_t result_bytes = 0;
  double seconds = 0;
  int status = 0;   // the program's exit status
  std::string why;  // what stopped the job, when it stopped
  // The filters, as the options gave them: none, and the reports tell
  // nothing of points read and left out.
  std::vector<std::string> filters;

  std::int64_t points() const;
  // The points read, and those each filter left out, of all inputs.
  std::int64_t points_read() const;
  std::vector<std::int64_t> left_out() const;
  // The inputs cut short after some of their points, and those refused or
  // stopped before their first: nothing of them is in the result.
  int files_cut_short() const;
  int files_refused() const;
  // Pasted whole, but found damaged at their end.
  int files_damaged() const;
  // The extents of all inputs.
  Bounds overall() const;
  // Those of the points read, where the job has filters.
  Bounds overall_read() const;
  // Whether some input states a reference system: the reports then tell
  // each input's, and are otherwise as they were before systems were read.
  bool any_system() const;
};

// `text` with every byte that is not part of a UTF-8 character replaced by
// U+FFFD: names on POSIX systems are bytes, and JSON and SVG texts are UTF-8.
// A LAS or LAZ result's form, as JSON.
std::string form_json(const ResultForm& form);

std::string valid_utf8(std::string_view text);

// `text` as a JSON string, quotes included: UTF-8 made valid, quotes,
// backslashes and control bytes escaped.
std::string json_string(std::string_view text);

// Room for the inputs' part of a text made in one allocation: grown by
// doubling, the text of thousands of inputs would take up to three times
// its size while it moves. `per_input` bytes besides each path, `per_note`
// besides each note.
std::size_t room_for_inputs(const std::vector<InputFacts>& inputs, std::size_t per_input,
                            std::size_t per_note);

// A coordinate as JSON: six decimals, and the infinities, which JSON has no
// number for, as null, so that a field stays a number wherever it is one.
std::string json_number(double value);

// What the filters left out of `left_out`: "--crop 0,0,5,5 left out 3,
// --thin 2 left out 1".
std::string left_out_text(const JobFacts& job, const std::vector<std::int64_t>& left_out);

// An input's points read and left out, as members of a JSON object:
// ", \"points_read\": 10, \"left_out\": [2, 0]".
std::string points_read_json(const InputFacts& input);

// An EPSG code as JSON: null for none.
std::string json_epsg(int code);

// The summary on the console, a few lines, each ended.
std::string summary_text(const JobFacts& job);

// The same, and per input its path, points, extents, reference system
// (where some input states one) and notes, as a JSON object. Extents are
// numbers with six decimals, null for an axis without points and for a
// bound at infinity.
std::string summary_json(const JobFacts& job);

#endif  // STRATUMIX_REPORT_JOB_SUMMARY_H_
