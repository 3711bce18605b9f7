#include "io/output_file.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_disk.h"
#include "io/failure.h"

namespace {

TEST(OutputFile, TextLinesEndWithCrLf) {
  std::string bytes;
  OutputFile file;
  file.open(std::make_unique<StringSink>(bytes));
  file << "\n PROGRAM \n" << std::int32_t{-5} << " " << Fixed6{2.5} << "\n\n";
  file.close();
  EXPECT_EQ(bytes, "\r\n PROGRAM \r\n-5 2.500000\r\n\r\n");
}

TEST(OutputFile, TextLongerThanTheBufferIsWrittenWhole) {
  std::string bytes;
  OutputFile file;
  file.open(std::make_unique<StringSink>(bytes));
  std::string line(3 * OutputFile::kBufferSize + 7, 'x');
  file << line << "\n";
  file.close();
  EXPECT_EQ(bytes, line + "\r\n");
}

TEST(OutputFile, AFailedWriteIsReportedOnceAndNothingIsWrittenAfterIt) {
  std::string bytes;
  OutputFile file;
  std::string block(OutputFile::kBufferSize / 2 + 1, 'y');
  file.open(std::make_unique<StringSink>(bytes, block.size()));
  file << block << block;  // the first block goes out
  EXPECT_THROW(file << block, Failure);
  EXPECT_FALSE(file.is_open());
  file << block;
  EXPECT_NO_THROW(file.close());
  EXPECT_EQ(bytes, block);
}

}  // namespace
