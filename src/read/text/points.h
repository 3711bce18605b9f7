// The point file format: numbers separated by white space, three to a
// point (X, Y, Z), read from any byte source and written one point a line.
#ifndef STRATUMIX_READ_TEXT_POINTS_H_
#define STRATUMIX_READ_TEXT_POINTS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "io/disk.h"
#include "io/input_buffer.h"
#include "io/read_ahead.h"
#include "num/extent.h"
#include "read/point_input.h"
#include "read/point_sink.h"
#include "read/text/block_tail.h"
#include "read/text/run_loop.h"

// Streams the points of one file through a fixed buffer, in constant
// memory. The text is read as a text file: CR is white space like LF, and a
// Ctrl-Z byte ends it.
class PointReader : public PointInput {
 public:
  // Keeps the extents of `axes`.
  explicit PointReader(ByteSource& source, std::size_t buffer_size = kIoBlockSize,
                       Axes axes = Axes::kXYZ);
  // Takes the read-ahead's blocks over whole, where they hold the buffer,
  // and has the reading thread copy the tail of each (block_tail.h) the
  // quick way `quick`, if any: the one of the sinks it will be given.
  explicit PointReader(ReadAhead& ahead, std::size_t buffer_size = kIoBlockSize,
                       Axes axes = Axes::kXYZ, const QuickText* quick = nullptr);

  // Reads the next whole point. Returns false at the end of the text, or at
  // text that is not a point, which problem() then describes.
  bool next(Point& point);

  // The same as next() then sink.point(), adding the point to `extents`,
  // for `count` points; returns how many. Fewer only at the
  // end of the text or at text that is not a point; more when the reading
  // thread had copied the points that followed already. Where the sink has
  // quick ways, plain decimals, the bulk of real files, go straight from
  // one buffer to the other as text, many points a call.
  std::int64_t copy_points(PointSink& sink, Extents& extents, std::int64_t count) override;

  // Empty at the clean end of the text; otherwise what stopped the reading,
  // for a message: the line and the text, shortened.
  const std::string& problem() const override { return problem_; }
  std::int64_t points() const override { return pasted_; }

 private:
  enum class Word { kFound, kEnd, kTooLong };
  // Finds the next word, [word_first_, position_), starting a new point
  // there when `starts_point`.
  Word next_word(bool starts_point);
  bool refill();
  void drop_white_space(std::size_t first);
  std::size_t squeeze_point(std::size_t last);
  void take_read(std::size_t got, bool clear_of_ctrl_z);
  std::int64_t copy_quickly(PassThrough& pass, Extents& extents, std::int64_t count);
  // Where the points the reading thread copied begin, if they are still to
  // come: an offset into buffer_, or none.
  static constexpr std::size_t kNoTail = ~std::size_t{0};
  std::size_t tail_start();
  // What the reading thread made of the block in buffer_, if anything.
  BlockTail* block_tail();
  std::int64_t take_tail(PassThrough& pass, Extents& extents);
  void share_tail_work();
  bool copy_next_slowly(PointSink& sink, Extents& extents);
  // Describes a problem with the text from `offset` on.
  void set_problem(std::size_t offset, const std::string& what);

  Axes measured_;  // the axes whose extents are kept
  // What was read, then what kTextSlack asks for. Over a read-ahead, its
  // blocks taken whole: what the reading thread made of them (the
  // read-ahead keeps it), and the share of each block it is to copy, in
  // 64ths.
  InputBuffer buffer_;
  BlockTails* tails_ = nullptr;
  const QuickText* tails_quick_ = nullptr;  // the way the tails are copied
  int tail_share_ = BlockTail::kShares / 2;
  // Offsets into buffer_: the current point's text, the current word, the
  // end of what was read and is not yet parsed.
  std::size_t point_first_ = 0;
  std::size_t word_first_ = 0;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  bool source_ended_ = false;
  bool stopped_ = false;  // next() said no: nothing more comes
  // The line ends in the white space passed over, which is every line end
  // before position_: counted on the way, as the separators are read
  // anyway, for the line numbers of messages.
  std::int64_t line_ends_ = 0;
  bool cr_passed_at_end_ = false;
  std::int64_t line_ends_dropped_ = 0;  // from the current point's text
  std::string problem_;
  std::int64_t pasted_ = 0;  // by copy_points
};

#endif  // STRATUMIX_READ_TEXT_POINTS_H_
