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

// A subframe whose tilt compensation and gain control are still to run, to
// be run alongside the filtering of the next one.
struct pending_gain {
  float* signal = nullptr;   // 60 samples: the compensation's output, then scaled; or none
  const float* v = nullptr;  // the pole section's 60 outputs of the subframe (v[-1] read)
  double tilt_weight = 0.0;  // the compensation's weight
  float r0 = 0.0f;           // the subframe's input energy
};

// The pitch post-filter of a subframe, formed as the synthesis reads its
// input: input[n] = params.gain * x[n + params.lag] + params.scale * x[n].
struct pitch_mix {
  const float* x = nullptr;  // the subframe's excitation; x[lag..59 + lag] read
  postfilter_params params;
};

// synthesis_filter followed by formant_postfilter on the same subframe,
// with the tilt compensation and apply_postfilter_gain of the pending
// subframe (which must come earlier in time), in one pass so that their
// recursions overlap; the same results bit for bit. Returns this subframe,
// filtered and folded into the tilt memory, pending its compensation and
// gain. synthesis_history as for synthesis_filter, the rest as above, except
// that of the synthesis and formant input lines only the subframe's last
// kOrder samples are written (all that the next subframe reads).
// side: a job whose sums are formed in the same pass (its stretch must not
// be written here), or null. mix: the input is the pitch post-filter of
// mix->x instead of signal's own samples (signal is then only written).
pending_gain synthesise_and_postfilter(float* signal, const lpc_set& a, float* synthesis_history,
                                       float* fir_history, float* iir_history,
                                       pending_gain pending, decoder_state& decoder,
                                       lag_sum_job* side = nullptr,
                                       const pitch_mix* mix = nullptr) noexcept;

// The tilt compensation and apply_postfilter_gain of the frame's last
// subframe (pending, at frame[180..239]) and float_to_pcm16 of the whole
// frame into samples[0..239], the earlier subframes converted while the
// gain recursion runs.
void finish_postfilter_frame(float* frame, pending_gain pending, decoder_state& decoder,
                             int16_t* samples) noexcept;

// Scales the 60 samples by the smoothed gain; updates decoder.postfilter_gain.
void apply_postfilter_gain(float* signal, float G, decoder_state& decoder) noexcept;

}  // namespace sivo
