// sivo compare: segmental SNR of a decoded WAV file against the original,
// allowing for the codec's 60-sample look-ahead.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "signal_measures.h"
#include "audio_input.h"

namespace sivo_cli {
namespace {

constexpr char kCompareHelp[] =
    "Usage: sivo compare [--delay N] REF TEST\n"
    "\n"
    "Measures TEST against REF, both read as 'sivo encode' reads its input\n"
    "(any format, mixed to mono, converted to 8000 Hz; '-' is standard input):\n"
    "the segmental SNR over 240-sample segments of REF, skipping segments more\n"
    "than 40 dB below the loudest one, each segment's SNR held to -10..35 dB,\n"
    "and the SNR over the whole overlap. TEST sample n + N is set against REF\n"
    "sample n, so REF may be the very file given to 'sivo encode'.\n"
    "\n"
    "Options:\n"
    "  --delay N   delay of TEST behind REF in samples (default 60, the\n"
    "              codec's look-ahead)\n"
    "  -h, --help  show this help\n";

}  // namespace

int run_compare(const std::vector<std::string>& args) {
  long long delay = kLookahead;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kCompareHelp, stdout);
      return kExitOk;
    }
    if (arg == "--delay" || arg.starts_with("--delay=")) {
      std::string value;
      if (arg == "--delay") {
        if (i + 1 == args.size()) return usage_error("compare", "option --delay needs a value");
        value = args[++i];
      } else {
        value = arg.substr(8);
      }
      const auto parsed = parse_integer(value, 0, 1 << 24);
      if (!parsed) return usage_error("compare", "invalid delay '" + value + "'");
      delay = *parsed;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage_error("compare", "unknown option '" + arg + "'");
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return usage_error("compare", "expected REF and TEST");

  if (files[0] == "-" && files[1] == "-") {
    return usage_error("compare", "only one of REF and TEST can be standard input");
  }
  catch_interrupts();
  const sivo::cancel_check cancelled = interrupt_check();
  sivo::audio_source sources[2];
  sources[0].cancelled = sources[1].cancelled = &cancelled;
  std::string error;
  for (int k = 0; k < 2; ++k) {
    if (!sivo::source_open(sources[k], files[k], nullptr, error)) {
      print_error(error);
      if (k == 1) sivo::source_close(sources[0]);
      return kExitFailure;
    }
  }
  // TEST's first `delay` samples come before REF's first.
  std::vector<int16_t> skipped(sivo::kSegment);
  long long to_skip = delay;
  bool ok = true;
  while (ok && to_skip > 0) {
    const long long got =
        sivo::source_read(sources[1], skipped.data(),
                          static_cast<size_t>(std::min<long long>(to_skip, sivo::kSegment)), error);
    ok = got > 0;
    to_skip -= std::max(got, 0ll);
  }
  sivo::snr_meter meter;
  int16_t reference[sivo::kSegment], test[sivo::kSegment];
  for (;;) {
    const long long a = ok ? sivo::source_read(sources[0], reference, sivo::kSegment, error) : 0;
    const long long b =
        a == sivo::kSegment ? sivo::source_read(sources[1], test, sivo::kSegment, error) : 0;
    if (a < 0 || b < 0) {
      ok = false;
      break;
    }
    if (b != sivo::kSegment) break;
    sivo::snr_add(meter, reference, test);
  }
  sivo::source_close(sources[0]);
  sivo::source_close(sources[1]);
  if (interrupted()) {
    print_error("interrupted");
    return kExitInterrupted;
  }
  if (!error.empty()) {
    print_error(error);
    return kExitFailure;
  }
  const sivo::snr_result result = sivo::snr_result_of(meter);
  if (result.segments == 0) {
    print_error("no segment of '" + files[0] + "' is loud enough to measure");
    return kExitFailure;
  }
  std::printf("segmental SNR: %.2f dB over %lld segments; overall SNR: %.2f dB\n",
              result.segmental_db, result.segments, result.overall_db);
  return kExitOk;
}

}  // namespace sivo_cli
