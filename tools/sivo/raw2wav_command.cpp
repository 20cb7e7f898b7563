// sivo raw2wav: wraps a headerless recording (8000 Hz mono 16-bit
// little-endian samples) in a WAV header, so that it can be encoded.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "wav_file.h"

namespace sivo_cli {
namespace {

constexpr char kRaw2wavHelp[] =
    "Usage: sivo raw2wav IN.raw OUT.wav\n"
    "\n"
    "Wraps a headerless recording of 8000 Hz mono 16-bit little-endian\n"
    "samples in a WAV header. A trailing odd byte is dropped.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this help\n";

}  // namespace

int run_raw2wav(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      std::fputs(kRaw2wavHelp, stdout);
      return kExitOk;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      return usage_error("raw2wav", "unknown option '" + arg + "'");
    }
    files.push_back(arg);
  }
  if (files.size() != 2) return usage_error("raw2wav", "expected IN.raw and OUT.wav");
  if (same_file(files[0], files[1])) {
    return usage_error("raw2wav", "IN.raw and OUT.wav name the same file");
  }
  std::vector<uint8_t> raw;
  std::string error;
  if (!read_file(files[0], raw, error)) {
    print_error("raw2wav", error);
    return kExitFailure;
  }
  std::vector<int16_t> samples(raw.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
  }
  wav_writer writer;
  if (!wav_create(writer, files[1], kSampleRate, error) || !wav_append(writer, samples, error) ||
      !wav_finish(writer, error)) {
    print_error("raw2wav", error);
    wav_abandon(writer);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace sivo_cli
