#include "write/las/laz_chunks.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "io/failure.h"
#include "io/threads.h"
#include "read/laz/arithmetic_encoder.h"
#include "read/laz/laz_encoder.h"

namespace lasout {

namespace {

// LASzip's chunks of 50 000 points: a reader seeks to any of them by the
// table at the end. Records so long that 50 000 pass 64 MiB (more than
// 1342 bytes, all extra bytes but for 30 or so) go in fewer a chunk: a few
// chunks a core are in memory at once, and a 32-bit program has 2 GiB.
constexpr std::uint32_t kChunkPoints = 50000;
constexpr std::uint32_t kMostChunkBytes = std::uint32_t{64} << 20;

std::uint32_t chunk_points(const Plan& plan) {
  return std::clamp<std::uint32_t>(kMostChunkBytes / std::max<std::uint32_t>(plan.record_length, 1),
                                   1, kChunkPoints);
}

laz::ChunkFormat chunk_format(const Plan& plan) {
  laz::ChunkFormat format;
  format.format = plan.format;
  format.record_length = plan.record_length;
  format.layered_version = 3;
  return format;
}

void put_le(char* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<char>(value >> (8 * i) & 0xff);
}

// One chunk on its way: its records, then its compressed bytes. Records
// lent by their input stay where they lie; the others are copied into the
// chunk's own block, made when the first is. `runs` lists them all in
// order.
struct Chunk {
  // Left as it comes: each record is written whole before it is read.
  std::unique_ptr<unsigned char[]> own;
  std::uint32_t owned = 0;       // records in `own`
  std::uint32_t own_listed = 0;  // of which `runs` lists the first ones
  std::vector<laz::RecordRun> runs;
  std::uint32_t count = 0;
  Totals totals;
  std::vector<unsigned char> bytes;
  bool done = false;
  // What stopped its compression (memory that ran out), thrown by the
  // thread that writes it, which can tell it.
  std::exception_ptr failure;
};

// Chunks compressed on every core, handed to the threads as they fill and
// written in their order, with at most a few in memory at once.
class LazChunks : public ChunkWriter {
 public:
  LazChunks(const Plan& plan, OutputFile& file, ChunkCompress compress)
      : compress_(compress),
        format_(chunk_format(plan)),
        chunk_points_(chunk_points(plan)),
        file_(file),
        length_(plan.record_length),
        table_pointer_at_(plan.point_offset()),
        extended_(plan.format >= 6) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    threads_ = static_cast<int>(std::min(cores, 16u));
    most_in_flight_ = static_cast<std::size_t>(threads_) + 2;
    current_ = std::make_shared<Chunk>();
  }
  ~LazChunks() override {
    {
      // Chunks not yet begun are never written: a job ended without
      // finish() failed or was stopped, and their records (lent ones
      // included) may be gone.
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.clear();
      stopping_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& thread : workers_) thread.join();
  }

  void begin() override {
    // Where the chunk table lies, told once it is written: until then none.
    char pointer[8];
    put_le(pointer, ~std::uint64_t{0}, 8);
    file_.write_block(pointer, 8);
  }

  char* slot() override {
    Chunk& c = *current_;
    if (c.own == nullptr)
      c.own.reset(new unsigned char[static_cast<std::size_t>(chunk_points_) * length_]);
    return reinterpret_cast<char*>(c.own.get()) + static_cast<std::size_t>(c.owned) * length_;
  }
  void placed() override {
    current_->totals.add(slot(), extended_);
    ++current_->owned;
    if (++current_->count == chunk_points_) hand_over();
  }
  Totals place_all(const char* records, std::size_t count) override {
    return take_all(records, count, false);
  }
  Totals lend_all(const char* records, std::size_t count) override {
    return take_all(records, count, true);
  }

  void finish() override {
    if (current_->count > 0) hand_over();
    while (!in_flight_.empty()) write_oldest();
    // The table: its version, the chunks, then each one's bytes coded as
    // LASzip codes them.
    const std::int64_t table_at = file_.position();
    std::vector<unsigned char> sizes;
    {
      laz::Encoder encoder(sizes);
      laz::IntegerEncoder numbers(32, 2);
      std::int32_t last = 0;
      for (std::uint32_t bytes : chunk_bytes_) {
        numbers.encode(encoder, last, static_cast<std::int32_t>(bytes), 1);
        last = static_cast<std::int32_t>(bytes);
      }
      encoder.done();
    }
    char head[8];
    put_le(head, 0, 4);
    put_le(head + 4, chunk_bytes_.size(), 4);
    file_.write_block(head, 8);
    file_.write_block(reinterpret_cast<const char*>(sizes.data()), sizes.size());
    char pointer[8];
    put_le(pointer, static_cast<std::uint64_t>(table_at), 8);
    if (!file_.write_at(table_pointer_at_, pointer, 8))
      throw Failure{1, "Cannot complete the chunk table of the result"};
  }

  Totals totals() const override {
    Totals all = written_;
    for (const auto& chunk : in_flight_) all.merge(chunk->totals);
    all.merge(current_->totals);
    return all;
  }

  std::uint64_t whole_points(std::int64_t bytes, Totals& totals, std::int64_t& end) override {
    // The chunks written whole up to `bytes`; the rest of the file goes,
    // and their table follows them.
    std::size_t whole = 0;
    while (whole < marks_.size() && marks_[whole].end <= bytes) ++whole;
    totals = whole == 0 ? Totals{} : marks_[whole - 1].totals;
    end = whole == 0 ? whole_start() : marks_[whole - 1].end;
    if (bytes < whole_start()) {
      end = -1;
      return 0;
    }
    std::vector<unsigned char> sizes;
    {
      laz::Encoder encoder(sizes);
      laz::IntegerEncoder numbers(32, 2);
      std::int32_t last = 0;
      for (std::size_t i = 0; i < whole; ++i) {
        numbers.encode(encoder, last, static_cast<std::int32_t>(chunk_bytes_[i]), 1);
        last = static_cast<std::int32_t>(chunk_bytes_[i]);
      }
      encoder.done();
    }
    std::string table(8, '\0');
    put_le(table.data() + 4, whole, 4);
    table.append(reinterpret_cast<const char*>(sizes.data()), sizes.size());
    char pointer[8];
    put_le(pointer, static_cast<std::uint64_t>(end), 8);
    if (!file_.write_at(end, table.data(), table.size()) ||
        !file_.write_at(table_pointer_at_, pointer, 8)) {
      totals = Totals{};
      end = -1;
      return 0;
    }
    end += static_cast<std::int64_t>(table.size());
    return totals.points;
  }

 private:
  struct Mark {
    std::int64_t end;  // of the chunk in the file
    Totals totals;     // of the points up to it
  };

  std::int64_t whole_start() const { return table_pointer_at_ + 8; }

  // The records, copied or `lent`, in as many chunks as they fill.
  Totals take_all(const char* records, std::size_t count, bool lent) {
    Totals all;
    while (count > 0) {
      Chunk& c = *current_;
      const std::size_t n = std::min(count, static_cast<std::size_t>(chunk_points_ - c.count));
      Totals run;
      run.add_run(records, n, length_, extended_);
      if (lent) {
        list_own(c);
        c.runs.push_back(
            {reinterpret_cast<const unsigned char*>(records), static_cast<std::uint32_t>(n)});
      } else {
        std::memcpy(slot(), records, n * length_);
        c.owned += static_cast<std::uint32_t>(n);
      }
      c.totals.merge(run);
      all.merge(run);
      c.count += static_cast<std::uint32_t>(n);
      records += n * length_;
      count -= n;
      if (c.count == chunk_points_) hand_over();
    }
    return all;
  }

  // The records copied since the last run listed, listed as one.
  void list_own(Chunk& c) const {
    if (c.owned == c.own_listed) return;
    c.runs.push_back(
        {c.own.get() + static_cast<std::size_t>(c.own_listed) * length_, c.owned - c.own_listed});
    c.own_listed = c.owned;
  }

  void hand_over() {
    list_own(*current_);
    while (in_flight_.size() >= most_in_flight_) write_oldest();
    if (workers_.empty())
      threads::start(workers_, static_cast<std::size_t>(threads_), [this] { work(); });
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(current_);
    }
    in_flight_.push_back(current_);
    work_ready_.notify_one();
    current_ = std::make_shared<Chunk>();
  }

  void write_oldest() {
    std::shared_ptr<Chunk> oldest = in_flight_.front();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      chunk_done_.wait(lock, [&] { return oldest->done; });
    }
    in_flight_.pop_front();
    if (oldest->failure != nullptr) std::rethrow_exception(oldest->failure);
    file_.write_block(reinterpret_cast<const char*>(oldest->bytes.data()), oldest->bytes.size());
    chunk_bytes_.push_back(static_cast<std::uint32_t>(oldest->bytes.size()));
    written_.merge(oldest->totals);
    marks_.push_back({file_.position(), written_});
  }

  void work() {
    for (;;) {
      std::shared_ptr<Chunk> chunk;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        chunk = queue_.front();
        queue_.pop_front();
      }
      try {
        compress_(format_, laz::RecordRuns{chunk->runs.data(), chunk->runs.size()}, chunk->bytes);
      } catch (...) {
        // Out of this thread, it would end the program.
        chunk->failure = std::current_exception();
      }
      chunk->own.reset();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        chunk->done = true;
      }
      chunk_done_.notify_all();
    }
  }

  ChunkCompress compress_;
  laz::ChunkFormat format_;
  std::uint32_t chunk_points_;
  OutputFile& file_;
  std::uint32_t length_;
  std::int64_t table_pointer_at_;
  bool extended_;
  int threads_ = 1;
  std::size_t most_in_flight_ = 3;
  std::shared_ptr<Chunk> current_;
  std::deque<std::shared_ptr<Chunk>> in_flight_;  // in their order
  std::vector<std::uint32_t> chunk_bytes_;        // of those written
  Totals written_;
  std::vector<Mark> marks_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable chunk_done_;
  std::deque<std::shared_ptr<Chunk>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

std::string laszip_record_for(const Plan& plan) {
  return laz::laszip_vlr_for(chunk_format(plan), chunk_points(plan), false).substr(54);
}

std::unique_ptr<ChunkWriter> make_laz_chunks(const Plan& plan, OutputFile& file,
                                             ChunkCompress compress) {
  return std::make_unique<LazChunks>(plan, file, compress);
}

}  // namespace lasout
