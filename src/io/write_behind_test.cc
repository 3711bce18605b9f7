#include "io/write_behind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "fake_disk.h"
#include "io/failure.h"
#include "io/output_file.h"

namespace {

// Blocks and direct writes, a header written over and a cut, in the order
// given, whatever the thread behind is doing; each block taken gives back
// one of its room that is not the block being written.
TEST(WriteBehind, TheFileSeesEveryWriteInItsOrder) {
  std::string bytes, expected;
  WriteBehind sink(std::make_unique<StringSink>(bytes));
  constexpr std::size_t kRoom = 4096;
  std::unique_ptr<char[]> block(new char[kRoom]);
  for (int i = 0; i < 200; ++i) {
    const std::size_t size = 1 + (static_cast<std::size_t>(i) * 37) % kRoom;
    std::memset(block.get(), 'a' + i % 26, size);
    expected.append(size, static_cast<char>('a' + i % 26));
    const char* given = block.get();
    sink.take(block, size, kRoom);
    ASSERT_NE(block.get(), given);
    if (i % 7 == 0) {
      sink.write("direct", 6);
      expected += "direct";
    }
    if (i % 50 == 49) {
      EXPECT_EQ(sink.kept(), expected.size());
      ASSERT_TRUE(sink.write_at(0, "HEAD", 4));
      expected.replace(0, 4, "HEAD");
    }
  }
  ASSERT_TRUE(sink.cut(expected.size() - 10));
  expected.resize(expected.size() - 10);
  char back[4];
  EXPECT_EQ(sink.read_back(0, back, 4), 4u);
  EXPECT_EQ(std::string(back, 4), "HEAD");
  sink.close();
  EXPECT_TRUE(bytes == expected);
}

// A block whose write fails behind is told at the next call that writes,
// once, and the file keeps what it took.
TEST(WriteBehind, AFailedBlockIsToldAtTheNextWrite) {
  std::string bytes;
  WriteBehind sink(std::make_unique<StringSink>(bytes, 250));
  std::unique_ptr<char[]> block(new char[100]);
  auto take = [&] {
    std::memset(block.get(), 'x', 100);
    sink.take(block, 100, 100);
  };
  take();
  take();
  take();  // fails behind: 300 bytes do not fit in 250
  EXPECT_THROW(take(), Failure);
  EXPECT_EQ(sink.kept(), 200u);
  EXPECT_NO_THROW(sink.drain());  // told once
  EXPECT_TRUE(sink.cut(150));
  EXPECT_EQ(bytes.size(), 150u);
  EXPECT_EQ(bytes, std::string(150, 'x'));
}

// Through a file: the last block's failure is not lost when nothing is
// written after it, but told by close(), which leaves the file failed, to
// be settled; nor by write_at(), which a header completed at the end uses.
TEST(WriteBehind, AFileWrittenBehindFailsWhereItsLastBlockFailed) {
  const std::string block(OutputFile::kBufferSize, 'z');
  for (bool header_at_end : {false, true}) {
    std::string bytes;
    OutputFile file;
    file.open(std::make_unique<StringSink>(bytes, OutputFile::kBufferSize + 10));
    file.write_behind();
    auto put = [&file, &block](std::size_t size) {
      char* at = file.reserve(size);
      std::memcpy(at, block.data(), size);
      file.commit(at + size);
      file.flush();
    };
    put(block.size());  // fits
    put(100);           // does not, behind
    if (header_at_end) {
      EXPECT_THROW(file.write_at(0, "LASF", 4), Failure);
    } else {
      EXPECT_THROW(file.close(), Failure);
    }
    EXPECT_TRUE(file.failed());
    EXPECT_EQ(file.written(), static_cast<std::int64_t>(OutputFile::kBufferSize));
    EXPECT_TRUE(file.cut_to(50));
    EXPECT_EQ(bytes.size(), 50u);
    file.abandon();
  }
}

// A thread that cannot be started, as when memory runs out.
std::thread no_thread(WriteBehind& /*self*/) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

// Without its thread the sink writes each block as it is taken, in its
// order with the other writes: a block left pending for a thread that never
// came was waited for forever, the job hung and ignored Ctrl-C. A failed
// write is then told at once.
TEST(WriteBehind, WithoutItsThreadBlocksAreWrittenAsTheyAreTaken) {
  std::string bytes;
  WriteBehind sink(std::make_unique<StringSink>(bytes, 250), no_thread);
  std::unique_ptr<char[]> block(new char[100]);
  std::memset(block.get(), 'a', 100);
  sink.take(block, 100, 100);
  EXPECT_EQ(sink.kept(), 100u);
  sink.write("direct", 6);
  std::memset(block.get(), 'b', 100);
  sink.take(block, 100, 100);
  EXPECT_TRUE(bytes == std::string(100, 'a') + "direct" + std::string(100, 'b'));
  std::memset(block.get(), 'c', 100);
  EXPECT_THROW(sink.take(block, 100, 100), Failure);
  EXPECT_EQ(sink.kept(), 206u);
  sink.close();
}

}  // namespace
