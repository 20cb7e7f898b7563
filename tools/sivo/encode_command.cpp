// sivo encode: any audio file or stream into a stream of compressed frames,
// with a progress bar and a summary.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "system_files.h"

namespace sivo_cli {
namespace {

constexpr char kEncodeHelp[] =
    "Usage: sivo encode [OPTIONS] IN OUT\n"
    "\n"
    "Encodes audio into a stream of compressed frames. IN may be any file\n"
    "libsndfile reads (WAV of any sample format including WAVE_FORMAT_EXTENSIBLE,\n"
    "FLAC, Ogg/Vorbis, AIFF, CAF, AU, ...) at any sample rate and channel count,\n"
    "or headerless PCM with --raw. It is mixed to mono and converted to\n"
    "8000 Hz. The whole input is encoded: the last frame is padded with silence.\n"
    "IN '-' reads standard input (WAV, AIFF, FLAC, Ogg, AU or raw PCM; other\n"
    "files that must be read out of order need a name); OUT '-' writes\n"
    "standard output.\n"
    "\n"
    "Options:\n"
    "  -r, --rate RATE          compression rate (default 0):\n"
    "                             0  24-byte frames,  6400 bit/s\n"
    "                             1  31-byte frames,  8266.7 bit/s\n"
    "                             2  19-byte frames,  5066.7 bit/s\n"
    "                             3  45-byte frames, 12000 bit/s\n"
    "  --raw                    IN is headerless PCM\n"
    "  --raw-rate N             its sample rate in Hz (default 8000)\n"
    "  --raw-channels N         its channels (default 1)\n"
    "  --raw-bits N             8 (unsigned), 16, 24 or 32 bits (default 16)\n"
    "  --raw-endianness E       little or big (default little)\n"
    "  -q, --quiet              no progress bar and no summary\n"
    "  -h, --help               show this help\n"
    "\n"
    "OUT is written to a temporary file and renamed into place when complete;\n"
    "after a failure or Ctrl-C an earlier OUT is left as it was.\n";

void draw_progress(long long done, long long total) {
  constexpr int kWidth = 40;
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
  char bar[kWidth + 1];
  const int filled = percent * kWidth / 100;
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\rencoding [%s] %3d%%", bar, percent);
  std::fflush(stderr);
}

void clear_progress() {
  std::fprintf(stderr, "\r%60s\r", "");
  std::fflush(stderr);
}

}  // namespace

int run_encode(const std::vector<std::string>& args) {
  sivo::encode_options options;
  bool quiet = false;
  bool raw_option_seen = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (arg == "-h" || arg == "--help") {
      std::fputs(kEncodeHelp, stdout);
      return kExitOk;
    }
    if (arg == "-q" || arg == "--quiet") {
      quiet = true;
      continue;
    }
    if (arg == "--raw") {
      options.raw = true;
      continue;
    }
    if (arg == "--" ) {
      files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg == "-" || arg.empty() || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    struct numeric {
      const char* name;
      long long low, high;
      int* target;
      bool raw;
    };
    const numeric numerics[] = {
        {"--rate", 0, 3, &options.comp_rate, false},
        {"-r", 0, 3, &options.comp_rate, false},
        {"--raw-rate", 1, 768000, &options.raw_input.rate, true},
        {"--raw-channels", 1, 1024, &options.raw_input.channels, true},
        {"--raw-bits", 8, 32, &options.raw_input.bits, true},
    };
    bool matched = false;
    for (const numeric& n : numerics) {
      const int m = match_option(args, i, n.name, value);
      if (m == 0) continue;
      if (m < 0) return usage_error("encode", "option " + arg + " needs a value");
      const auto parsed = parse_integer(value, n.low, n.high);
      const bool bits_ok = n.target != &options.raw_input.bits ||
                           (parsed && (*parsed == 8 || *parsed == 16 || *parsed == 24 ||
                                       *parsed == 32));
      if (!parsed || !bits_ok) {
        return usage_error("encode", "invalid value '" + value + "' for " + n.name +
                                         (n.target == &options.comp_rate
                                              ? " (expected 0, 1, 2 or 3)"
                                          : n.target == &options.raw_input.bits
                                              ? " (expected 8, 16, 24 or 32)"
                                              : ""));
      }
      *n.target = static_cast<int>(*parsed);
      raw_option_seen |= n.raw;
      matched = true;
      break;
    }
    if (matched) continue;
    const int m = match_option(args, i, "--raw-endianness", value);
    if (m < 0) return usage_error("encode", "option --raw-endianness needs a value");
    if (m > 0) {
      if (value != "little" && value != "big") {
        return usage_error("encode", "invalid value '" + value +
                                         "' for --raw-endianness (expected little or big)");
      }
      options.raw_input.big_endian = value == "big";
      raw_option_seen = true;
      continue;
    }
    return usage_error("encode", "unknown option '" + arg + "'");
  }
  if (files.size() != 2) return usage_error("encode", "expected IN and OUT");
  if (raw_option_seen && !options.raw) {
    return usage_error("encode", "--raw-rate, --raw-channels, --raw-bits and --raw-endianness "
                                 "need --raw");
  }
  const std::string& input = files[0];
  const std::string& output = files[1];
  if (sivo::same_file(input, output)) return usage_error("encode", "IN and OUT name the same file");

  catch_interrupts();
  options.cancelled = interrupt_check();
  const bool show_bar = !quiet && sivo::is_terminal(2);
  int shown = -1;
  if (show_bar) {
    options.progress = [&](long long done, long long total) {
      const int percent = total > 0 ? static_cast<int>(done * 100 / total) : -1;
      if (percent != shown && percent >= 0) {
        draw_progress(done, total);
        shown = percent;
      }
    };
  }
  const auto start = std::chrono::steady_clock::now();
  sivo::transcode_result result;
  const bool ok = sivo::encode_file(input, output, options, result);
  if (show_bar && shown >= 0) clear_progress();
  if (!ok) return finish_failed(result);

  if (!quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double duration = result.frames * static_cast<double>(kFrameSamples) / kSampleRate;
    char speed[48] = "";
    if (seconds > 0 && duration > 0)
      std::snprintf(speed, sizeof speed, ", %.1fx real time", duration / seconds);
    std::fprintf(stderr,
                 "%s (%s) -> %s: %.2f s, %lld frames, %lld bytes, rate %d (%.1f bit/s), "
                 "encoded in %.2f s%s\n",
                 input.c_str(), result.input_format.c_str(), output.c_str(), duration,
                 result.frames, result.frame_bytes, options.comp_rate,
                 duration > 0 ? result.frame_bytes * 8.0 / duration : 0.0, seconds, speed);
  }
  return kExitOk;
}

}  // namespace sivo_cli
