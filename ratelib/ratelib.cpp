// Block-wise rate conversion: every block streams through one resampler
// (rate_stream.h), and a queue that starts with just enough silence never to
// run dry evens out the resampler's uneven output to a fixed count per block.
#include "ratelib.h"

#include <cstddef>
#include <new>

#include "rate_stream.h"

struct rate_converter {
  ratelib::rate_stream* stream = nullptr;
  int32_t block_length = 0;
  int32_t out_per_block = 0;
};

namespace {

constexpr int32_t kMaxBlockLength = 1 << 20;

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
  // Blocks of silence run through a twin resampler measure how far its
  // output can lag behind the exact count.
  const int32_t delay = ratelib::measure_lag(block_length, in_rate, out_rate, quality,
                                             out_per_block, ratelib::kLeadProbeBlocks, ok);
  if (!ok) return kFailed;

  auto* c = new (std::nothrow) rate_converter;
  if (c == nullptr) return kFailed;
  // The queue starts with the measured delay in silence: the resampler's
  // output plus this lead covers every block's count from the first block on.
  c->stream = ratelib::stream_open(in_rate, out_rate, in_channels, quality,
                                   static_cast<std::size_t>(delay));
  if (c->stream == nullptr) {
    delete c;
    return kFailed;
  }
  c->block_length = block_length;
  c->out_per_block = out_per_block;
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
  if (!ratelib::stream_feed(c->stream, input, static_cast<std::size_t>(frames))) return -1;
  const auto count = static_cast<std::size_t>(c->out_per_block);
  if (ratelib::stream_available(c->stream) < count) return -1;  // would need a gap
  ratelib::stream_take(c->stream, output, count);
  return c->out_per_block;
}

int32_t rate_conversion_close(rate_converter** converter_in) {
  if (converter_in == nullptr || *converter_in == nullptr) return -1;
  ratelib::stream_close((*converter_in)->stream);
  delete *converter_in;
  *converter_in = nullptr;
  return 0;
}

}  // extern "C"
