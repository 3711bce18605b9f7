#include "app/answers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Standard input stand-in: a temporary file holding `text`.
class AnswersTest : public testing::Test {
 protected:
  Answers& typed(const std::string& text) {
    file_ = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file_);
    std::rewind(file_);
    answers_.emplace(file_);
    return *answers_;
  }
  ~AnswersTest() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  std::FILE* file_ = nullptr;
  std::optional<Answers> answers_;
};

TEST_F(AnswersTest, WordsOnOneLineOrManyAreTakenInTurn) {
  for (const char* text : {"survey1 2 north south all\n", "survey1\n2\nnorth\r\nsouth\n\n all"}) {
    Answers& a = typed(text);
    EXPECT_EQ(a.word(), "survey1");
    Answers::Count count = a.count();
    EXPECT_EQ(count.kind, Answers::Count::kNumber);
    EXPECT_EQ(count.value, 2);
    EXPECT_EQ(a.word(), "north");
    EXPECT_EQ(a.word(), "south");
    EXPECT_EQ(a.word(), "all");
    EXPECT_EQ(a.word(), std::nullopt);
  }
}

TEST_F(AnswersTest, ACountThatIsNotANumberLeavesTheWordUnread) {
  for (const char* text : {"abc\n", "-abc\n", "+\n"}) {
    Answers& a = typed(text);
    EXPECT_EQ(a.count().kind, Answers::Count::kNotANumber) << text;
    std::string word(text);
    word.pop_back();
    EXPECT_EQ(a.word(), word);
  }
}

TEST_F(AnswersTest, ACountTakesTheDigitsAndLeavesTheRestOfTheWord) {
  Answers& a = typed("3abc -0012 +7");
  Answers::Count count = a.count();
  EXPECT_EQ(count.value, 3);
  EXPECT_EQ(count.text, "3");
  EXPECT_EQ(a.word(), "abc");
  count = a.count();
  EXPECT_EQ(count.value, -12);
  EXPECT_EQ(count.text, "-0012");
  EXPECT_EQ(a.count().value, 7);
  EXPECT_EQ(a.count().kind, Answers::Count::kEnd);
}

// What the dialogue refuses as a count: anything but a whole word of
// digits, whatever its start reads as.
TEST_F(AnswersTest, ACountKnowsWhetherItIsTheWholeWord) {
  Answers& a = typed("2.5 x\n-3 2abc +12 tile_00 y\n7");
  Answers::Count count = a.count();
  EXPECT_EQ(count.word, "2.5");
  EXPECT_FALSE(count.whole());
  // The rest of the line goes with the answer typed in error.
  a.skip_line();
  count = a.count();
  EXPECT_TRUE(count.whole());
  EXPECT_EQ(count.value, -3);
  count = a.count();
  EXPECT_EQ(count.word, "2abc");
  EXPECT_FALSE(count.whole());
  EXPECT_EQ(a.word(), "abc");
  EXPECT_TRUE(a.count().whole());
  count = a.count();
  EXPECT_EQ(count.kind, Answers::Count::kNotANumber);
  EXPECT_FALSE(count.whole());
  a.skip_line();
  EXPECT_EQ(a.word(), "7");
}

TEST_F(AnswersTest, CountsBeyond32BitsAreFlagged) {
  Answers& a = typed(
      "2147483647 -2147483648 -2147483649 99999999999999 "
      "99999999999999999999999999999999999\n");
  EXPECT_TRUE(a.count().fits_32_bits);
  EXPECT_TRUE(a.count().fits_32_bits);
  EXPECT_FALSE(a.count().fits_32_bits);
  EXPECT_FALSE(a.count().fits_32_bits);
  Answers::Count huge = a.count();
  EXPECT_FALSE(huge.fits_32_bits);
  EXPECT_GT(huge.value, 99);
}

TEST_F(AnswersTest, LongAnswersAndNulBytesComeThroughWhole) {
  std::string long_name(10000, 'n');
  Answers& a = typed(long_name + " a" + std::string(1, '\0') + "b\n");
  EXPECT_EQ(a.word(), long_name);
  EXPECT_EQ(a.word(), std::string("a\0b", 3));
}

}  // namespace
