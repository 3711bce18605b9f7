#include "io/paths.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

TEST(ToPosix, TheImagesDirectoryStandsForTheGivenFolder) {
  EXPECT_EQ(paths::to_posix("c:\\images\\survey1\\north.xyz", "images"),
            "images/survey1/north.xyz");
  EXPECT_EQ(paths::to_posix("c:\\images\\survey1\\north.xyz", "/data/images/"),
            "/data/images/survey1/north.xyz");
  EXPECT_EQ(paths::to_posix("C:\\Images\\a.xyz", "img"), "img/a.xyz");
}

TEST(ToPosix, EveryBackslashBecomesASlash) {
  EXPECT_EQ(paths::to_posix("c:\\images\\a\\b\\\\c.xyz", "i"), "i/a/b//c.xyz");
  EXPECT_EQ(paths::to_posix("d:\\other\\x.xyz", "i"), "d:/other/x.xyz");
}

// What the dialogue composes is found where the build says c:\images is.
TEST(ToPosix, ComposedPathsAreFoundInTheBuiltInFolder) {
#ifdef _WIN32
  EXPECT_EQ(paths::native("c:\\images\\s\\a.xyz"), "c:\\images\\s\\a.xyz");
#else
  EXPECT_EQ(paths::native("c:\\images\\s\\a.xyz"),
            paths::to_posix("c:\\images\\s\\a.xyz", STRATUMIX_IMAGES_DIR));
#endif
}

// A message stays one line that says what the name holds; other names,
// backslashes and letters of any language included, are shown as they are.
TEST(ForMessage, OnlyControlBytesAreEscaped) {
  EXPECT_EQ(paths::for_message("c:\\images\\s\\a.xyz"), "c:\\images\\s\\a.xyz");
  EXPECT_EQ(paths::for_message("relev\xc3\xa9s/\xce\xa9mega \\n.xyz"),
            "relev\xc3\xa9s/\xce\xa9mega \\n.xyz");
  EXPECT_EQ(paths::for_message("c:\\images\\tiles\n\\r\t.xyz"),
            "c:\\images\\tiles\\x0a\\r\\x09.xyz");
  EXPECT_EQ(paths::for_message("\x01\x1b[2J\x7f"), "\\x01\\x1b[2J\\x7f");
  EXPECT_EQ(paths::for_message(""), "''");
  // In UTF-8 the C1 controls too, alone or as characters (0x9b starts a
  // terminal's command as ESC [ does); letters whose bytes hold 0x80 to 0x9f
  // (U+00DB, the euro sign) stay, and so does a byte that is no UTF-8 but no
  // control either. A code page's bytes are its letters.
  const std::string c1 =
      "a\x9b"
      "2Jb\xc2\x9b"
      "31m\xc2\x85\xc3\x9b\xe2\x82\xac\xe9";
  EXPECT_EQ(paths::for_message(c1), platform::names_in_utf8()
                                        ? "a\\x9b2Jb\\xc2\\x9b31m\\xc2\\x85\xc3\x9b\xe2\x82\xac\xe9"
                                        : c1);
}

TEST(EqualIgnoringCase, OnlyAsciiLettersFold) {
  EXPECT_TRUE(paths::equal_ignoring_case("c:\\Images\\ALL.xyz", "C:\\images\\all.XYZ"));
  EXPECT_FALSE(paths::equal_ignoring_case("c:\\a.xyz", "c:\\a.xy"));
  EXPECT_FALSE(paths::equal_ignoring_case("a[", "a{"));
}

}  // namespace
