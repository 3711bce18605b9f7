#include "io/disk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// The system's disk tells the outputs from the inputs by their files and,
// before the outputs exist, by their names made whole: links, other
// spellings and the folder the job runs in must not hide one from the other.
class SameFiles : public testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() /
             ("same-files-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder / "sub");
    for (const char* name : {"a.xyz", "b.xyz"}) std::ofstream(folder / name) << name;
  }
  void TearDown() override {
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(folder);
  }
  std::string at(const std::string& name) const { return (folder / name).string(); }
  // Whether the system made the link (Windows may not let a user).
  static bool linked(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return !error;
  }

  std::filesystem::path folder;
  SystemDisk disk{false};
};

TEST_F(SameFiles, EachFileIsFoundFirstWhereverItIsNamed) {
  const std::vector<std::string> others = {at("./b.xyz"), at("sub/../a.xyz"), at("b.xyz"),
                                           at("none.xyz")};
  EXPECT_EQ(disk.first_same_file({at("a.xyz"), at("b.xyz"), at("none.xyz")}, others),
            (std::vector<std::size_t>{1, 0, 4}));
  EXPECT_EQ(disk.first_same_file({at("a.xyz")}, {}), std::vector<std::size_t>{0});

  std::error_code error;
  std::filesystem::create_hard_link(folder / "a.xyz", folder / "hard.xyz", error);
  if (!error) {
    EXPECT_EQ(disk.first_same_file({at("hard.xyz")}, {at("b.xyz"), at("a.xyz")}),
              std::vector<std::size_t>{1});
  }
  if (linked("b.xyz", folder / "link.xyz")) {
    EXPECT_EQ(disk.first_same_file({at("link.xyz")}, {at("a.xyz"), at("b.xyz")}),
              std::vector<std::size_t>{1});
    // Its name made whole is the file it leads to.
    EXPECT_EQ(disk.first_same_spelling({at("b.xyz")}, {at("a.xyz"), at("link.xyz")}),
              std::vector<std::size_t>{1});
  }
}

TEST_F(SameFiles, TheInputsAgainstThemselvesAsAgainstAnyOtherList) {
  std::vector<std::string> inputs = {at("a.xyz"),        at("none.xyz"), at("./b.xyz"),
                                     at("sub/../a.xyz"), at("b.xyz"),    at("none.xyz")};
  std::error_code error;
  std::filesystem::create_hard_link(folder / "b.xyz", folder / "hard.xyz", error);
  if (!error) inputs.push_back(at("hard.xyz"));
  if (linked("a.xyz", folder / "link.xyz")) inputs.push_back(at("link.xyz"));
  // The same list is looked at once; a copy, file by file.
  const std::vector<std::string> copy = inputs;
  const std::vector<std::size_t> first = disk.first_same_file(inputs, inputs);
  EXPECT_EQ(first, disk.first_same_file(inputs, copy));
  EXPECT_EQ(std::vector<std::size_t>(first.begin(), first.begin() + 6),
            (std::vector<std::size_t>{0, inputs.size(), 2, 0, 2, inputs.size()}));

  // Many, looked at on several threads: each found first where it is
  // first named, in either spelling, whichever list it is in.
  std::vector<std::string> many;
  std::vector<std::size_t> expected;
  for (std::size_t i = 0; i < 300; ++i) {
    std::string name = "m";
    name += std::to_string(i % 40);
    name += ".xyz";
    if (i < 40 && i % 40 < 30) std::ofstream(folder / name) << i;
    many.push_back(at(i % 3 == 0 ? "./" + name : name));
    expected.push_back(i % 40 < 30 ? i % 40 : 300);
  }
  const std::vector<std::string> many_copy = many;
  EXPECT_EQ(disk.first_same_file(many, many), expected);
  EXPECT_EQ(disk.first_same_file(many, many_copy), expected);
  EXPECT_EQ(disk.first_same_file({at("m7.xyz"), at("a.xyz"), at("m35.xyz")}, many),
            (std::vector<std::size_t>{7, 300, 300}));
}

TEST_F(SameFiles, AFileOpenedTellsItsSizeAsTheDiskDoes) {
  std::ofstream(folder / "c.xyz", std::ios::binary) << "1 2 3\n";
  std::string reason;
  std::unique_ptr<ByteSource> source = disk.open_for_reading(at("c.xyz"), reason);
  ASSERT_NE(source, nullptr) << reason;
  EXPECT_EQ(source->plain_size(), 6);
  EXPECT_EQ(disk.size_of(at("c.xyz")), 6);
  char bytes[8] = {};
  EXPECT_EQ(source->read(bytes, sizeof bytes), 6u);
  EXPECT_EQ(source->read(bytes, sizeof bytes), 0u);
  // A folder is no file to read, and has no size; nor has a file not there.
  EXPECT_EQ(disk.open_for_reading(at("sub"), reason), nullptr);
  EXPECT_EQ(disk.size_of(at("sub")), -1);
  EXPECT_EQ(disk.size_of(at("none.xyz")), -1);
}

TEST_F(SameFiles, NamesOfFilesNotMadeYetAreMadeWholeThroughTheLinksThatExist) {
  const std::string result = at("new.xyz");
  EXPECT_EQ(disk.first_same_spelling({result, at("sub/new.xyz")},
                                     {at("a.xyz"), at("sub/../new.xyz"), at("sub/./new.xyz")}),
            (std::vector<std::size_t>{1, 2}));
  // The same name from the folder the job runs in, also bare, on both
  // sides: no part of it exists, yet it names a file there.
  std::filesystem::current_path(folder / "sub");
  EXPECT_EQ(disk.first_same_spelling({result}, {"new.xyz", "../new.xyz"}),
            std::vector<std::size_t>{1});
  std::filesystem::current_path(folder);
  EXPECT_EQ(disk.first_same_spelling({"new.xyz", "./new.xyz", "new_xyz_info.txt"},
                                     {"a.xyz", "new.xyz", "./new_xyz_info.txt"}),
            (std::vector<std::size_t>{1, 1, 2}));
  if (linked("sub", folder / "folder")) {
    EXPECT_EQ(disk.first_same_spelling({at("sub/new.xyz")}, {at("a.xyz"), at("folder/new.xyz")}),
              std::vector<std::size_t>{1});
  }
  // A link that leads nowhere yet is the result only once the result is
  // made, which is when the job looks again.
  if (linked("new.xyz", folder / "dangling.xyz")) {
    EXPECT_EQ(disk.first_same_file({result}, {at("dangling.xyz")}), std::vector<std::size_t>{1});
    std::ofstream(folder / "new.xyz") << "made";
    EXPECT_EQ(disk.first_same_file({result}, {at("a.xyz"), at("dangling.xyz")}),
              std::vector<std::size_t>{1});
  }
}

// The checks before a job answer from one look at each input: the same
// answers as without it, and a path that led nowhere is looked at again,
// since the job's own result, made meanwhile, may be where it leads.
TEST_F(SameFiles, AnswersFromOneLookAreTheSystemsAnswers) {
  std::vector<std::string> inputs = {at("a.xyz"), at("./b.xyz"), at("none.xyz"), at("sub")};
  const bool links = linked("a.xyz", folder / "link.xyz") && linked("new.xyz", folder / "to.xyz");
  if (links) inputs.insert(inputs.end(), {at("link.xyz"), at("to.xyz")});
  const std::vector<std::string> outputs = {at("new.xyz"), at("b.xyz")};
  const std::vector<std::size_t> same = disk.first_same_file(outputs, inputs);
  const std::vector<std::size_t> spelled = disk.first_same_spelling(outputs, inputs);
  std::vector<std::int64_t> sizes;
  for (const std::string& input : inputs) sizes.push_back(disk.size_of(input));
  {
    LookedAt looked_at(disk, inputs);
    EXPECT_EQ(disk.first_same_file(outputs, inputs), same);
    EXPECT_EQ(disk.first_same_file(inputs, inputs),
              disk.first_same_file(inputs, std::vector<std::string>(inputs)));
    EXPECT_EQ(disk.first_same_spelling(outputs, inputs), spelled);
    // A link's name is not its file's: looked at, it is still made whole.
    if (links) {
      EXPECT_EQ(disk.first_same_spelling({at("a.xyz")}, {at("b.xyz"), at("link.xyz")}),
                std::vector<std::size_t>{1});
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(disk.size_of(inputs[i]), sizes[i]);
    std::ofstream(folder / "new.xyz", std::ios::binary) << "made";
    std::ofstream(folder / "none.xyz", std::ios::binary) << "now here";
    EXPECT_EQ(disk.size_of(at("none.xyz")), 8);
    if (links) {
      EXPECT_EQ(disk.first_same_file(outputs, inputs)[0], 5u);
    }
  }
  // Forgotten once the checks are done: a file changed since is seen as it is.
  std::ofstream(folder / "a.xyz", std::ios::binary) << "longer now";
  EXPECT_EQ(disk.size_of(at("a.xyz")), 10);
}

}  // namespace
