#include "platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

#ifdef _WIN32
// A name typed at a western European console (code page 850) is the same
// name as in the ANSI code page (1252) and in UTF-8, once in UTF-16.
TEST(Names, TheSameNameInEveryCodePage) {
  const std::wstring name = L"relev\u00e9s \u00cele-de-France";
  EXPECT_EQ(platform::to_wide("relev\x82s \xd7le-de-France", 850), name);
  EXPECT_EQ(platform::to_wide("relev\xe9s \xcele-de-France", 1252), name);
  EXPECT_EQ(platform::from_wide(name, 850), "relev\x82s \xd7le-de-France");
  const std::string omega = "\xce\xa9mega";  // outside both code pages
  EXPECT_EQ(platform::from_wide(platform::to_wide(omega, 65001), 65001), omega);
  EXPECT_EQ(platform::to_wide(omega, 65001), L"\u03a9mega");
}

TEST(Names, LongPathsTakeTheLongForm) {
  EXPECT_EQ(platform::long_form(L"C:\\images\\a.xyz"), L"C:\\images\\a.xyz");
  const std::wstring deep = L"C:\\images\\" + std::wstring(300, L'd') + L"\\a.xyz";
  EXPECT_EQ(platform::long_form(deep), L"\\\\?\\" + deep);
  // The long form takes no "..", "/" or relative paths: they are resolved.
  const std::wstring parts = L"C:/images/x/../" + std::wstring(300, L'd') + L"/a.xyz";
  EXPECT_EQ(platform::long_form(parts), L"\\\\?\\" + deep);
  const std::wstring share = L"\\\\server\\share\\" + std::wstring(300, L'd');
  EXPECT_EQ(platform::long_form(share), L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'd'));
}
#endif

// Wildcards are the shell's on POSIX systems and the program's on Windows;
// a name without them is itself either way.
TEST(Names, ANameWithoutWildcardsIsItself) {
  EXPECT_EQ(platform::expand_wildcards("images/s/a.xyz"),
            std::vector<std::string>{"images/s/a.xyz"});
}

}  // namespace
