// Output files that are never left half-written: a temporary file in the
// target's folder, renamed into place when complete.
#include "safe_output.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sivo {
namespace {

constexpr mode_t kNewFileMode = 0666;

// The folder part of a path ("." when there is none).
std::string folder_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a new file `stem` + six random letters or digits, with the mode
// a new file gets (0666 less the umask, which the system applies: reading
// the umask would mean changing it for every thread for a moment).
int open_new_temp(const std::string& stem, std::string& name) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::atomic<uint64_t> counter{0};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
      bits = (static_cast<uint64_t>(getpid()) << 32) ^ counter.fetch_add(0x9E3779B97F4A7C15u);
    }
    name = stem;
    for (int i = 0; i < 6; ++i, bits /= 62) name += kLetters[bits % 62];
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, kNewFileMode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

std::string write_failure(const std::string& path, int error_number) {
  return "cannot write '" + path + "': " + std::strerror(error_number);
}

bool output_open(output_file& out, const std::string& path, std::string& error) {
  out = output_file{};
  out.path = path;
  if (path == "-") {
    out.fd = STDOUT_FILENO;
    out.owns_fd = false;
    struct stat s {};
    out.regular = fstat(out.fd, &s) == 0 && S_ISREG(s.st_mode);
    return true;
  }
  struct stat s {};
  if (stat(path.c_str(), &s) == 0 && !S_ISREG(s.st_mode)) {
    if (S_ISDIR(s.st_mode)) {
      error = write_failure(path, EISDIR);
      return false;
    }
    // A pipe, terminal, device or a link to one: written straight through.
    out.fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (out.fd < 0) {
      error = write_failure(path, errno);
      return false;
    }
    return true;
  }
  const bool exists = lstat(path.c_str(), &s) == 0;
  out.target = path;
  if (exists && S_ISLNK(s.st_mode)) {
    // Replace the file the link names, not the link.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) out.target = resolved;
  }
  struct stat old {};
  const bool replacing = stat(out.target.c_str(), &old) == 0;
  if (replacing && access(out.target.c_str(), W_OK) != 0) {
    error = write_failure(path, errno);
    return false;
  }
  std::string name;
  out.fd = open_new_temp(folder_of(out.target) + "/." + base_of(out.target) + ".", name);
  if (out.fd < 0) {
    error = write_failure(path, errno);
    return false;
  }
  out.temp = name;
  out.regular = true;
  if (replacing) fchmod(out.fd, old.st_mode & 07777);
  return true;
}

bool output_write(output_file& out, const void* data, size_t size, std::string& error) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = write(out.fd, bytes, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) out.reader_gone = true;
      error = write_failure(out.path, errno);
      return false;
    }
    bytes += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

bool output_write_at(output_file& out, const void* data, size_t size, off_t offset,
                     std::string& error) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = pwrite(out.fd, bytes, size, offset);
    if (done < 0) {
      if (errno == EINTR) continue;
      error = write_failure(out.path, errno);
      return false;
    }
    bytes += done;
    size -= static_cast<size_t>(done);
    offset += done;
  }
  return true;
}

bool output_commit(output_file& out, std::string& error) {
  if (out.temp.empty()) {
    const int fd = out.fd;
    out.fd = -1;
    if (out.owns_fd && close(fd) != 0 && errno != EINTR) {
      error = write_failure(out.path, errno);
      return false;
    }
    return true;
  }
  const int fd = out.fd;
  out.fd = -1;
  if (fsync(fd) != 0 && errno != EINVAL) {
    error = write_failure(out.path, errno);
    close(fd);
    output_discard(out);
    return false;
  }
  if (close(fd) != 0) {
    error = write_failure(out.path, errno);
    output_discard(out);
    return false;
  }
  if (rename(out.temp.c_str(), out.target.c_str()) != 0) {
    error = write_failure(out.path, errno);
    output_discard(out);
    return false;
  }
  out.temp.clear();
  return true;
}

void output_discard(output_file& out) {
  if (out.fd >= 0 && out.owns_fd) close(out.fd);
  out.fd = -1;
  if (!out.temp.empty()) unlink(out.temp.c_str());
  out.temp.clear();
}

}  // namespace sivo
