// Walking and decoding a stream of compressed frames read from a file, a pipe
// or memory, a buffer at a time: the core of `sivo decode` and `sivo info`.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "frame_walk.h"

namespace sivo {

// Why a walk ended before the end of the stream.
enum class stream_stop {
  none,
  invalid_type,
  truncated_frame,
  decoder_failure,
  read_failure,  // the input could not be read (errno in stop_error)
  cancelled,     // the cancel check asked to stop
  sink_stopped,  // the sample sink refused more samples
};

// A byte stream read a buffer at a time from a descriptor, or from memory.
struct frame_reader {
  int fd = -1;  // -1: `data` holds the whole stream
  bool owns_fd = false;
  std::vector<uint8_t> buffer;
  const uint8_t* data = nullptr;
  size_t pos = 0;
  size_t end = 0;
  bool ended = false;
  int error_number = 0;
  long long size = -1;   // bytes of a regular file, -1 when unknown
  long long offset = 0;  // bytes consumed so far
  std::function<bool()> cancelled;
};

// Opens `path` ("-": standard input). On failure returns false with `error`
// naming the file and the reason.
bool reader_open(frame_reader& reader, const std::string& path, std::string& error);

// A reader over bytes in memory (kept by the caller).
frame_reader memory_reader(std::span<const uint8_t> bytes);

void reader_close(frame_reader& reader);

struct stream_options {
  bool postfilter = true;
  double loss_percent = 0.0;  // chance, in percent, that a speech frame is dropped
  uint64_t seed = 1;          // seed of the frame-dropping generator
};

struct stream_report {
  long long frames_of_type[8] = {};  // frames met, by type (4 and 5 never counted)
  long long bytes_of_type[8] = {};
  long long speech_frames = 0;    // types 0..3, each decoded into 240 samples
  long long reserved_frames = 0;  // types 6 and 7, skipped
  long long dropped_frames = 0;   // speech frames decoded as lost on purpose
  long long damaged_frames = 0;   // speech frames the decoder found damaged
  long long bytes_used = 0;       // bytes of every whole frame walked
  stream_stop stop = stream_stop::none;
  long long stop_offset = 0;  // byte offset of the frame that stopped the walk
  sivo_walk_step stop_step{};  // the walker's step there (truncated: the bytes left
                               // are stop_step.length - stop_step.needed)
  int stop_error = 0;         // read failure: errno
};

// Receives each decoded frame's 240 samples; returns false to stop.
using sample_sink = std::function<bool(std::span<const int16_t>)>;

// Walks the stream frame by frame from its first byte, decodes each speech
// frame with a fresh decoder, hands its samples to `sink`, and skips the
// reserved types. Stops at an invalid type or a frame cut short by the end
// of the stream, recording where.
stream_report decode_stream(frame_reader& reader, const stream_options& options,
                            const sample_sink& sink);

// One line describing why the walk stopped, naming the byte offset.
std::string describe_stop(const stream_report& report);

// A small, fixed generator of uniform values in [0, 1), so that a given
// seed drops the same frames on every platform.
struct loss_generator {
  uint64_t state;
  double next() noexcept;
};

}  // namespace sivo
