// Predictive three-band split vector quantiser of the LSPs.
#pragma once

#include <cstdint>
#include <span>

#include "codec/codec_types.h"

namespace sivo {

// Searches one band's codebook for the entry of largest weighted score
// sum wi*c(2ri - c); the running best starts at -1.0 with entry 0 and a
// later entry wins only when strictly better. band is 0, 1 or 2; residual
// and weights hold all ten LSPs. The score is summed in double and rounded
// to float. The reference form of the band search kernel.
int lsp_split_vq(int band, std::span<const float, kOrder> residual,
                 std::span<const float, kOrder> weights) noexcept;

// Returns the 24-bit index (band 0 in bits 16..23) of the LSP vector, with
// prediction from prev_lsp.
int32_t lsp_quantise(std::span<const float, kOrder> lsp,
                     std::span<const float, kOrder> prev_lsp) noexcept;

}  // namespace sivo
