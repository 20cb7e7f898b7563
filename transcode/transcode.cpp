// The encode and decode file loops shared by the sivo program and the Python
// package.
#include "transcode.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "audio_input.h"
#include "audio_output.h"
#include "frame_stream.h"
#include "safe_output.h"
#include "sivocore.h"
#include "system_files.h"

namespace sivo {
namespace {

constexpr int kMinOutputRate = 1000;
constexpr int kMaxOutputRate = 384000;

bool ends_with(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) {
      return false;
    }
  }
  return true;
}

bool fail(transcode_result& result, std::string* error, const std::string& text,
          transcode_outcome outcome = transcode_outcome::failed) {
  result.outcome = outcome;
  result.error = text;
  if (error != nullptr) *error = text;
  return false;
}

bool cancel_requested(const cancel_check& cancelled) { return cancelled && cancelled(); }

// The caller's check, made to keep saying stop once it has said it: a
// reader that stops early on a cancel looks like the end of its input, and
// the loop that asks again must not then take it for one and commit.
cancel_check latched(const cancel_check& check) {
  if (!check) return {};
  auto stopped = std::make_shared<bool>(false);
  return [check, stopped] { return *stopped || (*stopped = check()); };
}

// Refuses an output that would replace or overwrite the input.
bool refuse_same_file(const std::string& in, const std::string& out, transcode_result& result,
                      std::string* error) {
  if (!same_file(in, out)) return false;
  const auto name = [](const std::string& path, const char* standard) {
    return path == "-" ? std::string(standard) : "'" + path + "'";
  };
  fail(result, error,
       name(in, "standard input") + " and " + name(out, "standard output") +
           " name the same file: writing one would destroy the other");
  return true;
}

}  // namespace

bool parse_audio_format(const std::string& name, audio_format& format) {
  static constexpr std::pair<const char*, audio_format> kNames[] = {
      {"wav", audio_format::wav},   {"raw", audio_format::raw},   {"flac", audio_format::flac},
      {"ogg", audio_format::ogg},   {"aiff", audio_format::aiff},
  };
  for (const auto& [text, value] : kNames) {
    if (name == text) {
      format = value;
      return true;
    }
  }
  return false;
}

audio_format output_format_for(const std::string& out, audio_format format) {
  if (format != audio_format::automatic) return format;
  if (out == "-") return audio_format::raw;
  if (ends_with(out, ".raw") || ends_with(out, ".pcm") || ends_with(out, ".s16")) {
    return audio_format::raw;
  }
  if (ends_with(out, ".flac")) return audio_format::flac;
  if (ends_with(out, ".ogg") || ends_with(out, ".oga")) return audio_format::ogg;
  if (ends_with(out, ".aif") || ends_with(out, ".aiff")) return audio_format::aiff;
  return audio_format::wav;
}

bool encode_file(const std::string& in, const std::string& out, const encode_options& options,
                 transcode_result& result, std::string* error) {
  result = transcode_result{};
  if (options.comp_rate < 0 || options.comp_rate > 3) {
    return fail(result, error, "invalid compression rate " + std::to_string(options.comp_rate));
  }
  if (refuse_same_file(in, out, result, error)) return false;
  std::string reason;
  const cancel_check cancelled = latched(options.cancelled);
  audio_source source;
  source.cancelled = &cancelled;
  if (!source_open(source, in, options.raw ? &options.raw_input : nullptr, reason)) {
    return fail(result, error, reason);
  }
  result.input_format = source.description;
  sivo_encoder* encoder = nullptr;
  if (sivo_encoder_open(&encoder) != SIVO_OK ||
      sivo_encoder_set_comp_rate(encoder, options.comp_rate) != SIVO_OK) {
    if (encoder != nullptr) sivo_encoder_close(&encoder);
    source_close(source);
    return fail(result, error, "cannot start the encoder");
  }
  output_file output;
  if (!output_open(output, out, reason)) {
    sivo_encoder_close(&encoder);
    source_close(source);
    return fail(result, error, reason);
  }

  std::array<int16_t, SIVO_FRAME_SAMPLES> samples{};
  std::array<uint8_t, SIVO_MAX_FRAME_BYTES> frame{};
  transcode_outcome outcome = transcode_outcome::ok;
  for (;;) {
    const long long got = source_read(source, samples.data(), samples.size(), reason);
    if (got < 0) {
      outcome = transcode_outcome::failed;
      break;
    }
    if (cancel_requested(cancelled)) {
      outcome = transcode_outcome::cancelled;
      break;
    }
    if (got == 0) break;
    // The last frame is padded with silence.
    std::fill(samples.begin() + got, samples.end(), int16_t{0});
    int32_t type = 0, bytes = 0;
    if (sivo_encode_frame(encoder, samples.data(), frame.data(), &type, &bytes) != SIVO_OK ||
        bytes <= 0 || bytes > SIVO_MAX_FRAME_BYTES) {
      reason = "encoding frame " + std::to_string(result.frames) + " of '" + in + "' failed";
      outcome = transcode_outcome::failed;
      break;
    }
    // Whole frames only: a failed write ends the output before this frame.
    if (!output_write(output, frame.data(), static_cast<size_t>(bytes), reason)) {
      outcome = output.reader_gone ? transcode_outcome::output_closed : transcode_outcome::failed;
      break;
    }
    result.frames += 1;
    result.frame_bytes += bytes;
    if (options.progress) options.progress(source_position(source), source.size);
  }
  sivo_encoder_close(&encoder);
  source_close(source);
  // A stop asked while the last frames were written still commits nothing.
  if (outcome == transcode_outcome::ok && cancel_requested(cancelled)) {
    outcome = transcode_outcome::cancelled;
  }
  if (outcome == transcode_outcome::ok) {
    if (!output_commit(output, reason)) return fail(result, error, reason);
    return true;
  }
  output_discard(output);
  if (outcome == transcode_outcome::cancelled) reason = "interrupted";
  return fail(result, error, reason, outcome);
}

bool decode_file(const std::string& in, const std::string& out, const decode_options& options,
                 transcode_result& result, std::string* error) {
  result = transcode_result{};
  if (options.rate < kMinOutputRate || options.rate > kMaxOutputRate) {
    return fail(result, error,
                "invalid output rate " + std::to_string(options.rate) + " (1000 to 384000 Hz)");
  }
  if (!(options.loss_percent >= 0.0 && options.loss_percent <= 100.0)) {
    return fail(result, error, "invalid loss percentage (0 to 100)");
  }
  if (refuse_same_file(in, out, result, error)) return false;
  std::string reason;
  const cancel_check cancelled = latched(options.cancelled);
  frame_reader reader;
  if (!reader_open(reader, in, reason)) return fail(result, error, reason);
  reader.cancelled = cancelled;
  audio_sink sink;
  if (!sink_open(sink, out, output_format_for(out, options.format), options.rate, reason)) {
    reader_close(reader);
    return fail(result, error, reason);
  }
  stream_options stream;
  stream.postfilter = options.postfilter;
  stream.loss_percent = options.loss_percent;
  stream.seed = options.seed;
  bool write_failed = false;
  const stream_report report = decode_stream(reader, stream, [&](std::span<const int16_t> pcm) {
    if (!sink_write(sink, pcm, reason)) {
      write_failed = true;
      return false;
    }
    if (options.progress) options.progress(reader.offset, reader.size);
    return true;
  });
  reader_close(reader);
  result.frames = report.speech_frames;
  result.frame_bytes = report.bytes_used;
  result.dropped_frames = report.dropped_frames;
  result.damaged_frames = report.damaged_frames;
  result.reserved_frames = report.reserved_frames;

  if (write_failed) {
    const bool gone = sink.out.reader_gone;
    sink_abort(sink);
    return fail(result, error, reason,
                gone ? transcode_outcome::output_closed : transcode_outcome::failed);
  }
  if (report.stop == stream_stop::cancelled || cancel_requested(cancelled)) {
    sink_abort(sink);
    return fail(result, error, "interrupted", transcode_outcome::cancelled);
  }
  if (report.stop == stream_stop::read_failure || report.stop == stream_stop::decoder_failure) {
    sink_abort(sink);
    const std::string what = report.stop == stream_stop::read_failure ? "cannot read '" + in + "': "
                                                                      : "'" + in + "': ";
    return fail(result, error, what + describe_stop(report));
  }
  // A damaged stream keeps what was decoded before the damage. A stop asked
  // while the converter's tail is written still commits nothing.
  if (!sink_finish(sink, reason, cancelled)) {
    return fail(result, error, reason,
                cancel_requested(cancelled) ? transcode_outcome::cancelled
                : sink.out.reader_gone      ? transcode_outcome::output_closed
                                            : transcode_outcome::failed);
  }
  result.samples = sink.samples_out;
  if (report.stop != stream_stop::none) {
    return fail(result, error,
                "'" + in + "': " + describe_stop(report) + "; '" + out + "' keeps the " +
                    std::to_string(report.speech_frames) + " frames decoded before it");
  }
  return true;
}

}  // namespace sivo
