#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

#ifndef _WIN32
// Two jobs on one output, the second coming between the first's open and
// claim: whoever holds the file keeps it, and nobody removes a file it
// does not hold.
class Claims : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "claims-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    path = (folder / "r.xyz").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::string contents() const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path folder;
  std::string path;
};

TEST_F(Claims, AJobThatClaimsBeforeTheCreatorKeepsTheFile) {
  platform::OutputOpening first = platform::open_unclaimed(path);
  ASSERT_TRUE(first.created);
  platform::OutputOpening second = platform::open_for_output(path);
  ASSERT_NE(second.file, nullptr);
  EXPECT_FALSE(second.created);
  EXPECT_TRUE(platform::claim_opened(first, path));
  EXPECT_EQ(first.file, nullptr);
  EXPECT_TRUE(first.in_use);
  EXPECT_FALSE(first.created);  // so the refused job removes nothing
  std::fputs("second\r\n", second.file);
  std::fclose(second.file);
  EXPECT_EQ(contents(), "second\r\n");

  // The second job done and gone before the creator claims: its points
  // stay, the creator writes nothing over them.
  std::filesystem::remove(path);
  first = platform::open_unclaimed(path);
  second = platform::open_for_output(path);
  ASSERT_NE(second.file, nullptr);
  std::fputs("second\r\n", second.file);
  std::fclose(second.file);
  EXPECT_TRUE(platform::claim_opened(first, path));
  EXPECT_TRUE(first.in_use);
  EXPECT_EQ(contents(), "second\r\n");
}

TEST_F(Claims, AFileIsRemovedOnlyByTheJobThatHoldsIt) {
  // The creator fails and removes its file while a second job has it open
  // unclaimed: the second finds the path empty and makes its own.
  platform::OutputOpening first = platform::open_for_output(path);
  ASSERT_TRUE(first.created);
  platform::OutputOpening second = platform::open_unclaimed(path);
  ASSERT_FALSE(second.created);
  platform::remove_output(first.file, path);
  std::fclose(first.file);
  EXPECT_FALSE(platform::claim_opened(second, path));
  second = platform::open_for_output(path);
  ASSERT_NE(second.file, nullptr);
  EXPECT_TRUE(second.created);
  std::fclose(second.file);

  // The path names another job's file by the time the creator gives up.
  first = platform::open_for_output(path);
  ASSERT_NE(first.file, nullptr);
  std::filesystem::rename(path, path + ".moved");
  std::ofstream(path) << "another job's";
  platform::remove_output(first.file, path);
  std::fclose(first.file);
  EXPECT_EQ(contents(), "another job's");
}
#endif

// A file replaced whole stays claimed until it is in place: a second job
// that claimed it in between would empty the file now in place.
TEST(Replacing, AReplacementIsHeldUntilItIsInPlace) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("replacing-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directory(folder);
  const std::string path = (folder / "r.json").string();
  const std::string part = path + ".part";
  auto contents = [&path] {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  platform::OutputOpening first = platform::open_temporary(part);
  ASSERT_NE(first.file, nullptr);
  std::fputs("first\n", first.file);
  EXPECT_TRUE(platform::open_temporary(part).in_use);
  std::string reason;
  EXPECT_TRUE(platform::put_in_place(first.file, part, path, reason)) << reason;
  platform::OutputOpening second = platform::open_temporary(part);
  EXPECT_TRUE(second.created);
  std::fclose(first.file);
  if (second.file != nullptr) std::fclose(second.file);
  EXPECT_EQ(contents(), "first\n");

  // Links that came after the checks before the job: never written through.
  std::filesystem::remove(part);
  std::filesystem::create_hard_link(path, part);
  EXPECT_EQ(platform::open_temporary(part).reason, "it has other names (hard links)");
#ifndef _WIN32
  std::filesystem::remove(part);
  std::filesystem::create_symlink(path, part);
  EXPECT_EQ(platform::open_temporary(part).reason, "it is a symbolic link");
#endif
  EXPECT_EQ(contents(), "first\n");
  std::filesystem::remove_all(folder);
}

}  // namespace
