// Frame classification and the offsets of bad frames in a frame stream.
#include "frame_census.h"

#include "sivocore.h"

namespace sivo {

frame_info frame_at(std::span<const uint8_t> stream, size_t offset) noexcept {
  frame_info info;
  const uint8_t* first = stream.data() + offset;
  info.type = first[0] & 7;
  if (sivo_decoder_get_frame_type(first, &info.type, &info.bytes) != SIVO_OK) {
    info.check = frame_check::invalid_type;
    info.bytes = 0;
    return info;
  }
  if (static_cast<size_t>(info.bytes) > stream.size() - offset) info.check = frame_check::cut_short;
  return info;
}

std::string describe_frame_fault(const frame_info& info, size_t offset, size_t stream_size) {
  const std::string at = " at byte offset " + std::to_string(offset);
  if (info.check == frame_check::invalid_type) {
    return "invalid frame type " + std::to_string(info.type) + at;
  }
  const size_t left = stream_size - offset;
  return "truncated frame" + at + ": type " + std::to_string(info.type) + " needs " +
         std::to_string(info.bytes) + " bytes, " + std::to_string(left) +
         (left == 1 ? " byte remains" : " bytes remain");
}

stream_census census(std::span<const uint8_t> stream) noexcept {
  stream_census result;
  while (result.end < stream.size()) {
    const frame_info info = frame_at(stream, result.end);
    if (info.check != frame_check::whole) {
      result.fault = info;
      break;
    }
    if (info.type <= 3) {
      result.speech_frames += 1;
    } else {
      result.reserved_frames += 1;
    }
    result.end += static_cast<size_t>(info.bytes);
  }
  return result;
}

}  // namespace sivo
