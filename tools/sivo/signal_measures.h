// Signal-to-noise measures between an original and a decoded signal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sivo_cli {

struct snr_result {
  double segmental_db = 0;  // mean of the per-segment SNRs, each held to -10..35 dB
  double overall_db = 0;    // over every measured sample
  long long segments = 0;   // segments measured
};

inline constexpr size_t kSegment = 240;
inline constexpr double kSegmentFloorDb = -10.0;
inline constexpr double kSegmentCeilingDb = 35.0;
inline constexpr double kSilenceBelowLoudestDb = 40.0;

// Compares test[n + delay] with reference[n] over whole 240-sample segments
// of the overlap; segments more than 40 dB below the loudest are skipped.
snr_result measure_snr(std::span<const int16_t> reference, std::span<const int16_t> test,
                       size_t delay);

}  // namespace sivo_cli
