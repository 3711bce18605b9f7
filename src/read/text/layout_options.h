// The options that say how text inputs are read, for what a file cannot
// tell, declared here with their help, beside the layout that takes them.
#ifndef STRATUMIX_READ_TEXT_LAYOUT_OPTIONS_H_
#define STRATUMIX_READ_TEXT_LAYOUT_OPTIONS_H_

#include <span>
#include <string>

#include "options/option_reader.h"
#include "read/text/layout.h"

// Reads the reading option at the reader's argument, if it is one: false
// otherwise. The reader's wrong() tells what is wrong with its value.
bool read_layout_option(OptionReader& reader, layout::Options& options);

// What is wrong with the reading options taken together, or nothing.
std::string check_layout_options(const layout::Options& options);

// The reading options as the help lists them.
std::span<const OptionHelp> layout_option_help();

#endif  // STRATUMIX_READ_TEXT_LAYOUT_OPTIONS_H_
