// Feeds arbitrary bytes to the streaming decoder that the Python and
// JavaScript packages share, as a whole stream and cut into three chunks at
// points the first two bytes pick, and to the whole-buffer walk and decode.
//
// Checked: the walk's whole frames add up to where it stops, and its text
// names that offset; chunks decode the same samples as the whole buffer and
// stop at the same fault at the same offset; a
// frame cut by the end is refused by finish() at its offset; every byte given
// is accounted for (consumed + pending); decoding writes only the 240 samples
// per speech frame that the survey counted (each output block is exactly that
// large, so a sample more is caught by AddressSanitizer).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "buffer_codec.h"
#include "chunk_decoder.h"
#include "frame_walk.h"
#include "fuzz_check.h"

namespace {

struct streamed {
  std::vector<int16_t> samples;
  bool faulted = false;
  uint64_t fault_offset = 0;
};

// Decodes `chunks` in turn until the first fault, then ends the stream.
streamed decode_chunks(const std::vector<std::span<const uint8_t>>& chunks) {
  streamed result;
  sivo::chunk_decoder d;
  FUZZ_CHECK(sivo::chunk_decoder_open(d, false), "decoder opens");
  uint64_t given = 0;
  for (const auto chunk : chunks) {
    given += chunk.size();
    const sivo::chunk_walk walk = sivo::chunk_survey(d, chunk);
    const size_t room = walk.speech_frames * sivo::kFrameSamples;
    std::unique_ptr<int16_t[]> out(new int16_t[room > 0 ? room : 1]);
    const sivo::chunk_outcome outcome = sivo::chunk_decode(d, chunk, out.get());
    FUZZ_CHECK(outcome.status == SIVO_OK, "whole frames decode");
    FUZZ_CHECK(outcome.samples == room, "the survey counts the samples decoded");
    FUZZ_CHECK(d.consumed + d.pending_size == given, "every byte given is accounted for");
    result.samples.insert(result.samples.end(), out.get(), out.get() + outcome.samples);
    if (outcome.failed()) {
      FUZZ_CHECK(outcome.fault.status == SIVO_WALK_INVALID, "only an invalid type ends a chunk");
      FUZZ_CHECK(walk.stop.status == SIVO_WALK_INVALID && walk.stop_offset == outcome.fault_offset,
                 "the survey finds the fault the decoding meets");
      FUZZ_CHECK(d.pending_size == 0, "nothing of a bad chunk waits");
      result.faulted = true;
      result.fault_offset = outcome.fault_offset;
      break;
    }
  }
  if (!result.faulted) {
    const uint64_t waiting = d.consumed;
    const size_t pending = d.pending_size;
    const sivo::chunk_outcome end = sivo::chunk_finish(d);
    FUZZ_CHECK(end.failed() == (pending > 0), "finish refuses exactly a waiting frame");
    if (end.failed()) {
      FUZZ_CHECK(end.fault.status == SIVO_WALK_NEED_MORE && end.fault_offset == waiting,
                 "finish names the waiting frame's offset");
      result.faulted = true;
      result.fault_offset = end.fault_offset;
    }
  }
  sivo::chunk_decoder_close(d);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> stream(data, size);
  const sivo_walk_result whole = sivo_walk_buffer(data, size, nullptr, 0);

  size_t end = 0, speech = 0;
  for (;;) {
    const sivo_walk_step step = sivo_walk_frame(data + end, size - end);
    if (step.status != SIVO_WALK_FRAME) {
      FUZZ_CHECK(step.status == whole.stop.status, "the buffer walk stops at the first bad frame");
      if (step.status != SIVO_WALK_EMPTY) {
        const std::string text = sivo::walk_error_text(step, end);
        FUZZ_CHECK(text.find(" at byte offset " + std::to_string(end)) != std::string::npos,
                   "the message names the offset of the bad frame");
      }
      break;
    }
    FUZZ_CHECK(step.length > 0 && end + step.length <= size,
               "a whole frame lies inside the stream");
    speech += sivo_walk_is_speech(step.type) ? 1 : 0;
    end += step.length;
  }
  FUZZ_CHECK(end == whole.end && speech == whole.speech_frames, "buffer walk and steps agree");

  sivo_decoder* decoder = nullptr;
  FUZZ_CHECK(sivo_decoder_open(&decoder) == SIVO_OK, "decoder opens");
  sivo_decoder_set_filter_mode(decoder, 0);
  const size_t samples = whole.speech_frames * sivo::kFrameSamples;
  std::unique_ptr<int16_t[]> out(new int16_t[samples > 0 ? samples : 1]);
  const sivo_walk_decoded decoded = sivo_walk_decode(decoder, data, whole.end, nullptr, out.get());
  FUZZ_CHECK(decoded.status == SIVO_OK, "whole frames decode");
  FUZZ_CHECK(decoded.samples == samples, "one frame of samples per speech frame");
  sivo_decoder_close(&decoder);

  // The stream in one chunk, and in three.
  const streamed one = decode_chunks({stream});
  const size_t a = size > 0 ? data[0] % (size + 1) : 0;
  const size_t b = size > 1 ? a + data[1] % (size - a + 1) : a;
  const streamed three =
      decode_chunks({stream.first(a), stream.subspan(a, b - a), stream.subspan(b)});
  FUZZ_CHECK(one.faulted == (whole.stop.status != SIVO_WALK_EMPTY) &&
                 (!one.faulted || one.fault_offset == whole.end),
             "one chunk faults where the whole walk stops");
  FUZZ_CHECK(one.samples.size() == samples &&
                 std::equal(one.samples.begin(), one.samples.end(), out.get()),
             "one chunk decodes as the whole buffer");
  // Framing does not depend on where chunks end: the same frames, the same
  // fault at the same offset.
  FUZZ_CHECK(three.faulted == one.faulted && three.fault_offset == one.fault_offset &&
                 three.samples == one.samples,
             "chunks decode as one chunk");
  return 0;
}
