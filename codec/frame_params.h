// The frame-parameter record: what the encoder's searches choose, what
// pack_frame turns into bytes and what unpack_frame gives back.
#pragma once

#include <cstdint>

namespace sivo {

struct subframe_params {
  int32_t acb_lag;     // lag offset code: lag = olp + acb_lag - 1
  int32_t acb_gain;    // row of the adaptive-codebook gain table
  int32_t fcb_gain;    // fixed-codebook gain index (second stage: code 0..3
                       // in the encoder, absolute index after unpacking)
  int32_t grid;        // pulse grid offset
  int32_t train;       // 1: pulse pattern repeated at the pitch lag
  int32_t signs;       // one bit per pulse, first pulse most significant
  uint32_t positions;  // combinatorial index of the pulse positions
};

struct frame_params {
  int32_t bad_frame;   // 1: conceal this frame
  int32_t lsp_index;   // 24-bit LSP codebook index
  int32_t olp[2];      // pitch lag of each half frame
  // Entries 0-3: subframes 0-3; entries 4-7: second pulse stage (rate 3).
  subframe_params subframes[8];
};

static_assert(sizeof(subframe_params) == 7 * 4);
static_assert(sizeof(frame_params) == 60 * 4);

}  // namespace sivo
