// The C interface of sivocore: handles, options and the frame calls.
#include <new>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/state.h"
#include "sivocore.h"

namespace {

constexpr char kEncoderVersion[] = "siv.encoder.2.0";
constexpr char kDecoderVersion[] = "siv.decoder.2.0";

sivo::encoder_state* encoder_of(sivo_encoder* handle) {
  return reinterpret_cast<sivo::encoder_state*>(handle);
}
sivo::decoder_state* decoder_of(sivo_decoder* handle) {
  return reinterpret_cast<sivo::decoder_state*>(handle);
}

void set_frame_sizes(std::array<int32_t, sivo::kRates>& sizes) {
  sizes = sivo::kFrameSizes;
}

}  // namespace

extern "C" {

int32_t sivo_encoder_open(sivo_encoder** handle_out) {
  // The record is left uninitialised here; open sets the options and reset
  // sets every field a frame call reads.
  auto* state = new (std::nothrow) sivo::encoder_state;
  if (state == nullptr) {
    *handle_out = nullptr;
    return SIVO_OUT_OF_MEMORY;
  }
  *handle_out = reinterpret_cast<sivo_encoder*>(state);
  set_frame_sizes(state->frame_sizes);
  state->filter_mode = 1;
  state->comp_rate = 0;
  state->vad_mode = 0;
  return sivo_encoder_reset(*handle_out);
}

int32_t sivo_encoder_reset(sivo_encoder* handle) {
  sivo::reset_encoder_state(*encoder_of(handle));
  return SIVO_OK;
}

int32_t sivo_encoder_close(sivo_encoder** handle_in) {
  // Clearing the caller's variable makes a second close a refused call
  // instead of a double free.
  if (handle_in == nullptr || *handle_in == nullptr) return SIVO_INVALID_ARGUMENT;
  delete encoder_of(*handle_in);
  *handle_in = nullptr;
  return SIVO_OK;
}

int32_t sivo_encode_frame(sivo_encoder* handle, const int16_t* samples, uint8_t* frame_bytes,
                          int32_t* frame_type, int32_t* byte_count) {
  return sivo::encode_frame(*encoder_of(handle), samples, frame_bytes, *frame_type,
                            *byte_count);
}

int32_t sivo_encoder_set_comp_rate(sivo_encoder* handle, int32_t comp_rate) {
  if (comp_rate < 0 || comp_rate >= sivo::kRates) return SIVO_INVALID_ARGUMENT;
  encoder_of(handle)->comp_rate = comp_rate;
  return SIVO_OK;
}

int32_t sivo_encoder_get_comp_rate(sivo_encoder* handle, int32_t* comp_rate_out,
                                   int32_t* byte_count_out) {
  const auto& state = *encoder_of(handle);
  *comp_rate_out = state.comp_rate;
  *byte_count_out = state.frame_sizes[state.comp_rate];
  return SIVO_OK;
}

int32_t sivo_encoder_set_vad_mode(sivo_encoder* handle, int32_t vad_mode,
                                  int32_t /*parameter*/) {
  if (vad_mode != 0) return SIVO_INVALID_ARGUMENT;
  encoder_of(handle)->vad_mode = vad_mode;
  return SIVO_OK;
}

int32_t sivo_encoder_get_vad_mode(sivo_encoder* handle, int32_t* vad_mode_out,
                                  int32_t* parameter_out) {
  *vad_mode_out = encoder_of(handle)->vad_mode;
  *parameter_out = 0;
  return SIVO_OK;
}

int32_t sivo_encoder_set_filter_mode(sivo_encoder* handle, int32_t filter_mode) {
  if (filter_mode != 0 && filter_mode != 1) return SIVO_INVALID_ARGUMENT;
  encoder_of(handle)->filter_mode = filter_mode;
  return SIVO_OK;
}

int32_t sivo_encoder_get_filter_mode(sivo_encoder* handle, int32_t* filter_mode_out) {
  *filter_mode_out = encoder_of(handle)->filter_mode;
  return SIVO_OK;
}

int32_t sivo_encoder_get_version(const char** version_out) {
  *version_out = kEncoderVersion;
  return SIVO_OK;
}

int32_t sivo_decoder_open(sivo_decoder** handle_out) {
  auto* state = new (std::nothrow) sivo::decoder_state;
  if (state == nullptr) {
    *handle_out = nullptr;
    return SIVO_OUT_OF_MEMORY;
  }
  *handle_out = reinterpret_cast<sivo_decoder*>(state);
  set_frame_sizes(state->frame_sizes);
  state->comp_rate = 0;
  state->filter_mode = 1;
  return sivo_decoder_reset(*handle_out);
}

int32_t sivo_decoder_reset(sivo_decoder* handle) {
  sivo::reset_decoder_state(*decoder_of(handle));
  return SIVO_OK;
}

int32_t sivo_decoder_close(sivo_decoder** handle_in) {
  if (handle_in == nullptr || *handle_in == nullptr) return SIVO_INVALID_ARGUMENT;
  delete decoder_of(*handle_in);
  *handle_in = nullptr;
  return SIVO_OK;
}

int32_t sivo_decode_frame(sivo_decoder* handle, const uint8_t* frame_bytes, int16_t* samples_out,
                          int32_t decode_mode, int32_t* frame_type_out, int32_t* byte_count_out) {
  return sivo::decode_frame(*decoder_of(handle), frame_bytes, samples_out, decode_mode,
                            *frame_type_out, *byte_count_out);
}

int32_t sivo_decoder_get_frame_type(const uint8_t* frame_bytes, int32_t* frame_type_out,
                                    int32_t* byte_count_out) {
  static constexpr int32_t kTypeBytes[8] = {24, 31, 19, 45, 0, 0, 5, 1};
  const int32_t type = frame_bytes[0] & 7;
  if (type == 4 || type == 5) return SIVO_NOT_DECODABLE;
  *frame_type_out = type;
  *byte_count_out = kTypeBytes[type];
  return SIVO_OK;
}

int32_t sivo_decoder_get_comp_rate(sivo_decoder* handle, int32_t* comp_rate_out,
                                   int32_t* byte_count_out) {
  const auto& state = *decoder_of(handle);
  *comp_rate_out = state.comp_rate;
  *byte_count_out = state.frame_sizes[state.comp_rate];
  return SIVO_OK;
}

int32_t sivo_decoder_set_filter_mode(sivo_decoder* handle, int32_t filter_mode) {
  if (filter_mode != 0 && filter_mode != 1) return SIVO_INVALID_ARGUMENT;
  auto& state = *decoder_of(handle);
  state.filter_mode = filter_mode;
  if (filter_mode == 1) {
    // The formant post-filter restarts its tilt estimate and pole memory.
    state.tilt_memory = 0.0f;
    state.formant_iir_memory.fill(0.0f);
  }
  return SIVO_OK;
}

int32_t sivo_decoder_get_filter_mode(sivo_decoder* handle, int32_t* filter_mode_out) {
  *filter_mode_out = decoder_of(handle)->filter_mode;
  return SIVO_OK;
}

int32_t sivo_decoder_get_version(const char** version_out) {
  *version_out = kDecoderVersion;
  return SIVO_OK;
}

}  // extern "C"
