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

std::string walk_error_text(const sivo_walk_step& step, uint64_t offset) {
  char text[SIVO_WALK_TEXT_BYTES];
  sivo_walk_error_text(&step, offset, text, sizeof text);
  return text;
}

}  // namespace sivo
