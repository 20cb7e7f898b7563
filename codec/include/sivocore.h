/*
 * sivocore - narrow-band speech codec, 8000 Hz, 240-sample (30 ms) frames.
 *
 * Four compression rates, each frame naming its own rate in the low three
 * bits of its first byte:
 *
 *   rate  frame bytes  bit rate
 *   0     24           6400 bit/s   (rate of a new encoder)
 *   1     31           8266.7 bit/s
 *   2     19           5066.7 bit/s
 *   3     45           12000 bit/s
 *
 * Frame types 6 (5 bytes) and 7 (1 byte) are reserved: the encoder never
 * produces them and the decoder reports their type and length without
 * decoding them. Types 4 and 5 are invalid.
 *
 * Usage:
 *
 *   sivo_encoder *enc;
 *   sivo_decoder *dec;
 *   if (sivo_encoder_open(&enc) != SIVO_OK) ...;
 *   if (sivo_decoder_open(&dec) != SIVO_OK) ...;
 *   sivo_encoder_set_comp_rate(enc, 1);
 *
 *   int16_t pcm[SIVO_FRAME_SAMPLES], out[SIVO_FRAME_SAMPLES];
 *   uint8_t frame[SIVO_MAX_FRAME_BYTES];
 *   int32_t type, bytes;
 *   while (read_frame(pcm)) {
 *       sivo_encode_frame(enc, pcm, frame, &type, &bytes);   // bytes = 31
 *       sivo_decode_frame(dec, frame, out, SIVO_DECODE_NORMAL, &type, &bytes);
 *   }
 *   sivo_encoder_close(&enc);
 *   sivo_decoder_close(&dec);
 *
 * Threading: the library keeps no writable data outside the handles. One
 * handle must be used by one thread at a time; different handles are
 * independent and may be used concurrently.
 *
 * Buffers: the caller owns every sample and frame buffer it passes; the
 * library only reads or fills them during the call.
 *
 * Every function returns a 32-bit status (SIVO_OK and the codes below).
 */
#ifndef SIVOCORE_H
#define SIVOCORE_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(SIVOCORE_BUILDING)
#    define SIVOCORE_API __declspec(dllexport)
#  else
#    define SIVOCORE_API __declspec(dllimport)
#  endif
#else
#  define SIVOCORE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. */
#define SIVO_OK 0                /* success */
#define SIVO_NOT_DECODABLE 1     /* frame type 4..7: no samples produced */
#define SIVO_DAMAGED_FRAME 2     /* impossible pitch or gain index: concealed */
#define SIVO_INVALID_ARGUMENT 3  /* refused option value, bad mode, null close */
#define SIVO_OUT_OF_MEMORY 4     /* the state record could not be allocated */

/* Frame geometry. */
#define SIVO_SAMPLE_RATE 8000
#define SIVO_FRAME_SAMPLES 240
#define SIVO_MAX_FRAME_BYTES 45  /* a buffer of this size holds any frame */

/* Compressed frame sizes by frame type. */
#define SIVO_RATE0_BYTES 24
#define SIVO_RATE1_BYTES 31
#define SIVO_RATE2_BYTES 19
#define SIVO_RATE3_BYTES 45
#define SIVO_TYPE6_BYTES 5
#define SIVO_TYPE7_BYTES 1

/* decode_mode values of sivo_decode_frame. */
#define SIVO_DECODE_NORMAL 0     /* decode the frame bytes */
#define SIVO_DECODE_LOST 1       /* the frame was lost: conceal it */
#define SIVO_DECODE_NO_FRAME 2   /* nothing was transmitted: concealed as lost */

/* Opaque handles. */
typedef struct sivo_encoder sivo_encoder;
typedef struct sivo_decoder sivo_decoder;

/* ---- Encoder ---------------------------------------------------------- */

/* Allocates an encoder (rate 0, high-pass filter on, voice activity
 * detection off) and stores it in *handle_out.
 * Returns SIVO_OK, or SIVO_OUT_OF_MEMORY with *handle_out set to NULL. */
SIVOCORE_API int32_t sivo_encoder_open(sivo_encoder **handle_out);

/* Restarts the signal processing as for a new encoder; the options
 * (rate, filter mode, vad mode) keep their values. Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_encoder_reset(sivo_encoder *handle);

/* Frees the encoder in *handle_in and sets *handle_in to NULL, so a second
 * close is refused. Returns SIVO_OK, or SIVO_INVALID_ARGUMENT when
 * handle_in or *handle_in is NULL. */
SIVOCORE_API int32_t sivo_encoder_close(sivo_encoder **handle_in);

/* Encodes one frame.
 * [in]  samples     240 signed 16-bit samples at 8000 Hz
 * [out] frame_bytes the compressed frame; room for SIVO_MAX_FRAME_BYTES
 *                   serves every rate
 * [out] frame_type  the frame's type, equal to the current rate
 * [out] byte_count  the frame's length in bytes (24, 31, 19 or 45)
 * The codec has a look-ahead of 60 samples: decoded sample n corresponds to
 * input sample n - 60. Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_encode_frame(sivo_encoder *handle,
                                       const int16_t *samples,
                                       uint8_t *frame_bytes,
                                       int32_t *frame_type,
                                       int32_t *byte_count);

/* Sets the compression rate of the next frame (0..3). The decoder follows
 * rate changes by itself. Returns SIVO_OK, or SIVO_INVALID_ARGUMENT with
 * the rate unchanged. */
SIVOCORE_API int32_t sivo_encoder_set_comp_rate(sivo_encoder *handle,
                                                int32_t comp_rate);

/* [out] comp_rate_out  the current rate
 * [out] byte_count_out the frame size of that rate. Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_encoder_get_comp_rate(sivo_encoder *handle,
                                                int32_t *comp_rate_out,
                                                int32_t *byte_count_out);

/* Voice activity detection is not implemented: only vad_mode 0 (off) is
 * accepted; parameter is ignored. Returns SIVO_OK for 0, otherwise
 * SIVO_INVALID_ARGUMENT and nothing changes. */
SIVOCORE_API int32_t sivo_encoder_set_vad_mode(sivo_encoder *handle,
                                               int32_t vad_mode,
                                               int32_t parameter);

/* [out] vad_mode_out  always 0
 * [out] parameter_out always 0. Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_encoder_get_vad_mode(sivo_encoder *handle,
                                               int32_t *vad_mode_out,
                                               int32_t *parameter_out);

/* 1 runs the input through the DC-removal high-pass filter, 0 skips it;
 * effective from the next frame. Returns SIVO_OK, or SIVO_INVALID_ARGUMENT
 * for any other value. */
SIVOCORE_API int32_t sivo_encoder_set_filter_mode(sivo_encoder *handle,
                                                  int32_t filter_mode);

/* [out] filter_mode_out the current filter mode. Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_encoder_get_filter_mode(sivo_encoder *handle,
                                                  int32_t *filter_mode_out);

/* [out] version_out points to the static text "siv.encoder.2.0".
 * Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_encoder_get_version(const char **version_out);

/* ---- Decoder ---------------------------------------------------------- */

/* Allocates a decoder (post-filters on) and stores it in *handle_out.
 * Returns SIVO_OK, or SIVO_OUT_OF_MEMORY with *handle_out set to NULL. */
SIVOCORE_API int32_t sivo_decoder_open(sivo_decoder **handle_out);

/* Restarts the signal processing as for a new decoder; the filter mode and
 * the reported rate keep their values. Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_decoder_reset(sivo_decoder *handle);

/* Frees the decoder in *handle_in and sets *handle_in to NULL. Returns
 * SIVO_OK, or SIVO_INVALID_ARGUMENT when handle_in or *handle_in is NULL. */
SIVOCORE_API int32_t sivo_decoder_close(sivo_decoder **handle_in);

/* Decodes one frame into 240 samples.
 * [in]  frame_bytes    one complete frame, as many bytes as the type in its
 *                      first byte implies; read only in SIVO_DECODE_NORMAL
 * [out] samples_out    240 samples, written when the status is SIVO_OK or
 *                      SIVO_DAMAGED_FRAME, untouched otherwise
 * [in]  decode_mode    SIVO_DECODE_NORMAL, SIVO_DECODE_LOST (conceal a lost
 *                      frame) or SIVO_DECODE_NO_FRAME (nothing was
 *                      transmitted; concealed exactly like a lost frame)
 * [out] frame_type_out the frame's type (speech 0..3, reserved 6 or 7);
 *                      untouched for types 4 and 5 and when no bytes are read
 * [out] byte_count_out the frame's length: 24/31/19/45 for speech, 5 or 1
 *                      for types 6 and 7, 1 for types 4 and 5, 0 when no
 *                      bytes are read
 * Returns SIVO_OK (decoded or concealed), SIVO_NOT_DECODABLE (types 4..7,
 * no samples), SIVO_DAMAGED_FRAME (concealed, samples written) or
 * SIVO_INVALID_ARGUMENT (bad decode_mode, no samples). */
SIVOCORE_API int32_t sivo_decode_frame(sivo_decoder *handle,
                                       const uint8_t *frame_bytes,
                                       int16_t *samples_out,
                                       int32_t decode_mode,
                                       int32_t *frame_type_out,
                                       int32_t *byte_count_out);

/* Classifies a frame by its first byte, for walking a stream of frames.
 * [out] frame_type_out 0..3, 6 or 7
 * [out] byte_count_out 24, 31, 19, 45, 5 or 1
 * Returns SIVO_OK, or SIVO_NOT_DECODABLE for types 4 and 5 (outputs
 * untouched). Takes no handle. */
SIVOCORE_API int32_t sivo_decoder_get_frame_type(const uint8_t *frame_bytes,
                                                 int32_t *frame_type_out,
                                                 int32_t *byte_count_out);

/* [out] comp_rate_out  the rate of the last speech frame unpacked (0 for a
 *                      new decoder)
 * [out] byte_count_out the frame size of that rate. Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_decoder_get_comp_rate(sivo_decoder *handle,
                                                int32_t *comp_rate_out,
                                                int32_t *byte_count_out);

/* 1 applies the pitch and formant post-filters, 0 outputs the plain
 * synthesis. Setting 1 restarts the formant post-filter's tilt and pole
 * memories. Returns SIVO_OK, or SIVO_INVALID_ARGUMENT for other values. */
SIVOCORE_API int32_t sivo_decoder_set_filter_mode(sivo_decoder *handle,
                                                  int32_t filter_mode);

/* [out] filter_mode_out the current filter mode. Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_decoder_get_filter_mode(sivo_decoder *handle,
                                                  int32_t *filter_mode_out);

/* [out] version_out points to the static text "siv.decoder.2.0".
 * Returns SIVO_OK. */
SIVOCORE_API int32_t sivo_decoder_get_version(const char **version_out);

#ifdef __cplusplus
}
#endif

#endif /* SIVOCORE_H */
