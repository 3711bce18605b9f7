// A small JSON reader, for the GeoJSON of --crop-polygon: the whole text
// read into values that remember their line, so that what is wrong with a
// file can be told where it is.
#ifndef STRATUMIX_FILTER_JSON_H_
#define STRATUMIX_FILTER_JSON_H_

#include <string>
#include <string_view>
#include <vector>

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  int line = 1;  // where the value begins
  bool flag = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;  // of an array
  // Of an object, in order: each name, and its value.
  std::vector<std::string> names;
  std::vector<Json> values;

  // The member `name` of an object, or null.
  const Json* member(std::string_view name) const;
};

// What is wrong with a text, and on which line.
struct JsonError {
  int line;
  std::string what;
};

// The one value of `text`, white space around it; throws JsonError.
Json parse_json(std::string_view text);

// "an object", "a number", ...: a kind for messages.
const char* kind_name(Json::Kind kind);

#endif  // STRATUMIX_FILTER_JSON_H_
