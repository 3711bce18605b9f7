// What differs between Windows and the POSIX systems; one implementation
// in platform-win32.cc, one in platform-posix.cc.
#ifndef STRATUMIX_PLATFORM_PLATFORM_H_
#define STRATUMIX_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// Sets up the standard streams so that they carry the program's bytes
// unchanged, the same on every system. A standard stream the program was
// started without is opened on the null device: otherwise the first file
// the program opens would take its place and receive console text.
void prepare_console();

// The arguments that follow the program's name. On Windows they are taken
// from the system in full (UTF-16) and given in UTF-8, so that any name
// Explorer shows can be pasted; elsewhere they are the bytes given.
std::vector<std::string> arguments(int argc, char** argv);

// Names typed as answers are in the console's input code page when
// standard input is a console on Windows, else in the ANSI code page (on
// other systems, names are bytes). The names of the command line are UTF-8.
// The program says which before it opens any file.
void take_names_from_answers();

// Whether the answers come from a person at a terminal (a console on
// Windows), who can be asked again, not from a file or a pipe.
bool answers_typed_at_terminal();

// A name for the command line that begins with a drive letter and a
// backslash (C:\images\all.xyz): on POSIX systems one file name in the
// working folder, backslashes and all, that nobody meant. Why it is refused,
// as the end of a sentence; empty for every other name, and on Windows.
std::string windows_path_elsewhere(const std::string& name);
// Whether names are UTF-8, where a byte from 0x80 to 0x9f that is no part
// of a character, and the characters U+0080 to U+009F, are the C1 controls
// that terminals obey. On POSIX systems names are bytes, read as UTF-8; in
// a Windows code page (850, 1252, 932) those bytes are letters or parts of
// them, and the console is shown them converted.
bool names_in_utf8();

// `text` as it must be written to `stream` to show as meant: on a Windows
// console, the names in it converted to the console's output code page.
std::string for_console(std::FILE* stream, const std::string& text);

// Whether a write to standard output that failed with `error` says only
// that nobody wants its text, which is then no loss: a reader that went
// away (| head), or a stream that is not open (one closed when the program
// started and left so where it could not be opened on the null device).
bool nobody_reads(int error);

// The path by which the system finds a file: on Windows the UTF-16 name,
// in its long form (\\?\) when a plain path would be too long.
std::filesystem::path system_path(const std::string& native);

// Whether standard output and standard error show on one and the same
// terminal, where a message must not continue the line of a question.
bool console_shared_with_errors();

// The columns of the terminal that standard error shows on; 0 when it is
// no terminal (a file, a pipe).
int error_terminal_width();
// Whether standard error's terminal moves the cursor as told by VT100
// sequences: on Windows, once the console is asked to (Windows 10 on).
bool error_terminal_moves_cursor();

// Whether two of the system's paths name the same file by their spelling
// alone (letter case counts only where the system's names keep it).
bool same_spelling(const std::filesystem::path& path1, const std::filesystem::path& path2);

// What tells one existing file from every other, whatever path, link or
// spelling leads to it: its device and its number there (on Windows, the
// volume's serial number and the file's index).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};
// The identity of the file at `native`, through links; false where there
// is none or it cannot be looked at.
bool identify(const std::string& native, FileIdentity& identity);

// What one look at a path tells: whether the path itself is a link, and
// the file it leads to: whether there is one, its identity, and its size
// where it is a plain file (-1 otherwise). Opens nothing but what
// identify() opens.
struct PathFacts {
  bool link = false;
  bool found = false;
  FileIdentity identity;
  std::int64_t plain_size = -1;
};
PathFacts look_at(const std::string& native);

// Opens a file for reading, unbuffered. A folder cannot be opened. On
// POSIX systems it never waits: reading a named pipe waits for its writer
// instead, where an interruption can end the wait. (A Windows pipe no
// program serves cannot be opened.) On failure returns null and sets
// `reason`.
std::FILE* open_for_reading(const std::string& native, std::string& reason);
// The same, and `plain_size` the file's size where it is a plain file on a
// disk, -1 for anything else (a pipe, a device): what the opening already
// learnt, so that nobody asks the system again.
std::FILE* open_for_reading(const std::string& native, std::string& reason,
                            std::int64_t& plain_size);

// Reads into `buffer` what a file opened by open_for_reading gives: a
// regular file as much as asked for, up to its end; a pipe or a terminal
// what has come so far, as soon as anything has, so that its points are
// pasted as they arrive, and a named pipe no program writes yet waits for
// its writer. Returns 0 at the end, or -1 with errno set, EINTR when an
// interruption was noted while the file kept the job waiting.
std::ptrdiff_t read_some(std::FILE* file, char* buffer, std::size_t size);
// read_some() of a file open_for_reading found to be a plain file, which
// no descriptor can stop being: read without asking what it is.
std::ptrdiff_t read_plain(std::FILE* file, char* buffer, std::size_t size);

// Opens the file at `native`, reads up to `room` bytes of it into `buffer`
// and closes it: a small file read whole, in as few calls to the system as
// can be. Returns the bytes read; -1 where it cannot be opened (a folder
// cannot), `reason` why; -2 where it could but is no plain file, or its
// reading failed.
std::ptrdiff_t read_plain_file(const std::string& native, char* buffer, std::size_t room,
                               std::string& reason);

// The size of the plain file at `native`, through links, in one look; -1
// for anything else (a pipe, a device, a folder) or none. Opens nothing.
std::int64_t plain_file_size(const std::string& native);

// Reads up to `size` bytes at `offset` of a plain file opened by
// open_for_reading or reopen_for_reading, without moving where the reading
// in order is (another thread may be reading on): for an index at a file's
// end, or the lines a result kept. Returns the bytes read, fewer past the
// end, or -1 for a file that is no plain file or an error.
std::ptrdiff_t read_at(std::FILE* file, std::uint64_t offset, char* buffer, std::size_t size);

// Whether a file can be read. On POSIX systems every file but a named pipe
// is opened for this: opening a named pipe would take its writer's data
// away. Windows
// pipes serve each opening on its own, so there every file is opened.
bool check_readable(const std::string& native, std::string& reason);

// Whether a plain file can be made or replaced at `native` by a rename:
// nothing is there or a plain file the job could write, no link, and its
// folder lets files be made and this one be replaced in it. A `temporary`
// file, which is written in place before the rename, must have no other
// names either (hard links): writing it would change them. Nothing is
// created to find out.
bool check_writable(const std::string& native, std::string& reason, bool temporary = false);

// Whether another job holds the file at `native` as its output (its
// result or info report). Claims nothing, creates nothing.
bool held_by_another_job(const std::string& native);

// Whether `native` is the null device, which takes every byte and keeps
// none: as an output it clashes with no other file or stream.
bool is_null_device(const std::string& native);
// Whether the system takes `native` for a device by its name alone,
// whatever its folder or extension: Windows' NUL, CON, COM1 and the like.
// POSIX devices are files, which a look at them tells.
bool device_by_name(const std::string& native);

// The file that writing through the links at `native` reaches, for a file
// that is replaced whole by a rename, which would replace the link
// instead: `native` itself where it is no link, or where the link leads
// to no file that a folder holds (/dev/stdin leads to a pipe).
std::string link_target(const std::string& native);

// Which standard stream writes to the file: 1 standard output, 2 standard
// error, 0 neither.
int standard_stream_writing(const std::string& native);

// A file opened as a job's output, not yet emptied.
struct OutputOpening {
  std::FILE* file = nullptr;  // unbuffered; null on failure
  bool created = false;       // the file did not exist before
  bool plain = true;          // a file on a disk, not a pipe or device
  // A standard stream named as a file (/dev/stdout, /dev/fd/1): the stream
  // itself, whatever it leads to, never emptied, cut or removed.
  bool stream = false;
  bool in_use = false;  // failed because another job is writing it
  std::string reason;   // why it failed
};

// Why the system would not give an output of this name the file it names,
// as the end of a sentence ("would go to the device NUL, not to a file");
// empty when it would. On Windows a name such as nul.xyz or c:\x\con.txt
// reaches a device, and a last dot or space is dropped from a name; a
// device named alone (NUL) is taken as meant. Elsewhere every name is fit.
std::string unfit_output_name(const std::string& native);

// Opens a file for writing without emptying it, creating it when missing,
// and claims it: while it stays open, no other job can open it this way.
// Never waits.
OutputOpening open_for_output(const std::string& native);

// Cuts a file on a disk back to `size` bytes, for a write that failed part
// way or points taken back; false for a pipe or device, left as it is.
bool cut_output(std::FILE* file, std::uint64_t size);

// Writes `size` bytes over those at `offset` of a file on a disk, leaving
// where the next write goes as it was: a header completed once the points
// after it are known. False for a pipe or device, or where the write
// failed.
bool write_at(std::FILE* file, std::uint64_t offset, const char* data, std::size_t size);

// The file that `file`, open for writing at `native`, is, opened anew for
// reading back what was written; null where it cannot be (no permission,
// the name taken by another file since).
std::FILE* reopen_for_reading(std::FILE* file, const std::string& native);

// Removes a file that open_for_output created, while `file` still holds it
// open and claimed, if the path still names it (then closes nothing).
void remove_output(std::FILE* file, const std::string& native);

#ifndef _WIN32
// open_for_output's two steps, apart for tests that come between them as
// another job would: the file opened, created when missing, not claimed;
// then claimed. The claim returns false, with `output` closed, when the
// path named another file by then, which is to be opened afresh.
OutputOpening open_unclaimed(const std::string& native);
bool claim_opened(OutputOpening& output, const std::string& native);
#endif

// The temporary file that a file replaced whole is written to: opened and
// claimed as open_for_output opens an output, but never through a link, nor
// a file with other names, which writing would change: `reason` says so,
// and `in_use` that another job holds it. Never waits.
OutputOpening open_temporary(const std::string& native);

// Puts the temporary file `file`, open at `native`, in the place of
// `target` once its bytes are on the disk. The job closes the file only
// afterwards: until it is in place, no other job can claim and empty it.
// Returns false and sets `reason` on failure.
bool put_in_place(std::FILE* file, const std::string& native, const std::string& target,
                  std::string& reason);

// Empties a file that open_for_output opened (a device or pipe has nothing
// to empty, nor has a file it `created`). Returns false and sets `reason`
// on failure.
bool empty_output(std::FILE* file, bool created, std::string& reason);

// The files a command-line argument names: on Windows, whose console leaves
// wildcards to the program, the names that match a pattern, in name order
// (none when nothing matches); elsewhere, where the shell expands them, the
// argument itself.
std::vector<std::string> expand_wildcards(const std::string& argument);

// From here on, an interruption (Ctrl-C, a polite kill, the console window
// closing) does not end the program at once but is noted, so that the job
// can stop between two points and leave whole lines; a second one ends it.
void catch_interruptions();
// The interruption noted, as the number of its POSIX signal; 0 for none.
int interruption();

// Whether a key press can be waited for: there is a console with a person
// at its keyboard.
bool can_wait_for_key();

// Waits for one key press on the console, without echo. Returns at once
// when there is no console to wait on.
void getch();

#ifdef _WIN32
// Conversions between a code page's text and UTF-16, for the tests too.
std::wstring to_wide(const std::string& text, unsigned code_page);
std::string from_wide(const std::wstring& text, unsigned code_page);
// A full path in the form that passes the 260-character limit.
std::wstring long_form(const std::wstring& path);
#endif

}  // namespace platform

#endif  // STRATUMIX_PLATFORM_PLATFORM_H_
