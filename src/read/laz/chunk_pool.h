// Chunks decoded on every core: a chunk is independent of the others, so
// workers decode them each into its own buffer while the reader writes
// those before in order. The reader hands in a chunk only while few are in
// flight, so that memory stays bounded whatever the file's length.
#ifndef STRATUMIX_READ_LAZ_CHUNK_POOL_H_
#define STRATUMIX_READ_LAZ_CHUNK_POOL_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "read/laz/chunk_decoder.h"
#include "read/laz/laszip_vlr.h"
#include "read/laz/layers.h"

namespace laz {

// How a chunk is decoded: decode_chunk, or what a test puts in its place.
using ChunkDecode = bool (*)(const Laszip& laszip, const unsigned char* bytes, std::size_t size,
                             std::uint32_t count, char* out, Layers layers);

class ChunkPool {
 public:
  // Decodes the `layers` asked for.
  ChunkPool(const Laszip& laszip, unsigned workers, Layers layers = kXyzOnly,
            ChunkDecode decode = decode_chunk);
  ~ChunkPool();
  ChunkPool(const ChunkPool&) = delete;
  ChunkPool& operator=(const ChunkPool&) = delete;

  // Chunk number `index`: its bytes and its count of points.
  void submit(std::size_t index, std::vector<unsigned char> bytes, std::uint32_t points);
  // Waits for chunk `index`, submitted before: its points into `decoded`,
  // and whether it was whole. What stopped a worker decoding it (memory
  // that ran out) is thrown here, in the reader's thread, which can tell it.
  bool collect(std::size_t index, DecodedPoints& decoded);

 private:
  struct Job {
    std::size_t index;
    std::vector<unsigned char> bytes;
    std::uint32_t points;
  };
  // Made when its chunk is submitted, so that a worker allocates nothing
  // outside its decoding, which may fail.
  struct Result {
    bool done = false;
    bool whole = false;
    DecodedPoints decoded;
    std::exception_ptr failure;
  };
  void work();

  const Laszip& laszip_;
  Layers layers_;
  ChunkDecode decode_;
  std::size_t point_size_;
  std::mutex mutex_;
  std::condition_variable job_ready_;
  std::condition_variable result_ready_;
  std::deque<Job> jobs_;
  std::map<std::size_t, Result> results_;
  // The buffers of chunks collected and done with, for the next chunks to
  // decode into: a new one would be memory fresh from the system, each of
  // its pages found again.
  // One a worker at most, and no more bytes than the chunks in flight may
  // hold.
  std::vector<DecodedPoints> spare_;
  std::size_t spare_bytes_ = 0;
  static constexpr std::size_t kMostSpareBytes = std::size_t{32} << 20;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_CHUNK_POOL_H_
