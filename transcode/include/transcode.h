// The file loops behind `sivo encode` and `sivo decode`: any audio in, frames
// out, frames in, any audio out, in bounded memory, never leaving a
// half-written or deleted file behind. Nothing here prints, exits or touches
// signal handlers; callers add progress, summaries and interrupts.
//
// Paths: "-" is standard input (for `in`) or standard output (for `out`).
// A regular output file (or a new name) is written to a temporary file in the
// same folder and renamed over `out` only when complete; on any failure or
// cancellation the temporary is removed and an earlier file of that name is
// left as it was. Any other output (pipe, terminal, device, a symlink to one
// of these) is written straight through and never removed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sivo {

// How a call ended.
enum class transcode_outcome {
  ok,             // every frame or sample written, output complete
  failed,         // `error` says what and where; no partial regular file left
  cancelled,      // the cancel callback asked to stop
  output_closed,  // the reader of a pipe went away (EPIPE): not an error
};

// Audio container of a decoded output or of an input (automatic: from the
// file name's extension for outputs, from the contents for inputs).
enum class audio_format { automatic, wav, raw, flac, ogg, aiff };

// Layout of headerless PCM input (opusenc's --raw-* options).
struct raw_layout {
  int rate = 8000;          // samples per second per channel
  int channels = 1;         // interleaved
  int bits = 16;            // 8 (unsigned), 16, 24 or 32 (signed)
  bool big_endian = false;  // byte order of 16, 24 and 32 bit samples
};

// Returns true to stop the loop at the next block or frame.
using cancel_check = std::function<bool()>;
// Called after each block with the input bytes read so far and the total
// input size (-1 when unknown, e.g. from a pipe).
using progress_report = std::function<void(long long done, long long total)>;

struct encode_options {
  int comp_rate = 0;       // 0..3: 24-, 31-, 19- or 45-byte frames
  bool raw = false;        // input is headerless PCM laid out as `raw_input`
  raw_layout raw_input{};  // used only when `raw`
  cancel_check cancelled;  // may be empty
  progress_report progress;
};

struct decode_options {
  audio_format format = audio_format::automatic;  // automatic: by extension
                                                   // (".raw"/".pcm" raw, none: WAV);
                                                   // standard output: raw
  int rate = 8000;           // output sample rate, 1000..384000
  bool postfilter = true;    // pitch and formant post-filters
  double loss_percent = 0;   // chance, in percent, of dropping a speech frame
  uint64_t seed = 1;         // seed of the frame dropping
  cancel_check cancelled;    // may be empty
  progress_report progress;  // bytes of frames read
};

// What a call did (filled as far as it got).
struct transcode_result {
  transcode_outcome outcome = transcode_outcome::ok;
  std::string error;             // reason of a failure, naming the file
  std::string input_format;      // e.g. "WAV (Microsoft) 16 bit PCM, 44100 Hz, 2 channels"
  long long frames = 0;          // compressed frames written (encode) or decoded
  long long frame_bytes = 0;     // bytes of those frames
  long long samples = 0;         // output samples written (decode, at the output rate)
  long long dropped_frames = 0;  // decode: frames dropped on purpose
  long long damaged_frames = 0;  // decode: frames the decoder found damaged
  long long reserved_frames = 0; // decode: reserved types skipped
};

// Encodes any audio libsndfile reads (or raw PCM) at any rate and channel
// count into compressed frames: mixed to mono, converted to 8000 Hz with the
// WAV job's converter settings, the converter flushed at the end and the
// last frame padded with silence. For a 16-bit PCM WAV file the WAV job
// accepts, the output begins with exactly the job's frames.
// Returns true on success; otherwise sets `result.error` (and *error when
// given).
bool encode_file(const std::string& in, const std::string& out, const encode_options& options,
                 transcode_result& result, std::string* error = nullptr);

// Decodes a stream of compressed frames into WAV, raw (16-bit little-endian
// mono), FLAC, Ogg/Vorbis or AIFF at options.rate. An invalid frame type or
// a frame cut short ends decoding with a failure naming the byte offset; the
// output then keeps the frames decoded before it.
bool decode_file(const std::string& in, const std::string& out, const decode_options& options,
                 transcode_result& result, std::string* error = nullptr);

// The format `decode_file` writes for `out` given the requested `format`.
audio_format output_format_for(const std::string& out, audio_format format);

// Parses "wav", "raw", "flac", "ogg", "aiff"; false for anything else.
bool parse_audio_format(const std::string& name, audio_format& format);

}  // namespace sivo
