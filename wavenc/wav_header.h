// The WAV header parser: checks an open WAV file and leaves it at the first
// sample.
#pragma once

#include <cstdint>

#include "platform/mmio.h"

namespace sivo {

inline constexpr int kAcceptedRates = 8;
inline constexpr int32_t kAcceptedRateList[kAcceptedRates] = {
    8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000};

// The fmt chunk body must hold at least the fields the checks read: tag,
// channels, rate, byte rate and block alignment.
inline constexpr uint32_t kFmtFieldBytes = 14;

// Writes the six-line help text appended to format complaints into
// text[0..799], starting with two line breaks.
void build_format_help_text(char* text) noexcept;

// input: a WAV file open for reading, positioned at its start. message: 800
// bytes. Returns 1 and sets frames_out (samples per channel of the data
// chunk), channels_out, rate_out and an empty message, with the file at the
// first byte of the data chunk's body; returns 0 with the reason in message.
// channels_out and rate_out are written once their fields are reached.
int parse_wav_header(HMMIO input, char* message, uint32_t* frames_out,
                     int32_t* channels_out, int32_t* rate_out) noexcept;

// Opens file_name for reading, shared with readers only, through the plain
// file procedure so that the name is taken literally (a '+' in it marks no
// compound-file element). Returns null when it cannot be opened.
HMMIO open_wav_file(const char* file_name) noexcept;

// Opens, parses and closes file_name. Returns 1, or -1 with message (800
// bytes) and title (25 bytes) filled.
int32_t check_wav_format(char* message, char* title, const char* file_name) noexcept;

}  // namespace sivo
