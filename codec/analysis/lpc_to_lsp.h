// Conversion of a predictor into line spectral pairs by a grid root search.
#pragma once

#include <span>

#include "codec/codec_types.h"

namespace sivo {

// coefficients: a1..a10 (unquantised, subframe 3). Writes ten increasing
// LSPs in units of pi/256, or a copy of prev_lsp when fewer than ten roots
// are found.
void lpc_to_lsp(std::span<float, kOrder> lsp_out,
                std::span<const float, kOrder> coefficients,
                std::span<const float, kOrder> prev_lsp) noexcept;

}  // namespace sivo
