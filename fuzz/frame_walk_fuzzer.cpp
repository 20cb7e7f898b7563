// Feeds arbitrary bytes to the Python package's frame walk, as a whole
// stream and as a stream cut into two chunks at a point the first byte picks
// (as the streaming decoder sees it).
//
// Checked: the walk's whole frames add up to its end; a fault stands exactly
// at the end and its text names that offset; a stream cut into chunks ends
// where the whole stream ends; decoding writes only the 240 samples per
// speech frame the census counted (the output block is exactly that large,
// so a sample more is caught by AddressSanitizer).
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "buffer_codec.h"
#include "frame_census.h"
#include "fuzz_check.h"

namespace {

// Walks `stream` as the streaming decoder does: frames of the first chunk,
// then the rest of it joined with the second.
size_t walk_in_two(std::span<const uint8_t> stream, size_t cut, sivo::frame_check& stop) {
  const sivo::stream_census first = sivo::census(stream.first(cut));
  if (first.fault.check == sivo::frame_check::invalid_type) {
    stop = first.fault.check;
    return first.end;
  }
  const sivo::stream_census rest = sivo::census(stream.subspan(first.end));
  stop = rest.fault.check;
  return first.end + rest.end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> stream(data, size);
  const sivo::stream_census whole = sivo::census(stream);

  size_t end = 0, speech = 0;
  while (end < size) {
    const sivo::frame_info info = sivo::frame_at(stream, end);
    if (info.check != sivo::frame_check::whole) {
      FUZZ_CHECK(info.check == whole.fault.check, "the census stops at the first bad frame");
      const std::string text = sivo::describe_frame_fault(info, end, size);
      FUZZ_CHECK(text.find(" at byte offset " + std::to_string(end)) != std::string::npos,
                 "the message names the offset of the bad frame");
      break;
    }
    FUZZ_CHECK(info.bytes > 0 && end + static_cast<size_t>(info.bytes) <= size,
               "a whole frame lies inside the stream");
    speech += info.type <= 3 ? 1 : 0;
    end += static_cast<size_t>(info.bytes);
  }
  FUZZ_CHECK(end == whole.end && speech == whole.speech_frames, "census and walk agree");
  FUZZ_CHECK(whole.fault.check != sivo::frame_check::whole || end == size,
             "a walk without a fault reaches the end");

  if (size > 0) {
    sivo::frame_check stop = sivo::frame_check::whole;
    const size_t reached = walk_in_two(stream, data[0] % (size + 1), stop);
    if (whole.fault.check == sivo::frame_check::invalid_type) {
      FUZZ_CHECK(reached <= whole.end, "chunks never pass an invalid frame");
    } else {
      FUZZ_CHECK(reached == whole.end && stop == whole.fault.check,
                 "chunks end where the whole stream ends");
    }
  }

  sivo_decoder* decoder = nullptr;
  FUZZ_CHECK(sivo_decoder_open(&decoder) == SIVO_OK, "decoder opens");
  const size_t samples = whole.speech_frames * sivo::kFrameSamples;
  std::unique_ptr<int16_t[]> out(new int16_t[samples > 0 ? samples : 1]);
  const sivo::decode_outcome outcome = sivo::decode_frames(decoder, stream.first(whole.end),
                                                           out.get());
  FUZZ_CHECK(outcome.status == SIVO_OK, "whole frames decode");
  FUZZ_CHECK(outcome.samples == samples, "one frame of samples per speech frame");
  sivo_decoder_close(&decoder);
  return 0;
}
