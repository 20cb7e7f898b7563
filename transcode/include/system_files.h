// The few places where the file routes meet the operating system's names
// and descriptors, with one body for POSIX systems and one for Windows.
//
// Paths are UTF-8 everywhere in the transcode layer; on Windows they become
// UTF-16 only here, at the system call, so that any file name a user can
// type works. Descriptors are the C library's (on Windows the CRT's, over a
// system handle opened here) in binary mode.
#pragma once

#include <string>

namespace sivo {

// Opens `path` for reading: a descriptor, or -1 with errno set (EISDIR for
// a folder). Other programs may go on reading, writing and renaming it.
int open_for_reading(const std::string& path);

// True when the descriptor is an interactive terminal or console (and not,
// as the C library would say on Windows, the NUL device).
bool is_terminal(int fd);

// True when writing `out` would replace or overwrite the file read as `in`:
// both are one regular file on disk, whatever the names, links or folders
// that lead to it. `in` "-" is what standard input reads, `out` "-" what
// standard output writes, and `out` counts as the file its links finally
// name, the one a finished output replaces. False when either is not a
// regular file on disk or does not exist (a new output cannot be the input).
// Every route refuses such a pair: the command line, the file loops below it,
// the Python package and its corpus tool.
bool same_file(const std::string& in, const std::string& out);

#if defined(_WIN32)
// UTF-8 to UTF-16 and back. A sequence that is not valid UTF-8 (or UTF-16)
// gives an empty string.
std::wstring to_wide(const std::string& utf8);
std::string to_utf8(const std::wstring& wide);

// Sets errno from a Windows error code (GetLastError()) and returns it.
int errno_from_windows(unsigned long error);
#endif

}  // namespace sivo
