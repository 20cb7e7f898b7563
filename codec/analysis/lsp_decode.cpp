// LSP decoding with prediction and repair, interpolation per subframe and
// conversion to predictor coefficients.
#include "codec/analysis/lsp_decode.h"

#include <array>

#include "codec/kernels/kernel_table.h"
#include "codec/tables/lsp_tables.h"

namespace sivo {
namespace {

constexpr int kRepairPasses = 10;
constexpr float kLowestLsp = 3.0f;     // l0 is raised to at least this
constexpr float kHighestLsp = 252.0f;  // l9 is lowered to at most this
constexpr double kSpacingSlack = 0.03125;
constexpr float kLspRange = 256.0f;    // pi in LSP units
constexpr int kLastCosineInterval = 510;  // cosine_table[n], [n + 1] with n <= 510
// Prediction from the previous vector and the spacing the repair enforces,
// for a received frame and for a lost one.
constexpr double kPrediction = 0.375;
constexpr double kLostPrediction = 0.71875;
constexpr float kSpacing = 2.0f;
constexpr float kLostSpacing = 4.0f;
// The index: 8 bits per band, band 0 (LSPs 0..2) highest, band 1 (3..5),
// band 2 (6..9) lowest.
constexpr int kBandBits = 8;
constexpr uint32_t kBandMask = 0xff;
constexpr int kBand1 = 3, kBand2 = 6;  // first LSP of bands 1 and 2
static_assert(lsp_codebook_band0[0].size() == kBand1 &&
              lsp_codebook_band1[0].size() == kBand2 - kBand1 &&
              lsp_codebook_band2[0].size() == kOrder - kBand2);

// Pushes crowded neighbours apart and clamps the ends, at most ten passes.
void repair_spacing(std::array<float, kOrder>& l, float spacing) noexcept {
  const double accepted = static_cast<double>(spacing) - kSpacingSlack;
  for (int pass = 0; pass < kRepairPasses; ++pass) {
    if (l[0] < kLowestLsp) l[0] = kLowestLsp;
    if (l[kOrder - 1] > kHighestLsp) l[kOrder - 1] = kHighestLsp;
    for (int j = 0; j < kOrder - 1; ++j) {
      const float t = static_cast<float>(static_cast<double>(l[j]) - l[j + 1] + spacing);
      if (t > 0.0f) {
        l[j] = static_cast<float>(static_cast<double>(l[j]) - t / 2.0);
        l[j + 1] = static_cast<float>(static_cast<double>(l[j + 1]) + t / 2.0);
      }
    }
    bool spaced = true;
    for (int j = 0; j < kOrder - 1; ++j) {
      if (!(static_cast<double>(l[j + 1]) - l[j] >= accepted)) {
        spaced = false;
        break;
      }
    }
    if (spaced) return;
  }
}

// True when the vector gives a stable synthesis filter: inside (0, 256)
// and strictly increasing. NaN fails every comparison and is refused.
bool usable(const std::array<float, kOrder>& l) noexcept {
  if (!(l[0] > 0.0f) || !(l[kOrder - 1] < kLspRange)) return false;
  for (int j = 0; j < kOrder - 1; ++j) {
    if (!(l[j + 1] > l[j])) return false;
  }
  return true;
}

}  // namespace

void lsp_decode(std::span<float, kOrder> lsp_out,
                std::span<const float, kOrder> prev_lsp, int32_t lsp_index,
                int32_t bad_frame) noexcept {
  const bool good = bad_frame == 0;
  const uint32_t index = good ? static_cast<uint32_t>(lsp_index) : 0u;
  const double factor = good ? kPrediction : kLostPrediction;
  const float spacing = good ? kSpacing : kLostSpacing;

  const auto& entry0 = lsp_codebook_band0[(index >> (2 * kBandBits)) & kBandMask];
  const auto& entry1 = lsp_codebook_band1[(index >> kBandBits) & kBandMask];
  const auto& entry2 = lsp_codebook_band2[index & kBandMask];
  std::array<float, kOrder> c{};
  for (int i = 0; i < kBand1; ++i) c[i] = entry0[i];
  for (int i = kBand1; i < kBand2; ++i) c[i] = entry1[i - kBand1];
  for (int i = kBand2; i < kOrder; ++i) c[i] = entry2[i - kBand2];

  std::array<float, kOrder> l{};
  for (int i = 0; i < kOrder; ++i) {
    const double mean = lsp_mean[i];
    l[i] = static_cast<float>(c[i] + mean + factor * (prev_lsp[i] - mean));
  }

  repair_spacing(l, spacing);

  // A vector the repair could not bring into order would make the synthesis
  // filter unstable on both sides; the previous frame's vector is kept.
  if (!usable(l)) {
    for (int i = 0; i < kOrder; ++i) lsp_out[i] = prev_lsp[i];
    return;
  }
  for (int i = 0; i < kOrder; ++i) lsp_out[i] = l[i];
}

void lsp_interpolate(std::span<lpc_set, kSubframes> coefficients_out,
                     std::span<const float, kOrder> decoded,
                     std::span<float, kOrder> prev_lsp) noexcept {
  std::array<float, kOrder> current{};
  for (int i = 0; i < kOrder; ++i) current[i] = decoded[i];

  for (int sub = 0; sub < kSubframes; ++sub) {
    // The previous vector's weight: 3/4, 1/2, 1/4, 0.
    const float wp = static_cast<float>((kSubframes - 1 - sub) * (1.0 / kSubframes));
    const float wc = static_cast<float>(1.0 - wp);
    lpc_set& v = coefficients_out[sub];
    for (int i = 0; i < kOrder; ++i) {
      v[i] = static_cast<float>(static_cast<double>(prev_lsp[i]) * wp +
                                static_cast<double>(current[i]) * wc);
    }
  }
  kernels().lsp_to_lpc_subframes(coefficients_out);
  for (int i = 0; i < kOrder; ++i) prev_lsp[i] = current[i];
}

float interpolated_cosine(float lsp) noexcept {
  int n = 0;
  if (lsp >= static_cast<float>(kLastCosineInterval)) {
    n = kLastCosineInterval;
  } else if (lsp > 0.0f) {
    n = static_cast<int>(lsp);
  }
  const double dn = n;
  return static_cast<float>((dn + 1.0 - lsp) * cosine_table[n] +
                            (lsp - dn) * cosine_table[n + 1]);
}

void lsp_to_lpc(std::span<float, kOrder> vector) noexcept {
  // x = -2 cos(omega): the linear term of each factor 1 + x z^-1 + z^-2.
  std::array<float, kOrder> x{};
  for (int i = 0; i < kOrder; ++i) {
    x[i] = static_cast<float>(-2.0 * interpolated_cosine(vector[i]));
  }

  // First halves (degree 0..5) of the symmetric products over the even
  // LSPs (p) and the odd LSPs (q).
  constexpr int kHalf = kOrder / 2;
  std::array<float, kHalf + 1> p{};
  std::array<float, kHalf + 1> q{};
  p[0] = 1.0f;
  p[1] = static_cast<float>(static_cast<double>(x[0]) + x[2]);
  p[2] = static_cast<float>(static_cast<double>(x[0]) * x[2] + 2.0);
  q[0] = 1.0f;
  q[1] = static_cast<float>(static_cast<double>(x[1]) + x[3]);
  q[2] = static_cast<float>(static_cast<double>(x[1]) * x[3] + 2.0);

  for (int k = 2; k <= 4; ++k) {
    const double u = x[2 * k];
    const double v = x[2 * k + 1];
    p[k + 1] = static_cast<float>(u * p[k] + 2.0 * p[k - 1]);
    q[k + 1] = static_cast<float>(v * q[k] + 2.0 * q[k - 1]);
    for (int j = k; j >= 2; --j) {
      p[j] = static_cast<float>(p[j] + u * p[j - 1] + p[j - 2]);
      q[j] = static_cast<float>(q[j] + v * q[j - 1] + q[j - 2]);
    }
    p[1] = static_cast<float>(p[1] + u);
    q[1] = static_cast<float>(q[1] + v);
  }

  // A(z) = ((1 + z^-1) P(z) + (1 - z^-1) Q(z)) / 2 with A = 1 - sum aj z^-j.
  for (int i = 0; i < kHalf; ++i) {
    const double pp = static_cast<double>(p[i]) + p[i + 1];
    vector[i] = static_cast<float>(-0.5 * (pp + q[i + 1] - q[i]));
    vector[kOrder - 1 - i] = static_cast<float>(-0.5 * (pp - q[i + 1] + q[i]));
  }
}

void lsp_to_lpc_subframes(std::span<lpc_set, kSubframes> vectors) noexcept {
  for (lpc_set& v : vectors) lsp_to_lpc(v);
}

}  // namespace sivo
