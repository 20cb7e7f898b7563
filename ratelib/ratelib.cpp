// Block-wise rate conversion over libsoxr: mixes to mono, streams every block
// through one resampler, and evens out the resampler's uneven output with a
// queue that starts with just enough silence never to run dry.
#include "ratelib.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

struct rate_converter {
  soxr_t resampler = nullptr;
  int32_t block_length = 0;
  int32_t in_channels = 0;
  int32_t out_per_block = 0;
  std::vector<float> mono;   // one block mixed to mono
  std::vector<float> queue;  // converted samples not yet handed out
  std::size_t queued = 0;
};

namespace {

constexpr int32_t kMaxBlockLength = 1 << 20;
// Blocks of silence run through a twin resampler to measure how far its
// output can lag behind the exact count. The lag pattern of the rates in use
// peaks within the first 350 blocks; the margin covers that several times.
constexpr int kProbeBlocks = 1000;

soxr_t create_resampler(int32_t in_rate, int32_t out_rate, int32_t quality) {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t q =
      soxr_quality_spec(quality == RATE_CONVERSION_VERY_HIGH ? SOXR_VHQ : SOXR_HQ, 0);
  const soxr_runtime_spec_t rt = soxr_runtime_spec(1);
  soxr_error_t error = nullptr;
  soxr_t s = soxr_create(in_rate, out_rate, 1, &error, &io, &q, &rt);
  if (error != nullptr) {
    soxr_delete(s);
    return nullptr;
  }
  return s;
}

// Runs `count` input samples through the resampler and appends everything it
// produces to queue[queued...], growing the queue when needed.
bool run_resampler(soxr_t s, const float* in, std::size_t count,
                   std::vector<float>& queue, std::size_t& queued) {
  std::size_t used = 0;
  do {
    if (queue.size() - queued < 1024) queue.resize(queue.size() * 2 + 1024);
    std::size_t idone = 0, odone = 0;
    if (soxr_process(s, in + used, count - used, &idone, queue.data() + queued,
                     queue.size() - queued, &odone) != nullptr) {
      return false;
    }
    used += idone;
    queued += odone;
    if (idone == 0 && odone == 0 && used < count) return false;  // no progress
  } while (used < count);
  return true;
}

// The largest shortfall of the resampler's cumulative output behind
// out_per_block samples per block, over kProbeBlocks blocks of silence.
// Output counts do not depend on the sample values.
int32_t measure_start_delay(int32_t block_length, int32_t in_rate,
                            int32_t out_rate, int32_t quality,
                            int32_t out_per_block, bool& ok) {
  ok = false;
  soxr_t twin = create_resampler(in_rate, out_rate, quality);
  if (twin == nullptr) return 0;
  std::vector<float> silence(static_cast<std::size_t>(block_length), 0.0f);
  std::vector<float> sink(static_cast<std::size_t>(out_per_block) * 4 + 4096);
  int64_t wanted = 0, produced = 0, worst = 0;
  for (int b = 0; b < kProbeBlocks; ++b) {
    std::size_t got = 0;
    if (!run_resampler(twin, silence.data(), silence.size(), sink, got)) {
      soxr_delete(twin);
      return 0;
    }
    wanted += out_per_block;
    produced += static_cast<int64_t>(got);
    worst = std::max(worst, wanted - produced);
  }
  soxr_delete(twin);
  ok = true;
  return static_cast<int32_t>(worst);
}

int16_t to_pcm16(float x) {
  const double r = std::floor(static_cast<double>(x) + 0.5);
  if (!(r > -32768.0)) return -32768;  // also catches NaN
  if (r > 32767.0) return 32767;
  return static_cast<int16_t>(r);
}

}  // namespace

extern "C" {

int32_t rate_conversion_init(rate_converter** converter_out, int32_t block_length,
                             int32_t in_rate, int32_t out_rate, int32_t in_channels,
                             int32_t out_channels, int32_t quality,
                             int32_t* delay_out) {
  constexpr int32_t kFailed = 0;
  if (converter_out == nullptr) return kFailed;
  *converter_out = nullptr;
  if (block_length <= 0 || block_length > kMaxBlockLength || in_rate <= 0 ||
      out_rate <= 0 || in_channels < 1 || in_channels > 2 || out_channels != 1 ||
      (quality != RATE_CONVERSION_HIGH && quality != RATE_CONVERSION_VERY_HIGH)) {
    return kFailed;
  }
  const int64_t scaled = static_cast<int64_t>(block_length) * out_rate;
  if (scaled % in_rate != 0 || scaled / in_rate > kMaxBlockLength) return kFailed;
  const auto out_per_block = static_cast<int32_t>(scaled / in_rate);
  if (out_per_block == 0) return kFailed;

  bool ok = false;
  const int32_t delay =
      measure_start_delay(block_length, in_rate, out_rate, quality, out_per_block, ok);
  if (!ok) return kFailed;

  auto* c = new (std::nothrow) rate_converter;
  if (c == nullptr) return kFailed;
  c->resampler = create_resampler(in_rate, out_rate, quality);
  if (c->resampler == nullptr) {
    delete c;
    return kFailed;
  }
  c->block_length = block_length;
  c->in_channels = in_channels;
  c->out_per_block = out_per_block;
  c->mono.assign(static_cast<std::size_t>(block_length), 0.0f);
  // The queue starts with the measured delay in silence: the resampler's
  // output plus this lead covers every block's count from the first block on.
  c->queue.assign(static_cast<std::size_t>(delay) + 2 * out_per_block + 4096, 0.0f);
  c->queued = static_cast<std::size_t>(delay);
  if (delay_out != nullptr) *delay_out = delay;
  *converter_out = c;
  return RATE_CONVERSION_OK;
}

int32_t rate_conversion_process(rate_converter* c, const int16_t* input,
                                int32_t frames, int16_t* output) {
  if (c == nullptr || input == nullptr || output == nullptr ||
      frames != c->block_length) {
    return -1;
  }
  const auto n = static_cast<std::size_t>(frames);
  if (c->in_channels == 1) {
    for (std::size_t i = 0; i < n; ++i) c->mono[i] = input[i];
  } else {
    // Half the sum is exact in float; opposite channels cancel to zero.
    for (std::size_t i = 0; i < n; ++i) {
      c->mono[i] = 0.5f * static_cast<float>(input[2 * i] + input[2 * i + 1]);
    }
  }
  if (!run_resampler(c->resampler, c->mono.data(), n, c->queue, c->queued)) {
    return -1;
  }
  const auto count = static_cast<std::size_t>(c->out_per_block);
  if (c->queued < count) return -1;  // would need a gap in the stream
  for (std::size_t i = 0; i < count; ++i) output[i] = to_pcm16(c->queue[i]);
  std::copy(c->queue.begin() + static_cast<std::ptrdiff_t>(count),
            c->queue.begin() + static_cast<std::ptrdiff_t>(c->queued),
            c->queue.begin());
  c->queued -= count;
  return c->out_per_block;
}

int32_t rate_conversion_close(rate_converter** converter_in) {
  if (converter_in == nullptr || *converter_in == nullptr) return -1;
  soxr_delete((*converter_in)->resampler);
  delete *converter_in;
  *converter_in = nullptr;
  return 0;
}

}  // extern "C"
