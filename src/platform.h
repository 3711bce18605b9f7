// What differs between Windows and the POSIX systems; one implementation
// in platform-win32.cc, one in platform-posix.cc.
#ifndef STRATUMIX_PLATFORM_H_
#define STRATUMIX_PLATFORM_H_

#include <string>

namespace platform {

// Sets up the standard streams so that they carry the program's bytes
// unchanged, the same on every system.
void prepare_console();

// The name under which the system finds a path that the program composed
// in Windows form ("c:\\images\\survey1\\north.xyz").
std::string native_path(const std::string& path);

// Whether two composed paths name the same file by their spelling alone.
bool same_spelling(const std::string& path1, const std::string& path2);

// Waits for one key press on the console, without echo. Returns at once
// when there is no console to wait on.
void getch();

}  // namespace platform

#endif  // STRATUMIX_PLATFORM_H_
