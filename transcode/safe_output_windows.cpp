// Output files that are never left half-written, on Windows: a temporary
// file in the target's folder, marked to vanish when closed until it is
// complete, then renamed over the target: by its handle with POSIX
// semantics where the system has them (Windows 10 1709 and later, NTFS), so
// that a target another program reads with delete sharing is replaced too,
// else with MoveFileExW. Devices (NUL, CON, COM1, named pipes) are written
// straight through and never removed.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "safe_output.h"
#include "system_files.h"

namespace sivo {
namespace {

// How long a replace waits for another program (a virus scanner, an
// indexer, a player) to let go of the target before giving up.
constexpr int kReplaceTries = 20;
constexpr DWORD kReplacePauseMs = 100;
constexpr int kTempNameTries = 100;

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

std::wstring folder_of(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) {
    // "C:name" lies in the current folder of drive C.
    return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : L".";
  }
  return path.substr(0, slash + 1);
}

std::wstring base_of(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) return path.substr(slash + 1);
  return path.size() >= 2 && path[1] == L':' ? path.substr(2) : path;
}

// A device name (NUL, CON, COM1, nul.txt on older systems) or a path in the
// device namespace (\\.\pipe\x): the full path Windows makes of it lies in
// \\.\.
bool names_device(const std::wstring& path) {
  wchar_t full[MAX_PATH];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return n >= 4 && n < MAX_PATH && std::wcsncmp(full, L"\\\\.\\", 4) == 0;
}

// The file a symbolic link or junction names, so that the file is replaced
// and the link kept; the path itself for anything else.
std::wstring resolved_target(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return path;
  }
  const HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  wchar_t final_path[32768];
  const DWORD n = GetFinalPathNameByHandleW(h, final_path, 32768, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  return n > 0 && n < 32768 ? std::wstring(final_path, n) : path;
}

bool set_delete_on_close(HANDLE h, bool on) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = on ? TRUE : FALSE;
  return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != 0;
}

// A fresh name for each try: the time, the process and a counter mixed.
std::wstring temp_name(const std::wstring& target, unsigned attempt) {
  static constexpr wchar_t kLetters[] =
      L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  uint64_t x = GetTickCount64() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
               (static_cast<uint64_t>(attempt) * 0x9E3779B97F4A7C15ull);
  std::wstring suffix;
  for (int i = 0; i < 6; ++i) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 29;
    suffix += kLetters[x % 62];
  }
  std::wstring folder = folder_of(target);
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/' && folder.back() != L':') {
    folder += L'\\';
  }
  return folder + L"." + base_of(target) + L"." + suffix;
}

// The open temporary renamed over `target`, a file of its own folder, by
// handle with POSIX semantics: the name changes hands at once even while
// other programs hold the old file open (with delete sharing), and they go
// on reading the old contents. ERROR_SUCCESS, or why not; the codes of
// `rename_unsupported` where the system or the file system lacks it.
DWORD rename_by_handle(HANDLE h, const std::wstring& target) {
  // FILE_RENAME_INFO as FileRenameInfoEx reads it: flags in place of the
  // ReplaceIfExists byte. The toolchain's headers declare it only for newer
  // systems than the program's oldest.
  struct rename_info {
    DWORD flags;
    HANDLE root;
    DWORD name_bytes;
    WCHAR name[1];
  };
  constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  constexpr DWORD kReplaceIfExists = 0x1, kPosixSemantics = 0x2;
  const std::wstring name = base_of(target);
  std::vector<unsigned char> buffer(sizeof(rename_info) + name.size() * sizeof(WCHAR));
  auto* info = reinterpret_cast<rename_info*>(buffer.data());
  info->flags = kReplaceIfExists | kPosixSemantics;
  info->root = nullptr;
  info->name_bytes = static_cast<DWORD>(name.size() * sizeof(WCHAR));
  std::memcpy(info->name, name.data(), info->name_bytes);
  return SetFileInformationByHandle(h, kFileRenameInfoEx, info, static_cast<DWORD>(buffer.size()))
             ? ERROR_SUCCESS
             : GetLastError();
}

bool rename_unsupported(DWORD failure) {
  return failure == ERROR_INVALID_PARAMETER || failure == ERROR_NOT_SUPPORTED ||
         failure == ERROR_INVALID_FUNCTION || failure == ERROR_CALL_NOT_IMPLEMENTED;
}

// Another program holds the target (or the folder) open in a way that keeps
// it from being replaced: a player, a virus scanner, an indexer.
bool target_in_use(DWORD failure) {
  return failure == ERROR_SHARING_VIOLATION || failure == ERROR_LOCK_VIOLATION ||
         failure == ERROR_ACCESS_DENIED;
}

bool write_all(int fd, const char* bytes, size_t size, bool& reader_gone) {
  const HANDLE h = handle_of(fd);
  while (size > 0) {
    DWORD done = 0;
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!WriteFile(h, bytes, chunk, &done, nullptr)) {
      const DWORD error = GetLastError();
      errno_from_windows(error);
      if (errno == EPIPE) reader_gone = true;
      return false;
    }
    bytes += done;
    size -= done;
  }
  return true;
}

std::string in_use_failure(const std::string& path) {
  return "cannot write '" + path +
         "': the file is in use by another program (it was left as it was)";
}

}  // namespace

std::string write_failure(const std::string& path, int error_number) {
  return "cannot write '" + path + "': " + std::strerror(error_number);
}

bool output_open(output_file& out, const std::string& path, std::string& error) {
  out = output_file{};
  out.path = path;
  if (path == "-") {
    out.fd = 1;
    out.owns_fd = false;
    out.regular = GetFileType(handle_of(1)) == FILE_TYPE_DISK;
    return true;
  }
  const std::wstring wide = to_wide(path);
  if (wide.empty()) {
    error = write_failure(path, EINVAL);
    return false;
  }
  if (names_device(wide)) {
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      error = write_failure(path, errno_from_windows(GetLastError()));
      return false;
    }
    out.fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (out.fd < 0) {
      CloseHandle(h);
      error = write_failure(path, EMFILE);
      return false;
    }
    return true;
  }
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = write_failure(path, EISDIR);
    return false;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    error = write_failure(path, EACCES);
    return false;
  }
  const std::wstring target = resolved_target(wide);
  HANDLE h = INVALID_HANDLE_VALUE;
  std::wstring temp;
  for (unsigned attempt = 0; attempt < kTempNameTries && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = temp_name(target, attempt);
    h = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) {
    error = write_failure(path, errno_from_windows(GetLastError()));
    return false;
  }
  // Until the commit the temporary goes with its handle, however the
  // program ends: an error, Ctrl-C, a closed console, a kill.
  set_delete_on_close(h, true);
  out.fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
  if (out.fd < 0) {
    CloseHandle(h);
    error = write_failure(path, EMFILE);
    return false;
  }
  out.target = to_utf8(target);
  out.temp = to_utf8(temp);
  out.regular = true;
  return true;
}

bool output_write(output_file& out, const void* data, size_t size, std::string& error) {
  if (!write_all(out.fd, static_cast<const char*>(data), size, out.reader_gone)) {
    error = write_failure(out.path, errno);
    return false;
  }
  return true;
}

bool output_write_at(output_file& out, const void* data, size_t size, off_t offset,
                     std::string& error) {
  const long long here = _lseeki64(out.fd, 0, SEEK_CUR);
  bool ok = here >= 0 && _lseeki64(out.fd, offset, SEEK_SET) == offset;
  bool reader_gone = false;
  ok = ok && write_all(out.fd, static_cast<const char*>(data), size, reader_gone);
  const int saved = errno;
  if (here >= 0) _lseeki64(out.fd, here, SEEK_SET);
  if (!ok) {
    error = write_failure(out.path, saved != 0 ? saved : EIO);
    return false;
  }
  return true;
}

bool output_commit(output_file& out, std::string& error) {
  const int fd = out.fd;
  out.fd = -1;
  if (out.temp.empty()) {
    if (out.owns_fd && _close(fd) != 0) {
      error = write_failure(out.path, errno);
      return false;
    }
    return true;
  }
  const HANDLE h = handle_of(fd);
  if (!FlushFileBuffers(h) || !set_delete_on_close(h, false)) {
    error = write_failure(out.path, errno_from_windows(GetLastError()));
    _close(fd);
    output_discard(out);
    return false;
  }
  const std::wstring temp = to_wide(out.temp), target = to_wide(out.target);
  // A target in use is tried again for a while before the run gives up.
  DWORD failure = ERROR_SUCCESS;
  for (int attempt = 0;; ++attempt) {
    failure = rename_by_handle(h, target);
    if (!target_in_use(failure) || attempt + 1 == kReplaceTries) break;
    Sleep(kReplacePauseMs);
  }
  if (failure == ERROR_SUCCESS) {
    out.temp.clear();
    if (_close(fd) != 0) {
      error = write_failure(out.path, errno);
      return false;
    }
    return true;
  }
  if (!rename_unsupported(failure)) {
    set_delete_on_close(h, true);
    _close(fd);
  } else if (_close(fd) != 0) {
    error = write_failure(out.path, errno);
    output_discard(out);
    return false;
  } else {
    // No POSIX semantics here: the classic replace, which fails while any
    // other program has the target open.
    for (int attempt = 0;; ++attempt) {
      if (MoveFileExW(temp.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        out.temp.clear();
        return true;
      }
      failure = GetLastError();
      if (!target_in_use(failure) || attempt + 1 == kReplaceTries) break;
      Sleep(kReplacePauseMs);
    }
  }
  const DWORD attributes = GetFileAttributesW(target.c_str());
  error = target_in_use(failure) && attributes != INVALID_FILE_ATTRIBUTES &&
                  (attributes & FILE_ATTRIBUTE_READONLY) == 0
              ? in_use_failure(out.path)
              : write_failure(out.path, errno_from_windows(failure));
  output_discard(out);
  return false;
}

void output_discard(output_file& out) {
  if (out.fd >= 0 && out.owns_fd) _close(out.fd);  // a marked temporary goes with it
  out.fd = -1;
  if (!out.temp.empty()) DeleteFileW(to_wide(out.temp).c_str());
  out.temp.clear();
}

}  // namespace sivo
