#include "speech.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace sivo::test {

std::vector<int16_t> load_raw(const std::string& name) {
  std::ifstream in(std::string(kSpeechDir) + name, std::ios::binary);
  if (!in) return {};
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto lo = static_cast<uint8_t>(bytes[2 * i]);
    const auto hi = static_cast<uint8_t>(bytes[2 * i + 1]);
    samples[i] = static_cast<int16_t>(lo | (hi << 8));
  }
  return samples;
}

double segmental_snr(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded,
                     int delay) {
  constexpr std::size_t kSegment = 240;
  double total = 0.0;
  int segments = 0;
  for (std::size_t start = 0; start + kSegment + delay <= decoded.size() &&
                              start + kSegment <= reference.size();
       start += kSegment) {
    double signal = 0.0, noise = 0.0;
    for (std::size_t n = start; n < start + kSegment; ++n) {
      const double r = reference[n];
      const double d = decoded[n + delay];
      signal += r * r;
      noise += (r - d) * (r - d);
    }
    if (signal < kSegment * 100.0) continue;  // near-silent segment
    double snr = 10.0 * std::log10(signal / std::max(noise, 1e-9));
    total += std::clamp(snr, -10.0, 80.0);
    ++segments;
  }
  return segments ? total / segments : 0.0;
}

}  // namespace sivo::test
