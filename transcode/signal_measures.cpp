// Segmental and overall SNR, accumulated a segment at a time.
#include "signal_measures.h"

#include <algorithm>
#include <cmath>

namespace sivo {
namespace {

const double kSilenceRatio = std::pow(10.0, -kSilenceBelowLoudestDb / 10.0);

}  // namespace

void snr_add(snr_meter& meter, const int16_t* reference, const int16_t* test) {
  double signal = 0, noise = 0;
  for (size_t n = 0; n < kSegment; ++n) {
    const double x = reference[n];
    const double e = x - test[n];
    signal += x * x;
    noise += e * e;
  }
  meter.loudest = std::max(meter.loudest, signal);
  const double threshold = meter.loudest * kSilenceRatio;
  if (signal <= 0 || signal < threshold) return;
  meter.kept.push_back({signal, noise});
  if (meter.kept.size() >= 2 * meter.pruned_size + 1024) {
    std::erase_if(meter.kept, [&](const snr_meter::segment& s) { return s.signal < threshold; });
    meter.pruned_size = meter.kept.size();
  }
}

snr_result snr_result_of(const snr_meter& meter) {
  snr_result result;
  const double threshold = meter.loudest * kSilenceRatio;
  double sum_db = 0, total_signal = 0, total_noise = 0;
  for (const auto& s : meter.kept) {
    if (s.signal < threshold) continue;
    const double db = s.noise > 0 ? 10.0 * std::log10(s.signal / s.noise) : kSegmentCeilingDb;
    sum_db += std::clamp(db, kSegmentFloorDb, kSegmentCeilingDb);
    total_signal += s.signal;
    total_noise += s.noise;
    result.segments += 1;
  }
  if (result.segments > 0) {
    result.segmental_db = sum_db / static_cast<double>(result.segments);
    result.overall_db =
        total_noise > 0 ? 10.0 * std::log10(total_signal / total_noise) : kSegmentCeilingDb;
  }
  return result;
}

}  // namespace sivo
