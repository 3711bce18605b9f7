#include "read/input_form.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_disk.h"

namespace {

TEST(InputForm, TheFirstBytesDecideWhateverTheName) {
  EXPECT_EQ(input_form("\x1f\x8b\x08\x00"), InputForm::kGzip);
  EXPECT_EQ(input_form("LASF"), InputForm::kLas);
  EXPECT_EQ(input_form("LAS "), InputForm::kText);
  EXPECT_EQ(input_form("\x1f"), InputForm::kText);
  EXPECT_EQ(input_form(""), InputForm::kText);
}

TEST(InputForm, BytesLookedAtAreStillRead) {
  for (std::string text : {"", "1", "12 3", "1 2 3\n4 5 6\n"}) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{100}}) {
      PeekedSource source(std::make_unique<TextSource>(text, piece));
      EXPECT_EQ(source.first(), text.substr(0, kFormBytes));
      std::string read;
      char buffer[5];
      while (std::size_t got = source.read(buffer, sizeof buffer)) read.append(buffer, got);
      EXPECT_EQ(read, text) << piece;
    }
  }
}

}  // namespace
