/**
 * @file sivocore.h
 * @brief sivocore - narrow-band speech codec, 8000 Hz, 240-sample (30 ms) frames.
 *
 * Four compression rates, each frame naming its own rate in the low three
 * bits of its first byte:
 *
 * @code{.unparsed}
 *   rate  frame bytes  bit rate
 *   0     24           6400 bit/s   (rate of a new encoder)
 *   1     31           8266.7 bit/s
 *   2     19           5066.7 bit/s
 *   3     45           12000 bit/s
 * @endcode
 *
 * Frame types 6 (5 bytes) and 7 (1 byte) are reserved: the encoder never
 * produces them and the decoder reports their type and length without
 * decoding them. Types 4 and 5 are invalid.
 *
 * Usage:
 *
 * @code{.c}
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
 * @endcode
 *
 * @par Threading
 * The library keeps no writable data outside the handles. One handle must be
 * used by one thread at a time; different handles are independent and may be
 * used concurrently.
 *
 * @par Buffers
 * The caller owns every sample and frame buffer it passes; the library only
 * reads or fills them during the call. Every handle and output pointer must
 * be valid (not NULL) unless its function says otherwise.
 *
 * @par Status
 * Every function returns a 32-bit status: #SIVO_OK or one of the codes below.
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

/** @name Status codes */
/** @{ */
#define SIVO_OK 0                /**< success */
#define SIVO_NOT_DECODABLE 1     /**< frame type 4..7: no samples produced */
#define SIVO_DAMAGED_FRAME 2     /**< impossible pitch or gain index: concealed */
#define SIVO_INVALID_ARGUMENT 3  /**< refused option value, bad mode, null close */
#define SIVO_OUT_OF_MEMORY 4     /**< the state record could not be allocated */
/** @} */

/** @name Frame geometry */
/** @{ */
#define SIVO_SAMPLE_RATE 8000    /**< samples per second, in and out */
#define SIVO_FRAME_SAMPLES 240   /**< samples per frame (30 ms) */
#define SIVO_MAX_FRAME_BYTES 45  /**< a buffer of this size holds any frame */
/** @} */

/** @name Compressed frame sizes by frame type */
/** @{ */
#define SIVO_RATE0_BYTES 24      /**< rate 0, 6400 bit/s */
#define SIVO_RATE1_BYTES 31      /**< rate 1, 8266.7 bit/s */
#define SIVO_RATE2_BYTES 19      /**< rate 2, 5066.7 bit/s */
#define SIVO_RATE3_BYTES 45      /**< rate 3, 12000 bit/s */
#define SIVO_TYPE6_BYTES 5       /**< reserved type 6, never decoded */
#define SIVO_TYPE7_BYTES 1       /**< reserved type 7, never decoded */
/** @} */

/** @name decode_mode values of sivo_decode_frame() */
/** @{ */
#define SIVO_DECODE_NORMAL 0     /**< decode the frame bytes */
#define SIVO_DECODE_LOST 1       /**< the frame was lost: conceal it */
#define SIVO_DECODE_NO_FRAME 2   /**< nothing was transmitted: concealed as lost */
/** @} */

/** An encoder: one speech stream's analysis state (opaque). */
typedef struct sivo_encoder sivo_encoder;
/** A decoder: one speech stream's synthesis state (opaque). */
typedef struct sivo_decoder sivo_decoder;

/* ---- Encoder ---------------------------------------------------------- */

/**
 * Allocates an encoder (rate 0, high-pass filter on, voice activity
 * detection off) and stores it in *handle_out.
 * @param[out] handle_out receives the new encoder, or NULL
 * @retval SIVO_OK            the encoder is ready
 * @retval SIVO_OUT_OF_MEMORY no memory; *handle_out is set to NULL
 */
SIVOCORE_API int32_t sivo_encoder_open(sivo_encoder **handle_out);

/**
 * Restarts the signal processing as for a new encoder; the options
 * (rate, filter mode, vad mode) keep their values.
 * @param[in,out] handle an open encoder
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_encoder_reset(sivo_encoder *handle);

/**
 * Frees the encoder in *handle_in and sets *handle_in to NULL, so a second
 * close is refused.
 * @param[in,out] handle_in the encoder to free; NULL afterwards
 * @retval SIVO_OK               freed
 * @retval SIVO_INVALID_ARGUMENT handle_in or *handle_in is NULL
 */
SIVOCORE_API int32_t sivo_encoder_close(sivo_encoder **handle_in);

/**
 * Encodes one frame. The codec has a look-ahead of 60 samples: decoded
 * sample n corresponds to input sample n - 60.
 * @param[in,out] handle      an open encoder
 * @param[in]     samples     240 signed 16-bit samples at 8000 Hz
 * @param[out]    frame_bytes the compressed frame; room for
 *                            #SIVO_MAX_FRAME_BYTES serves every rate
 * @param[out]    frame_type  the frame's type, equal to the current rate
 * @param[out]    byte_count  the frame's length in bytes (24, 31, 19 or 45)
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_encode_frame(sivo_encoder *handle,
                                       const int16_t *samples,
                                       uint8_t *frame_bytes,
                                       int32_t *frame_type,
                                       int32_t *byte_count);

/**
 * Sets the compression rate of the next frame. The decoder follows rate
 * changes by itself.
 * @param[in,out] handle    an open encoder
 * @param[in]     comp_rate 0, 1, 2 or 3
 * @retval SIVO_OK               the next frame takes the new rate
 * @retval SIVO_INVALID_ARGUMENT comp_rate out of range; the rate is unchanged
 */
SIVOCORE_API int32_t sivo_encoder_set_comp_rate(sivo_encoder *handle,
                                                int32_t comp_rate);

/**
 * Reads the encoder's compression rate.
 * @param[in]  handle         an open encoder
 * @param[out] comp_rate_out  the current rate
 * @param[out] byte_count_out the frame size of that rate
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_encoder_get_comp_rate(sivo_encoder *handle,
                                                int32_t *comp_rate_out,
                                                int32_t *byte_count_out);

/**
 * Voice activity detection is not implemented: only vad_mode 0 (off) is
 * accepted.
 * @param[in,out] handle    an open encoder
 * @param[in]     vad_mode  0
 * @param[in]     parameter ignored
 * @retval SIVO_OK               vad_mode was 0
 * @retval SIVO_INVALID_ARGUMENT any other vad_mode; nothing changes
 */
SIVOCORE_API int32_t sivo_encoder_set_vad_mode(sivo_encoder *handle,
                                               int32_t vad_mode,
                                               int32_t parameter);

/**
 * Reads the voice activity detection mode, which is always off.
 * @param[in]  handle        an open encoder
 * @param[out] vad_mode_out  always 0
 * @param[out] parameter_out always 0
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_encoder_get_vad_mode(sivo_encoder *handle,
                                               int32_t *vad_mode_out,
                                               int32_t *parameter_out);

/**
 * Switches the DC-removal high-pass filter on the input, effective from the
 * next frame.
 * @param[in,out] handle      an open encoder
 * @param[in]     filter_mode 1 runs the input through the filter, 0 skips it
 * @retval SIVO_OK               the mode is set
 * @retval SIVO_INVALID_ARGUMENT any other value; nothing changes
 */
SIVOCORE_API int32_t sivo_encoder_set_filter_mode(sivo_encoder *handle,
                                                  int32_t filter_mode);

/**
 * Reads the encoder's high-pass filter mode.
 * @param[in]  handle          an open encoder
 * @param[out] filter_mode_out the current filter mode (1 on, 0 off)
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_encoder_get_filter_mode(sivo_encoder *handle,
                                                  int32_t *filter_mode_out);

/**
 * Names the encoder's version. Takes no handle.
 * @param[out] version_out points to the static text "siv.encoder.2.0"
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_encoder_get_version(const char **version_out);

/* ---- Decoder ---------------------------------------------------------- */

/**
 * Allocates a decoder (post-filters on) and stores it in *handle_out.
 * @param[out] handle_out receives the new decoder, or NULL
 * @retval SIVO_OK            the decoder is ready
 * @retval SIVO_OUT_OF_MEMORY no memory; *handle_out is set to NULL
 */
SIVOCORE_API int32_t sivo_decoder_open(sivo_decoder **handle_out);

/**
 * Restarts the signal processing as for a new decoder; the filter mode and
 * the reported rate keep their values.
 * @param[in,out] handle an open decoder
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_decoder_reset(sivo_decoder *handle);

/**
 * Frees the decoder in *handle_in and sets *handle_in to NULL, so a second
 * close is refused.
 * @param[in,out] handle_in the decoder to free; NULL afterwards
 * @retval SIVO_OK               freed
 * @retval SIVO_INVALID_ARGUMENT handle_in or *handle_in is NULL
 */
SIVOCORE_API int32_t sivo_decoder_close(sivo_decoder **handle_in);

/**
 * Decodes one frame into 240 samples.
 * @param[in,out] handle         an open decoder
 * @param[in]     frame_bytes    one complete frame, as many bytes as the type
 *                               in its first byte implies; read only in
 *                               #SIVO_DECODE_NORMAL (may be NULL otherwise)
 * @param[out]    samples_out    240 samples, written when the status is
 *                               #SIVO_OK or #SIVO_DAMAGED_FRAME, untouched
 *                               otherwise
 * @param[in]     decode_mode    #SIVO_DECODE_NORMAL, #SIVO_DECODE_LOST
 *                               (conceal a lost frame) or
 *                               #SIVO_DECODE_NO_FRAME (nothing was
 *                               transmitted; concealed exactly like a lost
 *                               frame)
 * @param[out]    frame_type_out the frame's type (speech 0..3, reserved 6 or
 *                               7); untouched for types 4 and 5 and when no
 *                               bytes are read
 * @param[out]    byte_count_out the frame's length: 24/31/19/45 for speech,
 *                               5 or 1 for types 6 and 7, 1 for types 4 and
 *                               5, 0 when no bytes are read
 * @retval SIVO_OK               decoded or concealed
 * @retval SIVO_NOT_DECODABLE    types 4..7, no samples
 * @retval SIVO_DAMAGED_FRAME    an impossible index: concealed, samples written
 * @retval SIVO_INVALID_ARGUMENT bad decode_mode, no samples
 */
SIVOCORE_API int32_t sivo_decode_frame(sivo_decoder *handle,
                                       const uint8_t *frame_bytes,
                                       int16_t *samples_out,
                                       int32_t decode_mode,
                                       int32_t *frame_type_out,
                                       int32_t *byte_count_out);

/**
 * Classifies a frame by its first byte, for walking a stream of frames.
 * Takes no handle.
 * @param[in]  frame_bytes    the frame's first byte (only it is read)
 * @param[out] frame_type_out 0..3, 6 or 7
 * @param[out] byte_count_out 24, 31, 19, 45, 5 or 1
 * @retval SIVO_OK            a speech or reserved frame
 * @retval SIVO_NOT_DECODABLE types 4 and 5; the outputs are untouched
 */
SIVOCORE_API int32_t sivo_decoder_get_frame_type(const uint8_t *frame_bytes,
                                                 int32_t *frame_type_out,
                                                 int32_t *byte_count_out);

/**
 * Reads the rate of the last speech frame the decoder unpacked.
 * @param[in]  handle         an open decoder
 * @param[out] comp_rate_out  the rate of the last speech frame unpacked (0
 *                            for a new decoder)
 * @param[out] byte_count_out the frame size of that rate
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_decoder_get_comp_rate(sivo_decoder *handle,
                                                int32_t *comp_rate_out,
                                                int32_t *byte_count_out);

/**
 * Switches the pitch and formant post-filters. Setting 1 restarts the
 * formant post-filter's tilt and pole memories.
 * @param[in,out] handle      an open decoder
 * @param[in]     filter_mode 1 applies the post-filters, 0 outputs the plain
 *                            synthesis
 * @retval SIVO_OK               the mode is set
 * @retval SIVO_INVALID_ARGUMENT any other value; nothing changes
 */
SIVOCORE_API int32_t sivo_decoder_set_filter_mode(sivo_decoder *handle,
                                                  int32_t filter_mode);

/**
 * Reads the decoder's post-filter mode.
 * @param[in]  handle          an open decoder
 * @param[out] filter_mode_out the current filter mode (1 on, 0 off)
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_decoder_get_filter_mode(sivo_decoder *handle,
                                                  int32_t *filter_mode_out);

/**
 * Names the decoder's version. Takes no handle.
 * @param[out] version_out points to the static text "siv.decoder.2.0"
 * @retval SIVO_OK always
 */
SIVOCORE_API int32_t sivo_decoder_get_version(const char **version_out);

#ifdef __cplusplus
}
#endif

#endif /* SIVOCORE_H */
