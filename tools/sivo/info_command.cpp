// sivo info: describes a stream of compressed frames: frames per type and
// rate, duration, average bit rate and damaged frames.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "frame_stream.h"

using sivo::decode_stream;
using sivo::describe_stop;
using sivo::frame_reader;
using sivo::stream_options;
using sivo::stream_report;
using sivo::stream_stop;

namespace sivo_cli {
namespace {

constexpr char kInfoHelp[] =
    "Usage: sivo info IN\n"
    "\n"
    "IN '-' reads standard input.\n"
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

  std::string error;
  frame_reader reader;
  if (!sivo::reader_open(reader, input, error)) {
    print_error(error);
    return kExitFailure;
  }
  catch_interrupts();
  reader.cancelled = interrupt_check();
  stream_options options;
  options.postfilter = false;  // damage does not depend on the post-filter
  const stream_report report =
      decode_stream(reader, options, [](std::span<const int16_t>) { return true; });
  sivo::reader_close(reader);
  if (report.stop == stream_stop::cancelled) {
    print_error("interrupted");
    return kExitInterrupted;
  }
  if (report.stop == stream_stop::read_failure) {
    print_error("cannot read '" + input + "': " + describe_stop(report));
    return kExitFailure;
  }

  const double duration = report.speech_frames * static_cast<double>(kFrameSamples) / kSampleRate;
  std::printf("file:             %s\n", input.c_str());
  // From a pipe, the bytes read: up to the frame that stopped the walk.
  const long long left = static_cast<long long>(report.stop_step.length - report.stop_step.needed);
  const long long size = reader.size >= 0                              ? reader.size
                         : report.stop == stream_stop::truncated_frame ? reader.offset + left
                                                                       : reader.offset;
  std::printf("size:             %lld bytes\n", size);
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
    print_error("'" + input + "': " + describe_stop(report));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace sivo_cli
