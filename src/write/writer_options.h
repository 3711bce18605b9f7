// The writer's options on the command line: the result's numbers, line
// ends and columns, declared here with their help, where they are used.
#ifndef STRATUMIX_WRITE_WRITER_OPTIONS_H_
#define STRATUMIX_WRITE_WRITER_OPTIONS_H_

#include <span>
#include <string>
#include <vector>

#include "options/option_reader.h"
#include "write/fields_writer.h"
#include "write/xyz_text.h"

struct WriterOptions {
  xyz::Format format;  // the numbers and line ends
  // The columns (--fields), none for X Y Z; and whether a first line
  // names them (--header).
  std::vector<columns::Column> columns;
  bool titles = false;
  // The result's form (--format) where its name does not say it: text,
  // or LAS or LAZ with their scale (--scale) and offset (--offset).
  enum class Form { kByName, kText, kLas, kLaz } form = Form::kByName;
  bool scale_given = false;
  double scale[3] = {0.001, 0.001, 0.001};
  bool offset_given = false;
  double offset[3] = {};
  // The input whose reference system a LAS or LAZ result takes.
  std::string crs_from;
};

// Reads the writer's option at the reader's argument, if it is one: false
// otherwise. The reader's wrong() tells what is wrong with its value.
bool read_writer_option(OptionReader& reader, WriterOptions& options);

// The writer's options as the help lists them.
std::span<const OptionHelp> writer_option_help();

#endif  // STRATUMIX_WRITE_WRITER_OPTIONS_H_
