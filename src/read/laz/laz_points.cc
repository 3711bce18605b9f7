#include "read/laz/laz_points.h"

#include <algorithm>
#include <cstring>

#include "num/number.h"
#include "read/laz/chunk_pool.h"

namespace laz {
namespace {

std::string text(std::uint64_t value) {
  char digits[number::kMaxIntLength];
  char* end = number::format_int(static_cast<std::int64_t>(value), digits);
  return std::string(digits, end);
}

std::uint64_t little_endian(const unsigned char* p, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

// The points of a point-wise stream decoded at a time.
constexpr std::size_t kPiece = 50000;
// A chunk table longer than this is taken for damage: a real one holds a
// few bytes a chunk, and chunks of thousands of points.
constexpr std::uint64_t kLongestTable = std::uint64_t{64} << 20;
// The largest chunk decoded, so that memory stays bounded: a chunk is held
// whole, compressed and decoded, until it is known to be whole. LASzip
// writes chunks of 50000 points unless told otherwise.
constexpr std::uint64_t kMostChunkPoints = std::uint64_t{1} << 21;
constexpr std::uint64_t kMostChunkBytes = std::uint64_t{32} << 20;
// The chunks' bytes, compressed and decoded, that the workers hold at most
// (beyond the one chunk the reader waits for).
constexpr std::uint64_t kMostInFlight = std::uint64_t{32} << 20;

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

LazPoints::LazPoints(const Laszip& laszip, Layers layers, std::uint64_t point_count, Refill& stream,
                     ByteSource& file, std::uint64_t points_at, unsigned workers)
    : laszip_(laszip),
      workers_(workers),
      layers_(layers),
      point_size_(decoded_size(layers, record_length(laszip))),
      point_count_(point_count),
      stream_(stream),
      file_(file),
      points_at_(points_at) {}

LazPoints::~LazPoints() = default;

void LazPoints::damaged(const std::string& why) {
  problem_ = "the LAZ chunk that begins at point " + text(decoded_points_ + 1) + " is damaged (" +
             why + ")";
}

bool LazPoints::read_table(std::uint64_t table_at) {
  unsigned char head[8];
  if (table_at < points_at_ + 8 ||
      file_.read_at(table_at, reinterpret_cast<char*>(head), sizeof head) != sizeof head) {
    return false;
  }
  std::uint64_t chunks = little_endian(head + 4, 4);
  if (little_endian(head, 4) != 0 || chunks == 0 || chunks > point_count_) return false;
  // At most 5 bytes a number, two numbers a chunk.
  std::uint64_t longest = 10 * chunks + 16;
  if (longest > kLongestTable) return false;
  std::vector<unsigned char> table(static_cast<std::size_t>(longest));
  std::ptrdiff_t got =
      file_.read_at(table_at + 8, reinterpret_cast<char*>(table.data()), table.size());
  if (got < 0) return false;
  Decoder decoder;
  decoder.set_input(table.data(), table.data() + got);
  decoder.start();
  IntegerDecoder numbers(32, 2);
  bool variable = laszip_.chunk_size == kVariableChunks;
  std::int32_t last_points = 0, last_bytes = 0;
  std::uint64_t total_points = 0, total_bytes = 0;
  chunk_bytes_.clear();
  chunk_points_.clear();
  for (std::uint64_t i = 0; i < chunks; ++i) {
    std::uint64_t points = laszip_.chunk_size;
    if (variable) {
      last_points = numbers.decode(decoder, last_points, 0);
      points = static_cast<std::uint32_t>(last_points);
    } else if (i + 1 == chunks) {
      points = point_count_ - total_points;
    }
    last_bytes = numbers.decode(decoder, last_bytes, 1);
    auto bytes = static_cast<std::uint32_t>(last_bytes);
    if (points == 0 || points > laszip_.chunk_size || bytes == 0 || decoder.past_end())
      return false;
    total_points += points;
    total_bytes += bytes;
    chunk_points_.push_back(static_cast<std::uint32_t>(points));
    chunk_bytes_.push_back(bytes);
  }
  // The chunks fill the space from the points' start to the table, and
  // hold the header's points.
  return total_points == point_count_ && points_at_ + 8 + total_bytes == table_at;
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
      tabled_ = read_table(table_at_);
      // Chunks are decoded on every core when there are several of each.
      if (tabled_ && workers_ > 1 && chunk_bytes_.size() > 1)
        pool_ = std::make_unique<ChunkPool>(laszip_, workers_, layers_);
      if (!tabled_ && laszip_.chunk_size == kVariableChunks) {
        problem_ = "the LAZ chunk table, needed for chunks of varying sizes, cannot be read";
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
    // Chunks read without their table are whole, as far as can be told,
    // when they end where the table begins (unless its place was left
    // unwritten, as all ones).
    std::uint64_t end = points_at_ + stream_.taken();
    if (point_wise_ == nullptr && !tabled_ && table_at_ != ~std::uint64_t{0} && end != table_at_) {
      problem_ = "the LAZ chunks, read without their table, end at byte " + text(end) +
                 ", not at byte " + text(table_at_) +
                 " where the table is said to begin: a chunk or the table is damaged";
    }
    return false;
  }
  if (point_wise_ != nullptr) {
    auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
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
    return next_sequential_chunk(
        static_cast<std::uint32_t>(std::min<std::uint64_t>(left, laszip_.chunk_size)));
  }
  return next_tabled_chunk();
}

bool LazPoints::too_large(std::uint64_t points, std::uint64_t bytes) {
  if (points <= kMostChunkPoints && bytes <= kMostChunkBytes) return false;
  problem_ = "the LAZ chunk that begins at point " + text(decoded_points_ + 1) + " holds " +
             text(points) + " points" +
             (bytes != 0 ? " in " + text(bytes) + " bytes" : std::string()) +
             ", more than the program reads in one chunk (" + text(kMostChunkPoints) + " points, " +
             text(kMostChunkBytes) + " bytes)";
  return true;
}

bool LazPoints::next_tabled_chunk() {
  if (chunk_ == chunk_bytes_.size()) return false;
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
      std::uint64_t held = chunk_bytes_[submitted_] + chunk_points_[submitted_] * point_size_;
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
