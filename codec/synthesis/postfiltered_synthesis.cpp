// The decoder's post-filtered synthesis of a frame, its stages in turn.
#include "codec/synthesis/postfiltered_synthesis.h"

#include <algorithm>
#include <span>

#include "codec/synthesis/formant_postfilter.h"
#include "codec/synthesis/pcm_output.h"
#include "codec/synthesis/pitch_postfilter.h"
#include "codec/synthesis/synthesis_filter.h"

namespace sivo {

void postfiltered_synthesis(const synthesis_input& in, decoder_state& decoder,
                            int16_t* samples) noexcept {
  std::array<float, kFrame> signal;
  if (in.decoded != nullptr) {
    const std::span<const float, kWindow> window(in.excitation - kHistory, kWindow);
    const std::span<const float, kPaddedWindow> decoded(in.decoded, kPaddedWindow);
    for (int s = 0; s < kSubframes; ++s) {
      const postfilter_params params = pitch_postfilter_params(decoded, in.olp[s / 2], s, decoder);
      apply_pitch_postfilter(signal, window, params, s);
    }
  } else {
    std::copy_n(in.excitation, kFrame, signal.begin());
  }

  filter_line synthesis, formant_input, formant_output;
  load_line(synthesis, decoder.decoder_synthesis_memory);
  load_line(formant_input, decoder.formant_fir_memory);
  load_line(formant_output, decoder.formant_iir_memory);
  for (int s = 0; s < kSubframes; ++s) {
    float* const sub = signal.data() + kSubframe * s;
    const lpc_set& a = (*in.coefficients)[s];
    const int at = kSubframe * s;
    synthesis_filter(sub, a, synthesis.data() + kOrder - 1 + at);
    const float target = formant_postfilter(sub, a, formant_input.data() + kOrder + at,
                                            formant_output.data() + kOrder - 1 + at, decoder);
    apply_postfilter_gain(sub, target, decoder);
  }
  store_line(decoder.decoder_synthesis_memory, synthesis);
  store_line(decoder.formant_fir_memory, formant_input);
  store_line(decoder.formant_iir_memory, formant_output);
  float_to_pcm16(signal.data(), kFrame, samples);
}

}  // namespace sivo
