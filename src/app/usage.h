// What the program says of itself: the text of --help and the manual page,
// both drawn from one description, so that they cannot tell two stories.
#ifndef STRATUMIX_APP_USAGE_H_
#define STRATUMIX_APP_USAGE_H_

#include <string>
#include <string_view>
#include <vector>

// The text of --help.
std::string usage();

// The manual page, stratumix.1, in man(7) markup, for `version`.
std::string man_page(std::string_view version);

// Every long option the help tells of ("--output", "--map", ...).
std::vector<std::string_view> long_options();

#endif  // STRATUMIX_APP_USAGE_H_
