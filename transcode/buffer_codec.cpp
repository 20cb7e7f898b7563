// Whole-buffer encoding and decoding loops.
#include "buffer_codec.h"

#include <algorithm>
#include <array>

namespace sivo {

size_t encode_samples(sivo_encoder* encoder, std::span<const int16_t> samples, bool pad_tail,
                      uint8_t* out) noexcept {
  size_t written = 0;
  size_t pos = 0;
  int32_t type = 0;
  int32_t bytes = 0;
  for (; pos + kFrameSamples <= samples.size(); pos += kFrameSamples) {
    sivo_encode_frame(encoder, samples.data() + pos, out + written, &type, &bytes);
    written += static_cast<size_t>(bytes);
  }
  if (pad_tail && pos < samples.size()) {
    std::array<int16_t, kFrameSamples> last{};
    std::copy(samples.begin() + static_cast<ptrdiff_t>(pos), samples.end(), last.begin());
    sivo_encode_frame(encoder, last.data(), out + written, &type, &bytes);
    written += static_cast<size_t>(bytes);
  }
  return written;
}

decode_outcome decode_frames(sivo_decoder* decoder, std::span<const uint8_t> stream,
                             int16_t* out) noexcept {
  decode_outcome outcome;
  size_t offset = 0;
  while (offset < stream.size()) {
    int32_t type = 0;
    int32_t bytes = 0;
    if (sivo_decoder_get_frame_type(stream.data() + offset, &type, &bytes) != SIVO_OK) {
      outcome.status = SIVO_NOT_DECODABLE;
      break;
    }
    if (type > 3) {
      offset += static_cast<size_t>(bytes);
      continue;
    }
    const int32_t status = sivo_decode_frame(decoder, stream.data() + offset,
                                             out + outcome.samples, SIVO_DECODE_NORMAL, &type,
                                             &bytes);
    if (status != SIVO_OK && status != SIVO_DAMAGED_FRAME) {
      outcome.status = status;
      break;
    }
    if (status == SIVO_DAMAGED_FRAME) outcome.damaged_frames += 1;
    outcome.samples += kFrameSamples;
    offset += static_cast<size_t>(bytes);
  }
  return outcome;
}

}  // namespace sivo
