#include "signal_measures.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sivo_cli {

snr_result measure_snr(std::span<const int16_t> reference, std::span<const int16_t> test,
                       size_t delay) {
  snr_result result;
  if (test.size() <= delay) return result;
  const size_t overlap = std::min(reference.size(), test.size() - delay);
  const size_t segments = overlap / kSegment;
  std::vector<double> signal(segments), noise(segments);
  double loudest = 0;
  for (size_t s = 0; s < segments; ++s) {
    for (size_t n = s * kSegment; n < (s + 1) * kSegment; ++n) {
      const double x = reference[n];
      const double e = x - test[n + delay];
      signal[s] += x * x;
      noise[s] += e * e;
    }
    loudest = std::max(loudest, signal[s]);
  }
  const double threshold = loudest * std::pow(10.0, -kSilenceBelowLoudestDb / 10.0);
  double sum_db = 0, total_signal = 0, total_noise = 0;
  for (size_t s = 0; s < segments; ++s) {
    if (signal[s] <= 0 || signal[s] < threshold) continue;
    const double db = noise[s] > 0 ? 10.0 * std::log10(signal[s] / noise[s]) : kSegmentCeilingDb;
    sum_db += std::clamp(db, kSegmentFloorDb, kSegmentCeilingDb);
    total_signal += signal[s];
    total_noise += noise[s];
    result.segments += 1;
  }
  if (result.segments > 0) {
    result.segmental_db = sum_db / static_cast<double>(result.segments);
    result.overall_db =
        total_noise > 0 ? 10.0 * std::log10(total_signal / total_noise) : kSegmentCeilingDb;
  }
  return result;
}

}  // namespace sivo_cli
