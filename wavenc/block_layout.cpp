// Block layouts of the eight accepted rates.
#include "wavenc/block_layout.h"

namespace sivo {

block_layout select_block_layout(int32_t sample_rate) noexcept {
  switch (sample_rate) {
    case 8000: return {240, 1, false};
    case 11025: return {1323, 4, true};
    case 16000: return {480, 1, true};
    case 22050: return {1323, 2, true};
    case 24000: return {720, 1, true};
    case 32000: return {960, 1, true};
    case 44100: return {1323, 1, true};
    case 48000: return {1440, 1, true};
    default: return {};
  }
}

}  // namespace sivo
