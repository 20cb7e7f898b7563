// Predictor to line spectral pairs: the sum and difference polynomials and their grid root search.
#include "codec/analysis/lpc_to_lsp.h"

#include <array>
#include <cmath>

#include "codec/tables/lpc_tables.h"

namespace sivo {

namespace {

constexpr int kHalfOrder = kOrder / 2;
constexpr int kGridPoints = 256;  // grid step pi/256, one LSP unit
// cos and sin of one grid step, as single-precision constants.
constexpr float kStepCos = 0.9999247f;
constexpr float kStepSin = 0.012271538f;

using polynomial = std::array<float, kHalfOrder + 1>;
using cosines = std::array<double, kHalfOrder + 1>;

// cos kw (k = 0..5) at every grid point w = j pi/256, j = 1..255, exactly as
// the rotation from the float constants computes them in double; entry 0 is
// unused. The values do not depend on the input, so they are worked out once
// when the library is compiled (the same IEEE double operations).
constexpr std::array<cosines, kGridPoints> make_grid_cosines() {
  std::array<cosines, kGridPoints> table{};
  double cos_w = kStepCos;
  double sin_w = kStepSin;
  for (int j = 1; j < kGridPoints; ++j) {
    if (j > 1) {
      const double c = cos_w * kStepCos - sin_w * kStepSin;
      sin_w = sin_w * kStepCos + cos_w * kStepSin;
      cos_w = c;
    }
    // cos kw by repeated angle addition: cos((k-1)w + w), sin((k-1)w + w).
    cosines& cos_kw = table[j];
    cos_kw[0] = 1.0;
    cos_kw[1] = cos_w;
    double sin_kw = sin_w;
    for (int k = 2; k <= kHalfOrder; ++k) {
      cos_kw[k] = cos_kw[k - 1] * cos_w - sin_kw * sin_w;
      sin_kw = sin_kw * cos_w + cos_kw[k - 1] * sin_w;
    }
  }
  return table;
}
constexpr std::array<cosines, kGridPoints> kGridCosines = make_grid_cosines();

// F(w) = cos 5w + c1 cos 4w + c2 cos 3w + c3 cos 2w + c4 cos w + c5, with cos_kw[k] = cos kw.
float evaluate(const polynomial& c, const cosines& cos_kw) noexcept {
  double f = cos_kw[kHalfOrder];
  for (int k = 1; k <= kHalfOrder; ++k) f = f + c[k] * cos_kw[kHalfOrder - k];
  return static_cast<float>(f);
}

}  // namespace

void lpc_to_lsp(std::span<float, kOrder> lsp_out, std::span<const float, kOrder> coefficients,
                std::span<const float, kOrder> prev_lsp) noexcept {
  std::array<float, kOrder> a;
  for (int j = 0; j < kOrder; ++j) {
    a[j] = static_cast<float>(static_cast<double>(coefficients[j]) * bandwidth_expansion[j]);
  }

  // Sum and difference polynomials without their roots at z = -1 and z = +1.
  std::array<polynomial, 2> poly;  // [0] = p, [1] = q
  poly[0][0] = 1.0f;
  poly[1][0] = 1.0f;
  for (int k = 0; k < kHalfOrder; ++k) {
    poly[0][k + 1] =
        static_cast<float>(-static_cast<double>(poly[0][k]) - a[k] - a[kOrder - 1 - k]);
    poly[1][k + 1] = static_cast<float>(static_cast<double>(poly[1][k]) - a[k] + a[kOrder - 1 - k]);
  }
  poly[0][kHalfOrder] = poly[0][kHalfOrder] * 0.5f;
  poly[1][kHalfOrder] = poly[1][kHalfOrder] * 0.5f;

  double sum = 0.0;
  for (float c : poly[0]) sum += c;
  float previous = static_cast<float>(sum);  // F(0) of p

  std::array<float, kOrder> lsp;
  int found = 0;
  int current_poly = 0;
  for (int j = 1; j < kGridPoints; ++j) {
    const cosines& cos_kw = kGridCosines[j];
    const float current = evaluate(poly[current_poly], cos_kw);
    if (static_cast<double>(current) * previous < 0.0) {
      const double fraction = std::fabs(previous / (static_cast<double>(current) - previous));
      lsp[found++] = static_cast<float>((j - 1) + fraction);
      if (found == kOrder) break;
      current_poly ^= 1;
      previous = evaluate(poly[current_poly], cos_kw);
    } else {
      previous = current;
    }
  }

  const std::span<const float, kOrder> source = found == kOrder ? lsp : prev_lsp;
  for (int i = 0; i < kOrder; ++i) lsp_out[i] = source[i];
}

}  // namespace sivo
