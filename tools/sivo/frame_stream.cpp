#include "frame_stream.h"

#include <array>

#include "cli.h"
#include "sivocore.h"

namespace sivo_cli {

double loss_generator::next() noexcept {
  // splitmix64
  state += 0x9E3779B97F4A7C15ull;
  uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

stream_report decode_stream(std::span<const uint8_t> stream, const stream_options& options,
                            const sample_sink& sink) {
  stream_report report;
  sivo_decoder* decoder = nullptr;
  if (sivo_decoder_open(&decoder) != SIVO_OK) {
    report.stop = stream_stop::decoder_failure;
    return report;
  }
  sivo_decoder_set_filter_mode(decoder, options.postfilter ? 1 : 0);
  loss_generator loss{options.seed};
  std::array<int16_t, SIVO_FRAME_SAMPLES> samples{};

  size_t offset = 0;
  while (offset < stream.size()) {
    const uint8_t* frame = stream.data() + offset;
    int32_t type = 0;
    int32_t length = 0;
    if (sivo_decoder_get_frame_type(frame, &type, &length) != SIVO_OK) {
      report.stop = stream_stop::invalid_type;
      report.stop_offset = static_cast<long long>(offset);
      report.stop_type = frame[0] & 7;
      break;
    }
    const size_t left = stream.size() - offset;
    if (static_cast<size_t>(length) > left) {
      report.stop = stream_stop::truncated_frame;
      report.stop_offset = static_cast<long long>(offset);
      report.stop_type = type;
      report.stop_needed = length;
      report.stop_left = static_cast<long long>(left);
      break;
    }
    report.frames_of_type[type] += 1;
    report.bytes_of_type[type] += length;
    report.bytes_used += length;
    offset += static_cast<size_t>(length);
    if (type > 3) {
      report.reserved_frames += 1;
      continue;
    }
    // Every speech frame draws once, so a seed drops the same frames
    // whatever the percentage's effect on earlier frames.
    const bool drop = loss.next() * 100.0 < options.loss_percent;
    int32_t out_type = 0;
    int32_t out_length = 0;
    const int32_t status =
        sivo_decode_frame(decoder, frame, samples.data(),
                          drop ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL, &out_type, &out_length);
    if (status != SIVO_OK && status != SIVO_DAMAGED_FRAME) {
      report.stop = stream_stop::decoder_failure;
      report.stop_offset = static_cast<long long>(offset) - length;
      report.stop_type = type;
      break;
    }
    report.speech_frames += 1;
    if (drop) report.dropped_frames += 1;
    if (status == SIVO_DAMAGED_FRAME) report.damaged_frames += 1;
    if (!sink(samples)) break;
  }
  sivo_decoder_close(&decoder);
  return report;
}

std::string describe_stop(const stream_report& report) {
  const std::string at = " at byte offset " + std::to_string(report.stop_offset);
  switch (report.stop) {
    case stream_stop::none:
      return {};
    case stream_stop::invalid_type:
      return "invalid frame type " + std::to_string(report.stop_type) + at;
    case stream_stop::truncated_frame:
      return "truncated frame" + at + ": type " + std::to_string(report.stop_type) + " needs " +
             std::to_string(report.stop_needed) + " bytes, " + std::to_string(report.stop_left) +
             (report.stop_left == 1 ? " byte remains" : " bytes remain");
    case stream_stop::decoder_failure:
      return "the decoder failed" + at;
  }
  return {};
}

}  // namespace sivo_cli
