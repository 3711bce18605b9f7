// The options of the command line, as each stage declares its own: the
// writer those of the result's text, the text reader those of reading,
// each with its help. What they share is here: how an option and its
// value are told apart from the arguments around them.
#ifndef STRATUMIX_OPTIONS_OPTION_READER_H_
#define STRATUMIX_OPTIONS_OPTION_READER_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// An option as the help lists it: its names and value ("--decimals N"),
// and what it does, one line a '\n'.
struct OptionHelp {
  std::string_view names;
  std::string_view text;
};

// Reads the option at arguments[i], if it is one the caller asks about.
class OptionReader {
 public:
  OptionReader(const std::vector<std::string>& arguments, std::size_t& i)
      : arguments_(arguments), i_(i) {}

  // Whether the argument is the option `name`, which takes no value.
  bool flag(std::string_view name) const { return arguments_[i_] == name; }

  // Whether the argument is the option `name` with its value, given as
  // "NAME VALUE" or "NAME=VALUE": then `take` takes the value (empty when
  // none follows) and says what is wrong with it, or nothing, and wrong()
  // tells it. A value apart that looks like an option is refused as one:
  // "--report -o all.xyz" would take -o for the report's name. `file` for
  // an option whose value names a file, which is then told how to name
  // one that begins with "-".
  bool value(std::string_view name, const std::function<std::string(const std::string&)>& take,
             bool file = false);

  // What was wrong with the last option read, or nothing.
  const std::string& wrong() const { return wrong_; }

 private:
  const std::vector<std::string>& arguments_;
  std::size_t& i_;
  std::string wrong_;
};

#endif  // STRATUMIX_OPTIONS_OPTION_READER_H_
