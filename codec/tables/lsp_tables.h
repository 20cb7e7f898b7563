// Tables of the LSP quantiser and of the LSP to predictor conversion.
#pragma once

#include <array>

namespace sivo {

// Mean LSP vector (units of pi/256), the prediction base of the quantiser.
inline constexpr std::array<float, 10> lsp_mean = {
    24.4609f, 36.8828f, 60.0781f, 84.4219f, 108.375f,
    128.867f, 154.312f, 173.906f, 199.094f, 216.547f};

}  // namespace sivo
