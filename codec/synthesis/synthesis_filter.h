// All-pole synthesis filter 1/A(z) of one subframe.
#pragma once

#include "codec/codec_types.h"

namespace sivo {

// signal: 60 samples filtered in place. history: the newest past output
// (reads [-9..0]); the outputs are appended at [1..60].
void synthesis_filter(float* signal, const lpc_set& a, float* history) noexcept;

}  // namespace sivo
