/*
 * ratelib - streaming sample-rate conversion of 16-bit PCM blocks.
 *
 * A converter takes blocks of a fixed number of interleaved 16-bit frames at
 * one rate, mixes the channels to mono, and returns for every block exactly
 * block_length * out_rate / in_rate samples at the output rate. Conversion
 * runs continuously across blocks and is band-limited to the lower of the
 * two Nyquist frequencies. The converter's start-up delay appears once, as
 * leading samples (silence, settling into the signal) at the start of the
 * output stream; the count per block never drifts.
 *
 * Usage:
 *
 *   rate_converter *conv;
 *   int32_t delay;
 *   if (rate_conversion_init(&conv, 1323, 44100, 8000, 2, 1, 0, &delay) != -1)
 *       ...;                                   // -1 means success
 *   int16_t in[1323 * 2], out[240];
 *   while (read_block(in))
 *       rate_conversion_process(conv, in, 1323, out);   // returns 240
 *   rate_conversion_close(&conv);
 *
 * Threading: a converter must be used by one thread at a time; different
 * converters are independent.
 */
#ifndef RATELIB_H
#define RATELIB_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(RATELIB_BUILDING)
#    define RATELIB_API __declspec(dllexport)
#  else
#    define RATELIB_API __declspec(dllimport)
#  endif
#else
#  define RATELIB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct rate_converter rate_converter;

/* Result of a successful rate_conversion_init. */
#define RATE_CONVERSION_OK (-1)

/* Quality settings. */
#define RATE_CONVERSION_HIGH 0       /* 20-bit precision */
#define RATE_CONVERSION_VERY_HIGH 1  /* 28-bit precision */

/* Creates a converter.
 * [out] converter_out  the new converter (null on failure)
 * [in]  block_length   input frames per block (per channel), > 0; the block
 *                      must convert to a whole number of output samples
 * [in]  in_rate        input rate in Hz, > 0
 * [in]  out_rate       output rate in Hz, > 0
 * [in]  in_channels    1 or 2; stereo is mixed to mono as (left + right) / 2
 * [in]  out_channels   1
 * [in]  quality        RATE_CONVERSION_HIGH or RATE_CONVERSION_VERY_HIGH
 * [out] delay_out      the start-up delay in output samples: the number of
 *                      leading samples added before the first converted one
 *                      (may be null)
 * Returns RATE_CONVERSION_OK (-1) on success, 0 on a refused argument or a
 * failure of the converter. */
RATELIB_API int32_t rate_conversion_init(rate_converter **converter_out,
                                         int32_t block_length, int32_t in_rate,
                                         int32_t out_rate, int32_t in_channels,
                                         int32_t out_channels, int32_t quality,
                                         int32_t *delay_out);

/* Converts one block.
 * [in]  input        block_length interleaved frames (in_channels samples
 *                    each)
 * [in]  frames       must equal the converter's block_length
 * [out] output       block_length * out_rate / in_rate mono samples
 * Returns the number of samples written, always that count, or -1 on a
 * refused argument or an internal failure (output then not meaningful). */
RATELIB_API int32_t rate_conversion_process(rate_converter *converter,
                                            const int16_t *input,
                                            int32_t frames, int16_t *output);

/* Releases the converter in *converter_in and sets *converter_in to null.
 * Returns 0, or -1 when converter_in or *converter_in is null. */
RATELIB_API int32_t rate_conversion_close(rate_converter **converter_in);

#ifdef __cplusplus
}
#endif

#endif /* RATELIB_H */
