// How a job's points are written, wherever an input is pasted: the writer
// its columns call for, what the readers are asked to rebuild, and what an
// input that lacks a column is told.
#ifndef STRATUMIX_JOB_WRITING_H_
#define STRATUMIX_JOB_WRITING_H_

#include <memory>
#include <string>

#include "io/disk.h"
#include "io/output_file.h"
#include "job/job.h"
#include "read/point_input.h"
#include "read/point_sink.h"

// The writer of the job's result text into `file`.
std::unique_ptr<PointSink> result_writer(const Job& job, OutputFile& file);
// The quick ways of that writer, for the readers: none but for the plain
// result.
const QuickText* quick_text_for(const Job& job);
// Tells a newly opened input what the job writes of each point.
void ask_for_columns(const Job& job, PointInput& input);
// The one note on an input once read: how it was read, and the columns
// it lacked, written as 0.
std::string note_of(const Job& job, const PointInput& input);

// What the input at `path` carries, as its first bytes tell (its header,
// its records before the points): X, Y and Z alone for one that cannot be
// opened or read.
point::Schema input_schema(const Job& job, Disk& disk, const std::string& path);

#endif  // STRATUMIX_JOB_WRITING_H_
