// Entry points of the WebAssembly module: one call from JavaScript encodes,
// walks or decodes a whole buffer, through the same frame walker, buffer
// loops and streaming decoder as the other routes, so that the texts of bad
// frames are theirs too.
#include <cstdint>
#include <new>
#include <span>

#include "buffer_codec.h"
#include "chunk_decoder.h"
#include "frame_walk.h"
#include "sivocore.h"

#define SIVO_WEB_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

// The most frames one call takes: their samples, as bytes, fit an int32 (the
// interface's sizes and counts are int32; size_t is 32 bits here).
constexpr int32_t kMaxCallFrames = INT32_MAX / (SIVO_FRAME_SAMPLES * 2);

// The text and stream offset of the last bad frame met (one call at a time:
// JavaScript runs the module on one thread).
char g_text[SIVO_WALK_TEXT_BYTES];
uint64_t g_offset = 0;

const char* text_of(const sivo_walk_step& step, uint64_t offset) {
  sivo_walk_error_text(&step, offset, g_text, sizeof g_text);
  g_offset = offset;
  return g_text;
}

}  // namespace

// The stream offset of the bad frame whose text a call returned last (a
// double: a stream may pass 2 GiB).
SIVO_WEB_EXPORT double sivo_web_fault_offset() { return static_cast<double>(g_offset); }

// Encodes frame_count frames of 240 samples from pcm at comp_rate and writes
// them back to back into frames_out (room for frame_count * 45 bytes).
// Returns the bytes written, -1 when comp_rate is not 0..3, or -2 when
// frame_count is negative or more than kMaxCallFrames.
SIVO_WEB_EXPORT int32_t sivo_web_encode(sivo_encoder* handle, const int16_t* pcm,
                                        int32_t frame_count, int32_t comp_rate,
                                        uint8_t* frames_out) {
  if (frame_count < 0 || frame_count > kMaxCallFrames) return -2;
  if (sivo_encoder_set_comp_rate(handle, comp_rate) != SIVO_OK) return -1;
  const std::span<const int16_t> samples(pcm,
                                         static_cast<size_t>(frame_count) * SIVO_FRAME_SAMPLES);
  return static_cast<int32_t>(sivo::encode_samples(handle, samples, false, frames_out));
}

// Walks bytes[0, length) from their first byte. Writes to info[0..2] the
// whole frames, the speech frames among them and the offset after the last
// whole frame. Returns null when the frames fill the buffer exactly, else the
// text of the bad frame that ends the walk (an invalid type, or a frame cut
// short by the end).
SIVO_WEB_EXPORT const char* sivo_web_walk(const uint8_t* bytes, int32_t length, int32_t* info) {
  const sivo_walk_result walk = sivo_walk_buffer(bytes, static_cast<size_t>(length), nullptr, 0);
  info[0] = static_cast<int32_t>(walk.frames);
  info[1] = static_cast<int32_t>(walk.speech_frames);
  info[2] = static_cast<int32_t>(walk.end);
  return walk.stop.status == SIVO_WALK_EMPTY ? nullptr : text_of(walk.stop, walk.end);
}

// Decodes the frames in bytes[0, length), which sivo_web_walk found whole.
// lost_flags is null or holds one byte per frame; a speech frame whose flag
// is 1 is concealed instead of decoded. Returns the samples written (240 per
// speech frame), or -1 when the bytes are not whole frames.
SIVO_WEB_EXPORT int32_t sivo_web_decode(sivo_decoder* handle, const uint8_t* bytes, int32_t length,
                                        const uint8_t* lost_flags, int16_t* samples_out) {
  const sivo_walk_decoded decoded =
      sivo_walk_decode(handle, bytes, static_cast<size_t>(length), lost_flags, samples_out);
  return decoded.status == SIVO_OK ? static_cast<int32_t>(decoded.samples) : -1;
}

// Conceals frame_count lost frames into samples_out (frame_count * 240).
// Returns the samples written, or -1 when frame_count is negative or more
// than kMaxCallFrames.
SIVO_WEB_EXPORT int32_t sivo_web_conceal(sivo_decoder* handle, int32_t frame_count,
                                         int16_t* samples_out) {
  if (frame_count < 0 || frame_count > kMaxCallFrames) return -1;
  for (int32_t f = 0; f < frame_count; ++f) {
    int32_t type = 0;
    int32_t count = 0;
    sivo_decode_frame(handle, nullptr, samples_out + f * SIVO_FRAME_SAMPLES, SIVO_DECODE_LOST,
                      &type, &count);
  }
  return frame_count * SIVO_FRAME_SAMPLES;
}

// The streaming decoder (chunk_decoder.h). Null when out of memory.
SIVO_WEB_EXPORT sivo::chunk_decoder* sivo_web_stream_open(int32_t postfilter) {
  auto* stream = new (std::nothrow) sivo::chunk_decoder;
  if (stream != nullptr && !sivo::chunk_decoder_open(*stream, postfilter != 0)) {
    delete stream;
    stream = nullptr;
  }
  return stream;
}

SIVO_WEB_EXPORT void sivo_web_stream_close(sivo::chunk_decoder* stream) {
  sivo::chunk_decoder_close(*stream);
  delete stream;
}

SIVO_WEB_EXPORT void sivo_web_stream_reset(sivo::chunk_decoder* stream) {
  sivo::chunk_decoder_reset(*stream);
}

// The codec's decoder inside, for the post-filter and concealment calls.
SIVO_WEB_EXPORT sivo_decoder* sivo_web_stream_handle(sivo::chunk_decoder* stream) {
  return stream->handle;
}

// The speech frames that decoding bytes[0, length) next would give.
SIVO_WEB_EXPORT int32_t sivo_web_stream_survey(sivo::chunk_decoder* stream, const uint8_t* bytes,
                                               int32_t length) {
  const sivo::chunk_walk walk =
      sivo::chunk_survey(*stream, std::span(bytes, static_cast<size_t>(length)));
  return static_cast<int32_t>(walk.speech_frames);
}

// Decodes the frames that bytes[0, length) completes into samples_out (room
// for 240 samples per frame the survey counts); info[0] receives the samples
// written. Returns null, or the text of an invalid frame type (the frames
// before it are decoded, the rest of the chunk skipped).
SIVO_WEB_EXPORT const char* sivo_web_stream_decode(sivo::chunk_decoder* stream,
                                                   const uint8_t* bytes, int32_t length,
                                                   int16_t* samples_out, int32_t* info) {
  const sivo::chunk_outcome outcome =
      sivo::chunk_decode(*stream, std::span(bytes, static_cast<size_t>(length)), samples_out);
  info[0] = static_cast<int32_t>(outcome.samples);
  return outcome.failed() ? text_of(outcome.fault, outcome.fault_offset) : nullptr;
}

// Ends the stream. Returns null, or the text of a frame left cut short.
SIVO_WEB_EXPORT const char* sivo_web_stream_finish(sivo::chunk_decoder* stream) {
  const sivo::chunk_outcome outcome = sivo::chunk_finish(*stream);
  return outcome.failed() ? text_of(outcome.fault, outcome.fault_offset) : nullptr;
}

// Bytes waiting for the rest of their frame; bytes given before them; speech
// frames found damaged (doubles, as offsets are).
SIVO_WEB_EXPORT int32_t sivo_web_stream_pending(sivo::chunk_decoder* stream) {
  return static_cast<int32_t>(stream->pending_size);
}
SIVO_WEB_EXPORT double sivo_web_stream_consumed(sivo::chunk_decoder* stream) {
  return static_cast<double>(stream->consumed);
}
SIVO_WEB_EXPORT double sivo_web_stream_damaged(sivo::chunk_decoder* stream) {
  return static_cast<double>(stream->damaged_frames);
}
