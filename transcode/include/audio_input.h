// Reading any audio libsndfile understands (or headerless PCM) as a stream of
// 8000 Hz mono 16-bit samples, converted the way the WAV job converts.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "rate_stream.h"
#include "transcode.h"

namespace sivo {

// A pipe, FIFO or device read for libsndfile: forward only, except that the
// first bytes are kept so that a header may be read twice; a read broken by
// an interrupt ends the stream when the cancel check says so.
struct stream_input {
  int fd = -1;
  std::vector<uint8_t> head;  // bytes from offset 0, while all are kept
  long long position = 0;     // where libsndfile reads next
  long long consumed = 0;     // bytes taken from fd
  int error_number = 0;
  const cancel_check* cancelled = nullptr;
};

// An open input and its converter to 8000 Hz mono.
struct audio_source {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  std::string path;
  std::string description;   // what the file is, for summaries
  long long size = -1;       // bytes, -1 when unknown
  // To 8000 Hz: the WAV job's conversion (its block layout, settings and
  // leading silence), streamed, so that no length or rate runs it dry.
  ratelib::rate_stream* converter = nullptr;
  int32_t block_in = 0;      // input frames per block
  int32_t block_out = 0;     // 8000 Hz samples per block
  int32_t delay = 0;         // converter's leading samples
  std::vector<int16_t> interleaved;  // one block as read
  std::vector<int16_t> mono;         // one block mixed (more than two channels)
  std::vector<int16_t> converted;    // one block at 8000 Hz
  size_t converted_pos = 0;
  size_t converted_end = 0;
  long long frames_read = 0;      // input frames read so far
  long long samples_out = 0;      // 8000 Hz samples handed out
  bool input_ended = false;
  const cancel_check* cancelled = nullptr;
  stream_input stream;        // used for inputs that are not regular files
  bool owns_fd = false;
  bool length_unknown = false;  // a WAV header that said its data was empty
};

// Opens `path` ("-": standard input) as audio, or as headerless PCM laid out
// as `raw` when given. On failure returns false with `error` naming the file.
bool source_open(audio_source& source, const std::string& path, const raw_layout* raw,
                 std::string& error);

// Fills `out` with up to `count` 8000 Hz mono samples; returns how many (0 at
// the end of the input, after the converter's tail), or -1 with `error` set.
long long source_read(audio_source& source, int16_t* out, size_t count, std::string& error);

// Bytes of the input consumed so far (an estimate for compressed formats).
long long source_position(const audio_source& source);

void source_close(audio_source& source);

// The block layout the WAV job uses for `rate`, or a whole-sample layout for
// any other rate: input frames and 8000 Hz samples per block.
bool block_layout_for(int rate, int32_t& block_in, int32_t& block_out);

}  // namespace sivo
