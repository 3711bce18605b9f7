#include "io/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fake_disk.h"
#include "io/failure.h"

namespace {

std::string sample_text() {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += std::to_string(i) + ' ';
  return text;
}

std::string read_all(ByteSource& source, std::size_t size) {
  std::string got;
  std::string buffer(size, '\0');
  while (std::size_t n = source.read(buffer.data(), buffer.size())) got.append(buffer, 0, n);
  return got;
}

TEST(ReadAhead, DeliversEveryByteInOrder) {
  std::string text = sample_text();
  for (std::size_t block : {7, 4096}) {
    for (std::size_t size : {1, 1000, 100000}) {
      ReadAhead source(std::make_unique<TextSource>(text, 3000), block);
      ASSERT_EQ(read_all(source, size), text) << block << " " << size;
      EXPECT_EQ(source.read(nullptr, 0), 0u);  // and the end stays the end
    }
  }
}

TEST(ReadAhead, AnErrorComesAfterTheBytesReadBeforeIt) {
  std::string text = sample_text();
  auto failing = std::make_unique<TextSource>(text, 3000);
  failing->failing_at_end();
  ReadAhead source(std::move(failing), 4096);
  std::string got;
  char buffer[5000];
  try {
    while (std::size_t n = source.read(buffer, sizeof buffer)) got.append(buffer, n);
    FAIL() << "no error";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.message, "Cannot read x: Input/output error");
  }
  EXPECT_EQ(got, text);
}

// A reader working in the blocks themselves keeps the tail of each (an
// unfinished word) and gets it back in front of the next.
TEST(ReadAhead, HandsOverWholeBlocksWithWhatWasKeptInFront) {
  std::string text = sample_text();
  for (std::size_t block : {7, 100, 4096}) {
    ReadAhead source(std::make_unique<TextSource>(text, 3000), block, 16);
    std::unique_ptr<char[]> storage(new char[source.storage_size()]);
    int storage_number = ReadAhead::kReaderStorage;
    std::string got;
    std::size_t first = 0;  // what the reader holds: [first, last) of storage
    std::size_t last = 0;
    for (int turn = 0;; ++turn) {
      std::size_t kept = std::min<std::size_t>(last - first, turn % 3 == 0 ? 16 : 5);
      got.append(storage.get() + first, last - first - kept);  // taken
      std::size_t n = source.exchange(storage, storage_number, storage.get() + last - kept, kept);
      if (n == 0) {
        got.append(storage.get() + last - kept, kept);
        break;
      }
      ASSERT_NE(n, ReadAhead::kNotExchanged);
      first = source.front() - kept;
      last = source.front() + n;
      ASSERT_LE(n, block);
    }
    EXPECT_EQ(got, text) << block;
  }
}

TEST(ReadAhead, ExchangesNoBlockThatReadBegan) {
  ReadAhead source(std::make_unique<TextSource>("0123456789abcdef", 100), 8, 4);
  std::unique_ptr<char[]> storage(new char[source.storage_size()]);
  int storage_number = ReadAhead::kReaderStorage;
  char buffer[3];
  ASSERT_EQ(source.read(buffer, sizeof buffer), 3u);
  EXPECT_EQ(source.exchange(storage, storage_number, buffer, 0), ReadAhead::kNotExchanged);
  ASSERT_EQ(source.read(buffer, sizeof buffer), 3u);
  ASSERT_EQ(source.read(buffer, sizeof buffer), 2u);  // the rest of the first block
  EXPECT_EQ(source.exchange(storage, storage_number, buffer, 5),
            ReadAhead::kNotExchanged);  // more than front
  ASSERT_EQ(source.exchange(storage, storage_number, buffer, 2), 8u);
  EXPECT_EQ(std::string(storage.get() + 2, 10),
            "67"
            "89abcdef");
  EXPECT_EQ(source.exchange(storage, storage_number, buffer, 0), 0u);
}

// What the reading thread made of a block must come with that block and no
// other, even when the block before it is still being worked on.
class FirstBytes : public BlockWork {
 public:
  void work(int storage, char* text, std::size_t size, std::size_t /*block_size*/) override {
    noted[storage].assign(text, std::min<std::size_t>(size, 5));
  }
  std::string noted[ReadAhead::kStorages];
};

TEST(ReadAhead, EachBlockComesWithWhatTheWorkMadeOfIt) {
  std::string text = sample_text();
  ReadAhead source(std::make_unique<TextSource>(text, 3000), 100, 16);
  auto work = std::make_unique<FirstBytes>();
  FirstBytes& first_bytes = *work;
  source.set_work(std::move(work));
  std::unique_ptr<char[]> storage(new char[source.storage_size()]);
  int storage_number = ReadAhead::kReaderStorage;
  std::size_t offset = 0;
  int worked = 0;
  for (std::size_t n; (n = source.exchange(storage, storage_number, storage.get(), 0)) != 0;
       offset += n) {
    ASSERT_NE(n, ReadAhead::kNotExchanged);
    std::string& noted = first_bytes.noted[storage_number];
    // Blocks read before the work was set go without.
    if (noted.empty()) continue;
    ++worked;
    EXPECT_EQ(noted, text.substr(offset, 5)) << offset;
    noted.clear();
  }
  EXPECT_GT(worked, 10);
}

TEST(ReadAhead, CanBeDroppedBeforeTheEnd) {
  ReadAhead source(std::make_unique<TextSource>(sample_text(), 10), 16);
  char buffer[4];
  EXPECT_EQ(source.read(buffer, sizeof buffer), 4u);
  // Dropped with an error waiting, too.
  auto failing = std::make_unique<TextSource>("1 2 3\n", 3);
  failing->failing_at_end();
  ReadAhead broken(std::move(failing), 16);
  EXPECT_EQ(broken.read(buffer, sizeof buffer), 3u);
}

}  // namespace
