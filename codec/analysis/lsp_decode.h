// Decoding of the LSP index, interpolation per subframe and conversion back
// to predictor coefficients. Shared by the encoder and the decoder.
#pragma once

#include <cstdint>
#include <span>

#include "codec/codec_types.h"

namespace sivo {

// Writes the quantised LSP vector of lsp_index (ignored when bad_frame is
// nonzero) predicted from prev_lsp, repaired for order and spacing. A vector
// that stays unusable after the repair (l0 <= 0, l9 >= 256 or not strictly
// increasing) is replaced by prev_lsp. Does not change prev_lsp.
void lsp_decode(std::span<float, kOrder> lsp_out,
                std::span<const float, kOrder> prev_lsp, int32_t lsp_index,
                int32_t bad_frame) noexcept;

// Writes the predictor of each subframe from prev_lsp and decoded mixed
// 3:1, 1:1, 1:3, 0:1, then sets prev_lsp = decoded.
void lsp_interpolate(std::span<lpc_set, kSubframes> coefficients_out,
                     std::span<const float, kOrder> decoded,
                     std::span<float, kOrder> prev_lsp) noexcept;

// Converts one LSP vector into a1..a10 in place: the products of the
// factors 1 + x z^-1 + z^-2, x = -2 cos(lsp), over the even and the odd LSPs,
// each coefficient rounded to float as it is formed.
void lsp_to_lpc(std::span<float, kOrder> vector) noexcept;

// lsp_to_lpc of each subframe's vector. The plain form of the LSP
// conversion kernel.
void lsp_to_lpc_subframes(std::span<lpc_set, kSubframes> vectors) noexcept;

// Linearly interpolated cosine of an LSP value, from the 512-entry table.
// Values outside the table extend its end intervals; NaN uses interval 0.
float interpolated_cosine(float lsp) noexcept;

}  // namespace sivo
