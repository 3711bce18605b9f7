#include "output_file.h"

#include <gtest/gtest.h>

#include <string>

#include "failure.h"

namespace {

class StringSink : public ByteSink {
 public:
  StringSink(std::string& bytes, int fail_after_writes) : bytes_(bytes), left_(fail_after_writes) {}
  void write(const char* data, std::size_t size) override {
    if (left_-- == 0) throw Failure{1, "disk full"};
    bytes_.append(data, size);
  }
  void close() override { ++closed; }
  int closed = 0;

 private:
  std::string& bytes_;
  int left_;
};

TEST(OutputFile, TextLinesEndWithCrLf) {
  std::string bytes;
  OutputFile file;
  file.open(std::make_unique<StringSink>(bytes, -1));
  file << "\n PROGRAM \n" << std::int32_t{-5} << " " << Fixed6{2.5} << "\n\n";
  file.close();
  EXPECT_EQ(bytes, "\r\n PROGRAM \r\n-5 2.500000\r\n\r\n");
}

TEST(OutputFile, TextLongerThanTheBufferIsWrittenWhole) {
  std::string bytes;
  OutputFile file;
  file.open(std::make_unique<StringSink>(bytes, -1));
  std::string line(3 * OutputFile::kBufferSize + 7, 'x');
  file << line << "\n";
  file.close();
  EXPECT_EQ(bytes, line + "\r\n");
}

TEST(OutputFile, AFailedWriteIsReportedOnceAndNothingIsWrittenAfterIt) {
  std::string bytes;
  OutputFile file;
  file.open(std::make_unique<StringSink>(bytes, 1));
  std::string block(OutputFile::kBufferSize / 2 + 1, 'y');
  file << block << block;  // the first block goes out
  EXPECT_THROW(file << block, Failure);
  EXPECT_FALSE(file.is_open());
  file << block;
  EXPECT_NO_THROW(file.close());
  EXPECT_EQ(bytes, block);
}

}  // namespace
