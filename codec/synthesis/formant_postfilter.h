// Formant post-filter with tilt compensation, and its gain control.
#pragma once

#include <cstdint>

#include "codec/state.h"
#include "codec/synthesis/lag_sums.h"

namespace sivo {

// signal: 60 samples filtered in place. fir_history: the subframe's first
// input position on the formant input line (reads [-10..-1], writes
// [0..59]); iir_history: the newest pole-section output before the subframe
// (reads [-9..0], writes [1..60]). Updates decoder.tilt_memory; returns
// the gain target sqrt(input energy / output energy) (1.0 when silent).
float formant_postfilter(float* signal, const lpc_set& a, float* fir_history,
                         float* iir_history, decoder_state& decoder) noexcept;

// The gain control of an earlier subframe, to be run alongside the next one.
struct pending_gain {
  float* signal = nullptr;  // 60 samples to scale, or none
  float target = 1.0f;      // the G passed to apply_postfilter_gain
};

// The pitch post-filter of a subframe, formed as the synthesis reads its
// input: input[n] = params.gain * x[n + params.lag] + params.scale * x[n].
struct pitch_mix {
  const float* x = nullptr;  // the subframe's excitation; x[lag..59 + lag] read
  postfilter_params params;
};

// synthesis_filter followed by formant_postfilter on the same subframe, and
// apply_postfilter_gain of the pending subframe (which must come earlier in
// time), in one pass so that their recursions overlap; the same results bit
// for bit. synthesis_history as for synthesis_filter, the rest as above.
// side: a job whose sums are formed in the same pass (its stretch must not
// be written here), or null. mix: the input is the pitch post-filter of
// mix->x instead of signal's own samples (signal is then only written).
float synthesise_and_postfilter(float* signal, const lpc_set& a, float* synthesis_history,
                                float* fir_history, float* iir_history, pending_gain pending,
                                decoder_state& decoder, lag_sum_job* side = nullptr,
                                const pitch_mix* mix = nullptr) noexcept;

// apply_postfilter_gain of the frame's last subframe (frame[180..239]) and
// float_to_pcm16 of the whole frame into samples[0..239], the earlier
// subframes converted while the gain recursion runs.
void finish_postfilter_frame(float* frame, float G, decoder_state& decoder,
                             int16_t* samples) noexcept;

// Scales the 60 samples by the smoothed gain; updates decoder.postfilter_gain.
void apply_postfilter_gain(float* signal, float G, decoder_state& decoder) noexcept;

}  // namespace sivo
