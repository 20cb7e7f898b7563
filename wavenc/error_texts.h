// Every title and message text of the WAV encoder, and the copy into the
// caller's buffers.
#pragma once

#include <cstddef>

namespace sivo {

inline constexpr std::size_t kMessageBytes = 800;
inline constexpr std::size_t kTitleBytes = 25;

inline constexpr char kTitleIo[] = "I/O ERROR";
inline constexpr char kTitleParser[] = "WAV PARSER ERROR";
inline constexpr char kTitleEncoding[] = "ENCODING ERROR";
inline constexpr char kTitleDownsampling[] = "DOWNSAMPLING ERROR";

inline constexpr char kCantOpenWav[] = "Can't open WAV file !\n";
inline constexpr char kCantOpenInput[] = "Can't open input file !\n";
inline constexpr char kCantOpenOutput[] = "Can't open output file !\n";
inline constexpr char kReadError[] = "Error reading from WAV file\n";
inline constexpr char kWriteError[] = "Can't write compressed audio to file\n";
inline constexpr char kEncoderInitError[] = "Can't initialize the encoder";
inline constexpr char kEncodeError[] = "Error while encoding frame\n";
inline constexpr char kConverterInitError[] = "Error initializing downsampling module";
inline constexpr char kConvertError[] = "Error while down sampling\n";

// Parser reasons.
inline constexpr char kNotWave[] = "This is not a WAVE file.";
inline constexpr char kNoFmt[] = "WAVE file has no \"fmt\" chunk.";
inline constexpr char kOutOfMemory[] = "Out of memory.";
inline constexpr char kLockFailed[] = "Failed to lock memory for format chunk.";
inline constexpr char kFmtReadFailed[] = "Failed to read format chunk !";
inline constexpr char kNotPcm[] = "The file is not a linear PCM WAV file.";
inline constexpr char kNotMonoStereo[] = "The WAV file must be mono or stereo.";
inline constexpr char kRateNotSupported[] = "Sample rate not supported.";
inline constexpr char kNot16Bit[] = "WAV format must have 16 bit per sample";
inline constexpr char kByteRateMismatch[] =
    "Average bytes per second mismatch in WAV header";
inline constexpr char kNoData[] = "WAVE file has no data chunk.";
inline constexpr char kEmptyData[] = "The data chunk contains no data.";

// Copies text into a buffer of `bytes` bytes, cut short if needed and always
// NUL-terminated. A null buffer is left alone.
void copy_text(char* buffer, std::size_t bytes, const char* text) noexcept;

// Fills the caller's message (800 bytes) and title (25 bytes) buffers.
void report_error(char* message, char* title, const char* message_text,
                  const char* title_text) noexcept;

}  // namespace sivo
