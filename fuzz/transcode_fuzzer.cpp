// Runs arbitrary bytes through the sivo program's readers: the frame reader
// behind `decode` and `info`, and the audio reader behind `encode` (any
// format libsndfile reads, or raw PCM), each from a regular file and from a
// pipe. Byte 0 picks the reader: bit 0 frames or audio, bit 1 raw PCM, bits
// 2-7 the raw layout (rate, channels, bits, byte order).
//
// Checked: a stream reads the same from memory, from a file and from a pipe
// (frames: the same report; audio: the same samples whenever both routes
// open it); the frame walk accounts for every byte it consumed; the audio
// reader hands out no more than the input's samples after conversion.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "audio_input.h"
#include "frame_stream.h"
#include "fuzz_check.h"

namespace {

// Enough output to cover every seed; stops slow pathological rates early.
constexpr long long kMaxSamples = 1 << 20;
constexpr size_t kPipeBytes = 60000;

// A descriptor holding the bytes: a memory file, or the read end of a pipe
// already holding them with its write end closed. -1 when not possible.
int descriptor_of(std::span<const uint8_t> bytes, bool pipe_route) {
  if (pipe_route) {
    int ends[2];
    if (bytes.size() > kPipeBytes || pipe(ends) != 0) return -1;
    const bool written =
        bytes.empty() || write(ends[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(ends[1]);
    if (!written) {
      close(ends[0]);
      return -1;
    }
    return ends[0];
  }
  const int fd = memfd_create("sivo_fuzz", MFD_CLOEXEC);
  if (fd < 0) return -1;
  if (!bytes.empty() &&
      write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    close(fd);
    return -1;
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

std::string path_of(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

sivo::stream_report walk(sivo::frame_reader& reader, uint8_t control) {
  sivo::stream_options options;
  options.postfilter = (control & 4) != 0;
  options.loss_percent = (control >> 3) * 4.0;
  return sivo::decode_stream(reader, options, [](std::span<const int16_t>) { return true; });
}

void check_frames(std::span<const uint8_t> bytes, uint8_t control) {
  sivo::frame_reader memory = sivo::memory_reader(bytes);
  const sivo::stream_report expected = walk(memory, control);
  FUZZ_CHECK(expected.bytes_used <= static_cast<long long>(bytes.size()), "bytes accounted for");
  if (expected.stop == sivo::stream_stop::none) {
    FUZZ_CHECK(expected.bytes_used == static_cast<long long>(bytes.size()), "whole stream walked");
  }
  for (bool pipe_route : {false, true}) {
    const int fd = descriptor_of(bytes, pipe_route);
    if (fd < 0) continue;
    sivo::frame_reader reader;
    std::string error;
    FUZZ_CHECK(sivo::reader_open(reader, path_of(fd), error), "descriptor opens");
    const sivo::stream_report got = walk(reader, control);
    sivo::reader_close(reader);
    close(fd);
    FUZZ_CHECK(got.stop == expected.stop && got.stop_offset == expected.stop_offset &&
                   got.speech_frames == expected.speech_frames &&
                   got.bytes_used == expected.bytes_used &&
                   got.damaged_frames == expected.damaged_frames,
               "a file and a pipe read like memory");
  }
}

// Reads all samples through one route; false when the input does not open.
bool read_audio(std::span<const uint8_t> bytes, const sivo::raw_layout* raw, bool pipe_route,
                std::vector<int16_t>& out) {
  const int fd = descriptor_of(bytes, pipe_route);
  if (fd < 0) return false;
  sivo::audio_source source;
  std::string error;
  const bool opened = sivo::source_open(source, path_of(fd), raw, error);
  close(fd);
  if (!opened) {
    FUZZ_CHECK(!error.empty(), "a refusal says why");
    return false;
  }
  int16_t block[997];
  long long got = 0;
  while ((got = sivo::source_read(source, block, std::size(block), error)) > 0) {
    out.insert(out.end(), block, block + got);
    if (static_cast<long long>(out.size()) > kMaxSamples) break;
  }
  const long long rate = source.info.samplerate;
  const long long allowed = source.delay + (source.frames_read * 8000 + rate - 1) / rate;
  FUZZ_CHECK(static_cast<long long>(out.size()) <= allowed, "no samples beyond the input");
  sivo::source_close(source);
  return got >= 0 && static_cast<long long>(out.size()) <= kMaxSamples;
}

void check_audio(std::span<const uint8_t> bytes, uint8_t control) {
  static constexpr int kRates[4] = {8000, 11025, 44100, 96000};
  static constexpr int kBits[4] = {8, 16, 24, 32};
  sivo::raw_layout layout;
  layout.rate = kRates[(control >> 2) & 3];
  layout.channels = 1 + ((control >> 4) & 3);
  layout.bits = kBits[(control >> 6) & 3];
  layout.big_endian = (control & 0x10) != 0;
  const sivo::raw_layout* raw = (control & 2) != 0 ? &layout : nullptr;
  // libvorbis leaks on some damaged Ogg streams, inside libsndfile's calls:
  // not ours to find here.
  if (raw == nullptr && bytes.size() >= 4 && std::memcmp(bytes.data(), "OggS", 4) == 0) return;
  std::vector<int16_t> from_file, from_pipe;
  const bool file_ok = read_audio(bytes, raw, false, from_file);
  const bool pipe_ok = read_audio(bytes, raw, true, from_pipe);
  if (file_ok && pipe_ok) FUZZ_CHECK(from_file == from_pipe, "a pipe reads like a file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t control = data[0];
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  if ((control & 1) == 0) {
    check_frames(bytes, control);
  } else {
    check_audio(bytes, control);
  }
  return 0;
}
