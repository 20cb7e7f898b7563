// Test helpers: real speech recordings and small signal measures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sivo::test {

// 8 kHz 16-bit little-endian headerless recordings from Debian's
// codec2-examples. A build whose test programs see the files elsewhere (a
// Windows build run under Wine reaches / through drive Z:) names the folder.
#if defined(SIVO_SPEECH_DIR)
inline const char* const kSpeechDir = SIVO_SPEECH_DIR;
#else
inline const char* const kSpeechDir = "/usr/share/codec2/raw/";
#endif

// Reads a whole recording; empty when the file is missing.
std::vector<int16_t> load_raw(const std::string& name);

// Segmental SNR in dB over 240-sample segments of reference[n] against
// decoded[n + delay]; segments whose reference energy is negligible are
// skipped, each segment's SNR is limited to -10..80 dB.
double segmental_snr(const std::vector<int16_t>& reference,
                     const std::vector<int16_t>& decoded, int delay);

}  // namespace sivo::test
