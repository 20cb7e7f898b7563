// sivo info: describes a stream of compressed frames: frames per type and
// rate, duration, average bit rate and damaged frames.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "frame_stream.h"

namespace sivo_cli {
namespace {

constexpr char kInfoHelp[] =
    "Usage: sivo info IN\n"
    "\n"
    "Describes a stream of compressed frames: the frames of each type and\n"
    "rate, the duration, the average bit rate and the frames the decoder\n"
    "finds damaged (it decodes the whole stream to find them). Exits with 1\n"
    "when the stream holds an invalid frame type or ends inside a frame.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this help\n";

}  // namespace

int run_info(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      std::fputs(kInfoHelp, stdout);
      return kExitOk;
    }
    if (arg.size() > 1 && arg[0] == '-') return usage_error("info", "unknown option '" + arg + "'");
    files.push_back(arg);
  }
  if (files.size() != 1) return usage_error("info", "expected one file");
  const std::string& input = files[0];

  std::vector<uint8_t> stream;
  std::string error;
  if (!read_file(input, stream, error)) {
    print_error("info", error);
    return kExitFailure;
  }
  stream_options options;
  options.postfilter = false;  // damage does not depend on the post-filter
  const stream_report report =
      decode_stream(stream, options, [](std::span<const int16_t>) { return true; });

  const double duration = report.speech_frames * static_cast<double>(kFrameSamples) / kSampleRate;
  std::printf("file:             %s\n", input.c_str());
  std::printf("size:             %zu bytes\n", stream.size());
  std::printf("speech frames:    %lld\n", report.speech_frames);
  for (int rate = 0; rate < 4; ++rate) {
    std::printf("  rate %d (%2d bytes, %7.1f bit/s): %lld\n", rate, kRateBytes[rate],
                rate_bits_per_second(rate), report.frames_of_type[rate]);
  }
  std::printf("reserved frames:  %lld (type 6: %lld, type 7: %lld), skipped\n",
              report.reserved_frames, report.frames_of_type[6], report.frames_of_type[7]);
  std::printf("duration:         %.2f s\n", duration);
  if (duration > 0) {
    std::printf("average bit rate: %.1f bit/s\n", report.bytes_used * 8.0 / duration);
  } else {
    std::printf("average bit rate: -\n");
  }
  std::printf("damaged frames:   %lld\n", report.damaged_frames);
  if (report.stop != stream_stop::none) {
    std::printf("stopped:          %s\n", describe_stop(report).c_str());
    print_error("info", input + ": " + describe_stop(report));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace sivo_cli
