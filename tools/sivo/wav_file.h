// A small WAV writer for the decoder's output and a reader of 16-bit mono
// WAV files for comparing signals. Encoding reads its WAV input through
// sivowav, never through this reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace sivo_cli {

// A 16-bit mono PCM WAV file being written. The header's sizes are
// placeholders until wav_finish patches them.
struct wav_writer {
  std::FILE* file = nullptr;
  std::string path;
  uint32_t sample_rate = 0;
  uint64_t samples = 0;
};

// Creates (or truncates) `path` and writes a header for 16-bit mono at
// `sample_rate` Hz. On failure returns false with `error` set.
bool wav_create(wav_writer& writer, const std::string& path, uint32_t sample_rate,
                std::string& error);

// Appends samples, stored little-endian. On failure returns false.
bool wav_append(wav_writer& writer, std::span<const int16_t> samples, std::string& error);

// Writes the final sizes into the header and closes the file.
bool wav_finish(wav_writer& writer, std::string& error);

// Closes and deletes a file that could not be completed.
void wav_abandon(wav_writer& writer);

// The header of a canonical 16-bit mono PCM WAV file holding `samples`
// samples at `sample_rate` Hz: 44 bytes.
std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t samples);

// Reads a 16-bit mono PCM WAV file: its samples and sample rate. Walks the
// RIFF chunks, so fmt and data may stand anywhere and extra chunks are
// skipped. On failure returns false with `error` set.
bool read_wav_mono16(const std::string& path, std::vector<int16_t>& samples, uint32_t& sample_rate,
                     std::string& error);

}  // namespace sivo_cli
