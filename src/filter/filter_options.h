// The filters' options on the command line, declared here with their help:
// what each asks for, read into the filters each input gets.
#ifndef STRATUMIX_FILTER_FILTER_OPTIONS_H_
#define STRATUMIX_FILTER_FILTER_OPTIONS_H_

#include <span>
#include <string>
#include <vector>

#include "filter/point_filter.h"
#include "io/disk.h"
#include "options/option_reader.h"

struct FilterOptions {
  struct Given {
    std::string name;          // as the reports tell it: "--crop 0,0,10,10"
    FilterMaker make;          // none for a polygon not yet read
    std::string polygon_file;  // --crop-polygon's file
  };
  // In the order given, but for --thin, which goes first so that it counts
  // every point of its input.
  std::vector<Given> given;

  // The filters, once every polygon file is read.
  std::vector<FilterMaker> makers() const;
};

// Reads the filter option at the reader's argument, if it is one: false
// otherwise. The reader's wrong() tells what is wrong with its value.
bool read_filter_option(OptionReader& reader, FilterOptions& options);

// Reads the polygon files of --crop-polygon from `disk`; throws Failure
// (status 1) for one that cannot be read or is no GeoJSON of polygons,
// with the line and what is wrong.
void read_polygon_files(FilterOptions& options, Disk& disk);

// The filters' options as the help lists them.
std::span<const OptionHelp> filter_option_help();

#endif  // STRATUMIX_FILTER_FILTER_OPTIONS_H_
