// A chunk's records in runs that need not lie together: a merge's tiles,
// each compressed where it was read rather than copied into one block
// first. The encoders walk them in order, as one list of records.
#ifndef STRATUMIX_READ_LAZ_RECORD_RUNS_H_
#define STRATUMIX_READ_LAZ_RECORD_RUNS_H_

#include <cstddef>
#include <cstdint>

namespace laz {

// `count` records one after another from `records`.
struct RecordRun {
  const unsigned char* records = nullptr;
  std::uint32_t count = 0;
};

struct RecordRuns {
  const RecordRun* runs = nullptr;
  std::size_t size = 0;

  std::uint64_t count() const {
    std::uint64_t all = 0;
    for (std::size_t i = 0; i < size; ++i) all += runs[i].count;
    return all;
  }
  // The first record; null where there is none.
  const unsigned char* first() const {
    for (std::size_t i = 0; i < size; ++i)
      if (runs[i].count != 0) return runs[i].records;
    return nullptr;
  }
  // Calls each(record) for every record after the first, in order: a loop
  // over each run's records as tight as over one block's.
  template <typename Each>
  void after_first(std::size_t length, Each&& each) const {
    bool first_passed = false;
    for (std::size_t i = 0; i < size; ++i) {
      const unsigned char* p = runs[i].records;
      const unsigned char* end = p + std::size_t{runs[i].count} * length;
      if (!first_passed && p != end) {
        p += length;
        first_passed = true;
      }
      for (; p != end; p += length) each(p);
    }
  }
};

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_RECORD_RUNS_H_
