// The points of a LAZ file in order, chunk after chunk: where the chunks
// are (the chunk table, or, without one, in sequence), and which of them
// are whole. A chunk is written only whole: one whose decoding does not end
// at its size, or that the file cuts, stops the reading before any of its
// points, keeping those of the chunks before it. A stream decoded a piece
// at a time (the point-wise compressor's, or one chunk of all the points)
// can only be found whole at its end: where it ends there is told.
#ifndef STRATUMIX_READ_LAZ_LAZ_POINTS_H_
#define STRATUMIX_READ_LAZ_LAZ_POINTS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/disk.h"
#include "read/laz/arithmetic_decoder.h"
#include "read/laz/chunk_decoder.h"
#include "read/laz/laszip_vlr.h"
#include "read/laz/layers.h"

namespace laz {

class ChunkPool;

class LazPoints {
 public:
  // The header's `point_count`, and `points_end`, where the points must
  // end as it says (where what follows them begins), 0 for the file's end.
  // `stream` gives the file's bytes from its first point byte on, in
  // order; `file` reads the chunk table where it lies (its read_at), at
  // `points_at` and on, the first point byte's place in the file.
  // Decodes chunks on `workers` threads when more than one, and of each
  // point what `layers` asks for.
  LazPoints(const Laszip& laszip, Layers layers, std::uint64_t point_count,
            std::uint64_t points_end, Refill& stream, ByteSource& file, std::uint64_t points_at,
            unsigned workers);
  ~LazPoints();
  LazPoints(const LazPoints&) = delete;
  LazPoints& operator=(const LazPoints&) = delete;

  // The next points, up to `count`, point_size() bytes each at `records`:
  // their coordinates, or their whole records; 0 at the end, or where
  // damage stops the reading, which problem() then describes.
  std::size_t next(const char*& records, std::size_t count);
  std::size_t point_size() const { return point_size_; }
  const std::string& problem() const { return problem_; }
  // Whether the problem was found once every point was handed: the
  // points are all given, but some may be wrong.
  bool problem_at_end() const { return problem_at_end_; }
  // Damage that cost no point (a chunk table that could not be used, the
  // chunks found whole without it), for a note; "" when there is none.
  const std::string& note() const { return note_; }

 private:
  // Takes `size` bytes of the stream; false when it ends first.
  bool take(std::size_t size, std::vector<unsigned char>& bytes);
  // Whether the chunk table at `table_at` is whole and fits the chunks'
  // bytes; where a file holds one that is not, table_damage_ says why.
  bool read_table(std::uint64_t table_at);
  // Which of the table's chunks the LAS header's count of points agrees
  // with, and what is said past them when not all.
  void agree_table();
  // The chunk size the table's first chunk has, where the LASzip record's
  // cannot be right: 0 when it is, or when none or several could be.
  std::uint64_t table_chunk_size() const;
  bool next_chunk();
  // A stream decoded in pieces is whole when it ends where the points end
  // (the point-wise stream) or where the chunk table begins (one chunk).
  void check_stream_end();
  bool next_tabled_chunk();
  bool next_sequential_chunk(std::uint32_t count);
  void damaged(const std::string& why);
  // Whether a chunk is larger than memory allows, said as the problem.
  bool too_large(std::uint64_t points, std::uint64_t bytes);

  // The bytes of the stream handed back by the decoder that read them.
  class Stream : public Refill {
   public:
    explicit Stream(Refill& source) : source_(source) {}
    bool more(const unsigned char*& next, const unsigned char*& end) override;
    bool take(std::size_t size, std::vector<unsigned char>& bytes);
    void hand_back(const unsigned char* next, const unsigned char* end) {
      taken_ -= static_cast<std::uint64_t>(end - next);
      next_ = next;
      end_ = end;
    }
    // The bytes taken so far.
    std::uint64_t taken() const { return taken_; }

   private:
    Refill& source_;
    std::uint64_t taken_ = 0;
    const unsigned char* next_ = nullptr;
    const unsigned char* end_ = nullptr;
  };

  const Laszip& laszip_;
  unsigned workers_;
  Layers layers_;
  std::size_t point_size_;
  std::uint64_t point_count_;
  // Points a chunk as the LASzip record says (0 there: all in one).
  std::uint64_t chunk_size_;
  std::uint64_t record_length_ = 0;
  Stream stream_;
  ByteSource& file_;
  std::uint64_t points_at_;
  std::uint64_t points_end_;
  bool started_ = false;
  bool at_end_ = false;  // the header's points all handed, the end checked
  bool tabled_ = false;
  // Where the file says the chunk table begins: where chunks read in
  // sequence must end.
  std::uint64_t table_at_ = 0;
  // The chunks' sizes in bytes and in points, from the table: those the
  // header's count agrees with, and what is said past them when not all.
  std::vector<std::uint32_t> chunk_bytes_;
  std::vector<std::uint32_t> chunk_points_;
  std::string past_table_;
  bool past_table_at_end_ = false;
  std::string table_damage_;
  std::size_t chunk_ = 0;
  std::uint64_t decoded_points_ = 0;  // of the chunks before the one at hand
  DecodedPoints decoded_;
  std::size_t handed_ = 0;  // of decoded_'s points
  std::size_t in_decoded_ = 0;
  // Chunks handed to the pool, and the first the file cut, if any.
  std::size_t submitted_ = 0;
  bool cut_ = false;
  std::uint64_t held_ = 0;  // by the chunks in flight
  std::unique_ptr<ChunkPool> pool_;
  // The point-wise stream, or one chunk of all the points, decoded a
  // piece at a time.
  std::unique_ptr<PointDecoder> point_wise_;
  Decoder decoder_;
  std::string problem_;
  bool problem_at_end_ = false;
  std::string note_;
};

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_LAZ_POINTS_H_
