// Output files that are never left half-written: regular files go through a
// temporary file renamed into place, everything else is written straight.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace sivo {

// An output being written. `path` "-" is standard output.
struct output_file {
  int fd = -1;
  std::string path;    // as the caller named it (for messages)
  std::string target;  // the file renamed over at commit (symlinks resolved)
  std::string temp;    // the temporary file; empty when written straight
  bool regular = false;        // fd is a regular file (its header may be patched)
  bool reader_gone = false;    // a write met EPIPE
  bool owns_fd = true;         // false for standard output
};

// Opens `path` for writing. On failure returns false with `error` set.
bool output_open(output_file& out, const std::string& path, std::string& error);

// Writes all of `size` bytes. On failure returns false with `error` set; a
// closed pipe also sets `reader_gone`.
bool output_write(output_file& out, const void* data, size_t size, std::string& error);

// Writes `size` bytes at `offset` of a regular output (header patches).
bool output_write_at(output_file& out, const void* data, size_t size, off_t offset,
                     std::string& error);

// Completes the output: flushes it to disk and renames the temporary over the
// target. On failure the temporary is removed.
bool output_commit(output_file& out, std::string& error);

// Abandons the output: closes it and removes the temporary (never the target
// or a non-regular output).
void output_discard(output_file& out);

// "cannot write 'path': reason" from errno.
std::string write_failure(const std::string& path, int error_number);

}  // namespace sivo
