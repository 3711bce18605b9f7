// The reading thread's share of the work on a block of a point file: the
// points of its tail, from the first line end past where the share begins,
// copied to storage of their own, on the chance that a point begins there,
// as in most files, where each line holds one. The reader checks that
// chance when it comes there, and either takes what was copied or does the
// work itself.
#ifndef STRATUMIX_READ_TEXT_BLOCK_TAIL_H_
#define STRATUMIX_READ_TEXT_BLOCK_TAIL_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "io/read_ahead.h"
#include "num/extent.h"
#include "read/point_sink.h"

struct BlockTail {
  // How much of the block the tail is, in 64ths, as the reader last asked:
  // set before the storage goes back to the reading thread.
  static constexpr int kShares = 64;
  int share = kShares / 2;
  // Offsets into the block: `stop`, where the white space before the tail
  // begins, so where the reader must be to take it, and `end`.
  std::size_t stop = 0;
  std::size_t end = 0;
  std::int64_t points = 0;     // none: nothing to take
  std::int64_t line_ends = 0;  // from `stop` to `end`
  Axes axes = Axes::kXYZ;      // those the reader measures
  Extents extents;
  std::unique_ptr<char[]> out;  // left as it comes: only what is copied is written
  std::size_t out_room = 0;
  std::size_t out_size = 0;
  bool clear_of_ctrl_z = false;  // the block has none: the reader need not look

  // Nothing of the block: what the storage holds now is no block of the
  // reading thread's.
  void forget() {
    points = 0;
    clear_of_ctrl_z = false;
  }
  // The work on a block of `size` bytes, of the `block_size` asked for, at
  // `text`, with room for kTextSlack bytes behind it, copied by `quick`.
  void copy_from(const QuickText& quick, char* text, std::size_t size, std::size_t block_size);
};

// The tails of the blocks in each of the read-ahead's storages, made by
// the reading thread, each read by the reader while the storage is its.
class BlockTails : public BlockWork {
 public:
  BlockTails(Axes axes, const QuickText& quick) : quick_(quick) {
    for (BlockTail& tail : tails_) tail.axes = axes;
  }
  BlockTail& of(int storage) { return tails_[storage]; }
  void work(int storage, char* text, std::size_t size, std::size_t block_size) override {
    tails_[storage].copy_from(quick_, text, size, block_size);
  }

 private:
  const QuickText& quick_;
  BlockTail tails_[ReadAhead::kStorages];
};

#endif  // STRATUMIX_READ_TEXT_BLOCK_TAIL_H_
