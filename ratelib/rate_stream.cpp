// The resampler behind both converters: mixes to mono, runs libsoxr, and
// queues its output until it is taken.
#include "rate_stream.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "ratelib.h"

namespace ratelib {

struct rate_stream {
  soxr_t resampler = nullptr;
  int32_t in_channels = 0;
  std::vector<float> mono;   // the frames of one feed, mixed to mono
  std::vector<float> queue;  // queue[head, end): converted, not yet taken
  std::size_t head = 0;
  std::size_t end = 0;
};

namespace {

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

// Runs `count` samples through the resampler and appends everything it
// releases to queue[end...], growing the queue when needed.
bool run_resampler(soxr_t s, const float* in, std::size_t count, std::vector<float>& queue,
                   std::size_t& end) {
  std::size_t used = 0;
  do {
    if (queue.size() - end < 1024) queue.resize(queue.size() * 2 + 1024);
    std::size_t idone = 0, odone = 0;
    if (soxr_process(s, in + used, count - used, &idone, queue.data() + end, queue.size() - end,
                     &odone) != nullptr) {
      return false;
    }
    used += idone;
    end += odone;
    if (idone == 0 && odone == 0 && used < count) return false;  // no progress
  } while (used < count);
  return true;
}

int16_t to_pcm16(float x) {
  const double r = std::floor(static_cast<double>(x) + 0.5);
  if (!(r > -32768.0)) return -32768;  // also catches NaN
  if (r > 32767.0) return 32767;
  return static_cast<int16_t>(r);
}

}  // namespace

rate_stream* stream_open(int32_t in_rate, int32_t out_rate, int32_t in_channels, int32_t quality,
                         std::size_t lead) {
  if (in_rate <= 0 || out_rate <= 0 || in_channels < 1 || in_channels > 2 ||
      (quality != RATE_CONVERSION_HIGH && quality != RATE_CONVERSION_VERY_HIGH)) {
    return nullptr;
  }
  auto* s = new (std::nothrow) rate_stream;
  if (s == nullptr) return nullptr;
  s->resampler = create_resampler(in_rate, out_rate, quality);
  if (s->resampler == nullptr) {
    delete s;
    return nullptr;
  }
  s->in_channels = in_channels;
  s->queue.assign(lead + 4096, 0.0f);
  s->end = lead;
  return s;
}

bool stream_feed(rate_stream* s, const int16_t* input, std::size_t frames) {
  if (s->mono.size() < frames) s->mono.resize(frames);
  if (s->in_channels == 1) {
    for (std::size_t i = 0; i < frames; ++i) s->mono[i] = input[i];
  } else {
    // Half the sum is exact in float; opposite channels cancel to zero.
    for (std::size_t i = 0; i < frames; ++i) {
      s->mono[i] = 0.5f * static_cast<float>(input[2 * i] + input[2 * i + 1]);
    }
  }
  // Taken samples are dropped from the front before the queue grows.
  if (s->head > 0 && s->head >= s->end - s->head) {
    std::copy(s->queue.begin() + static_cast<std::ptrdiff_t>(s->head),
              s->queue.begin() + static_cast<std::ptrdiff_t>(s->end), s->queue.begin());
    s->end -= s->head;
    s->head = 0;
  }
  return run_resampler(s->resampler, s->mono.data(), frames, s->queue, s->end);
}

std::size_t stream_available(const rate_stream* s) { return s->end - s->head; }

std::size_t stream_take(rate_stream* s, int16_t* output, std::size_t count) {
  const std::size_t n = std::min(count, s->end - s->head);
  for (std::size_t i = 0; i < n; ++i) output[i] = to_pcm16(s->queue[s->head + i]);
  s->head += n;
  return n;
}

void stream_close(rate_stream* s) {
  if (s == nullptr) return;
  soxr_delete(s->resampler);
  delete s;
}

int32_t measure_lag(int32_t block_length, int32_t in_rate, int32_t out_rate, int32_t quality,
                    int32_t out_per_block, int blocks, bool& ok) {
  ok = false;
  rate_stream* twin = stream_open(in_rate, out_rate, 1, quality);
  if (twin == nullptr) return 0;
  const std::vector<int16_t> silence(static_cast<std::size_t>(block_length), 0);
  int64_t wanted = 0, produced = 0, worst = 0;
  for (int b = 0; b < blocks; ++b) {
    if (!stream_feed(twin, silence.data(), silence.size())) {
      stream_close(twin);
      return 0;
    }
    wanted += out_per_block;
    produced += static_cast<int64_t>(stream_available(twin));
    twin->head = twin->end = 0;  // the samples are not wanted, only their count
    worst = std::max(worst, wanted - produced);
  }
  stream_close(twin);
  ok = true;
  return static_cast<int32_t>(worst);
}

}  // namespace ratelib
