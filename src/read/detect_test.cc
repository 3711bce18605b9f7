#include "read/detect.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(InputForm, TheFirstBytesDecideWhateverTheName) {
  EXPECT_EQ(input_form("\x1f\x8b\x08\x00"), InputForm::kGzip);
  EXPECT_EQ(input_form("LASF"), InputForm::kLas);
  EXPECT_EQ(input_form("LAS "), InputForm::kText);
  EXPECT_EQ(input_form("\x1f"), InputForm::kText);
  EXPECT_EQ(input_form(""), InputForm::kText);
}

TEST(Detection, FormatsThatAreNotPointListsAreRefused) {
  std::string ptx = "10\n20\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n";
  ptx += "0.5 0.25 1.5 0.8\n";
  for (const std::string& start :
       {std::string("PK\x03\x04\x14\x00", 6), std::string("ncols 4\nnrows 2\nxllcorner 0\n"),
        std::string("NCOLS         4\n"), std::string("\xff\xfeX\x00\t\x00Y\x00", 8), ptx}) {
    EXPECT_NE(refusal_of_other_text(start, true), "") << start;
  }
  EXPECT_NE(refusal_of_other_text(ptx, true).find("PTX"), std::string::npos);
}

}  // namespace
