// Writing decoded 8000 Hz mono samples as WAV, raw, FLAC, Ogg/Vorbis or AIFF,
// at 8000 Hz or converted to another rate.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rate_stream.h"
#include "safe_output.h"
#include "transcode.h"

namespace sivo {

struct audio_sink {
  output_file out;
  audio_format format = audio_format::raw;
  int rate = 8000;
  SNDFILE* file = nullptr;       // FLAC, Ogg, AIFF
  // From 8000 Hz to `rate`: fed whatever arrives, drained of whatever the
  // resampler releases, so that any length converts.
  ratelib::rate_stream* converter = nullptr;
  std::vector<int16_t> converted;  // samples taken from the converter
  std::vector<uint8_t> bytes;    // little-endian staging for WAV and raw
  long long samples_in = 0;      // 8000 Hz samples received
  long long samples_out = 0;     // output samples written
  bool wav_header_patchable = false;
  std::string error;             // first failure of a libsndfile write
};

// Opens `path` for `format` (already resolved, never automatic) at `rate`.
bool sink_open(audio_sink& sink, const std::string& path, audio_format format, int rate,
               std::string& error);

// Writes 8000 Hz samples. On failure returns false with `error` set.
bool sink_write(audio_sink& sink, std::span<const int16_t> samples, std::string& error);

// Flushes the converter, completes the header and commits the output. A
// `cancelled` check that says stop while the converter's tail is written
// abandons the output instead (error "interrupted").
bool sink_finish(audio_sink& sink, std::string& error, const cancel_check& cancelled = {});

// Abandons the output (a temporary is removed).
void sink_abort(audio_sink& sink);

// The 44-byte header of a 16-bit mono PCM WAV file of `samples` samples at
// `rate` Hz; sizes beyond what the header holds are written as 0xFFFFFFFF,
// as for a stream of unknown length.
std::vector<uint8_t> wav_header(uint32_t rate, uint64_t samples);

// The header of a WAV stream of unknown length (sizes 0xFFFFFFFF).
std::vector<uint8_t> wav_stream_header(uint32_t rate);

}  // namespace sivo
