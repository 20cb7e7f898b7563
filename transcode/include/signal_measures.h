// Signal-to-noise measures between an original and a decoded signal, taken
// a segment at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sivo {

struct snr_result {
  double segmental_db = 0;  // mean of the per-segment SNRs, each held to -10..35 dB
  double overall_db = 0;    // over every measured sample
  long long segments = 0;   // segments measured
};

inline constexpr size_t kSegment = 240;
inline constexpr double kSegmentFloorDb = -10.0;
inline constexpr double kSegmentCeilingDb = 35.0;
inline constexpr double kSilenceBelowLoudestDb = 40.0;

// Segment energies seen so far. Segments more than 40 dB below the loudest
// one are skipped in the result; those already below the loudest seen are
// dropped as they come, so memory grows only with the loud segments.
struct snr_meter {
  struct segment {
    double signal;
    double noise;
  };
  std::vector<segment> kept;
  double loudest = 0;
  size_t pruned_size = 0;  // size of `kept` after the last pruning
};

// Adds one segment: kSegment reference samples and the test samples set
// against them.
void snr_add(snr_meter& meter, const int16_t* reference, const int16_t* test);

snr_result snr_result_of(const snr_meter& meter);

}  // namespace sivo
