#include "io/peeked_source.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_disk.h"

namespace {

TEST(PeekedSource, BytesLookedAtAreStillRead) {
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
