// sivo decode: a stream of compressed frames into WAV, raw, FLAC, Ogg/Vorbis
// or AIFF audio, optionally dropping frames to demonstrate concealment.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "system_files.h"

namespace sivo_cli {
namespace {

constexpr char kDecodeHelp[] =
    "Usage: sivo decode [OPTIONS] IN OUT\n"
    "\n"
    "Decodes a stream of compressed frames (as written by 'sivo encode') into\n"
    "mono 16-bit audio. Frames of different rates may follow one another; each\n"
    "frame names its own rate. IN '-' reads standard input; OUT '-' writes\n"
    "standard output (raw samples unless --format says otherwise).\n"
    "\n"
    "Options:\n"
    "  --format FORMAT  wav, raw (16-bit little-endian), flac, ogg or aiff;\n"
    "                   by default chosen by OUT's extension (.raw/.pcm raw,\n"
    "                   .flac, .ogg, .aif/.aiff; anything else WAV)\n"
    "  --rate N         output sample rate in Hz (default 8000, 1000 to 384000)\n"
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
    "naming its byte offset; OUT keeps what was decoded before it. OUT is\n"
    "written to a temporary file and renamed into place when complete; after a\n"
    "write failure or Ctrl-C an earlier OUT is left as it was. FLAC and AIFF\n"
    "need a regular file; WAV to a pipe gets a header for a stream of unknown\n"
    "length.\n";

}  // namespace

int run_decode(const std::vector<std::string>& args) {
  sivo::decode_options options;
  bool quiet = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (arg == "-h" || arg == "--help") {
      std::fputs(kDecodeHelp, stdout);
      return kExitOk;
    }
    if (arg == "--no-postfilter") {
      options.postfilter = false;
    } else if (arg == "-q" || arg == "--quiet") {
      quiet = true;
    } else if (arg == "--") {
      files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (arg == "-" || arg.empty() || arg[0] != '-') {
      files.push_back(arg);
    } else {
      const std::string name = arg.substr(0, arg.find('='));
      const int m = match_option(args, i, name, value);
      if (m < 0) return usage_error("decode", "option " + arg + " needs a value");
      if (name == "--loss") {
        const auto parsed = parse_number(value, 0.0, 100.0);
        if (!parsed) return usage_error("decode", "invalid loss '" + value + "' (0 to 100 percent)");
        options.loss_percent = *parsed;
      } else if (name == "--seed") {
        const auto parsed = parse_integer(value, 0, 0x7FFFFFFFFFFFFFFFll);
        if (!parsed) return usage_error("decode", "invalid seed '" + value + "'");
        options.seed = static_cast<uint64_t>(*parsed);
      } else if (name == "--rate") {
        const auto parsed = parse_integer(value, 1000, 384000);
        if (!parsed) return usage_error("decode", "invalid rate '" + value + "' (1000 to 384000 Hz)");
        options.rate = static_cast<int>(*parsed);
      } else if (name == "--format") {
        if (!sivo::parse_audio_format(value, options.format)) {
          return usage_error("decode",
                             "invalid format '" + value + "' (wav, raw, flac, ogg or aiff)");
        }
      } else {
        return usage_error("decode", "unknown option '" + arg + "'");
      }
    }
  }
  if (files.size() != 2) return usage_error("decode", "expected IN and OUT");
  const std::string& input = files[0];
  const std::string& output = files[1];
  if (sivo::same_file(input, output)) return usage_error("decode", "IN and OUT name the same file");

  catch_interrupts();
  options.cancelled = interrupt_check();
  const auto start = std::chrono::steady_clock::now();
  sivo::transcode_result result;
  const bool ok = sivo::decode_file(input, output, options, result);
  if (!ok) return finish_failed(result);
  if (!quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double duration = result.frames * static_cast<double>(kFrameSamples) / kSampleRate;
    char speed[48] = "";
    if (seconds > 0 && duration > 0) {
      std::snprintf(speed, sizeof speed, ", %.1fx real time", duration / seconds);
    }
    std::fprintf(stderr,
                 "%s -> %s: %lld frames, %.2f s, %lld dropped, %lld damaged, "
                 "%lld reserved skipped%s, decoded in %.2f s%s\n",
                 input.c_str(), output.c_str(), result.frames, duration, result.dropped_frames,
                 result.damaged_frames, result.reserved_frames,
                 options.postfilter ? "" : ", post-filter off", seconds, speed);
  }
  return kExitOk;
}

}  // namespace sivo_cli
