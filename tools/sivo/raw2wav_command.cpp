// sivo raw2wav: wraps a headerless recording (8000 Hz mono 16-bit
// little-endian samples) in a WAV header, so that other programs can play it.
#include <cstdio>
#include <string>
#include <vector>

#include "audio_input.h"
#include "audio_output.h"
#include "cli.h"
#include "system_files.h"

namespace sivo_cli {
namespace {

constexpr char kRaw2wavHelp[] =
    "Usage: sivo raw2wav IN.raw OUT.wav\n"
    "\n"
    "Wraps a headerless recording of 8000 Hz mono 16-bit little-endian\n"
    "samples in a WAV header. A trailing odd byte is dropped. '-' is standard\n"
    "input or output.\n"
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
  if (sivo::same_file(files[0], files[1])) {
    return usage_error("raw2wav", "IN.raw and OUT.wav name the same file");
  }
  catch_interrupts();
  const sivo::cancel_check cancelled = interrupt_check();
  const sivo::raw_layout layout{};  // 8000 Hz mono 16-bit little-endian
  sivo::audio_source source;
  sivo::audio_sink sink;
  std::string error;
  source.cancelled = &cancelled;
  if (!sivo::source_open(source, files[0], &layout, error)) {
    print_error(error);
    return kExitFailure;
  }
  if (!sivo::sink_open(sink, files[1], sivo::audio_format::wav, kSampleRate, error)) {
    sivo::source_close(source);
    print_error(error);
    return kExitFailure;
  }
  int16_t samples[4096];
  long long got = 0;
  bool ok = true;
  while ((got = sivo::source_read(source, samples, std::size(samples), error)) > 0) {
    if (!sivo::sink_write(sink, {samples, static_cast<size_t>(got)}, error)) {
      ok = false;
      break;
    }
  }
  sivo::source_close(source);
  if (got < 0 || !ok || interrupted()) {
    const bool gone = sink.out.reader_gone;
    sivo::sink_abort(sink);
    if (interrupted()) {
      print_error("interrupted");
      return kExitInterrupted;
    }
    if (gone) return kExitOk;
    print_error(error);
    return kExitFailure;
  }
  if (!sivo::sink_finish(sink, error)) {
    if (sink.out.reader_gone) return kExitOk;
    print_error(error);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace sivo_cli
