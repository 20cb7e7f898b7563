// Streaming rate conversion over libsoxr: 16-bit frames, mono or stereo mixed
// to mono, fed in any amounts, and every converted sample handed out as soon
// as the resampler releases it.
//
// The resampler releases its output in bursts whose spacing depends on the
// two rates and the amounts fed: behind the exact count in * out_rate /
// in_rate it lags by an amount that wanders, and for some rate pairs first
// reaches its largest value only after minutes of input. A caller that needs
// a fixed count per block (ratelib.h's block converter) has to start with a
// lead of silence at least that large; a caller that can take whatever is
// ready (feed, then take what is available) needs no such bound and streams
// for any length. Both get the same samples: the output does not depend on
// how the input was cut into calls.
//
// Threading: one stream, one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ratelib {

struct rate_stream;

// Opens a stream from in_rate to out_rate Hz (both > 0) for `in_channels`
// (1 or 2) interleaved channels, at `quality` (RATE_CONVERSION_HIGH or
// RATE_CONVERSION_VERY_HIGH of ratelib.h), with `lead` silent samples queued
// ahead of the first converted one. Returns null on a refused argument or a
// failure of the resampler.
rate_stream* stream_open(int32_t in_rate, int32_t out_rate, int32_t in_channels, int32_t quality,
                         std::size_t lead = 0);

// Converts `frames` interleaved frames and queues every sample the
// resampler releases. Returns false on a failure of the resampler.
bool stream_feed(rate_stream* s, const int16_t* input, std::size_t frames);

// Samples queued and not yet taken.
std::size_t stream_available(const rate_stream* s);

// Moves up to `count` queued samples to `output`, rounded to 16 bits and
// clipped; returns how many.
std::size_t stream_take(rate_stream* s, int16_t* output, std::size_t count);

void stream_close(rate_stream* s);

// Blocks of silence a block converter probes for its lead (measure_lag).
// The lag pattern of the rates the WAV job converts (down to 8000 Hz) peaks
// within the first 400 blocks; the margin covers that more than twice.
// Conversions whose lag keeps growing for longer (up from 8000 Hz to 44100
// Hz and above, or from 1000 Hz) are not to be run at a fixed count per
// block: they stream.
constexpr int kLeadProbeBlocks = 1000;

// The largest lag of the resampler's output behind out_per_block samples per
// block of `block_length` frames, over `blocks` blocks of silence (the output
// count does not depend on the samples): the lead a fixed-count block
// converter starts with. Sets ok to false on a failure of the resampler.
int32_t measure_lag(int32_t block_length, int32_t in_rate, int32_t out_rate, int32_t quality,
                    int32_t out_per_block, int blocks, bool& ok);

}  // namespace ratelib
