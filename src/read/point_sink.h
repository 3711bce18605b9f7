// The one interface between reading and writing: what an input gives its
// points to. A reader knows its input's form and nothing of the result's;
// the sink knows the result's and nothing of where the points come from.
#ifndef STRATUMIX_READ_POINT_SINK_H_
#define STRATUMIX_READ_POINT_SINK_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/output_file.h"
#include "num/extent.h"
#include "point/point.h"
#include "read/text/field_lines.h"
#include "read/text/run_loop.h"

// The quick ways from an input's own text to the result's, in one pass:
// the readers' loops (run_loop.h, field_lines.h) with the sink's text. A
// sink offers them when it writes text; they write into the sink's file's
// buffer, each line in at most line_room() bytes, and may be called from
// any thread.
class QuickText {
 public:
  virtual ~QuickText() = default;
  virtual std::size_t line_room() const = 0;
  // As copy_run in run_loop.h.
  virtual void copy_run(Run& run, const char* stop, const char* text_end, std::int64_t count,
                        Extents& extents, Axes axes) const = 0;
  // As copy_boxed_run in run_loop.h, for a run with a box.
  virtual void copy_boxed_run(Run& run, const char* stop, const char* text_end, std::int64_t count,
                              Extents& extents, Axes axes) const = 0;
  // As field_lines::copy_lines, for a separator of white space (`white`)
  // or another.
  virtual std::int64_t copy_lines(const field_lines::Scan& scan, bool white, Axes axes, char*& line,
                                  char*& out, const char* whole, std::int64_t count,
                                  Extents& extents, std::int64_t& line_number) const = 0;
};

// The text pass-through a sink offers that writes plain numbers as text:
// the reader lends it its text, and the quick ways copy the points there
// into the sink's own result, in the same pass.
class PassThrough {
 public:
  virtual ~PassThrough() = default;
  // The text the quick ways write, for a reading thread to copy ahead in.
  virtual const QuickText& text() const = 0;
  // Copies runs of points from `run.end`, as copy_run does, until `count`
  // points or one the quick ways leave (run.stopped) or `stop`.
  virtual void pass_runs(Run& run, const char* stop, const char* text_end, std::int64_t count,
                         Extents& extents, Axes axes) = 0;
  // Copies lines of fields from `line` on, as copy_lines does, until
  // `count` or one the quick ways leave or `whole`; returns how many.
  virtual std::int64_t pass_lines(const field_lines::Scan& scan, bool white, Axes axes, char*& line,
                                  const char* whole, std::int64_t count, Extents& extents,
                                  std::int64_t& line_number) = 0;
  // Lines the quick ways made ahead in `block` (`size` of its `room`
  // bytes), taken whole, or its bytes.
  virtual void pass_block(std::unique_ptr<char[]>& block, std::size_t size, std::size_t room) = 0;
};

class PointSink {
 public:
  virtual ~PointSink() = default;
  // One point, from its numbers, adding it to `extents` on the axes
  // `measured` names.
  virtual void point(const Point& point, Extents& extents, Axes measured) = 0;
  // `records.count` points of LAS records, adding each to `extents` on
  // the axes `measured` names.
  virtual void records(const ScaledRecords& records, Extents& extents, Axes measured) = 0;
  // The pass-through of text, or null where the sink wants every point by
  // value or as records.
  virtual PassThrough* pass_through() { return nullptr; }
};

#endif  // STRATUMIX_READ_POINT_SINK_H_
