// The encoding job: one per process, from SivoEncode to the last SivoCount.
#pragma once

#include <cstdint>

namespace sivo {

// Every job function fills message (800 bytes) and title (25 bytes) only on
// failure (-1).
// Calls from several threads are safe: each call claims the job atomically
// or is refused with -2 (SivoStop instead waits for a running count to
// release the job).

// Opens the input and output files, the encoder and, for rates other than
// 8000 Hz, the rate converter. Returns 1 when the job runs, -1 on failure
// with nothing left open, -2 while a job is active.
int32_t start_job(char* message, char* title, const char* input_name,
                  const char* output_name, int32_t comp_rate) noexcept;

// Encodes up to ten blocks. Returns the progress 0..99, 100 when the last
// frame is written (job released), -1 on failure (job released), -2 when no
// job is active.
int32_t advance_job(char* message, char* title) noexcept;

// Releases the active job: 0 when idle, else the output close status (0/-1).
int32_t stop_job() noexcept;

}  // namespace sivo
