// The command-line mode, run as a script runs it: the inputs and the result
// as arguments, paths relative to the working directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

namespace {

const std::string kTryHelp = "Try 'stratumix --help'.\n";

// A JSON value, read as a script would read it: a parser strict enough to
// show that the report is well-formed, and a way to look its figures up.
struct Json {
  enum class Kind { kNull, kLiteral, kNumber, kString, kArray, kObject } kind = Kind::kNull;
  double number = 0;
  std::string text;  // a string, or "true" or "false"
  std::vector<Json> items;
  std::map<std::string, Json> fields;
  const Json& operator[](const char* key) const { return fields.at(key); }
  const Json& operator[](std::size_t i) const { return items.at(i); }
};

class JsonParser {
 public:
  explicit JsonParser(std::string text) : text_(std::move(text)) {}
  Json document() {
    Json json = value();
    skip();
    if (at_ != text_.size()) fail();
    return json;
  }

 private:
  [[noreturn]] void fail() const {
    throw std::runtime_error("no JSON at " + std::to_string(at_) + ": " + text_.substr(at_, 40));
  }
  void skip() {
    while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) != nullptr) ++at_;
  }
  bool take(char c) {
    skip();
    if (at_ == text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  void expect(char c) {
    if (!take(c)) fail();
  }
  std::string string() {
    expect('"');
    std::string text;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (static_cast<unsigned char>(c) < 0x20 || at_ == text_.size()) fail();
      if (c == '\\') {
        c = text_[at_++];
        if (c == 'u') {
          if (at_ + 4 > text_.size()) fail();
          text += static_cast<char>(std::stoi(text_.substr(at_, 4), nullptr, 16));
          at_ += 4;
          continue;
        }
        if (std::strchr("\"\\/", c) == nullptr) fail();
      }
      text += c;
    }
    expect('"');
    return text;
  }
  Json value() {
    Json json;
    skip();
    if (take('{')) {
      json.kind = Json::Kind::kObject;
      if (take('}')) return json;
      do {
        std::string key = string();
        expect(':');
        json.fields[key] = value();
      } while (take(','));
      expect('}');
    } else if (take('[')) {
      json.kind = Json::Kind::kArray;
      if (take(']')) return json;
      do json.items.push_back(value());
      while (take(','));
      expect(']');
    } else if (at_ < text_.size() && text_[at_] == '"') {
      json.kind = Json::Kind::kString;
      json.text = string();
    } else if (text_.compare(at_, 4, "null") == 0) {
      at_ += 4;
    } else if (text_.compare(at_, 4, "true") == 0 || text_.compare(at_, 5, "false") == 0) {
      json.kind = Json::Kind::kLiteral;
      json.text = text_[at_] == 't' ? "true" : "false";
      at_ += json.text.size();
    } else {
      json.kind = Json::Kind::kNumber;
      const char* first = text_.data() + at_;
      auto [end, error] = std::from_chars(first, text_.data() + text_.size(), json.number);
      if (error != std::errc() || *first == '+') fail();
      at_ += static_cast<std::size_t>(end - first);
    }
    return json;
  }

  std::string text_;
  std::size_t at_ = 0;
};

// The elements of an XML text, each with its attributes and the text
// within it, its children's included; throws unless every element is closed
// in order and every attribute quoted.
struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;
};

std::vector<Element> xml_elements(const std::string& xml) {
  std::vector<Element> done;
  std::vector<Element> open;
  auto fail = [&](std::size_t at) { throw std::runtime_error("no XML at " + xml.substr(at, 40)); };
  for (std::size_t at = 0; at < xml.size();) {
    std::size_t tag = xml.find('<', at);
    for (Element& element : open) element.text += xml.substr(at, tag - at);
    if (tag == std::string::npos) break;
    std::size_t end = xml.find('>', tag);
    if (end == std::string::npos) fail(tag);
    at = end + 1;
    if (xml[tag + 1] == '?') continue;
    if (xml[tag + 1] == '/') {
      if (open.empty() || xml.substr(tag + 2, end - tag - 2) != open.back().name) fail(tag);
      done.push_back(open.back());
      open.pop_back();
      continue;
    }
    bool empty = xml[end - 1] == '/';
    std::string inside = xml.substr(tag + 1, end - tag - (empty ? 2 : 1));
    Element element;
    element.name = inside.substr(0, inside.find(' '));
    for (std::size_t a = inside.find(' '); a != std::string::npos && a + 1 < inside.size();) {
      std::size_t equals = inside.find("=\"", a);
      std::size_t quote = equals == std::string::npos ? equals : inside.find('"', equals + 2);
      if (quote == std::string::npos) fail(tag);
      element.attributes[inside.substr(a + 1, equals - a - 1)] =
          inside.substr(equals + 2, quote - equals - 2);
      a = quote + 1;
    }
    (empty ? done : open).push_back(element);
  }
  if (!open.empty()) fail(xml.size());
  return done;
}

TEST_F(EndToEnd, TheCommandLinePastesTheInputsIntoTheResult) {
  disk.write("s/north.xyz", "600000.12 6100000.5 12.25\n");
  disk.write("s/south.xyz", "1e3 -2.5E-1 7.1234567\n");
  RunResult run = disk.run_arguments("-o images/s/all.xyz images/s/north.xyz images/s/south.xyz");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // The summary below the reports, its figures those of both inputs.
  EXPECT_EQ(run.out.substr(0, run.out.find("Time: ")),
            "1/2 images/s/north.xyz: 1 point, X_min = 600000.120000 X_max = 600000.120000 "
            "Y_min = 6100000.500000 Y_max = 6100000.500000\n"
            "2/2 images/s/south.xyz: 1 point, X_min = 1000.000000 X_max = 1000.000000 "
            "Y_min = -0.250000 Y_max = -0.250000\n"
            "\nFiles pasted: 2 of 2\nPoints: 2\nResult: images/s/all.xyz, 72 bytes\n"
            "X_min = 1000.000000 X_max = 600000.120000\n"
            "Y_min = -0.250000 Y_max = 6100000.500000\n"
            "Z_min = 7.123457 Z_max = 12.250000\n");
  EXPECT_TRUE(run.out.ends_with(" s\n")) << run.out;
  EXPECT_EQ(disk.read("s/all.xyz"), crlf_lines({"600000.120000 6100000.500000 12.250000",
                                                "1000.000000 -0.250000 7.123457"}));
  EXPECT_EQ(disk.read("s/all_xyz_info.txt"),
            info_report("2", {"images/s/north.xyz", "images/s/south.xyz"}));

  run = disk.run_arguments("--quiet --output images/s/merged.txt images/s/south.xyz");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(disk.read("s/merged.txt"), crlf_lines({"1000.000000 -0.250000 7.123457"}));
  EXPECT_EQ(disk.read("s/merged.txt_xyz_info.txt"), info_report("1", {"images/s/south.xyz"}));

  // ".." after a link leads where the link leads, not back: no clash here.
  if (windows_program()) return;  // Windows resolves ".." by the name
  std::filesystem::create_directories(disk.path("s/sub"));
  std::filesystem::create_directories(disk.path("w"));
  std::filesystem::create_directory_symlink("../s/sub", disk.path("w/link"));
  run = disk.run_arguments("-q -o images/w/south.xyz images/w/link/../south.xyz");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read("w/south.xyz"), crlf_lines({"1000.000000 -0.250000 7.123457"}));
}

// One file under two names is pasted twice, as asked, after a warning
// that names both; the same name twice is taken as meant.
TEST_F(EndToEnd, AnInputGivenTwiceUnderTwoNamesIsWarnedOf) {
  disk.write("s/a.xyz", "1 2 3\n");
  RunResult run =
      disk.run_arguments("-q -o images/s/r.xyz images/s/a.xyz ./images/s/a.xyz images/s/a.xyz");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "stratumix: warning: ./images/s/a.xyz is the file images/s/a.xyz under another name: "
            "its points are pasted twice.\n");
  EXPECT_EQ(disk.read("s/r.xyz"),
            crlf_lines({"1.000000 2.000000 3.000000", "1.000000 2.000000 3.000000",
                        "1.000000 2.000000 3.000000"}));
}

// Any name the system can show: accented letters of the ANSI code page and
// letters outside it, given on the command line in UTF-8 (Windows takes
// them from its wide command line).
TEST_F(EndToEnd, TheCommandLineTakesNamesInAnyLanguage) {
  setenv("LC_ALL", "C.UTF-8", 1);  // Wine reads the arguments in the locale's encoding
  disk.write("s/relev\u00e9s.xyz", "1 2 3\n");
  disk.write("s/\u03a9mega.xyz", "4 5 6\n");
  const std::string inputs[] = {"images/s/relev\u00e9s.xyz", "images/s/\u03a9mega.xyz"};
  RunResult run =
      disk.run_arguments("-o 'images/s/\u00cele-de-France.xyz' " + inputs[0] + " " + inputs[1]);
  unsetenv("LC_ALL");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(disk.read("s/\u00cele-de-France.xyz"),
            crlf_lines({"1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000"}));
  EXPECT_EQ(disk.read("s/\u00cele-de-France_xyz_info.txt"),
            info_report("2", {inputs[0], inputs[1]}));
  EXPECT_NE(run.out.find("2/2 " + inputs[1] + ": 1 point"), std::string::npos) << run.out;
}

TEST_F(EndToEnd, TheCommandLineTakesMoreThan99Inputs) {
  std::string inputs;
  std::vector<std::string> paths;
  std::string points;
  for (int i = 1; i <= 150; ++i) {
    std::string name = "s/t" + std::to_string(1000 + i) + ".xyz";
    disk.write(name, std::to_string(i) + " 0 0\n");
    inputs += " images/" + name;
    paths.push_back("images/" + name);
    points += std::to_string(i) + ".000000 0.000000 0.000000\r\n";
  }
  // On Windows the program expands the pattern itself, in name order.
  std::string pattern = windows_program() ? "'images/s/t*.xyz'" : "images/s/t*.xyz";
  for (const std::string& given : {inputs, " " + pattern}) {
    RunResult run = disk.run_arguments("-q -o images/r.xyz" + given);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(disk.read("r.xyz"), points);
    EXPECT_EQ(disk.read("r_xyz_info.txt"), info_report("150", paths));
  }
}

// The peak resident memory, in KiB, of the program run on these arguments
// by the shell (which expands them) in the working directory.
long peak_memory(const Workspace& disk, const std::string& arguments) {
  std::string command = disk.command_in_workspace() + " " + arguments;
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || status != 0) return -1;
  return usage.ru_maxrss;
}

// Thousands of inputs cost each its name as given and the job table's
// copy, and a small record: what the summary keeps of an input refers to
// the job table's name instead of copying it.
TEST_F(EndToEnd, ThousandsOfInputsKeepTheirNamesOnce) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer keeps memory of its own";
#endif
  if (windows_program()) GTEST_SKIP() << "the peak memory of a POSIX child";
  constexpr int kInputs = 4000;
  for (int i = 0; i < kInputs; ++i) {
    disk.write("m/" + std::to_string(10000 + i) + std::string(191, 'n') + ".xyz", "1 2 3\n");
  }
  long two = peak_memory(disk, "-q -o images/r.xyz images/m/10000* images/m/10001*");
  long all = peak_memory(disk, "-q -o images/r.xyz images/m/*");
  ASSERT_GT(two, 0);
  ASSERT_GT(all, 0);
  EXPECT_LT((all - two) * 1024 / kInputs, 1000) << two << " KiB for two, " << all << " for all";
}

TEST_F(EndToEnd, TheCommandLineChecksEverythingBeforeCreatingAnything) {
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("s/r.xyz", "earlier\r\n");
  std::filesystem::create_directory(disk.path("s/k.json.part"));
  struct Case {
    std::string arguments;
    std::string message;  // the start of the one line on standard error
  };
  std::vector<Case> refused = {
      {"-o images/s/r.xyz images/s/a.xyz images/s/none.xyz",
       "stratumix: Cannot read images/s/none.xyz: No such file or directory"},
      {"-o images/s/r.xyz images/s/a.xyz images/s", "stratumix: Cannot read images/s: "},
      {"-o images/s/r.xyz images/s/a.xyz images/s/r.xyz", "stratumix: The output file"},
      {"-o images/s/r.xyz ./images/s/r.xyz", "stratumix: The output file"},
      {"-o images/s/r.xyz images/s/nothing*.xyz", "stratumix: "},
      {"-o images/nowhere/r.xyz images/s/a.xyz", "stratumix: Cannot create images/nowhere/r.xyz"},
      // A line break in a name would split the message, an empty name vanish.
      {"-o images/s/r.xyz 'images/s/a\nb.xyz'", "stratumix: Cannot read images/s/a\\x0ab.xyz: "},
      {"-o images/s/r.xyz ''", "stratumix: Cannot read '': "},
      {"--report images/nowhere/j.json -o images/s/r.xyz images/s/a.xyz",
       "stratumix: Cannot write the report images/nowhere/j.json: No such file or directory"},
      {"--map images/s -o images/s/r.xyz images/s/a.xyz",
       "stratumix: Cannot write the map images/s: Is a directory"},
      {"--report images/s/a.xyz -o images/s/r.xyz images/s/a.xyz",
       "stratumix: The report images/s/a.xyz would overwrite images/s/a.xyz"},
      {"--report images/s/j --map=images/s/j -o images/s/r.xyz images/s/a.xyz",
       "stratumix: The map images/s/j would overwrite images/s/j"},
      // Bare names in the folder the job runs in, of files not made yet.
      {"--report new.xyz -o new.xyz images/s/a.xyz",
       "stratumix: The report new.xyz would overwrite new.xyz"},
      {"--report ./new_xyz_info.txt -o new.xyz images/s/a.xyz",
       "stratumix: The report ./new_xyz_info.txt would overwrite new_xyz_info.txt"},
      {"--report j.json --map j.json -o images/s/r.xyz images/s/a.xyz",
       "stratumix: The map j.json would overwrite j.json"},
      {"--report images/s/j --map=images/s/j.part -o images/s/r.xyz images/s/a.xyz",
       "stratumix: The map images/s/j.part would overwrite images/s/j.part"},
      {"--report images/s/k.json -o images/s/r.xyz images/s/a.xyz",
       "stratumix: Cannot write the report images/s/k.json.part: Is a directory"},
      // Names the system takes only without the ".part", or not at all.
      {"--report images/s/" + std::string(252, 'j') + " -o images/s/r.xyz images/s/a.xyz",
       "stratumix: Cannot write the report images/s/" + std::string(252, 'j') +
           ".part: File name too long"},
      {"--report images/s/a.xyz/j.json -o images/s/r.xyz images/s/a.xyz",
       "stratumix: Cannot write the report images/s/a.xyz/j.json: Not a directory"},
  };
  // Readable to access(), yet no file to open: found before anything is
  // emptied. (The program runs without a terminal.)
  int socket_fd = -1;
  if (!windows_program()) {
    refused.push_back({"-o images/s/r.xyz images/s/a.xyz images/s/socket",
                       "stratumix: Cannot read images/s/socket: No such device or address"});
    refused.push_back({"-o images/s/r.xyz images/s/a.xyz /dev/tty",
                       "stratumix: Cannot read /dev/tty: No such device or address"});
    // A link to a stream (/dev/stderr is one too), which the rename would
    // replace with a file.
    refused.push_back({"--report /proc/self/fd/2 -o images/s/r.xyz images/s/a.xyz",
                       "stratumix: Standard error goes to the report /proc/self/fd/2"});
    // Written through, a link in the temporary file's place would change
    // the file it leads to.
    disk.write("s/precious.txt", "mine");
    std::filesystem::create_symlink("precious.txt", disk.path("s/l.json.part"));
    refused.push_back({"--report images/s/l.json -o images/s/r.xyz images/s/a.xyz",
                       "stratumix: Cannot write the report images/s/l.json.part: it is a "
                       "symbolic link"});
    // So would another name of it (a hard link), found before the result
    // is emptied.
    std::filesystem::create_hard_link(disk.path("s/precious.txt"), disk.path("s/h.svg.part"));
    refused.push_back({"--map images/s/h.svg -o images/s/r.xyz images/s/a.xyz",
                       "stratumix: Cannot write the map images/s/h.svg.part: it has other names "
                       "(hard links); nothing was created."});
    socket_fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string socket_path = disk.path("s/socket").string();
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    socket_path.copy(address.sun_path, socket_path.size());
    ASSERT_EQ(bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  for (const Case& c : refused) {
    RunResult run = disk.run_arguments(c.arguments);
    EXPECT_EQ(run.status, 1) << c.arguments;
    EXPECT_EQ(run.err.substr(0, c.message.size()), c.message) << run.err;
    EXPECT_EQ(run.out, "") << c.arguments;
    EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n") << c.arguments;
    EXPECT_FALSE(disk.exists("s/r_xyz_info.txt")) << c.arguments;
    EXPECT_FALSE(disk.exists("s/j")) << c.arguments;
  }
  for (const char* wrong :
       {"images/s/a.xyz", "-o images/s/r.xyz", "-o images/s/r.xyz -o images/s/q.xyz images/s/a.xyz",
        "--frobnicate -o images/s/r.xyz images/s/a.xyz", "-o",
        "-o images/s/r.xyz images/s/a.xyz --map"}) {
    RunResult run = disk.run_arguments(wrong);
    EXPECT_EQ(run.status, 1) << wrong;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    EXPECT_TRUE(run.err.ends_with(kTryHelp)) << run.err;
    EXPECT_EQ(disk.read("s/r.xyz"), "earlier\r\n") << wrong;
  }
  if (socket_fd >= 0) close(socket_fd);
  if (!windows_program()) {
    EXPECT_EQ(disk.read("s/precious.txt"), "mine");
  }
}

// A report through a link is written where the link leads, made there if
// missing, and the link stays: the rename would have put a plain file in
// its place.
TEST_F(EndToEnd, AReportThroughALinkIsWrittenWhereTheLinkLeads) {
  if (windows_program()) GTEST_SKIP() << "Wine shows Linux links as the files they lead to";
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("kept/.keep", "");
  std::filesystem::create_symlink("../kept/job.json", disk.path("s/job.json"));
  for (int run = 0; run < 2; ++run) {
    RunResult job =
        disk.run_arguments("-q --report images/s/job.json -o images/s/r.xyz images/s/a.xyz");
    EXPECT_EQ(job.status, 0) << job.err;
    EXPECT_TRUE(std::filesystem::is_symlink(disk.path("s/job.json")));
    EXPECT_EQ(JsonParser(disk.read("kept/job.json")).document()["points"].number, 1);
    EXPECT_FALSE(disk.exists("s/job.json.part"));
    EXPECT_FALSE(disk.exists("kept/job.json.part"));
  }
}

// In a folder that every user may write to, such as /tmp, only its owner
// and a file's own may replace the file: the rename at the end would fail.
TEST_F(EndToEnd, AReportThatAnotherUserOwnsInASharedFolderIsRefusedBeforeTheJob) {
  if (windows_program() || geteuid() != 0) GTEST_SKIP() << "needs another user's file";
  disk.write("s/a.xyz", "1 2 3\n");
  disk.write("shared/j.json", "theirs");
  disk.run_as_ordinary_user();
  using std::filesystem::perms;
  std::filesystem::permissions(disk.path("shared"), perms::all | perms::sticky_bit);
  // Even one that the user may write.
  std::filesystem::permissions(disk.path("shared/j.json"), perms::all);
  RunResult run =
      disk.run_arguments("-q --report images/shared/j.json -o images/s/r.xyz images/s/a.xyz");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "stratumix: Cannot write the report images/shared/j.json: Operation not permitted; "
            "nothing was created.\n");
  EXPECT_FALSE(disk.exists("s/r.xyz"));
  EXPECT_EQ(disk.read("shared/j.json"), "theirs");
}

// /dev/stdout, a pipe, a device: nothing beside it is the user's to
// write, so there is no info report. Run by an ordinary user, who may
// not write in /dev.
TEST_F(EndToEnd, AResultThatIsNoPlainFileGetsNoInfoReport) {
  if (windows_program()) GTEST_SKIP() << "/dev/stdout is POSIX's";
  disk.write("s/a.xyz", "1 2 3\n");
  // The whole job, the pipe's maker included, as that user.
  std::string user = disk.run_as_ordinary_user();
  std::string job =
      "{ ./stratumix"
      " -q --report job.json -o /dev/stdout images/s/a.xyz 2> err.txt; echo $? > status.txt; } "
      "| cat > out.txt";
  std::string command = disk.shell_in_workspace(user + "sh -c '" + job + "'");
  ASSERT_EQ(std::system(command.c_str()), 0);
  auto slurp = [&](const char* name) {
    std::ifstream in(disk.work() / name);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(slurp("status.txt"), "0\n") << slurp("err.txt");
  EXPECT_EQ(slurp("out.txt"), crlf_lines({"1.000000 2.000000 3.000000"}));
  EXPECT_EQ(slurp("err.txt"), "");
  EXPECT_FALSE(std::filesystem::exists("/dev/stdout_xyz_info.txt"));
  // Nor does the report name one.
  EXPECT_EQ(JsonParser(slurp("job.json")).document()["info_report"].text, "");

  // Standard output sent to a file is the stream still, under each of its
  // names: written as the shell opened it (`>>` appends), nothing beside
  // it. The null device, as result and standard error, clashes with none.
  const std::string line = crlf_lines({"1.000000 2.000000 3.000000"});
  std::string jobs =
      "./stratumix -q -o /dev/stdout images/s/a.xyz > out.txt 2> err.txt; echo $? > status.txt;"
      "./stratumix -q -o /dev/fd/1 images/s/a.xyz >> out.txt 2>> err.txt; echo $? >> status.txt;"
      "./stratumix -q -o /proc/self/fd/1 images/s/a.xyz >> out.txt 2>> err.txt;"
      "echo $? >> status.txt;"
      "./stratumix -q -o /dev/null images/s/a.xyz 2> /dev/null; echo $? >> status.txt";
  command = disk.shell_in_workspace(user + "sh -c '" + jobs + "'");
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(slurp("status.txt"), "0\n0\n0\n0\n") << slurp("err.txt");
  EXPECT_EQ(slurp("err.txt"), "");
  EXPECT_EQ(slurp("out.txt"), line + line + line);
  EXPECT_FALSE(std::filesystem::exists(disk.work() / "out_xyz_info.txt"));
  EXPECT_FALSE(std::filesystem::exists("/dev/stdout_xyz_info.txt"));
}

// The console's text is what a script reads of the job: standard output
// that will not take it is an error, status 1, though the result is whole.
// Closed, standard output asked for nothing; a reader that went away
// (| head) wanted no more.
TEST_F(EndToEnd, StandardOutputThatCannotBeWrittenIsAnError) {
  std::string points;
  for (int i = 0; i < 250000; ++i) points += "1 2 3\n";
  disk.write("s/a.xyz", points);
  const std::size_t whole = std::size_t{250000} * 28;
  if (std::filesystem::exists("/dev/full") && !windows_program()) {
    for (const char* options : {"", "--brief ", "--report images/s/j.json "}) {
      RunResult run = disk.run_redirected(
          "", "> /dev/full", std::string(options) + "-o images/s/r.xyz images/s/a.xyz");
      EXPECT_EQ(run.status, 1) << options;
      EXPECT_EQ(run.err, "stratumix: Cannot write standard output: No space left on device\n");
      EXPECT_EQ(disk.read("s/r.xyz").size(), whole);
    }
    EXPECT_EQ(JsonParser(disk.read("s/j.json")).document()["exit_status"].number, 1);
    RunResult run = disk.run_redirected("", "> /dev/full", "--version");
    EXPECT_EQ(run.status, 1);
    run = disk.run_redirected("", "> /dev/full", "-q -o images/s/r.xyz images/s/a.xyz");
    EXPECT_EQ(run.status, 0) << run.err;
  }
  RunResult run = disk.run_redirected("", ">&-", "-o images/s/r.xyz images/s/a.xyz");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  run = disk.run_redirected("", "", "-o images/s/r.xyz images/s/a.xyz", "head -c 10 > out.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.raw_out.size(), 10u);
  EXPECT_EQ(disk.read("s/r.xyz").size(), whole);
}

// Two tiles that overlap and one apart, the last with text that is not
// points: the summary alone, then the report and the map as a script and a
// browser read them, every figure that of the points.
TEST_F(EndToEnd, TheCommandLineLeavesAReportAndAMapOfTheTiles) {
  disk.write("s/a.xyz", "651000 6862000 1\n651100 6862100 2\n651020.5 6862030 3\n");
  disk.write("s/b.xyz", "651050 6862050 4\n651150 6862150 5\n");
  disk.write("s/c.xyz", "651300 6862000 6\n651400 6862100 7\nx\n");
  RunResult run = disk.run_arguments(
      "--brief --report images/s/job.json --map images/s/tiles.svg -o images/s/all.xyz "
      "images/s/a.xyz images/s/b.xyz images/s/c.xyz");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out.substr(0, run.out.find("Time: ")),
            "Files pasted: 2 of 3\nFiles pasted in part: 1 (see the warnings)\nPoints: 7\n"
            "Result: images/s/all.xyz, " +
                std::to_string(disk.read("s/all.xyz").size()) +
                " bytes\n"
                "X_min = 651000.000000 X_max = 651400.000000\n"
                "Y_min = 6862000.000000 Y_max = 6862150.000000\n"
                "Z_min = 1.000000 Z_max = 7.000000\n");
  EXPECT_NE(run.err.find("warning: images/s/c.xyz, line 3"), std::string::npos) << run.err;

  Json job = JsonParser(disk.read("s/job.json")).document();
  EXPECT_EQ(job["finished"].text, "true");
  EXPECT_EQ(job["points"].number, 7);
  EXPECT_EQ(job["extents"]["y"]["max"].number, 6862150);
  EXPECT_EQ(job["extents"]["z"]["min"].number, 1);
  EXPECT_EQ(job["files_pasted_in_part"].number, 1);
  EXPECT_EQ(job["inputs"][2]["extents"]["z"]["max"].number, 7);
  struct Tile {
    const char* path;
    double points, x_min, x_max, y_min, y_max;
  };
  const std::vector<Tile> tiles = {{"images/s/a.xyz", 3, 651000, 651100, 6862000, 6862100},
                                   {"images/s/b.xyz", 2, 651050, 651150, 6862050, 6862150},
                                   {"images/s/c.xyz", 2, 651300, 651400, 6862000, 6862100}};
  ASSERT_EQ(job["inputs"].items.size(), tiles.size());
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    const Json& input = job["inputs"][i];
    EXPECT_EQ(input["path"].text, tiles[i].path);
    EXPECT_EQ(input["points"].number, tiles[i].points);
    EXPECT_EQ(input["bytes"].number, static_cast<double>(disk.read(tiles[i].path + 7).size()));
    EXPECT_EQ(input["extents"]["x"]["min"].number, tiles[i].x_min);
    EXPECT_EQ(input["extents"]["y"]["max"].number, tiles[i].y_max);
    EXPECT_EQ(input["notes"].items.size(), i == 2 ? 1u : 0u);
  }
  EXPECT_NE(job["inputs"][2]["notes"].items.at(0).text.find("line 3"), std::string::npos);

  // Each tile where its extent puts it, to the scale of the whole.
  std::vector<Element> svg = xml_elements(disk.read("s/tiles.svg"));
  auto of_class = [&svg](const char* name) {
    std::vector<Element> found;
    for (Element element : svg) {
      if (element.name == "rect" && element.attributes["class"] == name) found.push_back(element);
    }
    return found;
  };
  // What a reader of the picture needs: a title, names, the legend of the
  // shades, a scale in map units, and a size the window sets.
  std::map<std::string, std::string> texts;  // by class, else by content
  for (Element element : svg) {
    if (element.name == "text") texts[element.attributes["class"] + ":" + element.text] = "";
    if (element.name == "svg") {
      EXPECT_EQ(element.attributes.count("width"), 0u);
      EXPECT_TRUE(element.attributes["viewBox"].starts_with("0 0 "))
          << element.attributes["viewBox"];
    }
  }
  const std::string summary = ":3 files, 7 points; X 651000 to 651400, Y 6862000 to 6862150";
  for (const std::string& text :
       {std::string("title:images/s/all.xyz"), summary, std::string("label:a.xyz"),
        std::string("label:b.xyz"), std::string("label:c.xyz"),
        std::string(":Points per square map unit:"), std::string(":100 map units")})
    EXPECT_EQ(texts.count(text), 1u) << text;
  EXPECT_FALSE(of_class("shade").empty());
  std::vector<Element> whole = of_class("extent");
  ASSERT_EQ(whole.size(), 1u);
  double left = std::stod(whole[0].attributes["x"]);
  double top = std::stod(whole[0].attributes["y"]);
  double scale = std::stod(whole[0].attributes["width"]) / 400;
  std::vector<Element> drawn = of_class("tile");
  ASSERT_EQ(drawn.size(), tiles.size());
  for (Element& tile : drawn) {
    std::size_t number = std::stoul(tile.attributes["id"].substr(5));
    const Tile& expected = tiles.at(number - 1);
    EXPECT_EQ(tile.text, std::to_string(number) + ": " + expected.path + ", " +
                             std::to_string(static_cast<int>(expected.points)) + " points");
    EXPECT_NEAR(std::stod(tile.attributes["x"]), left + (expected.x_min - 651000) * scale, 0.01);
    EXPECT_NEAR(std::stod(tile.attributes["y"]), top + (6862150 - expected.y_max) * scale, 0.01);
    EXPECT_NEAR(std::stod(tile.attributes["width"]), (expected.x_max - expected.x_min) * scale,
                0.01);
    EXPECT_NEAR(std::stod(tile.attributes["height"]), (expected.y_max - expected.y_min) * scale,
                0.01);
  }
  EXPECT_FALSE(disk.exists("s/job.json.part"));
}

// The tile index is a GeoJSON layer: a polygon per input with points, none
// for an input without, and a GIS reader (GDAL's ogrinfo, where installed)
// reads the features and their extent.
TEST_F(EndToEnd, TheTileIndexIsALayerAGisReads) {
  disk.write("s/a.xyz", "651000 6862000 1\n651100 6862100 2\n651020.5 6862030 3\n");
  disk.write("s/b.xyz", "651050 6862050 4\n651150 6862150 5\n");
  disk.write("s/empty.xyz", "");
  disk.write("s/c.xyz", "651300 6862000 6\n651400 6862100 -7\nx\n");
  RunResult run = disk.run_arguments(
      "-q --index images/s/tiles.geojson -o images/s/all.xyz images/s/a.xyz images/s/b.xyz "
      "images/s/empty.xyz images/s/c.xyz");
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_FALSE(disk.exists("s/tiles.geojson.part"));

  Json index = JsonParser(disk.read("s/tiles.geojson")).document();
  EXPECT_EQ(index["type"].text, "FeatureCollection");
  const Json& features = index["features"];
  ASSERT_EQ(features.items.size(), 4u);
  // Counterclockwise from the lower left corner, closed.
  const Json& ring = features.items.at(0)["geometry"]["coordinates"].items.at(0);
  const double corners[][2] = {{651000, 6862000},
                               {651100, 6862000},
                               {651100, 6862100},
                               {651000, 6862100},
                               {651000, 6862000}};
  ASSERT_EQ(ring.items.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(ring[i].items.at(0).number, corners[i][0]) << i;
    EXPECT_EQ(ring[i].items.at(1).number, corners[i][1]) << i;
  }
  EXPECT_EQ(features.items.at(0)["geometry"]["type"].text, "Polygon");
  EXPECT_EQ(features.items.at(0)["properties"]["path"].text, "images/s/a.xyz");
  EXPECT_EQ(features.items.at(0)["properties"]["points"].number, 3);
  EXPECT_EQ(features.items.at(1)["properties"]["bytes"].number, disk.read("s/b.xyz").size());
  EXPECT_EQ(features.items.at(2)["geometry"].kind, Json::Kind::kNull);
  EXPECT_EQ(features.items.at(2)["properties"]["points"].number, 0);
  EXPECT_EQ(features.items.at(2)["properties"]["x_min"].kind, Json::Kind::kNull);
  EXPECT_EQ(features.items.at(3)["properties"]["z_min"].number, -7);
  EXPECT_NE(features.items.at(3)["properties"]["notes"].text.find("line 3"), std::string::npos);

  if (std::system("command -v ogrinfo > /dev/null 2>&1") != 0) {
    std::fprintf(stderr,
                 "note: no ogrinfo here (Debian's gdal-bin): the GIS reading is not tried\n");
    return;
  }
  std::string listing = (disk.work() / "ogrinfo.txt").string();
  std::string command = "ogrinfo -ro -al -so '" + disk.path("s/tiles.geojson").string() + "' > '" +
                        listing + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << std::ifstream(listing).rdbuf();
  std::ifstream file(listing);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Feature Count: 4"), std::string::npos) << text;
  EXPECT_NE(text.find("Extent: (651000.000000, 6862000.000000) - (651400.000000, 6862150.000000)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("points: Integer"), std::string::npos) << text;
}

// At a terminal, the bar shows on standard error while a slow input comes:
// drawn at most ten times a second, on one line, out of the way of a
// warning, and erased at the end. Redirected, or with --quiet, nothing of
// it shows.
TEST_F(EndToEnd, AtATerminalAProgressBarFollowsTheJob) {
  if (windows_program()) GTEST_SKIP() << "named pipes and terminals are POSIX's";
  disk.write("s/a.xyz", "1 2 3\n");
  ASSERT_EQ(mkfifo(disk.path("s/slow.xyz").c_str(), 0644), 0);
  // The points the pipe gives, over a second, then text that is no point.
  auto feed = [&](int tenths) {
    int pipe_fd = open(disk.path("s/slow.xyz").c_str(), O_WRONLY);  // waits for the job
    ASSERT_GE(pipe_fd, 0);
    std::string points;
    for (int i = 0; i < 2000; ++i) points += "10 20 30\n";
    for (int i = 0; i < tenths; ++i) {
      ASSERT_EQ(write(pipe_fd, points.data(), points.size()), static_cast<ssize_t>(points.size()));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(write(pipe_fd, "x\n", 2), 2);
    close(pipe_fd);
  };
  const std::string arguments = "-o images/s/r.xyz images/s/a.xyz images/s/slow.xyz";
  auto started = std::chrono::steady_clock::now();
  {
    Background job(disk, "", true, "--brief " + arguments);
    feed(10);
    ASSERT_TRUE(job.wait_for_console("Time: ")) << job.console();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(job.wait(), 2);
    const std::string& screen = job.console();
    std::size_t drawn = 0;
    for (std::size_t at = 0; (at = screen.find("2/2 images/s/slow.xyz", at)) != std::string::npos;
         ++at) {
      ++drawn;
      // One line that stops short of the last column, the size unknown.
      std::size_t line_end = screen.find('\r', at);
      EXPECT_LT(line_end - at, 80u) << screen.substr(at, line_end - at);
      EXPECT_NE(screen.substr(at, line_end - at).find("MB read"), std::string::npos);
    }
    EXPECT_GE(drawn, 3u) << screen;
    EXPECT_LE(static_cast<double>(drawn), seconds * 10 + 2) << screen;
    std::size_t warning = screen.find("stratumix: warning: images/s/slow.xyz, line 20001");
    std::size_t summary = screen.find("Files pasted: 1 of 2");
    ASSERT_NE(warning, std::string::npos) << screen;
    ASSERT_NE(summary, std::string::npos) << screen;
    // Blanks over the bar between CRs before each of them, and nothing left.
    for (std::size_t text : {warning, summary}) {
      std::size_t blanks = screen.rfind('\r', text - 2);
      ASSERT_EQ(screen[text - 1], '\r');
      EXPECT_EQ(screen.find_first_not_of(' ', blanks + 1), text - 1) << screen;
    }
    EXPECT_EQ(screen.find("2/2", summary), std::string::npos) << screen;
  }
  for (bool on_terminal : {true, false}) {
    Background job(disk, "", on_terminal, (on_terminal ? "--quiet " : "") + arguments);
    feed(4);
    job.wait_for_console("no more");
    EXPECT_EQ(job.wait(), 2);
    std::ifstream err(disk.work() / "err.txt");
    std::string errors =
        on_terminal ? job.console() : std::string(std::istreambuf_iterator<char>(err), {});
    // The warning alone, a terminal's line end CR LF.
    EXPECT_TRUE(errors.starts_with("stratumix: warning: images/s/slow.xyz, line 8001")) << errors;
    EXPECT_EQ(errors.find('\r'), on_terminal ? errors.size() - 2 : std::string::npos) << errors;
  }
}

TEST_F(EndToEnd, HelpAndVersion) {
  for (const char* help : {"--help", "-h"}) {
    RunResult run = disk.run_arguments(help);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("Usage: stratumix\n")) << run.out;
    EXPECT_NE(run.out.find("_xyz_info.txt"), std::string::npos);
    // Each option told, and shown in an example.
    for (const char* option : {"--quiet ", "--brief ", "--progress ", "--no-progress ",
                               "--report FILE", "--map FILE", "--index FILE"}) {
      std::string example = std::string("  stratumix ") + option;
      example = example.substr(0, example.find(" FILE"));
      EXPECT_NE(run.out.find(option), std::string::npos) << option;
      EXPECT_NE(run.out.find(example), std::string::npos) << option;
    }
  }
  RunResult run = disk.run_arguments("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with("stratumix ")) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
}

}  // namespace
