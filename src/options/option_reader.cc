#include "options/option_reader.h"

#include "io/paths.h"

namespace {

bool looks_like_option(const std::string& value) { return value.size() > 1 && value[0] == '-'; }

// A minus and a digit are a number, not an option: "--decimals -1" is a
// wrong number of decimals, told as such, not an option taken for a value.
bool looks_like_number(const std::string& value) {
  return value.size() > 1 && value[0] == '-' && value[1] >= '0' && value[1] <= '9';
}

// A value given apart from its option that is itself an option was meant
// as one. A file so named is still reached as ./-o, or with NAME=VALUE;
// the options that take no file are told no such way, which would only
// make a wrong value of it.
std::string value_taken_from_option(std::string_view option, const std::string& value, bool file) {
  std::string shown = paths::for_message(value);
  std::string text = "option " + std::string(option) + " would take " + shown +
                     ", an option, for its value; give the value right after it";
  if (!file) return text;
  return text + " (a file named " + shown + ": " + std::string(option) + " ./" + shown + ")";
}

}  // namespace

bool OptionReader::value(std::string_view name,
                         const std::function<std::string(const std::string&)>& take, bool file) {
  const std::string& argument = arguments_[i_];
  std::string given;
  if (argument == name) {
    if (i_ + 1 < arguments_.size()) {
      given = arguments_[++i_];
      if (looks_like_option(given) && !looks_like_number(given)) {
        wrong_ = value_taken_from_option(name, given, file);
        return true;
      }
    }
  } else if (argument.size() > name.size() && argument.starts_with(name) &&
             argument[name.size()] == '=') {
    given = argument.substr(name.size() + 1);
  } else {
    return false;
  }
  wrong_ = take(given);
  return true;
}
