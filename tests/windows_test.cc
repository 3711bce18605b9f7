// The Windows program where only a Windows program can show it: inputs
// that come through named pipes this test serves (a job held up while a
// second one tries its result; more than 4 GiB that no 32-bit file
// position could follow), and standard handles that are files.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring program;

HANDLE listen(const std::wstring& name) {
  return CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                          PIPE_UNLIMITED_INSTANCES, 1 << 20, 0, 0, nullptr);
}

// Serves a pipe to every program that opens it, until `serve` has fed one
// to the end (returns true): the program opens its inputs to check them
// before it reads them. One instance always waits, so that no opening finds
// the pipe missing: the first is made before the server's thread starts,
// since the program may be started before that thread runs.
void serve_pipe(HANDLE waiting, const std::wstring& name,
                const std::function<bool(HANDLE)>& serve) {
  for (;;) {
    HANDLE pipe = waiting;
    if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
    waiting = listen(name);
    // Disconnecting would throw away what the reader has not read yet: a
    // pipe fed to the end is closed, which its reader sees as the end.
    bool whole = serve(pipe);
    if (!whole) DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    if (whole) break;
  }
  CloseHandle(waiting);
}

bool write_all(HANDLE pipe, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
         written == bytes.size();
}

// The program, started with `arguments` in `folder`; its standard output
// is `output` when given, else a pipe read into console() with its
// standard error.
class Job {
 public:
  Job(const std::wstring& arguments, const std::wstring& folder, HANDLE output = nullptr) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE write_end = nullptr;
    CreatePipe(&read_end_, &write_end, &inherit, 0);
    SetHandleInformation(read_end_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output != nullptr ? output : write_end;
    startup.hStdError = write_end;
    std::wstring command = L"\"" + program + L"\" " + arguments;
    started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                              folder.c_str(), &startup, &process_) != 0;
    CloseHandle(write_end);
    if (started_) reader_ = std::thread([this] { read_console(); });
  }
  ~Job() {
    if (reader_.joinable()) reader_.join();
    CloseHandle(read_end_);
    if (started_) {
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
  }

  // Waits for the end: the exit status.
  DWORD wait() {
    if (!started_) return 255;
    WaitForSingleObject(process_.hProcess, INFINITE);
    if (reader_.joinable()) reader_.join();
    DWORD status = 0;
    GetExitCodeProcess(process_.hProcess, &status);
    return status;
  }
  std::string console() {
    std::lock_guard<std::mutex> hold(lock_);
    return console_;
  }

 private:
  void read_console() {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end_, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      std::lock_guard<std::mutex> hold(lock_);
      console_.append(buffer, got);
    }
  }

  std::mutex lock_;
  HANDLE read_end_ = nullptr;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
  std::thread reader_;
  std::string console_;
};

// A folder of its own for each test, with files in it.
class Folder {
 public:
  Folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"stratumix-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Folder() {
    for (const std::wstring& name : made_) DeleteFileW((path_ + L"\\" + name).c_str());
    RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }
  std::wstring file(const std::wstring& name) {
    made_.push_back(name);
    return path_ + L"\\" + name;
  }
  void write(const std::wstring& name, const std::string& bytes) {
    HANDLE file =
        CreateFileW(this->file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    write_all(file, bytes);
    CloseHandle(file);
  }
  std::string read(const std::wstring& name) {
    HANDLE file = CreateFileW(this->file(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
      bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
  }

 private:
  std::wstring path_;
  std::vector<std::wstring> made_;
};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// While a job writes a result, another job may neither write that result
// nor its info report, and loses nothing trying.
TEST(Jobs, ASecondJobOnTheSameOutputsIsRefused) {
  Folder folder;
  folder.write(L"b.xyz", "4 5 6\n");
  const std::wstring pipe =
      L"\\\\.\\pipe\\stratumix-slow-" + std::to_wstring(GetCurrentProcessId());
  HANDLE go_on = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE reading = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread server(serve_pipe, listen(pipe), pipe, [&](HANDLE client) {
    // Only the job's pasting reads what it is given: a look at the input
    // closes the pipe before the flush ends.
    if (!write_all(client, "1 2 3\n") || !FlushFileBuffers(client)) return false;
    SetEvent(reading);
    WaitForSingleObject(go_on, 10000);
    return write_all(client, "7 8 9\n");
  });
  folder.file(L"r.xyz");
  folder.file(L"r_xyz_info.txt");
  Job first(L"-o r.xyz " + pipe + L" b.xyz", folder.path());
  EXPECT_EQ(WaitForSingleObject(reading, 10000), WAIT_OBJECT_0) << first.console();

  for (const wchar_t* output : {L"-o r.xyz b.xyz", L"-o R.XYZ b.xyz", L"-o r_xyz_info.txt b.xyz"}) {
    Job second(output, folder.path());
    EXPECT_EQ(second.wait(), 1u);
    EXPECT_TRUE(contains(second.console(), "another job is writing it")) << second.console();
  }
  SetEvent(go_on);
  EXPECT_EQ(first.wait(), 0u) << first.console();
  server.join();
  EXPECT_EQ(folder.read(L"r.xyz"),
            "1.000000 2.000000 3.000000\r\n7.000000 8.000000 9.000000\r\n"
            "4.000000 5.000000 6.000000\r\n");
  EXPECT_TRUE(contains(folder.read(L"r_xyz_info.txt"), "File 2 Name : b.xyz"));
  CloseHandle(go_on);
  CloseHandle(reading);
}

// Console text must never go into an output file, whatever handle the
// program was given as its standard output. (On Windows the handle already
// writing the file makes the program's claim on it fail.)
TEST(Jobs, StandardOutputIntoTheResultIsRefused) {
  Folder folder;
  folder.write(L"a.xyz", "1 2 3\n");
  folder.write(L"r.xyz", "earlier\r\n");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE result =
      CreateFileW(folder.file(L"r.xyz").c_str(), GENERIC_WRITE | FILE_APPEND_DATA,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  Job job(L"-o r.xyz a.xyz", folder.path(), result);
  DWORD status = job.wait();
  CloseHandle(result);
  EXPECT_EQ(status, 1u);
  EXPECT_TRUE(
      contains(job.console(), "stratumix: Cannot create r.xyz: another job is writing it") ||
      contains(job.console(), "Standard output goes to the output file r.xyz"))
      << job.console();
  EXPECT_EQ(folder.read(L"r.xyz"), "earlier\r\n");
}

bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Windows takes some names for other files than the ones typed, or for
// devices: such a result is refused with nothing made, and the messages
// read as on Linux.
TEST(Names, OutputsWindowsWouldNotNameAsTypedAreRefused) {
  Folder folder;
  folder.write(L"a.xyz", "1 2 3\n");
  struct Refused {
    const wchar_t* result;
    const char* message;
  };
  for (const Refused& refused :
       {Refused{L"nul.xyz", "nul.xyz would go to the device NUL, not to a file"},
        Refused{L"Con.txt", "Con.txt would go to the device CON, not to a file"},
        Refused{L"sub\\lpt3", "sub\\lpt3 would go to the device LPT3"},
        Refused{L"\"com1 .a.xyz\"", "would go to the device COM1"},
        Refused{L"nul.a.xyz", "would go to the device NUL"},
        Refused{L"all.xyz.", "all.xyz. ends in a dot, which Windows drops"},
        Refused{L"\"all.xyz \"", "ends in a space"},
        Refused{L"sub", "Cannot create sub: Is a directory"}}) {
    CreateDirectoryW(folder.file(L"sub").c_str(), nullptr);
    Job job(L"-o " + std::wstring(refused.result) + L" a.xyz", folder.path());
    EXPECT_EQ(job.wait(), 1u) << job.console();
    EXPECT_TRUE(contains(job.console(), refused.message)) << job.console();
    for (const wchar_t* made : {L"all.xyz", L"all.xyz_xyz_info.txt", L"all.xyz._xyz_info.txt",
                                L"nul_xyz_info.txt", L"sub_xyz_info.txt"}) {
      EXPECT_FALSE(exists(folder.file(made))) << made;
    }
    RemoveDirectoryW(folder.file(L"sub").c_str());
  }
  // The device named alone is meant.
  Job job(L"-o NUL a.xyz", folder.path());
  EXPECT_EQ(job.wait(), 0u) << job.console();
}

// FindFirstFile also matches the 8.3 names, where north.xyz~ is
// NORTH~1.XYZ: a pattern takes only the names the user sees.
TEST(Names, WildcardsMatchLongNamesOnly) {
  Folder folder;
  for (const wchar_t* name : {L"north.xyz", L"north.xyz~", L"north.xyz1", L"South.XYZ"}) {
    folder.write(name, "1 2 3\n");
  }
  folder.file(L"r.txt");
  folder.file(L"r.txt_xyz_info.txt");
  Job job(L"-o r.txt *.xyz", folder.path());
  EXPECT_EQ(job.wait(), 0u) << job.console();
  std::string info = folder.read(L"r.txt_xyz_info.txt");
  EXPECT_TRUE(contains(info, "Number of files to paste = 2 ")) << info;
  EXPECT_TRUE(contains(info, "File 1 Name : South.XYZ")) << info;
  EXPECT_TRUE(contains(info, "File 2 Name : north.xyz ")) << info;
  // A last .* also takes a name without extension, as in every Windows
  // program (*.* is every file).
  folder.write(L"readme", "4 5 6\n");
  Job all(L"-o r.txt read*.*", folder.path());
  EXPECT_EQ(all.wait(), 0u) << all.console();
  EXPECT_TRUE(contains(folder.read(L"r.txt_xyz_info.txt"), "File 1 Name : readme "));
}

// A named pipe among files: telling whether two inputs are one file must
// not open the pipe, whose server gives its one connection to the job.
TEST(NamedPipe, APipeAmongFilesIsPastedWhole) {
  const std::wstring pipe = L"\\\\.\\pipe\\stratumix-among-files";
  std::thread server(serve_pipe, listen(pipe), pipe,
                     [](HANDLE client) { return write_all(client, "1 2 3\n4 5 6\n"); });
  Folder folder;
  folder.write(L"a.xyz", "7 8 9\n");
  Job job(L"-q -o r.xyz a.xyz " + pipe, folder.path());
  DWORD status = job.wait();
  server.join();
  EXPECT_EQ(status, 0u) << job.console();
  EXPECT_EQ(folder.read(L"r.xyz"),
            "7.000000 8.000000 9.000000\r\n1.000000 2.000000 3.000000\r\n"
            "4.000000 5.000000 6.000000\r\n");
}

// Lidar-like points between a first and a last one that set the extents:
// 4.8 GB in all, unless a second argument asks for another number.
std::int64_t huge_middle_points = 166000000;

TEST(HugeInput, MoreThan4GiBArePastedWithTheirCountAndExtents) {
  const std::string first = "-7.25 2.5 3\n";
  const std::string middle = "123456.78 6123456.78 123.456\n";
  const std::string last = "999999.5 7000000.25 0\n";
  std::string block;
  constexpr std::int64_t kBlockPoints = 4096;
  for (int i = 0; i < kBlockPoints; ++i) block += middle;
  std::uint64_t bytes_served = 0;
  const std::wstring pipe = L"\\\\.\\pipe\\stratumix-huge-input";
  std::thread server(serve_pipe, listen(pipe), pipe, [&](HANDLE client) {
    std::uint64_t served = first.size() + last.size();
    bool whole = write_all(client, first);
    for (std::int64_t n = 0; whole && n < huge_middle_points; n += kBlockPoints) {
      whole = write_all(client, block);
      served += block.size();
    }
    whole = whole && write_all(client, last) && FlushFileBuffers(client);
    if (whole) bytes_served = served;
    return whole;
  });
  Folder folder;
  folder.file(L"NUL_xyz_info.txt");
  Job job(L"-o NUL " + pipe, folder.path());
  DWORD status = job.wait();
  server.join();
  std::string console = job.console();

  // Whole blocks are served: the middle is rounded up to a block.
  const std::int64_t points =
      (huge_middle_points + kBlockPoints - 1) / kBlockPoints * kBlockPoints + 2;
  std::printf("%llu bytes, %lld points served through the pipe\n",
              static_cast<unsigned long long>(bytes_served), static_cast<long long>(points));
  if (huge_middle_points >= 166000000) {
    EXPECT_GT(bytes_served, std::uint64_t{1} << 32);
  }
  EXPECT_EQ(status, 0u) << console;
  EXPECT_TRUE(contains(console, "Points: " + std::to_string(points) + "\r\n") ||
              contains(console, "Points: " + std::to_string(points) + "\n"))
      << console.substr(0, 400);
  EXPECT_TRUE(contains(console, "X_min = -7.250000 X_max = 999999.500000"))
      << console.substr(console.size() > 300 ? console.size() - 300 : 0);
  EXPECT_TRUE(contains(console, "Y_min = 2.500000 Y_max = 7000000.250000"));
}

}  // namespace

// The program under test, then for a quicker trial of the huge input the
// number of points in its middle.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 2) return 2;
  int length = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, nullptr, 0);
  program.resize(static_cast<std::size_t>(length));
  MultiByteToWideChar(CP_ACP, 0, argv[1], -1, program.data(), length);
  program.pop_back();  // the NUL
  if (argc > 2) huge_middle_points = std::stoll(argv[2]);
  return RUN_ALL_TESTS();
}
