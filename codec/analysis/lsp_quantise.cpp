#include "codec/analysis/lsp_quantise.h"

#include <algorithm>
#include <array>

#include "codec/tables/lsp_tables.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {

namespace {

// Share of the previous frame's deviation from the mean that predicts this frame's.
constexpr double kPrediction = 0.375;
constexpr int kBandEntries = 256;

// A band's codebook with its columns contiguous, so that W entries are
// scored side by side.
template <size_t N>
using band_columns = std::array<std::array<float, kBandEntries>, N>;

template <size_t N>
constexpr band_columns<N> transpose(
    const std::array<std::array<float, N>, kBandEntries>& codebook) {
  band_columns<N> columns{};
  for (int e = 0; e < kBandEntries; ++e) {
    for (size_t i = 0; i < N; ++i) columns[i][e] = codebook[e][i];
  }
  return columns;
}
constexpr band_columns<3> kColumns0 = transpose(lsp_codebook_band0);
constexpr band_columns<3> kColumns1 = transpose(lsp_codebook_band1);
constexpr band_columns<4> kColumns2 = transpose(lsp_codebook_band2);

// score[e] = sum over the band's LSPs of wi*c*(2ri - c), c the entry's value,
// in double, rounded to float; the band begins at first in residual and
// weights. W entries at a time, one per lane.
template <int W, size_t N>
SIVO_LANE_INLINE void score_entries(float* score, const band_columns<N>& columns, int first,
                                    std::span<const float, kOrder> residual,
                                    std::span<const float, kOrder> weights) noexcept {
  using doubles = typename lane_group<W>::doubles;
  doubles weight[N], twice[N];
  for (size_t i = 0; i < N; ++i) {
    weight[i] = SIVO_SPLAT_AS(doubles, weights[first + i]);
    twice[i] = SIVO_SPLAT_AS(doubles, 2.0 * residual[first + i]);
  }
  for (int e = 0; e < kBandEntries; e += W) {
    doubles sum = SIVO_SPLAT_AS(doubles, 0.0);
    for (size_t i = 0; i < N; ++i) {
      const doubles c = SIVO_LOAD_WIDENED_AS(doubles, &columns[i][e]);
      sum += weight[i] * c * (twice[i] - c);
    }
    SIVO_STORE_AS(score + e, __builtin_convertvector(sum, typename lane_group<W>::floats));
  }
}

// Entry of the band with the largest score (the first of equal ones); 0
// when none is above -1.
template <size_t N>
SIVO_LANE_INLINE int best_entry(const band_columns<N>& columns, int first,
                                std::span<const float, kOrder> residual,
                                std::span<const float, kOrder> weights) noexcept {
  std::array<float, kBandEntries> score;
  SIVO_LANE_DISPATCH(score_entries, score.data(), columns, first, residual, weights);
  int entry = 0;
  first_largest_above(score.data(), kBandEntries, -1.0f, entry);
  return entry;
}

SIVO_LANE_CLONES
int search_band(int band, std::span<const float, kOrder> residual,
                std::span<const float, kOrder> weights) noexcept {
  switch (band) {
    case 0:
      return best_entry(kColumns0, 0, residual, weights);
    case 1:
      return best_entry(kColumns1, 3, residual, weights);
    case 2:
      return best_entry(kColumns2, 6, residual, weights);
    default:
      return 0;
  }
}

}  // namespace

int lsp_split_vq(int band, std::span<const float, kOrder> residual,
                 std::span<const float, kOrder> weights) noexcept {
  return search_band(band, residual, weights);
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
  for (int band = 0; band < 3; ++band)
    index = index * kBandEntries + lsp_split_vq(band, residual, weights);
  return index;
}

}  // namespace sivo
