#include "io/peeked_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

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

// A terminal gives its end of input, then more if asked again: a reader that
// asks past the end must not wait for a second one.
TEST(PeekedSource, TheEndStaysTheEnd) {
  class Terminal : public ByteSource {
   public:
    std::size_t read(char* buffer, std::size_t size) override {
      ++reads;
      const std::string_view next = reads == 1 ? "1 2 3\n" : reads == 2 ? "" : "typed on";
      const std::size_t got = std::min(size, next.size());
      std::copy_n(next.data(), got, buffer);
      return got;
    }
    int reads = 0;
  };
  auto terminal = std::make_unique<Terminal>();
  const Terminal& asked = *terminal;
  PeekedSource source(std::move(terminal), 6);
  char buffer[64];
  EXPECT_EQ(source.read(buffer, sizeof buffer), 6u);
  for (int again = 0; again < 3; ++again) EXPECT_EQ(source.read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(asked.reads, 2);
}

}  // namespace
