// Predictive split vector quantisation of the LSPs: weights, prediction and the three band searches.
#include "codec/analysis/lsp_quantise.h"

#include <algorithm>
#include <array>

#include "codec/tables/lsp_tables.h"
#include "codec/kernels/kernel_table.h"

namespace sivo {

namespace {

// Share of the previous frame's deviation from the mean that predicts this frame's.
constexpr double kPrediction = 0.375;
constexpr int kBands = 3;
constexpr int kBandEntries = 256;
// Scores start from this, so an entry is taken only when its score is above it.
constexpr float kScoreFloor = -1.0f;

// The entry of codebook with the largest score; the band begins at LSP first.
template <size_t N>
int best_entry(const std::array<std::array<float, N>, kBandEntries>& codebook, int first,
               std::span<const float, kOrder> residual,
               std::span<const float, kOrder> weights) noexcept {
  float best = kScoreFloor;
  int entry = 0;
  for (int e = 0; e < kBandEntries; ++e) {
    double sum = 0.0;
    for (size_t i = 0; i < N; ++i) {
      const double c = codebook[e][i];
      sum += static_cast<double>(weights[first + i]) * c * (2.0 * residual[first + i] - c);
    }
    const float score = static_cast<float>(sum);
    if (score > best) {
      best = score;
      entry = e;
    }
  }
  return entry;
}

}  // namespace

int lsp_split_vq(int band, std::span<const float, kOrder> residual,
                 std::span<const float, kOrder> weights) noexcept {
  switch (band) {
    case 0:
      return best_entry(lsp_codebook_band0, 0, residual, weights);
    case 1:
      return best_entry(lsp_codebook_band1, 3, residual, weights);
    case 2:
      return best_entry(lsp_codebook_band2, 6, residual, weights);
    default:
      return 0;
  }
}

int32_t lsp_quantise(std::span<const float, kOrder> lsp,
                     std::span<const float, kOrder> prev_lsp) noexcept {
  // Each LSP is weighted by the inverse of the distance to its nearest neighbour.
  std::array<float, kOrder - 1> gap;
  for (int i = 0; i + 1 < kOrder; ++i) gap[i] = lsp[i + 1] - lsp[i];
  std::array<float, kOrder> weights;
  weights[0] = static_cast<float>(1.0 / gap[0]);
  for (int i = 1; i + 1 < kOrder; ++i) {
    weights[i] = static_cast<float>(1.0 / std::min(gap[i - 1], gap[i]));
  }
  weights[kOrder - 1] = static_cast<float>(1.0 / gap[kOrder - 2]);

  std::array<float, kOrder> residual;
  for (int i = 0; i < kOrder; ++i) {
    const double mean = lsp_mean[i];
    residual[i] = static_cast<float>(lsp[i] - (mean + kPrediction * (prev_lsp[i] - mean)));
  }

  int32_t index = 0;
  for (int band = 0; band < kBands; ++band) {
    index = index * kBandEntries + kernels().lsp_split_vq(band, residual, weights);
  }
  return index;
}

}  // namespace sivo
