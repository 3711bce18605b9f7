// The point file format: numbers separated by white space, three to a
// point (X, Y, Z), read from any byte source and written one point a line.
#ifndef STRATUMIX_POINTS_H_
#define STRATUMIX_POINTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disk.h"
#include "number.h"
#include "output_file.h"

struct Point {
  number::Parsed xyz[3];
};

// Streams the points of one file through a fixed buffer, in constant
// memory. The text is read as a text file: CR is white space like LF, and a
// Ctrl-Z byte ends it.
class PointReader {
 public:
  static constexpr std::size_t kDefaultBufferSize = 1 << 20;

  explicit PointReader(ByteSource& source, std::size_t buffer_size = kDefaultBufferSize);

  // Reads the next whole point. Returns false at the end of the text, or at
  // text that is not a point, which problem() then describes.
  bool next(Point& point);

  // Empty at the clean end of the text; otherwise what stopped the reading,
  // for a message: the line and the text, shortened.
  const std::string& problem() const { return problem_; }

 private:
  enum class Word { kFound, kEnd, kTooLong };
  // Finds the next word, [word_first_, position_), starting a new point
  // there when `starts_point`.
  Word next_word(bool starts_point);
  bool refill();
  void set_problem(std::int64_t line, const std::string& what);

  ByteSource& source_;
  std::vector<char> buffer_;
  // Offsets into buffer_: the current point's text, the current word, the
  // end of what was read and is not yet parsed.
  std::size_t point_first_ = 0;
  std::size_t word_first_ = 0;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  bool source_ended_ = false;
  std::int64_t line_ = 1;
  std::int64_t point_line_ = 1;
  std::string problem_;
};

// The longest line write_point can produce.
constexpr std::size_t kMaxPointLine = 3 * (number::kMaxFixed6Length + 1) + 1;

// Writes the point as "%lf %lf %lf\n" writes it, ended by CR LF.
void write_point(OutputFile& file, const Point& point);

#endif  // STRATUMIX_POINTS_H_
