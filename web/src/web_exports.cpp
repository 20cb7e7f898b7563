// Whole-buffer entry points of the WebAssembly module: one call from
// JavaScript encodes or decodes every frame of a buffer.
#include <cstdint>

#include "sivocore.h"

namespace {

constexpr int32_t kLostFlag = 1;
constexpr int32_t kSpeechTypes = 4;  // types 0..3; 6 and 7 are reserved

}  // namespace

extern "C" {

// Encodes frame_count frames of 240 samples from pcm at comp_rate and writes
// them back to back into frames_out (room for frame_count * 45 bytes).
// Returns the bytes written, or -1 when comp_rate is not 0..3.
__attribute__((used, visibility("default"))) int32_t sivo_web_encode(
    sivo_encoder* handle, const int16_t* pcm, int32_t frame_count, int32_t comp_rate,
    uint8_t* frames_out) {
  if (sivo_encoder_set_comp_rate(handle, comp_rate) != SIVO_OK) return -1;
  int32_t written = 0;
  for (int32_t f = 0; f < frame_count; ++f) {
    int32_t type = 0;
    int32_t bytes = 0;
    sivo_encode_frame(handle, pcm + f * SIVO_FRAME_SAMPLES, frames_out + written, &type, &bytes);
    written += bytes;
  }
  return written;
}

// Decodes the frames in bytes[0, length), which the caller has walked: every
// frame is whole and of type 0..3, 6 or 7. lost_flags is null or holds one
// byte per frame; a speech frame whose flag is 1 is concealed instead of
// decoded (reserved frames are skipped whatever their flag).
// Speech frames give 240 samples each in samples_out; reserved frames give
// none. Returns the samples written, or -1 when a frame is not whole or of
// type 4 or 5 (nothing after it is decoded).
__attribute__((used, visibility("default"))) int32_t sivo_web_decode(sivo_decoder* handle,
                                                                     const uint8_t* bytes,
                                                                     int32_t length,
                                                                     const uint8_t* lost_flags,
                                                                     int16_t* samples_out) {
  int32_t at = 0;
  int32_t produced = 0;
  for (int32_t frame = 0; at < length; ++frame) {
    int32_t type = 0;
    int32_t size = 0;
    if (sivo_decoder_get_frame_type(bytes + at, &type, &size) != SIVO_OK || size > length - at) {
      return -1;
    }
    const bool lost =
        lost_flags != nullptr && lost_flags[frame] == kLostFlag && type < kSpeechTypes;
    int32_t count = 0;
    const int32_t status = sivo_decode_frame(handle, bytes + at, samples_out + produced,
                                             lost ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL,
                                             &type, &count);
    if (status == SIVO_OK || status == SIVO_DAMAGED_FRAME) produced += SIVO_FRAME_SAMPLES;
    at += size;
  }
  return produced;
}

// Conceals frame_count lost frames into samples_out (frame_count * 240).
__attribute__((used, visibility("default"))) int32_t sivo_web_conceal(sivo_decoder* handle,
                                                                      int32_t frame_count,
                                                                      int16_t* samples_out) {
  for (int32_t f = 0; f < frame_count; ++f) {
    int32_t type = 0;
    int32_t count = 0;
    sivo_decode_frame(handle, nullptr, samples_out + f * SIVO_FRAME_SAMPLES, SIVO_DECODE_LOST,
                      &type, &count);
  }
  return frame_count * SIVO_FRAME_SAMPLES;
}

}  // extern "C"
