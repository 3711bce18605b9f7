#include "read/gzip/gzip_source.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fake_disk.h"
#include "io/failure.h"
#include "tiles.h"

namespace {

struct Unpacked {
  std::string text;
  std::string failure;   // the message, when reading failed
  bool damaged = false;  // the failure says that the text given may be garbled
};

// Reads `packed`, served `piece` bytes at a time, in reads of `size`.
Unpacked unpack(const std::string& packed, std::size_t piece = 97, std::size_t size = 1000,
                GzipSource::Inflater inflater = GzipSource::Inflater::kFastest) {
  GzipSource source(std::make_unique<TextSource>(packed, piece), "tile.xyz.gz", inflater);
  Unpacked unpacked;
  std::string buffer(size, '\0');
  try {
    while (std::size_t got = source.read(buffer.data(), size)) unpacked.text.append(buffer, 0, got);
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status, 1);
    unpacked.failure = failure.message;
    unpacked.damaged = failure.input_damaged;
  }
  return unpacked;
}

std::string some_points(int count, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(random() % 1000000) + "." + std::to_string(random() % 100) + " " +
            std::to_string(random() % 10000000) + ".5 " + std::to_string(random() % 500) + "\r\n";
  }
  return text;
}

TEST(GzipSource, GivesTheTextOfOneMemberWhateverTheSizesOfReads) {
  std::string text = some_points(20000, 1);
  std::string packed = gzip_member(text);
  for (std::size_t piece : {std::size_t{1}, std::size_t{97}, std::size_t{1} << 20}) {
    for (std::size_t size : {std::size_t{1}, std::size_t{4096}, std::size_t{1} << 20}) {
      if (piece == 1 && size == 1) continue;  // slow, and nothing new
      Unpacked unpacked = unpack(packed, piece, size);
      EXPECT_EQ(unpacked.failure, "");
      EXPECT_TRUE(unpacked.text == text) << piece << " " << size;
    }
  }
}

TEST(GzipSource, ReadsMembersOneAfterAnotherAsOneText) {
  std::string first = some_points(3000, 2);
  std::string second = some_points(5, 3);
  // An empty member between two, as `cat` of an empty .gz leaves.
  Unpacked unpacked = unpack(gzip_member(first) + gzip_member("") + gzip_member(second));
  EXPECT_EQ(unpacked.failure, "");
  EXPECT_TRUE(unpacked.text == first + second);
}

TEST(GzipSource, AMemberOfNoTextIsAnEmptyText) {
  Unpacked unpacked = unpack(gzip_member(""));
  EXPECT_EQ(unpacked.failure, "");
  EXPECT_EQ(unpacked.text, "");
}

TEST(GzipSource, DataCutShortFailsAfterTheTextBeforeTheCut) {
  std::string text = some_points(20000, 4);
  std::string packed = gzip_member(text);
  // Within the header, the data and the trailer.
  for (std::size_t cut : {std::size_t{1}, std::size_t{5}, packed.size() / 2, packed.size() - 3}) {
    Unpacked unpacked = unpack(packed.substr(0, cut));
    EXPECT_EQ(text.compare(0, unpacked.text.size(), unpacked.text), 0) << cut;
    EXPECT_EQ(
        unpacked.failure.rfind("Cannot read tile.xyz.gz: the gzip data is cut short, after ", 0), 0)
        << unpacked.failure;
    EXPECT_FALSE(unpacked.damaged) << cut;  // what came before the cut is as written
  }
  // Cut in the second member: the whole first member's text comes first.
  std::string first = some_points(100, 5);
  Unpacked unpacked = unpack(gzip_member(first) + packed.substr(0, packed.size() / 3));
  EXPECT_GT(unpacked.text.size(), first.size());
  EXPECT_NE(unpacked.failure, "");
}

TEST(GzipSource, CorruptDataFailsSayingWhatIsWrong) {
  std::string text = some_points(20000, 6);
  std::string packed = gzip_member(text);
  std::string damaged = packed;
  damaged[damaged.size() - 6] ^= 0x55;  // the check sum of the text
  Unpacked unpacked = unpack(damaged);
  EXPECT_EQ(unpacked.failure,
            "Cannot read tile.xyz.gz: the gzip data is corrupt (incorrect data "
            "check), after " +
                std::to_string(text.size()) + " bytes of text");
  // Deflate checks nothing before the member's end: all its text is suspect.
  EXPECT_TRUE(unpacked.damaged);

  // Bytes that are no gzip member after one.
  unpacked = unpack(packed + "12 34 56\r\n");
  EXPECT_TRUE(unpacked.text == text);
  EXPECT_NE(unpacked.failure.find("corrupt (incorrect header check)"), std::string::npos);
  EXPECT_FALSE(unpacked.damaged);  // the text before them was checked whole

  // Damage in the middle of the data: never a silent end, whatever it hits.
  std::mt19937 random(7);
  for (int i = 0; i < 50; ++i) {
    damaged = packed;
    std::size_t at = 20 + random() % (packed.size() - 30);
    damaged[at] = static_cast<char>(damaged[at] ^ (1 + random() % 255));
    unpacked = unpack(damaged, 4096, 65536);
    EXPECT_NE(unpacked.failure, "") << at;
    // Unless it hit the header before any text, or cut the data short.
    EXPECT_TRUE(unpacked.damaged || unpacked.text.empty() ||
                unpacked.failure.find("cut short") != std::string::npos)
        << at << " " << unpacked.failure;
  }
}

// ISA-L, where the build has it, gives zlib's text and zlib's failures to
// the byte: on damaged data, data cut short, trailing bytes and members of
// every kind.
TEST(GzipSource, BothInflatersGiveTheSameTextAndFailures) {
  std::string text = some_points(20000, 8);
  std::string packed = gzip_member(text);
  std::vector<std::string> cases = {packed, gzip_member(text, 1) + gzip_member("") + packed,
                                    packed + "12 34 56\r\n", packed + std::string(8, '\0')};
  std::string wrong_size = packed;
  wrong_size[wrong_size.size() - 2] ^= 1;  // the length in the trailer
  cases.push_back(wrong_size);
  std::mt19937 random(9);
  for (int i = 0; i < 40; ++i) {
    std::string damaged = packed;
    std::size_t at = random() % packed.size();
    damaged[at] = static_cast<char>(damaged[at] ^ (1 + random() % 255));
    cases.push_back(damaged);
    cases.push_back(packed.substr(0, random() % packed.size()));
  }
  for (const std::string& data : cases) {
    for (std::size_t piece : {std::size_t{65536}}) {
      Unpacked fastest = unpack(data, piece, 4096, GzipSource::Inflater::kFastest);
      Unpacked zlib = unpack(data, piece, 4096, GzipSource::Inflater::kZlib);
      EXPECT_TRUE(fastest.text == zlib.text) << data.size() << " " << piece;
      EXPECT_EQ(fastest.failure, zlib.failure);
      EXPECT_EQ(fastest.damaged, zlib.damaged);
    }
  }
  // Whole data goes through ISA-L itself; a pipe's, which cannot be read
  // again, through zlib.
  GzipSource file(std::make_unique<TextSource>(packed), "t");
  auto in_order = std::make_unique<TextSource>(packed);
  in_order->in_order_only();
  GzipSource pipe(std::move(in_order), "t");
  std::string buffer(4096, '\0');
  while (file.read(buffer.data(), buffer.size()) != 0) {
  }
  EXPECT_EQ(file.uses_isal(), GzipSource::has_isal());
  EXPECT_FALSE(pipe.uses_isal());
}

// What zlib refuses, ISA-L's way refuses too, and data cut short gives the
// same text before the cut however the reads fall: from a file as from a
// pipe, read as the program reads (a quarter of a MiB at a time).
TEST(GzipSource, BothInflatersRefuseReservedFlagsAndCountTextAlikeBeforeACut) {
  const std::string small = gzip_member("1 2 3\n");
  for (int bit : {0x20, 0x40, 0x80}) {
    std::string flagged = small;
    flagged[3] = static_cast<char>(flagged[3] | bit);
    for (const std::string& data : {flagged, small + flagged}) {
      Unpacked fastest = unpack(data, 1 << 20, kIoBlockSize);
      Unpacked zlib = unpack(data, 1 << 20, kIoBlockSize, GzipSource::Inflater::kZlib);
      EXPECT_EQ(fastest.failure,
                "Cannot read tile.xyz.gz: the gzip data is corrupt (unknown header flags set), "
                "after " +
                    std::to_string(data.size() == flagged.size() ? 0 : 6) + " bytes of text")
          << bit;
      EXPECT_EQ(fastest.failure, zlib.failure);
      EXPECT_TRUE(fastest.text == zlib.text);
    }
  }
  const std::string packed = gzip_member(some_points(60000, 21));
  std::mt19937 random(3);
  for (int i = 0; i < 40; ++i) {
    const std::string cut = packed.substr(0, 20 + random() % (packed.size() - 20));
    Unpacked zlib = unpack(cut, 65536, 4096, GzipSource::Inflater::kZlib);
    for (std::size_t size : {std::size_t{4096}, kIoBlockSize}) {
      Unpacked fastest = unpack(cut, std::size_t{1} << 30, size);
      EXPECT_EQ(fastest.failure, zlib.failure) << cut.size() << " " << size;
      EXPECT_TRUE(fastest.text == zlib.text) << cut.size() << " " << size;
    }
  }
}

TEST(GzipSource, AFaultStaysAFault) {
  GzipSource source(std::make_unique<TextSource>(gzip_member("1 2 3\n").substr(0, 12)), "t");
  char buffer[64];
  EXPECT_THROW(while (source.read(buffer, sizeof buffer) != 0){}, Failure);
  EXPECT_THROW(source.read(buffer, sizeof buffer), Failure);
}

}  // namespace
