// sivo decode: decodes a stream of compressed frames into an 8000 Hz mono
// 16-bit WAV file, optionally dropping frames to demonstrate concealment.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "frame_stream.h"
#include "wav_file.h"

namespace sivo_cli {
namespace {

constexpr char kDecodeHelp[] =
    "Usage: sivo decode [--no-postfilter] [--loss PERCENT [--seed N]] [-q] IN OUT.wav\n"
    "\n"
    "Decodes a stream of compressed frames (as written by 'sivo encode') into\n"
    "an 8000 Hz mono 16-bit WAV file. Frames of different rates may follow\n"
    "one another; each frame names its own rate.\n"
    "\n"
    "Options:\n"
    "  --no-postfilter  output the plain synthesis, without the pitch and\n"
    "                   formant post-filters\n"
    "  --loss PERCENT   drop each speech frame with this chance (0 to 100) and\n"
    "                   decode it as lost, to hear the concealment\n"
    "  --seed N         seed of the frame dropping (default 1); the same seed\n"
    "                   drops the same frames\n"
    "  -q, --quiet      no summary\n"
    "  -h, --help       show this help\n"
    "\n"
    "Reserved frames (types 6 and 7) are skipped and counted. An invalid frame\n"
    "type or a frame cut short by the end of IN stops decoding with a message\n"
    "naming its byte offset; OUT.wav keeps what was decoded before it.\n";

enum class option_match { no, yes, missing_value };

// Matches "NAME VALUE" or "NAME=VALUE" at args[i], advancing i past a
// separate value.
option_match match_option(const std::vector<std::string>& args, size_t& i, const std::string& name,
                          std::string& value) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 == args.size()) return option_match::missing_value;
    value = args[++i];
    return option_match::yes;
  }
  if (arg.starts_with(name + "=")) {
    value = arg.substr(name.size() + 1);
    return option_match::yes;
  }
  return option_match::no;
}

}  // namespace

int run_decode(const std::vector<std::string>& args) {
  stream_options options;
  bool quiet = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (arg == "-h" || arg == "--help") {
      std::fputs(kDecodeHelp, stdout);
      return kExitOk;
    }
    const option_match loss = match_option(args, i, "--loss", value);
    const option_match seed =
        loss == option_match::no ? match_option(args, i, "--seed", value) : option_match::no;
    if (loss == option_match::missing_value || seed == option_match::missing_value) {
      return usage_error("decode", "option " + arg + " needs a value");
    }
    if (loss == option_match::yes) {
      const auto parsed = parse_number(value, 0.0, 100.0);
      if (!parsed) return usage_error("decode", "invalid loss '" + value + "' (0 to 100 percent)");
      options.loss_percent = *parsed;
    } else if (seed == option_match::yes) {
      const auto parsed = parse_integer(value, 0, 0x7FFFFFFFFFFFFFFFll);
      if (!parsed) return usage_error("decode", "invalid seed '" + value + "'");
      options.seed = static_cast<uint64_t>(*parsed);
    } else if (arg == "--no-postfilter") {
      options.postfilter = false;
    } else if (arg == "-q" || arg == "--quiet") {
      quiet = true;
    } else if (arg == "--") {
      files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage_error("decode", "unknown option '" + arg + "'");
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return usage_error("decode", "expected IN and OUT.wav");
  const std::string& input = files[0];
  const std::string& output = files[1];
  if (same_file(input, output)) return usage_error("decode", "IN and OUT.wav name the same file");

  std::vector<uint8_t> stream;
  std::string error;
  if (!read_file(input, stream, error)) {
    print_error("decode", error);
    return kExitFailure;
  }
  wav_writer writer;
  if (!wav_create(writer, output, kSampleRate, error)) {
    print_error("decode", error);
    wav_abandon(writer);
    return kExitFailure;
  }
  const auto start = std::chrono::steady_clock::now();
  bool write_failed = false;
  const stream_report report =
      decode_stream(stream, options, [&](std::span<const int16_t> samples) {
        write_failed = !wav_append(writer, samples, error);
        return !write_failed;
      });
  if (write_failed || !wav_finish(writer, error)) {
    print_error("decode", error);
    wav_abandon(writer);
    return kExitFailure;
  }
  if (report.stop != stream_stop::none) {
    print_error("decode", input + ": " + describe_stop(report) + "; " + output + " keeps the " +
                              std::to_string(report.speech_frames) + " frames decoded before it");
    return kExitFailure;
  }
  if (!quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double duration = report.speech_frames * static_cast<double>(kFrameSamples) / kSampleRate;
    char speed[48] = "";
    if (seconds > 0 && duration > 0) {
      std::snprintf(speed, sizeof speed, ", %.1fx real time", duration / seconds);
    }
    std::fprintf(stderr,
                 "%s -> %s: %lld frames, %.2f s, %lld dropped, %lld damaged, "
                 "%lld reserved skipped%s, decoded in %.2f s%s\n",
                 input.c_str(), output.c_str(), report.speech_frames, duration,
                 report.dropped_frames, report.damaged_frames, report.reserved_frames,
                 options.postfilter ? "" : ", post-filter off", seconds, speed);
  }
  return kExitOk;
}

}  // namespace sivo_cli
