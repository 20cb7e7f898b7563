#include "codec/analysis/lsp_decode.h"

#include <array>

#include "codec/tables/lsp_tables.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

constexpr int kRepairPasses = 10;
constexpr float kLowestLsp = 3.0f;     // l0 is raised to at least this
constexpr float kHighestLsp = 252.0f;  // l9 is lowered to at most this
constexpr double kSpacingSlack = 0.03125;
constexpr float kLspRange = 256.0f;    // pi in LSP units
constexpr int kLastCosineInterval = 510;  // cosine_table[n], [n + 1] with n <= 510

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

// Linearly interpolated cosine of an LSP value, from the 512-entry table.
// Values outside the table extend its end intervals; NaN uses interval 0.
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

// lsp_to_lpc of the four subframes' vectors at once, one per lane: every
// lane performs the single conversion's operations in its order, rounding
// to float where it stores a float.
SIVO_LANE_CLONES
void lsp_to_lpc_lanes(std::span<lpc_set, kSubframes> vectors) noexcept {
  static_assert(kSubframes == 4);
  double4 x[kOrder];
  for (int i = 0; i < kOrder; ++i) {
    double4 lane;
    for (int s = 0; s < kSubframes; ++s) {
      lane[s] = static_cast<float>(-2.0 * interpolated_cosine(vectors[s][i]));
    }
    x[i] = lane;
  }
  constexpr int kHalf = kOrder / 2;
  double4 p[kHalf + 1], q[kHalf + 1];
  p[0] = q[0] = SIVO_SPLAT(1.0);
  p[1] = SIVO_ROUND_TO_FLOAT(x[0] + x[2]);
  p[2] = SIVO_ROUND_TO_FLOAT(x[0] * x[2] + 2.0);
  q[1] = SIVO_ROUND_TO_FLOAT(x[1] + x[3]);
  q[2] = SIVO_ROUND_TO_FLOAT(x[1] * x[3] + 2.0);
  for (int k = 2; k <= 4; ++k) {
    const double4 u = x[2 * k];
    const double4 v = x[2 * k + 1];
    p[k + 1] = SIVO_ROUND_TO_FLOAT(u * p[k] + 2.0 * p[k - 1]);
    q[k + 1] = SIVO_ROUND_TO_FLOAT(v * q[k] + 2.0 * q[k - 1]);
    for (int j = k; j >= 2; --j) {
      p[j] = SIVO_ROUND_TO_FLOAT(p[j] + u * p[j - 1] + p[j - 2]);
      q[j] = SIVO_ROUND_TO_FLOAT(q[j] + v * q[j - 1] + q[j - 2]);
    }
    p[1] = SIVO_ROUND_TO_FLOAT(p[1] + u);
    q[1] = SIVO_ROUND_TO_FLOAT(q[1] + v);
  }
  for (int i = 0; i < kHalf; ++i) {
    const double4 pp = p[i] + p[i + 1];
    const double4 low = -0.5 * (pp + q[i + 1] - q[i]);
    const double4 high = -0.5 * (pp - q[i + 1] + q[i]);
    for (int s = 0; s < kSubframes; ++s) {
      vectors[s][i] = static_cast<float>(low[s]);
      vectors[s][kOrder - 1 - i] = static_cast<float>(high[s]);
    }
  }
}

}  // namespace

void lsp_decode(std::span<float, kOrder> lsp_out,
                std::span<const float, kOrder> prev_lsp, int32_t lsp_index,
                int32_t bad_frame) noexcept {
  const bool good = bad_frame == 0;
  const uint32_t index = good ? static_cast<uint32_t>(lsp_index) : 0u;
  const double factor = good ? 0.375 : 0.71875;
  const float spacing = good ? 2.0f : 4.0f;

  // Band 0 holds LSPs 0..2, band 1 LSPs 3..5, band 2 LSPs 6..9.
  const auto& entry0 = lsp_codebook_band0[(index >> 16) & 0xffu];
  const auto& entry1 = lsp_codebook_band1[(index >> 8) & 0xffu];
  const auto& entry2 = lsp_codebook_band2[index & 0xffu];
  std::array<float, kOrder> c{};
  for (int i = 0; i < 3; ++i) c[i] = entry0[i];
  for (int i = 0; i < 3; ++i) c[3 + i] = entry1[i];
  for (int i = 0; i < 4; ++i) c[6 + i] = entry2[i];

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
    const float wp = static_cast<float>((3 - sub) * 0.25);
    const float wc = static_cast<float>(1.0 - wp);
    lpc_set& v = coefficients_out[sub];
    for (int i = 0; i < kOrder; ++i) {
      v[i] = static_cast<float>(static_cast<double>(prev_lsp[i]) * wp +
                                static_cast<double>(current[i]) * wc);
    }
  }
  lsp_to_lpc_lanes(coefficients_out);
  for (int i = 0; i < kOrder; ++i) prev_lsp[i] = current[i];
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

}  // namespace sivo
