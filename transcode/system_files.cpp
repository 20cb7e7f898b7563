// File names and descriptors at the system call: POSIX and Windows bodies.
#include "system_files.h"

#include <cerrno>

#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace sivo {

std::wstring to_wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), n);
  return wide;
}

std::string to_utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                                    static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()),
                      utf8.data(), n, nullptr, nullptr);
  return utf8;
}

int errno_from_windows(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CURRENT_DIRECTORY:
      errno = EACCES;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_DIRECTORY:
      errno = ENOTDIR;
      break;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:            // Windows: the reader has closed the pipe
    case ERROR_PIPE_NOT_CONNECTED:  // Wine: the same
      errno = EPIPE;
      break;
    case ERROR_WRITE_PROTECT:
      errno = EROFS;
      break;
    case ERROR_FILENAME_EXCED_RANGE:
      errno = ENAMETOOLONG;
      break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      errno = ENOMEM;
      break;
    case ERROR_TOO_MANY_OPEN_FILES:
      errno = EMFILE;
      break;
    default:
      errno = EIO;
      break;
  }
  return errno;
}

int open_for_reading(const std::string& path) {
  const std::wstring wide = to_wide(path);
  if (wide.empty()) {
    errno = EINVAL;
    return -1;
  }
  // Not inheritable: a program started meanwhile does not keep it open.
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      errno = EISDIR;
    } else {
      errno_from_windows(error);
    }
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    errno = EMFILE;
  }
  return fd;
}

bool is_terminal(int fd) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

namespace {

// The volume serial number and file index of a file on disk; false for
// anything else (a pipe, a device, a name that does not exist).
bool disk_file_id(HANDLE h, BY_HANDLE_FILE_INFORMATION& id) {
  return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(h, &id) != 0;
}

// "-" is the standard handle given, whatever it reads or writes.
bool file_id(const std::string& path, DWORD standard, BY_HANDLE_FILE_INFORMATION& id) {
  if (path == "-") return disk_file_id(GetStdHandle(standard), id);
  const std::wstring wide = to_wide(path);
  if (wide.empty()) return false;
  const HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool found = disk_file_id(h, id);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return found;
}

}  // namespace

// One file has one volume serial number and file index, whatever the name's
// case, folder or spelling.
bool same_file(const std::string& in, const std::string& out) {
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (!file_id(in, STD_INPUT_HANDLE, ia) || !file_id(out, STD_OUTPUT_HANDLE, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace sivo

#else

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sivo {

int open_for_reading(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
}

bool is_terminal(int fd) { return isatty(fd) == 1; }

// One file has one device and inode number, whatever its names. stat()
// follows the output's links to the file that would be replaced.
bool same_file(const std::string& in, const std::string& out) {
  struct stat a {}, b{};
  if ((in == "-" ? fstat(STDIN_FILENO, &a) : stat(in.c_str(), &a)) != 0) return false;
  if ((out == "-" ? fstat(STDOUT_FILENO, &b) : stat(out.c_str(), &b)) != 0) return false;
  return S_ISREG(a.st_mode) && S_ISREG(b.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace sivo

#endif
