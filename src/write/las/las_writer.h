// The LAS and LAZ result: every input's points in the records of the
// result's plan, the header written first with no point and completed
// when the result is closed, or cut back to the whole points it holds
// when a write failed.
#ifndef STRATUMIX_WRITE_LAS_LAS_WRITER_H_
#define STRATUMIX_WRITE_LAS_LAS_WRITER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/disk.h"
#include "io/output_file.h"
#include "point/las_record.h"
#include "read/point_sink.h"
#include "write/las/las_plan.h"

namespace lasout {

// Compresses the result's records, chunk by chunk: the LAZ face of a
// result (laz_chunks.h).
class ChunkWriter {
 public:
  virtual ~ChunkWriter() = default;
  // Room for the next record of the result's layout, and then that it is
  // made.
  virtual char* slot() = 0;
  virtual void placed() = 0;
  // `count` records of the result's layout, one after another, as they
  // are; returns their own totals.
  virtual Totals place_all(const char* records, std::size_t count) = 0;
  // The same of records that stay where they lie until the job ends (an
  // input kept whole in memory): they are compressed there, not copied.
  virtual Totals lend_all(const char* records, std::size_t count) = 0;
  // Before the first point, once the header is written.
  virtual void begin() = 0;
  // Compresses what is left and writes the chunk table: after it the
  // file holds every point put.
  virtual void finish() = 0;
  // The totals of every point put.
  virtual Totals totals() const = 0;
  // After a failed write, of a file that kept `bytes`: the points of the
  // whole chunks it holds, with their totals, once their table is written
  // after them; `end` where the table ends, -1 where it could not be
  // written.
  virtual std::uint64_t whole_points(std::int64_t bytes, Totals& totals, std::int64_t& end) = 0;
};

// The result of one job: its plan, its totals, and what the points are
// rounded by. The inputs' waveform data, if any, is read through `disk`
// when the result is closed, after the points.
class LasResult : public OutputEnding {
 public:
  LasResult(Plan plan, OutputFile& file, Disk* disk = nullptr);
  ~LasResult() override;
  LasResult(const LasResult&) = delete;
  LasResult& operator=(const LasResult&) = delete;

  // Writes the header of no point, before any point.
  void begin();
  const Plan& plan() const { return plan_; }
  const point::RecordLayout& layout() const { return layout_; }
  // Room for the next record, and then that it is made.
  char* slot() {
    if (chunks_ != nullptr) return chunk_slot();
    slot_ = file_.reserve(plan_.record_length);
    return slot_;
  }
  void placed() {
    if (chunks_ != nullptr) return chunk_placed();
    totals_.add(slot_, extended_);
    file_.commit(slot_ + plan_.record_length);
  }
  // `count` records that are the result's as they are, one after another:
  // copied many at a time, or for LAZ, where they are `lasting` (they stay
  // where they lie until the job ends), compressed there. Returns their
  // own totals.
  Totals place_as_they_are(const char* records, std::size_t count, bool lasting = false);
  // A point rounded into the result's scale, by `error` at most.
  void rounded(double error) {
    ++rounded_;
    if (error > most_rounded_) most_rounded_ = error;
  }
  std::uint64_t rounded_points() const { return rounded_; }
  // A wave packet that points at no waveform data the result carries.
  void wave_lost() { ++waves_lost_; }
  // An input whose header was not read before the job (a pipe) and whose
  // points have wave packets: its waveform data is not known.
  void waves_unknown(const std::string& path) {
    if (waves_unknown_.size() < 10) waves_unknown_.push_back(path);
    ++inputs_unknown_;
  }
  // What is said of the result: the plan's notes, and what the points
  // turned out to need.
  std::vector<std::string> notes() const;
  double most_rounded() const { return most_rounded_; }
  // The points the result holds, as its header tells them.
  std::uint64_t points() const;

  // An input begins: what it gives may have to be taken back.
  void input_begins();
  // Takes back the points of the input begun last, whose bytes turned out
  // damaged: false where they cannot be (LAZ chunks already written).
  bool take_back_input();

  void finish(OutputFile& file) override;
  void after_failure(OutputFile& file) override;

 private:
  void write_header(OutputFile& file);
  void write_waveforms(OutputFile& file);
  char* chunk_slot() { return slot_ = chunks_->slot(); }
  void chunk_placed() { chunks_->placed(); }

  Plan plan_;
  point::RecordLayout layout_;
  OutputFile& file_;
  std::unique_ptr<ChunkWriter> chunks_;  // for LAZ
  Totals totals_;
  bool extended_;
  char* slot_ = nullptr;
  bool settled_ = false;
  // Where the input begun last begins, and the totals before it.
  std::int64_t input_position_ = 0;
  Totals before_input_;  // the totals are those of the file as it ends
  std::uint64_t rounded_ = 0;
  double most_rounded_ = 0;
  Disk* disk_;
  std::uint64_t waves_lost_ = 0;
  std::vector<std::string> waves_unknown_;
  std::int64_t inputs_unknown_ = 0;
  // Where the points (and a LAZ result's chunk table) end, once the
  // waveform data begins to follow them.
  std::int64_t points_end_ = -1;
};

// The writer of one input: its records or points made the result's, as
// the plan says, and handed to the result.
class LasSink : public PointSink {
 public:
  // The points of the input at `path`.
  explicit LasSink(LasResult& result, const std::string& path = {});
  void point(const Point& point, Extents& extents, Axes measured) override;
  void records(const ScaledRecords& records, Extents& extents, Axes measured) override;

 private:
  // How one input's records become the result's.
  struct Field {
    point::FieldPlace from;
    point::FieldPlace to;
  };
  struct Conversion {
    const point::RecordLayout* layout = nullptr;
    double scale[3] = {};
    double offset[3] = {};
    bool exact[3] = {};
    std::int64_t factor[3] = {};  // exact: the result's integer is in * factor + shift
    std::int64_t shift[3] = {};
    double ratio[3] = {};  // not exact: (in * scale + offset - offset') / scale'
    double move[3] = {};
    bool same_format = false;
    std::uint32_t standard = 0;  // the bytes of the standard fields
    std::vector<Field> fields;
    struct Extra {
      std::uint32_t from, to, size;
    };
    std::vector<Extra> extra;
    bool overlap_class = false;  // legacy class 12 is 1.4's overlap flag
    // Every byte of a record stays where it is: the input is laid out as
    // the result, at its scale and offset, and nothing in it is moved.
    bool as_they_are = false;
  };
  void place_as_they_are(const ScaledRecords& records, Extents& extents, Axes measured);
  void convert(const Conversion& c, const char* in, char* out);
  void place_wave(char* out);
  void prepare(const ScaledRecords& records);
  std::int32_t integer(double value, int axis);

  LasResult& result_;
  const Plan& plan_;
  std::uint32_t length_;
  Conversion conversion_;
  double rounded_by_ = 0;  // of the point being made
  // The wave packet fields of the result's records, where it has them,
  // and the input's waveform data in the result.
  bool waves_ = false;
  std::uint32_t wave_index_at_ = 0, wave_offset_at_ = 0, wave_size_at_ = 0;
  const WaveInput* wave_ = nullptr;
  std::string path_;
  bool told_unknown_ = false;
};

}  // namespace lasout

#endif  // STRATUMIX_WRITE_LAS_LAS_WRITER_H_
