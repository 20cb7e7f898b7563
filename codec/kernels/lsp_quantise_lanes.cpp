// Lane kernel of the LSP band search: W codebook entries scored side by side.
#include <array>

#include "codec/analysis/lsp_quantise.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"
#include "codec/tables/lsp_tables.h"

namespace sivo {
namespace {

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

// The scores of lsp_split_vq for the band beginning at LSP first, W entries
// at a time, one per lane.
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

template <int W, size_t N>
SIVO_LANE_INLINE int best_entry(const band_columns<N>& columns, int first,
                                std::span<const float, kOrder> residual,
                                std::span<const float, kOrder> weights) noexcept {
  std::array<float, kBandEntries> score;
  score_entries<W>(score.data(), columns, first, residual, weights);
  int entry = 0;
  first_largest_above(score.data(), kBandEntries, -1.0f, entry);
  return entry;
}

template <int W>
SIVO_LANE_INLINE int search_band(int band, std::span<const float, kOrder> residual,
                                 std::span<const float, kOrder> weights) noexcept {
  switch (band) {
    case 0:
      return best_entry<W>(kColumns0, 0, residual, weights);
    case 1:
      return best_entry<W>(kColumns1, 3, residual, weights);
    case 2:
      return best_entry<W>(kColumns2, 6, residual, weights);
    default:
      return 0;
  }
}

}  // namespace

SIVO_LANE_ENTRIES(lsp_split_vq, search_band,
                  (int band, std::span<const float, kOrder> residual,
                   std::span<const float, kOrder> weights),
                  (band, residual, weights))

}  // namespace sivo
