// The fixed parts of the paths the program composes, and how those
// Windows paths are found on the system: the one home of the c:\images
// mapping.
#ifndef STRATUMIX_IO_PATHS_H_
#define STRATUMIX_IO_PATHS_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace paths {

inline constexpr std::string_view kImagesDirectory = "c:\\images\\";
inline constexpr std::string_view kSeparator = "\\";
inline constexpr std::string_view kExtension = ".xyz";
inline constexpr std::string_view kInfoSuffix = "_xyz_info.txt";

// The folder that stands for "c:\\images\\" on POSIX systems, as built in
// (STRATUMIX_IMAGES_DIR; relative to the working directory unless
// absolute).
extern const std::string_view kImagesFolder;

// The name under which the system finds a path the dialogue composed: on
// Windows the path itself, elsewhere to_posix with kImagesFolder.
std::string native(std::string_view composed);

// A composed path as a POSIX path: the directory "c:\\images\\" stands for
// `images_folder`, and every backslash becomes a slash.
std::string to_posix(std::string_view path, std::string_view images_folder);

// A name as messages show it: each control byte (below 0x20, and DEL)
// escaped, so that a message stays on one line and shows what the name
// holds, and an empty name as ''. Where names are UTF-8, the C1 controls
// are escaped too, byte by byte: U+0080 to U+009F, and a byte from 0x80 to
// 0x9f that is no part of a character (0x9b alone starts a terminal's
// command as ESC [ does). Every other byte stays as it is, a backslash
// too, so a name without control bytes is shown byte for byte.
std::string for_message(std::string_view name);

// A piece of a file's text as messages quote it, in double quotes: runs of
// white space as one space, at most 40 characters and "..." when there was
// more, and every byte but printable ASCII escaped, since the file's
// encoding is not known.
std::string quoted(std::string_view text);

// The length of the valid UTF-8 sequence that `text` begins with; 0 if
// none (no overlong forms, no surrogates, nothing past U+10FFFF).
std::size_t utf8_length(std::string_view text);

// Appends a byte as \x and two hex digits (a line feed as \x0a). Not as \n,
// \r or \t: in c:\images\tiles\new.xyz those are the path's own text.
void append_escape(std::string& text, unsigned char byte);

// Compares two paths letter by letter, ignoring the case of ASCII letters.
bool equal_ignoring_case(std::string_view path1, std::string_view path2);

}  // namespace paths

#endif  // STRATUMIX_IO_PATHS_H_
