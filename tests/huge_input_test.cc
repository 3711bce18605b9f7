// The 32-bit Windows program on an input of more than 4 GiB, which no
// 32-bit file position could follow, generated as it is read: it comes
// through a named pipe that this test serves, and the result goes to the
// null device. The point count and the extents must come out right.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t kPipe[] = L"\\\\.\\pipe\\stratumix-huge-input";
std::wstring program;

// Lidar-like points between a first and a last one that set the extents:
// 4.8 GB in all, unless a second argument asks for another number.
std::int64_t kMiddlePoints = 166000000;
const std::string kFirst = "-7.25 2.5 3\n";
const std::string kMiddle = "123456.78 6123456.78 123.456\n";
const std::string kLast = "999999.5 7000000.25 0\n";

HANDLE listen() {
  return CreateNamedPipeW(kPipe, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                          PIPE_UNLIMITED_INSTANCES, 1 << 20, 0, 0, nullptr);
}

bool write_all(HANDLE pipe, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
         written == bytes.size();
}

// Serves the points to every program that opens the pipe, until one has
// read them all: the program looks at its inputs before it reads them. One
// instance always waits, so that no opening finds the pipe missing.
void serve_points(std::uint64_t& bytes_served) {
  std::string block;
  for (int i = 0; i < 4096; ++i) block += kMiddle;
  const std::int64_t points_per_block = 4096;
  HANDLE waiting = listen();
  for (;;) {
    HANDLE pipe = waiting;
    if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
    waiting = listen();
    std::uint64_t served = kFirst.size();
    bool whole = write_all(pipe, kFirst);
    for (std::int64_t n = 0; whole && n < kMiddlePoints; n += points_per_block) {
      whole = write_all(pipe, block);
      served += block.size();
    }
    whole = whole && write_all(pipe, kLast);
    // Disconnecting would throw away what the reader has not read yet: the
    // pipe is closed once all is read, which the reader sees as the end.
    if (whole) {
      FlushFileBuffers(pipe);
      bytes_served = served + kLast.size();
    } else {
      DisconnectNamedPipe(pipe);
    }
    CloseHandle(pipe);
    if (whole) break;
  }
  CloseHandle(waiting);
}

// Runs the program with `arguments` and returns what it printed on both
// streams, and its exit status.
std::string run(const std::wstring& arguments, DWORD& status) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  CreatePipe(&read_end, &write_end, &inherit, 0);
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + program + L"\" " + arguments;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    status = 255;
    return "could not start the program";
  }
  CloseHandle(write_end);
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output.append(buffer, got);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(read_end);
  return output;
}

TEST(HugeInput, MoreThan4GiBArePastedWithTheirCountAndExtents) {
  std::uint64_t bytes_served = 0;
  std::thread server(serve_points, std::ref(bytes_served));
  DWORD status = 0;
  std::string console = run(std::wstring(L"-o NUL ") + kPipe, status);
  server.join();
  DeleteFileW(L"NUL_xyz_info.txt");

  if (kMiddlePoints >= 166000000) {
    EXPECT_GT(bytes_served, std::uint64_t{1} << 32);
  }
  std::printf("%llu bytes, %lld points served through the pipe\n",
              static_cast<unsigned long long>(bytes_served),
              static_cast<long long>(kMiddlePoints + 2));
  EXPECT_EQ(status, 0u) << console;
  const std::int64_t points = kMiddlePoints + 2;
  std::string last_progress = "record " + std::to_string(points / 100000 * 100000) + " ";
  EXPECT_NE(console.find(last_progress), std::string::npos) << console.substr(0, 400);
  EXPECT_NE(console.find("X_min = -7.250000 X_max = 999999.500000 "), std::string::npos)
      << console.substr(console.size() > 300 ? console.size() - 300 : 0);
  EXPECT_NE(console.find("Y_min = 2.500000 Y_max = 7000000.250000 "), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 2) return 2;
  int length = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, nullptr, 0);
  program.resize(static_cast<std::size_t>(length));
  MultiByteToWideChar(CP_ACP, 0, argv[1], -1, program.data(), length);
  program.pop_back();  // the NUL
  if (argc > 2) kMiddlePoints = std::stoll(argv[2]);
  return RUN_ALL_TESTS();
}
