// Any audio libsndfile reads, or headerless PCM, brought to 8000 Hz mono the
// way the WAV job does it: the job's block layout and converter settings,
// stereo mixed by the converter (or, at 8000 Hz, by rounding half the sum).
#include "audio_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "ratelib.h"
#include "system_files.h"
#include "wavenc/block_layout.h"

namespace sivo {
namespace {

constexpr int32_t kOutputRate = 8000;
constexpr int32_t kFrameSamples = 240;
constexpr int32_t kConverterQuality = RATE_CONVERSION_HIGH;  // as the WAV job
constexpr int kMaxRate = 768000;
constexpr int kMaxChannels = 1024;

constexpr char kSupported[] =
    "supported: WAV (PCM 8/16/24/32-bit, float, WAVE_FORMAT_EXTENSIBLE), FLAC, "
    "Ogg/Vorbis, AIFF, CAF, AU and other formats libsndfile reads, or headerless "
    "PCM with --raw";

std::string read_failure(const std::string& path, const std::string& reason) {
  return "cannot read '" + path + "': " + reason;
}

std::string format_name(int format, int field) {
  SF_FORMAT_INFO info{};
  info.format = format & field;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) return "?";
  return info.name;
}

std::string describe(const SF_INFO& info, bool raw) {
  std::string text = raw ? "headerless PCM" : format_name(info.format, SF_FORMAT_TYPEMASK);
  text += ", " + format_name(info.format, SF_FORMAT_SUBMASK);
  text += ", " + std::to_string(info.samplerate) + " Hz, " + std::to_string(info.channels) +
          (info.channels == 1 ? " channel" : " channels");
  return text;
}

int raw_subtype(const raw_layout& raw) {
  switch (raw.bits) {
    case 8: return SF_FORMAT_PCM_U8;
    case 16: return SF_FORMAT_PCM_16;
    case 24: return SF_FORMAT_PCM_24;
    case 32: return SF_FORMAT_PCM_32;
    default: return 0;
  }
}

constexpr size_t kHeadBytes = 1 << 20;
constexpr size_t kMixChunk = 1024;  // frames read at once when mixing many channels

bool stream_cancelled(const stream_input& in) {
  return in.cancelled != nullptr && *in.cancelled && (*in.cancelled)();
}

// Takes up to `count` bytes from the descriptor, keeping them in `head`
// while it is being kept. Returns the count, 0 at the end or on a failure.
size_t take_bytes(stream_input& in, uint8_t* to, size_t count) {
  for (;;) {
    if (stream_cancelled(in)) return 0;
    const ssize_t got = read(in.fd, to, count);
    if (got >= 0) {
      if (static_cast<size_t>(in.consumed) == in.head.size() && in.head.size() < kHeadBytes) {
        in.head.insert(in.head.end(), to, to + got);
      }
      in.consumed += got;
      return static_cast<size_t>(got);
    }
    if (errno == EINTR) continue;
    in.error_number = errno;
    return 0;
  }
}

sf_count_t stream_length(void*) { return SF_COUNT_MAX; }

sf_count_t stream_tell(void* user) { return static_cast<stream_input*>(user)->position; }

sf_count_t stream_seek(sf_count_t offset, int whence, void* user) {
  auto* in = static_cast<stream_input*>(user);
  long long target = offset;
  if (whence == SEEK_CUR) target += in->position;
  if (whence == SEEK_END || target < 0) return -1;
  // Backwards only within the kept head.
  if (target < in->consumed && static_cast<size_t>(in->consumed) > in->head.size()) return -1;
  in->position = target;
  return target;
}

sf_count_t stream_read(void* ptr, sf_count_t count, void* user) {
  auto* in = static_cast<stream_input*>(user);
  auto* to = static_cast<uint8_t*>(ptr);
  sf_count_t done = 0;
  uint8_t skip[4096];
  while (done < count) {
    if (in->position < in->consumed) {
      const auto from = static_cast<size_t>(in->position);
      const size_t n = std::min(static_cast<size_t>(count - done), in->head.size() - from);
      std::memcpy(to + done, in->head.data() + from, n);
      done += static_cast<sf_count_t>(n);
      in->position += static_cast<long long>(n);
      continue;
    }
    size_t got = 0;
    if (in->position > in->consumed) {  // a forward seek: read past the gap
      got = take_bytes(*in, skip,
                       static_cast<size_t>(std::min<long long>(sizeof skip,
                                                               in->position - in->consumed)));
    } else {
      got = take_bytes(*in, to + done, static_cast<size_t>(count - done));
      done += static_cast<sf_count_t>(got);
      in->position += static_cast<long long>(got);
    }
    if (got == 0) break;
  }
  return done;
}

sf_count_t stream_write(const void*, sf_count_t, void*) { return 0; }

uint32_t read_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Where the size of a WAV file's data chunk is written, when that size says
// 0 while bytes follow the chunk's header: what a writer leaves that could
// not go back to fill in the sizes (one streaming to a pipe). -1 for any
// other file. `read_at(offset, to, count)` reads header bytes; the walk goes
// no further than `limit` bytes.
template <typename Reader>
long long empty_data_size_at(Reader read_at, size_t limit) {
  uint8_t header[12];
  if (!read_at(0, header, 12) || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0) {
    return -1;
  }
  uint64_t pos = 12;
  uint8_t chunk[9];
  while (pos + 8 <= limit && read_at(pos, chunk, 8)) {
    const uint32_t size = read_le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      return size == 0 && read_at(pos + 8, chunk + 8, 1) ? static_cast<long long>(pos + 4) : -1;
    }
    pos += 8 + uint64_t{size} + (size & 1u);
  }
  return -1;
}

// Gives a WAV stream whose data chunk says it is empty the size of a stream
// of unknown length (0xFFFFFFFF), so that libsndfile reads its samples to
// the end instead of none: the header is read into the kept head and the
// size is changed there. Returns true when it changed it.
bool open_data_chunk(stream_input& in) {
  uint8_t scratch[4096];
  const auto read_at = [&](uint64_t at, uint8_t* to, size_t count) {
    while (in.head.size() < at + count) {
      if (static_cast<size_t>(in.consumed) != in.head.size() || in.head.size() >= kHeadBytes) {
        return false;
      }
      const size_t want = std::min<uint64_t>(sizeof scratch, at + count - in.head.size());
      if (take_bytes(in, scratch, want) == 0) return false;
    }
    std::memcpy(to, in.head.data() + at, count);
    return true;
  };
  const long long field = empty_data_size_at(read_at, kHeadBytes);
  if (field < 0) return false;
  std::memset(in.head.data() + field, 0xff, 4);
  return true;
}

// The same question asked of a regular file without moving its position.
bool has_empty_data_chunk(int fd, long long size) {
  const auto read_at = [&](uint64_t at, uint8_t* to, size_t count) {
    return at + count <= static_cast<uint64_t>(size) &&
           pread(fd, to, count, static_cast<off_t>(at)) == static_cast<ssize_t>(count);
  };
  return empty_data_size_at(read_at, static_cast<size_t>(std::min<long long>(size, 1ll << 40))) >= 0;
}

// Mixes interleaved frames of any channel count to mono, rounding the mean to
// nearest. Two channels round half the sum up, as the WAV job does.
void mix_down(const int16_t* frames, int channels, size_t count, int16_t* mono) {
  for (size_t i = 0; i < count; ++i) {
    int64_t sum = 0;
    for (int c = 0; c < channels; ++c) sum += frames[i * static_cast<size_t>(channels) + c];
    if (channels == 2) {
      mono[i] = static_cast<int16_t>((sum + 1) >> 1);
    } else {
      const int64_t half = channels / 2;
      mono[i] = static_cast<int16_t>(sum >= 0 ? (sum + half) / channels : -((-sum + half) / channels));
    }
  }
}

// Reads one block into `interleaved`, padding a short block with silence.
// Returns the frames read, or -1 on a read failure.
long long read_block(audio_source& s, std::string& error) {
  const auto channels = static_cast<size_t>(s.info.channels);
  // More than two channels are mixed to mono a chunk at a time, so that the
  // interleaved buffer stays small whatever the channel count.
  const bool mixing = channels > 2;
  std::vector<int16_t>& target = mixing ? s.mono : s.interleaved;
  const size_t width = mixing ? 1 : channels;
  sf_count_t got = 0;
  while (got < s.block_in) {
    sf_count_t want = s.block_in - got;
    int16_t* to = s.interleaved.data();
    if (mixing) {
      want = std::min<sf_count_t>(want, static_cast<sf_count_t>(kMixChunk));
    } else {
      to += static_cast<size_t>(got) * channels;
    }
    const sf_count_t n = sf_readf_short(s.file, to, want);
    if (n <= 0) break;
    if (mixing) {
      mix_down(to, s.info.channels, static_cast<size_t>(n), s.mono.data() + got);
    }
    got += n;
  }
  if (got < s.block_in) {
    if (s.stream.error_number != 0 && !stream_cancelled(s.stream)) {
      error = read_failure(s.path, std::strerror(s.stream.error_number));
      return -1;
    }
    if (sf_error(s.file) != SF_ERR_NO_ERROR) {
      error = read_failure(s.path, sf_strerror(s.file));
      return -1;
    }
    std::fill(target.begin() + static_cast<long>(static_cast<size_t>(got) * width), target.end(),
              int16_t{0});
  }
  return got;
}

// Converts the next block into `converted`. Returns false on failure.
bool next_block(audio_source& s, std::string& error) {
  const int channels = s.info.channels;
  const bool mixing = channels > 2;
  if (!s.input_ended) {
    const long long got = read_block(s, error);
    if (got < 0) return false;
    s.frames_read += got;
    if (got < s.block_in) s.input_ended = true;
  } else {
    std::vector<int16_t>& target = mixing ? s.mono : s.interleaved;
    std::fill(target.begin(), target.end(), int16_t{0});
  }
  const int16_t* block = mixing ? s.mono.data() : s.interleaved.data();
  if (s.converter == nullptr) {
    if (channels == 2) {
      mix_down(block, channels, static_cast<size_t>(s.block_in), s.converted.data());
    } else {
      std::copy_n(block, s.block_in, s.converted.data());
    }
    s.converted_pos = 0;
    s.converted_end = static_cast<size_t>(s.block_out);
    return true;
  }
  if (!ratelib::stream_feed(s.converter, block, static_cast<size_t>(s.block_in))) {
    error = "converting '" + s.path + "' to 8000 Hz failed";
    return false;
  }
  // However many samples the resampler released (none, at times).
  const size_t ready = ratelib::stream_available(s.converter);
  if (s.converted.size() < ready) s.converted.resize(ready);
  s.converted_pos = 0;
  s.converted_end = ratelib::stream_take(s.converter, s.converted.data(), ready);
  return true;
}

// The 8000 Hz samples the input amounts to: the converter's leading samples
// and every input sample, rounded up.
long long wanted_samples(const audio_source& s) {
  const long long rate = s.info.samplerate;
  return s.delay + (s.frames_read * kOutputRate + rate - 1) / rate;
}

}  // namespace

bool block_layout_for(int rate, int32_t& block_in, int32_t& block_out) {
  if (rate <= 0 || rate > kMaxRate) return false;
  const block_layout job = select_block_layout(rate);
  if (job.block_length > 0) {
    block_in = job.block_length;
    block_out = kFrameSamples * job.frames_per_block;
    return true;
  }
  // Any other rate: the shortest block that converts to whole samples,
  // repeated to about a frame's worth.
  const int g = std::gcd(rate, kOutputRate);
  const int32_t unit_in = rate / g;
  const int32_t unit_out = kOutputRate / g;
  const int32_t repeat = std::max(1, kFrameSamples / unit_out);
  block_in = unit_in * repeat;
  block_out = unit_out * repeat;
  return true;
}

bool source_open(audio_source& s, const std::string& path, const raw_layout* raw,
                 std::string& error) {
  s.path = path;
  int fd = STDIN_FILENO;
  if (path != "-") {
    fd = open_for_reading(path);
    if (fd < 0) {
      error = read_failure(path, std::strerror(errno));
      return false;
    }
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    error = read_failure(path, std::strerror(S_ISDIR(st.st_mode) ? EISDIR : errno));
    if (fd != STDIN_FILENO) close(fd);
    return false;
  }
  if (S_ISREG(st.st_mode)) s.size = static_cast<long long>(st.st_size);
  s.info = SF_INFO{};
  if (raw != nullptr) {
    const int subtype = raw_subtype(*raw);
    if (subtype == 0 || raw->rate <= 0 || raw->rate > kMaxRate || raw->channels < 1 ||
        raw->channels > kMaxChannels) {
      error = "invalid raw layout for '" + path + "'";
      if (fd != STDIN_FILENO) close(fd);
      return false;
    }
    s.info.samplerate = raw->rate;
    s.info.channels = raw->channels;
    s.info.format = SF_FORMAT_RAW | subtype |
                    (raw->bits == 8 ? 0 : raw->big_endian ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
  }
  // A WAV file whose header says its data is empty, while samples follow,
  // is read as a stream to its end (the header is changed on the way in).
  const bool open_ended = raw == nullptr && S_ISREG(st.st_mode) && has_empty_data_chunk(fd, s.size);
  if (S_ISREG(st.st_mode) && !open_ended) {
    // The descriptor stays ours to close (on Windows libsndfile would close
    // the handle under the C library's descriptor).
    s.file = sf_open_fd(fd, SFM_READ, &s.info, SF_FALSE);
    s.stream.fd = fd;
    s.owns_fd = fd != STDIN_FILENO;
  } else {
    // Pipes are read through our own calls, so that an interrupt is seen
    // even while waiting for data.
    s.stream.fd = fd;
    s.stream.cancelled = s.cancelled;
    s.owns_fd = fd != STDIN_FILENO;
    if (raw == nullptr) s.length_unknown = open_data_chunk(s.stream);
    SF_VIRTUAL_IO io{stream_length, stream_seek, stream_read, stream_write, stream_tell};
    s.file = sf_open_virtual(&io, SFM_READ, &s.info, &s.stream);
  }
  if (s.file == nullptr) {
    const std::string reason = sf_strerror(nullptr);
    if (fd != STDIN_FILENO) close(fd);
    s.owns_fd = false;
    if (raw != nullptr) {
      error = read_failure(path, reason);
    } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
      error = "'" + path + "' is not an audio stream sivo can read (" + reason + "); " +
              kSupported + "; a file that must be read out of order has to be given by name";
    } else {
      error = "'" + path + "' is not an audio file sivo can read (" + reason + "); " + kSupported;
    }
    return false;
  }
  if (s.info.channels < 1 || s.info.channels > kMaxChannels || s.info.samplerate <= 0 ||
      s.info.samplerate > kMaxRate) {
    error = "'" + path + "' has an unsupported layout: " + describe(s.info, raw != nullptr) +
            " (1 to 1024 channels, 1 to 768000 Hz)";
    sf_close(s.file);
    s.file = nullptr;
    return false;
  }
  s.description = describe(s.info, raw != nullptr);
  if (s.length_unknown) s.description += "; its header gives no length: read to the end";
  // Float samples beyond full scale are clipped rather than wrapped.
  sf_command(s.file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  const int rate = s.info.samplerate;
  block_layout_for(rate, s.block_in, s.block_out);
  const auto channels = static_cast<size_t>(s.info.channels);
  s.interleaved.assign(channels > 2 ? kMixChunk * channels : static_cast<size_t>(s.block_in) * channels,
                       0);
  if (channels > 2) s.mono.assign(static_cast<size_t>(s.block_in), 0);
  s.converted.assign(static_cast<size_t>(std::max(s.block_in, s.block_out)), 0);
  if (rate != kOutputRate) {
    const int32_t converter_channels = s.info.channels <= 2 ? s.info.channels : 1;
    // The lead the WAV job's converter starts with, so that the samples are
    // the job's.
    bool measured = false;
    s.delay = ratelib::measure_lag(s.block_in, rate, kOutputRate, kConverterQuality, s.block_out,
                                   ratelib::kLeadProbeBlocks, measured);
    if (measured) {
      s.converter = ratelib::stream_open(rate, kOutputRate, converter_channels, kConverterQuality,
                                         static_cast<size_t>(s.delay));
    }
    if (s.converter == nullptr) {
      error = "cannot convert '" + path + "' from " + std::to_string(rate) + " Hz to 8000 Hz";
      source_close(s);
      return false;
    }
  }
  return true;
}

long long source_read(audio_source& s, int16_t* out, size_t count, std::string& error) {
  size_t done = 0;
  while (done < count) {
    if (s.converted_pos == s.converted_end) {
      if (s.input_ended && s.samples_out >= wanted_samples(s)) break;
      if (s.cancelled != nullptr && *s.cancelled && (*s.cancelled)()) break;
      if (!next_block(s, error)) return -1;
      continue;
    }
    long long take = static_cast<long long>(std::min(count - done, s.converted_end - s.converted_pos));
    // Once the input has ended, only its own samples and the converter's
    // delay are handed out, not the rest of the converter's tail.
    if (s.input_ended) take = std::min(take, wanted_samples(s) - s.samples_out);
    if (take <= 0) break;
    std::copy_n(s.converted.data() + s.converted_pos, take, out + done);
    s.converted_pos += static_cast<size_t>(take);
    s.samples_out += take;
    done += static_cast<size_t>(take);
  }
  return static_cast<long long>(done);
}

long long source_position(const audio_source& s) {
  if (s.size < 0 || s.info.frames <= 0) return -1;
  return static_cast<long long>(static_cast<double>(s.size) * static_cast<double>(s.frames_read) /
                                static_cast<double>(s.info.frames));
}

void source_close(audio_source& s) {
  ratelib::stream_close(s.converter);
  s.converter = nullptr;
  if (s.file != nullptr) sf_close(s.file);
  s.file = nullptr;
  if (s.owns_fd) close(s.stream.fd);
  s.owns_fd = false;
}

}  // namespace sivo
