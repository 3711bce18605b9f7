#include "io/kept_inputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_disk.h"

namespace {

std::string all_of(ByteSource& source, std::size_t piece) {
  std::string bytes;
  std::string buffer(piece, '\0');
  for (std::size_t got; (got = source.read(buffer.data(), piece)) != 0;)
    bytes.append(buffer, 0, got);
  return bytes;
}

TEST(KeptSource, GivesItsBytesInOrderAndFromAnyPlace) {
  KeptSource source("0123456789");
  EXPECT_EQ(source.plain_size(), 10);
  char at[4] = {};
  // Read from any place without moving the reading in order.
  EXPECT_EQ(source.read_at(7, at, 4), 3);
  EXPECT_EQ(std::string(at, 3), "789");
  EXPECT_EQ(source.read_at(10, at, 4), 0);
  EXPECT_EQ(all_of(source, 3), "0123456789");
  // Its end stays its end.
  EXPECT_EQ(source.read(at, 4), 0u);
  EXPECT_EQ(source.read_at(2, at, 2), 2);
  EXPECT_EQ(std::string(at, 2), "23");
}

TEST(KeptInputs, KeepsWithinItsBoundsAndGivesEachInputOnce) {
  KeptInputs kept(4, {10, 16});
  EXPECT_TRUE(kept.has_room(10));
  EXPECT_FALSE(kept.has_room(11));  // larger than any file kept
  EXPECT_FALSE(kept.has_room(-1));  // no plain file
  std::string a = "aaaaaaaaaa";
  std::string b = "bbbbbbb";
  std::string c = "cccccc";
  ASSERT_TRUE(kept.keep(0, "a.las", a));
  EXPECT_FALSE(kept.has_room(7));
  // Past the bound of all: not kept, and left to the caller.
  EXPECT_FALSE(kept.keep(1, "b.las", b));
  EXPECT_EQ(b, "bbbbbbb");
  EXPECT_TRUE(kept.keep(2, "c.las", c));
  EXPECT_FALSE(kept.keep(4, "d.las", b));  // no such input
  // Another file's name at that place, or a place with nothing kept:
  // opened as any other.
  EXPECT_EQ(kept.take(0, "c.las"), nullptr);
  EXPECT_EQ(kept.take(1, "b.las"), nullptr);
  std::unique_ptr<ByteSource> taken = kept.take(0, "a.las");
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(all_of(*taken, 4), "aaaaaaaaaa");
  EXPECT_EQ(kept.take(0, "a.las"), nullptr);
  taken = kept.take(2, "c.las");
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->plain_size(), 6);
  // What was taken is not room again: the bound is of all read before the job.
  EXPECT_FALSE(kept.has_room(1));
}

TEST(KeptInputs, TheCheckOpensAPlainFileOnceAndKeepsWhatBeginsAsAsked) {
  class Ahead : public MemoryDisk {
   public:
    bool reads_ahead() const override { return true; }
  } disk;
  disk.files["a.las"] = "LASF and the rest";
  disk.files["t.xyz"] = "1 2 3\n";
  disk.files["big.las"] = "LASF" + std::string(20, 'x');
  KeptInputs kept(4, {20, 64});
  std::string reason;
  EXPECT_TRUE(kept.check_and_keep(disk, 0, "a.las", "LASF", reason));
  EXPECT_TRUE(kept.check_and_keep(disk, 1, "t.xyz", "LASF", reason));
  EXPECT_TRUE(kept.check_and_keep(disk, 2, "big.las", "LASF", reason));
  EXPECT_FALSE(kept.check_and_keep(disk, 3, "none.las", "LASF", reason));
  EXPECT_EQ(reason, "No such file or directory");
  ASSERT_NE(kept.kept(0, "a.las"), nullptr);
  EXPECT_EQ(*kept.kept(0, "a.las"), "LASF and the rest");
  EXPECT_EQ(kept.kept(1, "t.xyz"), nullptr);    // no LAS file
  EXPECT_EQ(kept.kept(2, "big.las"), nullptr);  // larger than any kept
  // Read whole, a few bytes a read as this disk gives them; the large
  // one only checked, never read.
  EXPECT_EQ(disk.events, (std::vector<std::string>{"read a.las", "read t.xyz"}));
  // Left in place until taken.
  EXPECT_NE(kept.take(0, "a.las"), nullptr);
  EXPECT_EQ(kept.kept(0, "a.las"), nullptr);

  // A disk that reads nothing ahead is only asked.
  MemoryDisk plain = disk;
  plain.events.clear();
  KeptInputs none(1, {20, 64});
  EXPECT_TRUE(none.check_and_keep(plain, 0, "a.las", "LASF", reason));
  EXPECT_EQ(none.kept(0, "a.las"), nullptr);
  EXPECT_TRUE(plain.events.empty());
}

}  // namespace
