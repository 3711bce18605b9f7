// A job as a value: what is pasted into what, and how. The dialogue and the
// command line each make one and hand it to the same pasting.
#ifndef STRATUMIX_JOB_JOB_H_
#define STRATUMIX_JOB_JOB_H_

#include <memory>
#include <string>
#include <vector>

#include "filter/point_filter.h"
#include "io/kept_inputs.h"
#include "io/output_file.h"
#include "read/text/layout.h"
#include "write/fields_writer.h"
#include "write/las/las_writer.h"
#include "write/xyz_text.h"

struct Job {
  // The inputs' paths, pasted in this order.
  std::vector<std::string> inputs;
  // The result, and the info report beside it, both open but for an info
  // report where the result is no plain file. Not the job's own: they
  // outlive it, to be closed or cut back once it has ended.
  OutputFile* result = nullptr;
  OutputFile* info_report = nullptr;
  // How text inputs are read where their first lines cannot tell.
  layout::Options reading;
  // The result's numbers and line ends.
  xyz::Format format;
  // The result's columns (--fields): none for X Y Z, the plain result;
  // with `titles`, a first line names them.
  std::vector<columns::Column> columns;
  bool titles = false;
  // Inputs read whole before the job (a LAS result's small tiles, read
  // for their headers), each taken in its turn in place of opening it
  // again; none where nothing was. They outlive the result, declared
  // before it: a LAZ result compresses their records where they lie.
  std::shared_ptr<KeptInputs> kept;
  // A LAS or LAZ result: its header, its records, what was rounded; none
  // for text.
  std::shared_ptr<lasout::LasResult> las;
  // The filters between the readers and the writer: a point is kept when
  // every one keeps it. Each input gets its own.
  std::vector<FilterMaker> filters;
  // Z's extents have a cost, and the dialogue shows X and Y alone.
  bool measure_z = true;
  // An input that cannot be opened ends the job as the dialogue's does:
  // with status 0, once the operator has pressed a key.
  bool key_wait_on_unopened_input = false;
};

#endif  // STRATUMIX_JOB_JOB_H_
