// The Windows side of the platform layer: the multimedia file I/O and local
// memory are the system's own (winmm, kernel32); only the output file is
// opened here.
#include "platform/mmio.h"

std::FILE* open_output_file(const char* path, HMMIO /*keep_intact*/) {
  // The input was opened with MMIO_DENYWRITE, so its own name (or a link to
  // it) fails here with a sharing violation before anything is truncated.
  if (path == nullptr) return nullptr;
  return std::fopen(path, "wb");
}

// Windows raises no signal for a pipe without a reader: the write fails.
pipe_signal_guard::pipe_signal_guard() noexcept = default;
pipe_signal_guard::~pipe_signal_guard() = default;
