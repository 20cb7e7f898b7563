/**
 * @file sivowav.h
 * @brief sivowav - encodes a WAV file into a file of sivocore frames.
 *
 * Input: RIFF/WAVE, 16-bit linear PCM, mono or stereo, at 8000, 11025,
 * 16000, 22050, 24000, 32000, 44100 or 48000 Hz. Other rates are converted
 * to 8000 Hz mono before coding; stereo is mixed to mono. Output: the
 * compressed frames back to back, with no header (walk it frame by frame with
 * sivo_decoder_get_frame_type()).
 *
 * Usage:
 *
 * @code{.c}
 *   char message[800], title[25];   // GetMaxErrorMessageLen/TitleLen()
 *   if (CheckWavFormat(message, title, "in.wav") != 1) show(title, message);
 *   if (SivoEncode(message, title, "in.wav", "out.siv", 1) != 1) ...;
 *   int32_t progress;
 *   do {
 *       progress = SivoCount(message, title);   // 0..99, 100 when done
 *       if (progress < 0) { show(title, message); break; }
 *   } while (progress < 100);
 * @endcode
 *
 * @par Errors
 * Every function that can fail writes a NUL-terminated message and title
 * into the caller's buffers (800 and 25 bytes) and leaves them untouched on
 * success and on -2.
 *
 * @par Threading
 * One encoding job per process, held in process-wide state. The job
 * functions may be called from several threads: of simultaneous SivoEncode()
 * calls exactly one starts the job and the others return -2 with nothing
 * opened; SivoCount() returns -2 while the job is being started, stopped or
 * advanced by another thread; SivoStop() during a SivoCount() in another
 * thread ends the job after the block in progress and returns once it is
 * released. CheckWavFormat() keeps no state and may run while a job is
 * active.
 */
#ifndef SIVOWAV_H
#define SIVOWAV_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(SIVOWAV_BUILDING)
#    define SIVOWAV_API __declspec(dllexport)
#  else
#    define SIVOWAV_API __declspec(dllimport)
#  endif
#else
#  define SIVOWAV_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** @name Results */
/** @{ */
#define SIVOWAV_SUCCESS 1        /**< CheckWavFormat, SivoEncode */
#define SIVOWAV_FAILURE (-1)     /**< message and title filled */
#define SIVOWAV_WRONG_STATE (-2) /**< job already active / no job active */
#define SIVOWAV_DONE 100         /**< SivoCount: the last frame is written */
/** @} */

/**
 * Checks that file_name is a WAV file the encoder accepts.
 * @param[out] message   800 bytes: the reason, on failure
 * @param[out] title     25 bytes: "I/O ERROR" or "WAV PARSER ERROR", on
 *                       failure
 * @param[in]  file_name path of the WAV file; opened, checked and closed
 *                       again
 * @retval 1  the file is acceptable (#SIVOWAV_SUCCESS)
 * @retval -1 it is not, or cannot be read (#SIVOWAV_FAILURE)
 */
SIVOWAV_API int32_t CheckWavFormat(char *message, char *title,
                                   const char *file_name);

/** Size of the message buffer every call needs.
 *  @return 800 */
SIVOWAV_API int32_t GetMaxErrorMessageLen(void);

/** Size of the title buffer every call needs.
 *  @return 25 */
SIVOWAV_API int32_t GetMaxErrorTitleLen(void);

/**
 * Starts the encoding job.
 * @param[out] message     800 bytes: the reason, on failure
 * @param[out] title       25 bytes: the kind of failure, on failure
 * @param[in]  input_name  the WAV file; kept open (read only) during the job
 * @param[in]  output_name created or truncated; must not name the input file
 * @param[in]  comp_rate   compression rate 0..3 (24, 31, 19 or 45-byte
 *                         frames)
 * @retval 1  the job has started (#SIVOWAV_SUCCESS)
 * @retval -1 failure, with nothing left open (the output file, once opened,
 *            stays behind empty) (#SIVOWAV_FAILURE)
 * @retval -2 a job is already active: buffers untouched, the job unchanged
 *            (#SIVOWAV_WRONG_STATE)
 */
SIVOWAV_API int32_t SivoEncode(char *message, char *title,
                               const char *input_name, const char *output_name,
                               int32_t comp_rate);

/**
 * Encodes up to ten blocks (10 frames; 20 at 22050 Hz, 40 at 11025 Hz).
 * @param[out] message 800 bytes: the reason, on failure
 * @param[out] title   25 bytes: the kind of failure, on failure
 * @return the progress in percent (0..99) while frames remain
 * @retval 100 the last frame is written and the job released
 *             (#SIVOWAV_DONE)
 * @retval -1  failure: message and title filled, job released, frames
 *             already written kept in the output (#SIVOWAV_FAILURE)
 * @retval -2  no job is active, or another thread is starting, stopping or
 *             advancing it; buffers untouched (#SIVOWAV_WRONG_STATE)
 */
SIVOWAV_API int32_t SivoCount(char *message, char *title);

/**
 * Aborts the active job, keeping the frames written so far. While a
 * SivoCount() runs in another thread, waits until that call has finished its
 * current block and released the job.
 * @retval 0  no job was active, or the output file was closed
 * @retval -1 the final write to the output file failed
 */
SIVOWAV_API int32_t SivoStop(void);

#ifdef __cplusplus
}
#endif

#endif /* SIVOWAV_H */
