// Walking a stream of compressed frames a buffer at a time and decoding it.
#include "frame_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "buffer_codec.h"
#include "sivocore.h"
#include "system_files.h"

namespace sivo {
namespace {

constexpr size_t kReadBytes = 1 << 16;

// Makes at least `wanted` bytes available from `pos` (fewer only at the end
// of the stream or on a failure); returns how many are available.
size_t reader_fill(frame_reader& r, size_t wanted) {
  while (r.end - r.pos < wanted && r.fd >= 0 && !r.ended) {
    if (r.pos > 0) {
      std::memmove(r.buffer.data(), r.buffer.data() + r.pos, r.end - r.pos);
      r.end -= r.pos;
      r.pos = 0;
    }
    const ssize_t got = read(r.fd, r.buffer.data() + r.end, r.buffer.size() - r.end);
    if (got < 0) {
      if (errno == EINTR && !(r.cancelled && r.cancelled())) continue;
      r.error_number = errno;
      r.ended = true;
    } else if (got == 0) {
      r.ended = true;
    } else {
      r.end += static_cast<size_t>(got);
    }
    r.data = r.buffer.data();
  }
  return r.end - r.pos;
}

}  // namespace

bool reader_open(frame_reader& r, const std::string& path, std::string& error) {
  r = frame_reader{};
  r.fd = STDIN_FILENO;
  if (path != "-") {
    r.fd = open_for_reading(path);
    if (r.fd < 0) {
      error = "cannot read '" + path + "': " + std::strerror(errno);
      return false;
    }
    r.owns_fd = true;
  }
  struct stat st {};
  if (fstat(r.fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    error = "cannot read '" + path + "': " + std::strerror(EISDIR);
    reader_close(r);
    return false;
  }
  if (S_ISREG(st.st_mode)) r.size = static_cast<long long>(st.st_size);
  r.buffer.resize(kReadBytes);
  r.data = r.buffer.data();
  return true;
}

frame_reader memory_reader(std::span<const uint8_t> bytes) {
  frame_reader r;
  r.data = bytes.data();
  r.end = bytes.size();
  r.ended = true;
  r.size = static_cast<long long>(bytes.size());
  return r;
}

void reader_close(frame_reader& r) {
  if (r.owns_fd && r.fd >= 0) close(r.fd);
  r.fd = -1;
  r.owns_fd = false;
}

double loss_generator::next() noexcept {
  // splitmix64
  state += 0x9E3779B97F4A7C15ull;
  uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

stream_report decode_stream(frame_reader& reader, const stream_options& options,
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

  for (;;) {
    if (reader.cancelled && reader.cancelled()) {
      report.stop = stream_stop::cancelled;
      break;
    }
    if (reader_fill(reader, 1) == 0) {
      if (reader.error_number != 0) {
        report.stop = reader.cancelled && reader.cancelled() ? stream_stop::cancelled
                                                             : stream_stop::read_failure;
        report.stop_error = reader.error_number;
        report.stop_offset = reader.offset;
      }
      break;
    }
    sivo_walk_step step = sivo_walk_frame(reader.data + reader.pos, reader.end - reader.pos);
    if (step.status == SIVO_WALK_NEED_MORE) {
      const size_t left = reader_fill(reader, step.length);
      step = sivo_walk_frame(reader.data + reader.pos, left);
    }
    if (step.status != SIVO_WALK_FRAME) {
      report.stop = step.status == SIVO_WALK_INVALID ? stream_stop::invalid_type
                    : reader.error_number != 0       ? stream_stop::read_failure
                                                     : stream_stop::truncated_frame;
      report.stop_error = reader.error_number;
      report.stop_offset = reader.offset;
      report.stop_step = step;
      break;
    }
    const uint8_t* frame = reader.data + reader.pos;
    const int type = step.type;
    const auto length = static_cast<long long>(step.length);
    report.frames_of_type[type] += 1;
    report.bytes_of_type[type] += length;
    report.bytes_used += length;
    reader.pos += static_cast<size_t>(length);
    reader.offset += length;
    if (!sivo_walk_is_speech(type)) {
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
      report.stop_offset = reader.offset - length;
      report.stop_step = step;
      break;
    }
    report.speech_frames += 1;
    if (drop) report.dropped_frames += 1;
    if (status == SIVO_DAMAGED_FRAME) report.damaged_frames += 1;
    if (!sink(samples)) {
      report.stop = stream_stop::sink_stopped;
      break;
    }
  }
  sivo_decoder_close(&decoder);
  return report;
}

std::string describe_stop(const stream_report& report) {
  const std::string at = " at byte offset " + std::to_string(report.stop_offset);
  switch (report.stop) {
    case stream_stop::none:
    case stream_stop::cancelled:
    case stream_stop::sink_stopped:
      return {};
    case stream_stop::invalid_type:
    case stream_stop::truncated_frame:
      return walk_error_text(report.stop_step, static_cast<uint64_t>(report.stop_offset));
    case stream_stop::decoder_failure:
      return "the decoder failed" + at;
    case stream_stop::read_failure:
      return std::string(std::strerror(report.stop_error)) + at;
  }
  return {};
}

}  // namespace sivo
