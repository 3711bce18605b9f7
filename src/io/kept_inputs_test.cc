#include "io/kept_inputs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fake_disk.h"
#include "io/peeked_source.h"

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

// Bytes kept elsewhere are lent from where their reading began, through a
// peek at their first bytes too, as long as what the peek gives is theirs
// from that place; bytes a source owns go with it, and are never lent.
TEST(KeptSource, LendsOnlyBytesKeptElsewhere) {
  const std::string block = "headLASF0123456789";
  const std::string_view kept = std::string_view(block).substr(4);
  EXPECT_EQ(KeptSource(kept, 0).lasting_bytes().data(), kept.data());
  EXPECT_EQ(KeptSource(kept, 4).lasting_bytes(), "0123456789");
  EXPECT_TRUE(KeptSource(std::string(kept)).lasting_bytes().empty());
  PeekedSource peeked(std::make_unique<KeptSource>(kept, 0));
  EXPECT_EQ(peeked.lasting_bytes().data(), kept.data());
  peeked.pass_over(2);
  EXPECT_EQ(peeked.lasting_bytes(), "SF0123456789");
  EXPECT_EQ(all_of(peeked, 5), "SF0123456789");
  PeekedSource owned(std::make_unique<KeptSource>(std::string(kept)));
  EXPECT_TRUE(owned.lasting_bytes().empty());
}

// A disk that lets inputs be read ahead, as the system's does.
class Ahead : public MemoryDisk {
 public:
  bool reads_ahead() const override { return true; }
};

TEST(KeptInputs, KeepsWithinItsBoundsAndGivesEachInputOnce) {
  Ahead disk;
  disk.files["a.las"] = "LASFaaaaaa";  // 10 bytes
  disk.files["b.las"] = "LASFbbbbb";
  disk.files["c.las"] = "LASFcc";
  disk.files["d.las"] = "LASFddddddd";  // 11: larger than any kept
  const std::vector<std::string> inputs = {"a.las", "b.las", "c.las", "d.las", "none.las"};
  // Room for a (11 with the byte that tells growth) and c (7), not for b
  // between them (10 more would pass 20).
  KeptInputs kept(inputs.size(), {10, 20});
  kept.make_room(disk, inputs);
  std::string reason;
  for (std::size_t i = 0; i < inputs.size(); ++i)
    EXPECT_EQ(kept.check_and_keep(disk, i, inputs[i], "LASF", reason), i != 4) << inputs[i];
  EXPECT_EQ(disk.events, (std::vector<std::string>{"read a.las", "read c.las"}));
  ASSERT_NE(kept.kept(0, "a.las"), nullptr);
  EXPECT_EQ(*kept.kept(0, "a.las"), "LASFaaaaaa");
  EXPECT_EQ(kept.kept(1, "b.las"), nullptr);
  EXPECT_EQ(kept.kept(3, "d.las"), nullptr);
  EXPECT_EQ(kept.kept(7, "a.las"), nullptr);  // no such input
  // Another file's name at that place: opened as any other.
  EXPECT_EQ(kept.take(0, "c.las"), nullptr);
  std::unique_ptr<ByteSource> a = kept.take(0, "a.las");
  std::unique_ptr<ByteSource> c = kept.take(2, "c.las");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(c, nullptr);
  // Each its own bytes, side by side in the block and none of the other's.
  EXPECT_EQ(c->plain_size(), 6);
  EXPECT_EQ(all_of(*a, 4), "LASFaaaaaa");
  EXPECT_EQ(all_of(*c, 4), "LASFcc");
  // Once.
  EXPECT_EQ(kept.take(0, "a.las"), nullptr);
  EXPECT_EQ(kept.kept(2, "c.las"), nullptr);
}

TEST(KeptInputs, TheCheckOpensAPlainFileOnceAndKeepsWhatBeginsAsAsked) {
  Ahead disk;
  disk.files["a.las"] = "LASF and the rest";
  disk.files["t.xyz"] = "1 2 3\n";
  disk.files["big.las"] = "LASF" + std::string(20, 'x');
  const std::vector<std::string> inputs = {"a.las", "t.xyz", "big.las", "none.las"};
  KeptInputs kept(4, {20, 64});
  kept.make_room(disk, inputs);
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

  // A file that grew since its room was set aside is read, not kept.
  disk.files["a.las"] += " and more";
  KeptInputs grown(1, {64, 64});
  grown.make_room(disk, {"a.las"});
  disk.files["a.las"] += "!";
  EXPECT_TRUE(grown.check_and_keep(disk, 0, "a.las", "LASF", reason));
  EXPECT_EQ(grown.kept(0, "a.las"), nullptr);

  // A disk that reads nothing ahead is only asked.
  MemoryDisk plain = disk;
  plain.events.clear();
  KeptInputs none(1, {20, 64});
  none.make_room(plain, {"a.las"});
  EXPECT_TRUE(none.check_and_keep(plain, 0, "a.las", "LASF", reason));
  EXPECT_EQ(none.kept(0, "a.las"), nullptr);
  EXPECT_TRUE(plain.events.empty());
}

}  // namespace
