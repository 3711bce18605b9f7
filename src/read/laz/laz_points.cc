#include "read/laz/laz_points.h"

#include <algorithm>
#include <cstring>

#include "num/bytes.h"
#include "num/number.h"
#include "read/laz/chunk_pool.h"

namespace laz {
namespace {

// Counts and places as the file holds them: unsigned, whatever their size.
std::string text(std::uint64_t value) { return number::uint_text(value); }

using bytes::little_endian;

// The points of a point-wise stream decoded at a time.
constexpr std::size_t kPiece = 50000;
// The chunk table is read in pieces of this size: a table that claims
// more chunks than there are costs no more memory than the chunks it holds.
constexpr std::size_t kTablePiece = std::size_t{64} << 10;
// What LASzip writes in place of the table's place when it could not go
// back to write it.
constexpr std::uint64_t kNoTablePlace = ~std::uint64_t{0};
// The largest chunk decoded, so that memory stays bounded: a chunk is held
// whole, compressed and decoded, until it is known to be whole. LASzip
// writes chunks of 50000 points unless told otherwise.
constexpr std::uint64_t kMostChunkPoints = std::uint64_t{1} << 21;
constexpr std::uint64_t kMostChunkBytes = std::uint64_t{32} << 20;
// And its points decoded: a chunk of records with thousands of extra bytes
// would otherwise be gigabytes (past what a 32-bit size even holds). The
// most points of up to 128 bytes fit, and LASzip's 50000 of up to 5368.
constexpr std::uint64_t kMostChunkDecoded = std::uint64_t{256} << 20;
// The chunks' bytes, compressed and decoded, that the workers hold at most
// (beyond the one chunk the reader waits for).
constexpr std::uint64_t kMostInFlight = std::uint64_t{32} << 20;

// The chunk table's bytes, read from the file a piece at a time.
class TableBytes : public Refill {
 public:
  TableBytes(ByteSource& file, std::uint64_t at, std::uint64_t chunks)
      : file_(file),
        at_(at),
        size_(piece_for(file, at, chunks)),
        piece_(new unsigned char[size_]) {}
  bool more(const unsigned char*& next, const unsigned char*& end) override {
    std::ptrdiff_t got = file_.read_at(at_, reinterpret_cast<char*>(piece_.get()), size_);
    if (got <= 0) return false;
    at_ += static_cast<std::uint64_t>(got);
    next = piece_.get();
    end = next + got;
    return true;
  }

 private:
  // No larger than the table can be, so that a small tile's table costs no
  // 64 KiB of memory: the bytes left in the file, or, where its size is not
  // known, ten bytes a chunk (two integers of 32 bits, coded) and the
  // coder's last four. A longer table is read in more pieces.
  static std::size_t piece_for(const ByteSource& file, std::uint64_t at, std::uint64_t chunks) {
    const std::int64_t size = file.plain_size();
    std::uint64_t most = 10 * chunks + 16;
    if (size >= 0)
      most = static_cast<std::uint64_t>(size) > at ? static_cast<std::uint64_t>(size) - at : 1;
    return static_cast<std::size_t>(std::min<std::uint64_t>(kTablePiece, most));
  }
  ByteSource& file_;
  std::uint64_t at_;
  std::size_t size_;
  std::unique_ptr<unsigned char[]> piece_;
};

}  // namespace

bool LazPoints::Stream::more(const unsigned char*& next, const unsigned char*& end) {
  while (next_ == end_) {
    if (!source_.more(next_, end_)) return false;
  }
  next = next_;
  end = end_;
  taken_ += static_cast<std::uint64_t>(end_ - next_);
  next_ = end_;
  return true;
}

bool LazPoints::Stream::take(std::size_t size, std::vector<unsigned char>& bytes) {
  bytes.clear();
  while (bytes.size() < size) {
    if (next_ == end_ && !source_.more(next_, end_)) return false;
    auto part = std::min(size - bytes.size(), static_cast<std::size_t>(end_ - next_));
    bytes.insert(bytes.end(), next_, next_ + part);
    next_ += part;
    taken_ += part;
  }
  return true;
}

// The count, the end and the place of the points are the header's three
// figures, each named where the reader hands them over.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
LazPoints::LazPoints(const Laszip& laszip, Layers layers, std::uint64_t point_count,
                     std::uint64_t points_end, Refill& stream, ByteSource& file,
                     std::uint64_t points_at, unsigned workers)
    : laszip_(laszip),
      workers_(workers),
      layers_(layers),
      point_size_(decoded_size(layers, record_length(laszip))),
      point_count_(point_count),
      // LAStools writes a chunk size of 0 for all the points in one chunk.
      chunk_size_(laszip.chunk_size != 0 ? laszip.chunk_size : point_count),
      stream_(stream),
      file_(file),
      points_at_(points_at),
      points_end_(points_end) {
  for (const LazItem& item : laszip.items) record_length_ += static_cast<std::uint64_t>(item.size);
}

LazPoints::~LazPoints() = default;

void LazPoints::damaged(const std::string& why) {
  problem_ = "the LAZ chunk that begins at point " + text(decoded_points_ + 1) + " is damaged (" +
             why + ")";
  // Or the counts that gave it its points are wrong: said too.
  if (tabled_ && !past_table_.empty()) problem_ += "; " + past_table_;
}

bool LazPoints::read_table(std::uint64_t table_at) {
  // Left unwritten: the table, if any, cannot be found.
  if (table_at == kNoTablePlace) return false;
  const std::string place = "its LAZ chunk table, said to begin at byte " + text(table_at) + ", ";
  if (table_at < points_at_ + 8) {
    table_damage_ = place + "lies before its chunks";
    return false;
  }
  unsigned char head[8];
  std::ptrdiff_t got = file_.read_at(table_at, reinterpret_cast<char*>(head), sizeof head);
  if (got < 0) return false;  // a file read in order only, with no table at hand
  if (got != sizeof head) {
    table_damage_ = place + "is cut short or lies past the file's end";
    return false;
  }
  std::uint64_t chunks = little_endian(head + 4, 4);
  if (little_endian(head, 4) != 0) {
    table_damage_ = place + "is of a version not read";
    return false;
  }
  // Each chunk holds at least a point and its first record whole: a table
  // that says more cannot be right, whatever memory it would take.
  const std::uint64_t span = table_at - points_at_ - 8;
  if (chunks == 0 || chunks > point_count_ ||
      chunks > span / std::max<std::uint64_t>(1, record_length_)) {
    table_damage_ = place + "gives " + text(chunks) + " chunks, for " + text(point_count_) +
                    " points in " + text(span) + " bytes";
    return false;
  }
  TableBytes bytes(file_, table_at + 8, chunks);
  Decoder decoder;
  decoder.set_input(nullptr, nullptr, &bytes);
  decoder.start();
  IntegerDecoder numbers(32, 2);
  bool variable = laszip_.chunk_size == kVariableChunks;
  std::int32_t last_points = 0, last_bytes = 0;
  std::uint64_t total_bytes = 0;
  chunk_bytes_.clear();
  chunk_points_.clear();
  for (std::uint64_t i = 0; i < chunks; ++i) {
    std::uint32_t points = 0;
    if (variable) {
      last_points = numbers.decode(decoder, last_points, 0);
      points = static_cast<std::uint32_t>(last_points);
    }
    last_bytes = numbers.decode(decoder, last_bytes, 1);
    auto size = static_cast<std::uint32_t>(last_bytes);
    if (decoder.past_end()) {
      table_damage_ =
          place + "is cut short after " + text(i) + " of its " + text(chunks) + " chunks";
      return false;
    }
    total_bytes += size;
    if ((variable && points == 0) || size == 0 || total_bytes > span) {
      table_damage_ = place + "does not fit its chunks' " + text(span) + " bytes";
      return false;
    }
    chunk_points_.push_back(points);
    chunk_bytes_.push_back(size);
  }
  // The chunks fill the space from the points' start to the table.
  if (total_bytes != span) {
    table_damage_ = place + "gives its chunks " + text(total_bytes) + " bytes, not the " +
                    text(span) + " they fill";
    return false;
  }
  agree_table();
  return true;
}

std::uint64_t LazPoints::table_chunk_size() const {
  // Chunks all full but the last: the record's size is right when the
  // table's count of chunks just holds the header's points with it.
  const std::uint64_t chunks = chunk_bytes_.size();
  const std::uint64_t lo = (point_count_ + chunks - 1) / chunks;
  const std::uint64_t hi = chunks == 1 ? point_count_ : (point_count_ - 1) / (chunks - 1);
  if (chunk_size_ >= lo && (chunks == 1 || chunk_size_ <= hi)) return 0;
  if (lo > hi) return 0;
  const std::uint32_t size = chunk_bytes_[0];
  if (size > kMostChunkBytes || size <= record_length_ + 4) return 0;
  std::vector<unsigned char> bytes(size);
  if (file_.read_at(points_at_ + 8, reinterpret_cast<char*>(bytes.data()), size) !=
      static_cast<std::ptrdiff_t>(size)) {
    return 0;
  }
  if (laszip_.compressor == Compressor::kLayered) {
    // A layered chunk says its count after its first record.
    std::uint64_t count = little_endian(bytes.data() + record_length_, 4);
    return count >= lo && count <= hi ? count : 0;
  }
  // The counts of points whose decoding ends exactly at the chunk's bytes:
  // the last points may take no byte of their own, so that several counts
  // do. Only one, in the range, is taken for the chunk's.
  Decoder decoder;
  decoder.set_input(bytes.data(), bytes.data() + size);
  PointDecoder points(laszip_);
  char scrap[kXyzSize];
  points.start(decoder, scrap);
  std::uint64_t first = 0, last = 0;
  const std::uint64_t most = std::min<std::uint64_t>(hi, kMostChunkPoints) + 1;
  for (std::uint64_t count = 1; count <= most; ++count) {
    if (decoder.past_end()) break;
    if (decoder.consumed() == size) {
      if (first == 0) first = count;
      last = count;
    }
    points.next(decoder, 1, scrap);
  }
  return first != 0 && first == last && first >= lo && first <= hi ? first : 0;
}

void LazPoints::agree_table() {
  // A table that fits the chunks' bytes outranks the LASzip record's chunk
  // size: its chunks are read where it puts them. Where the record's size
  // cannot make the table's count of chunks hold the header's points, the
  // size the first chunk decodes to is taken when it does; otherwise each
  // chunk has the record's count of points (the last the header's rest, if
  // fewer), and a chunk whose decoding then does not end at its bytes is
  // damaged. The header's count ends the chunks read.
  const bool variable = laszip_.chunk_size == kVariableChunks;
  if (!variable) {
    if (std::uint64_t found = table_chunk_size(); found != 0) {
      note_ = "the file is damaged: its LASzip record gives chunks of " +
              (laszip_.chunk_size == 0 ? std::string("all the points")
                                       : text(laszip_.chunk_size) + " points") +
              ", its chunk table chunks of " + text(found) + ", which are read";
      chunk_size_ = found;
    }
  }
  const std::size_t chunks = chunk_bytes_.size();
  std::uint64_t placed = 0;
  std::size_t agreed = 0;
  for (; agreed < chunks; ++agreed) {
    std::uint64_t left = point_count_ - placed;
    std::uint64_t points = variable ? chunk_points_[agreed] : std::min(chunk_size_, left);
    if (points == 0 || points > left || points > 0xffffffffu) break;
    chunk_points_[agreed] = static_cast<std::uint32_t>(points);
    placed += points;
  }
  chunk_points_.resize(agreed);
  chunk_bytes_.resize(agreed);
  if (agreed == chunks && placed == point_count_) return;
  std::string held = text(chunks) + (chunks == 1 ? " chunk" : " chunks");
  if (laszip_.chunk_size == 0)
    held += ", where the LASzip record gives all the points in one";
  else if (!variable)
    held += " of " + text(chunk_size_) + " points, as the LASzip record gives";
  if (placed < point_count_) {
    past_table_ = "the LAZ chunk table ends at point " + text(placed) + " (" + held +
                  "), before the " + text(point_count_) + " points the LAS header gives";
  } else {
    past_table_ = "the LAZ chunk table holds more points (" + held + ") than the LAS header's " +
                  text(point_count_);
    past_table_at_end_ = true;
  }
}

void LazPoints::check_stream_end() {
  stream_.hand_back(decoder_.next(), decoder_.end());
  std::uint64_t end = points_at_ + stream_.taken();
  std::uint64_t expected = 0;
  std::string where;
  if (laszip_.compressor != Compressor::kPointWise) {
    if (table_at_ == kNoTablePlace) return;
    expected = table_at_;
    where = "where its chunk table is said to begin";
  } else if (points_end_ > points_at_) {
    expected = points_end_;
    where = "where what follows the points begins";
  } else {
    // The stream is the file's last part: nothing follows it.
    expected = end;
    const unsigned char *next = nullptr, *last = nullptr;
    while (stream_.more(next, last)) expected += static_cast<std::uint64_t>(last - next);
    where = "where the file ends";
  }
  if (end == expected) return;
  problem_ = "the LAZ points' stream ends at byte " + text(end) + ", not at byte " +
             text(expected) + " " + where + ": it is damaged";
  problem_at_end_ = true;
}

std::size_t LazPoints::next(const char*& records, std::size_t count) {
  if (!started_) {
    started_ = true;
    if (laszip_.compressor == Compressor::kPointWise) {
      point_wise_ = std::make_unique<PointDecoder>(laszip_, layers_);
      decoder_.set_input(nullptr, nullptr, &stream_);
    } else {
      std::vector<unsigned char> head;
      if (!stream_.take(8, head)) {
        problem_ = "the file ends before its first LAZ chunk";
        return 0;
      }
      table_at_ = little_endian(head.data(), 8);
      // All the points in one chunk, more than are held at once: decoded
      // in pieces as the point-wise stream is, and found whole where the
      // table begins.
      if (laszip_.chunk_size == 0 && laszip_.compressor == Compressor::kChunked &&
          point_count_ > kMostChunkPoints) {
        point_wise_ = std::make_unique<PointDecoder>(laszip_, layers_);
        decoder_.set_input(nullptr, nullptr, &stream_);
        return next(records, count);
      }
      tabled_ = read_table(table_at_);
      // Chunks are decoded on every core when there are several of each.
      if (tabled_ && workers_ > 1 && chunk_bytes_.size() > 1)
        pool_ = std::make_unique<ChunkPool>(laszip_, workers_, layers_);
      if (!tabled_ && laszip_.chunk_size == kVariableChunks) {
        problem_ = "the LAZ chunk table, needed for chunks of varying sizes, cannot be read";
        if (!table_damage_.empty()) problem_ += ": " + table_damage_;
        return 0;
      }
    }
  }
  while (handed_ == in_decoded_) {
    if (!next_chunk()) return 0;
  }
  std::size_t n = std::min(count, in_decoded_ - handed_);
  records = decoded_.data() + handed_ * point_size_;
  handed_ += n;
  return n;
}

bool LazPoints::next_chunk() {
  decoded_points_ += in_decoded_;
  in_decoded_ = handed_ = 0;
  std::uint64_t left = point_count_ - decoded_points_;
  if (!problem_.empty()) return false;
  if (left == 0) {
    // Told once, however often the end is asked for.
    if (at_end_) return false;
    at_end_ = true;
    if (point_wise_ != nullptr) {
      check_stream_end();
    } else if (tabled_) {
      problem_ = past_table_;
      problem_at_end_ = past_table_at_end_;
    } else if (table_at_ != kNoTablePlace) {
      // Chunks read without their table are whole, as far as can be told,
      // when they end where the table begins.
      std::uint64_t end = points_at_ + stream_.taken();
      if (end != table_at_) {
        problem_ = "the LAZ chunks, read without their table, end at byte " + text(end) +
                   ", not at byte " + text(table_at_) +
                   " where the table is said to begin: a chunk or the table is damaged";
        problem_at_end_ = true;
      } else if (!table_damage_.empty()) {
        note_ = "the file is damaged: " + table_damage_ +
                "; its chunks, read in sequence without it, are whole";
      }
    }
    return false;
  }
  if (point_wise_ != nullptr) {
    // Fewer points a piece where records are long.
    const std::uint64_t most = std::max<std::uint64_t>(1, kMostChunkDecoded / point_size_);
    auto piece = static_cast<std::size_t>(std::min<std::uint64_t>({left, kPiece, most}));
    decoded_.resize(piece * point_size_);
    char* out = decoded_.data();
    if (decoded_points_ == 0) {
      point_wise_->start(decoder_, out);
      point_wise_->next(decoder_, piece - 1, out + point_size_);
    } else {
      point_wise_->next(decoder_, piece, out);
    }
    if (decoder_.past_end()) {
      problem_ = "the file ends inside the LAZ points, after point " + text(decoded_points_);
      return false;
    }
    in_decoded_ = piece;
    return true;
  }
  if (!tabled_) {
    // No chunk begins where the table does: the header's count, past the
    // chunks', would decode the table's bytes as points.
    std::uint64_t at = points_at_ + stream_.taken();
    if (table_at_ != kNoTablePlace && table_at_ > points_at_ && at >= table_at_) {
      problem_ = "the LAZ chunks, read without their table, reach byte " + text(table_at_) +
                 ", where the table is said to begin, after point " + text(decoded_points_) +
                 " of the " + text(point_count_) + " the LAS header gives";
      return false;
    }
    return next_sequential_chunk(
        static_cast<std::uint32_t>(std::min<std::uint64_t>(left, chunk_size_)));
  }
  return next_tabled_chunk();
}

bool LazPoints::too_large(std::uint64_t points, std::uint64_t bytes) {
  const std::uint64_t decoded = points * point_size_;
  if (points <= kMostChunkPoints && decoded > kMostChunkDecoded) {
    problem_ = "the LAZ chunk that begins at point " + text(decoded_points_ + 1) + " holds " +
               text(points) + " points of " + text(point_size_) + " bytes, " + text(decoded) +
               " bytes decoded, more than the program decodes at once (" + text(kMostChunkDecoded) +
               " bytes)";
    return true;
  }
  if (points <= kMostChunkPoints && bytes <= kMostChunkBytes) return false;
  problem_ = "the LAZ chunk that begins at point " + text(decoded_points_ + 1) + " holds " +
             text(points) + " points" +
             (bytes != 0 ? " in " + text(bytes) + " bytes" : std::string()) +
             ", more than the program reads in one chunk (" + text(kMostChunkPoints) + " points, " +
             text(kMostChunkBytes) + " bytes)";
  return true;
}

bool LazPoints::next_tabled_chunk() {
  if (chunk_ == chunk_bytes_.size()) {
    problem_ = past_table_;
    problem_at_end_ = past_table_at_end_;
    return false;
  }
  std::uint32_t points = chunk_points_[chunk_];
  auto size = static_cast<std::size_t>(chunk_bytes_[chunk_]);
  if (too_large(points, size)) return false;
  bool whole = false;
  if (pool_ == nullptr) {
    std::vector<unsigned char> bytes;
    if (!stream_.take(size, bytes)) {
      damaged("the file ends inside it");
      return false;
    }
    decoded_.resize(std::size_t{points} * point_size_);
    whole = decode_chunk(laszip_, bytes.data(), bytes.size(), points, decoded_.data(), layers_);
  } else {
    // A few chunks a worker in flight: enough to keep every worker busy
    // while this thread writes, and within the memory set aside.
    const std::size_t in_flight = std::size_t{3} * workers_;
    while (!cut_ && submitted_ < chunk_bytes_.size() && submitted_ - chunk_ < in_flight) {
      std::uint64_t held =
          chunk_bytes_[submitted_] + std::uint64_t{chunk_points_[submitted_]} * point_size_;
      // A chunk too large is said when its turn comes.
      bool oversized = chunk_points_[submitted_] > kMostChunkPoints ||
                       chunk_bytes_[submitted_] > kMostChunkBytes;
      if (submitted_ > chunk_ && (oversized || held_ + held > kMostInFlight)) break;
      std::vector<unsigned char> bytes;
      if (!stream_.take(static_cast<std::size_t>(chunk_bytes_[submitted_]), bytes)) {
        cut_ = true;
        break;
      }
      pool_->submit(submitted_, std::move(bytes), chunk_points_[submitted_]);
      held_ += held;
      ++submitted_;
    }
    if (chunk_ == submitted_) {
      damaged("the file ends inside it");
      return false;
    }
    whole = pool_->collect(chunk_, decoded_);
    held_ -= size + std::uint64_t{points} * point_size_;
  }
  if (!whole) {
    damaged("its decoding does not end at its " + text(size) + " bytes");
    return false;
  }
  ++chunk_;
  in_decoded_ = points;
  return true;
}

bool LazPoints::next_sequential_chunk(std::uint32_t points) {
  if (too_large(points, 0)) return false;
  decoded_.resize(std::size_t{points} * point_size_);
  if (laszip_.compressor == Compressor::kLayered) {
    // The chunk's sizes first: its first record, count and layer sizes.
    std::vector<unsigned char> bytes, body;
    if (!stream_.take(layered_head_size(laszip_), bytes)) {
      damaged("the file ends inside it");
      return false;
    }
    std::uint64_t body_size = layered_body_size(laszip_, bytes.data());
    if (too_large(points, body_size)) return false;
    if (!stream_.take(static_cast<std::size_t>(body_size), body)) {
      damaged("the file ends inside it");
      return false;
    }
    bytes.insert(bytes.end(), body.begin(), body.end());
    if (!decode_chunk(laszip_, bytes.data(), bytes.size(), points, decoded_.data(), layers_)) {
      damaged("its decoding does not end at its " + text(bytes.size()) + " bytes");
      return false;
    }
  } else {
    Decoder decoder;
    decoder.set_input(nullptr, nullptr, &stream_);
    PointDecoder chunk(laszip_, layers_);
    chunk.start(decoder, decoded_.data());
    chunk.next(decoder, points - 1, decoded_.data() + point_size_);
    if (decoder.past_end()) {
      damaged("the file ends inside it");
      return false;
    }
    stream_.hand_back(decoder.next(), decoder.end());
  }
  in_decoded_ = points;
  return true;
}

}  // namespace laz
