// Decoded audio out: WAV and raw written here, FLAC, Ogg/Vorbis and AIFF
// through libsndfile, any rate through ratelib.
#include "audio_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ratelib.h"

namespace sivo {
namespace {

constexpr int32_t kInputRate = 8000;
constexpr int32_t kBlockSamples = 240;
constexpr size_t kConvertedChunk = 4096;  // samples taken from the converter at once
constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;
constexpr size_t kWavHeaderBytes = 44;

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

void put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}

std::vector<uint8_t> header_with_sizes(uint32_t rate, uint32_t riff_size, uint32_t data_size) {
  std::vector<uint8_t> h(kWavHeaderBytes, 0);
  std::memcpy(&h[0], "RIFF", 4);
  put32(h, 4, riff_size);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  put32(h, 16, 16);
  put16(h, 20, 1);  // PCM
  put16(h, 22, 1);  // mono
  put32(h, 24, rate);
  put32(h, 28, rate * 2);
  put16(h, 32, 2);
  put16(h, 34, 16);
  std::memcpy(&h[36], "data", 4);
  put32(h, 40, data_size);
  return h;
}

// libsndfile writes through the output file, so that temporary files and
// straight-through outputs behave as for WAV and raw.
sf_count_t vio_length(void* user) {
  auto* sink = static_cast<audio_sink*>(user);
  struct stat s {};
  return fstat(sink->out.fd, &s) == 0 ? static_cast<sf_count_t>(s.st_size) : 0;
}

sf_count_t vio_seek(sf_count_t offset, int whence, void* user) {
  auto* sink = static_cast<audio_sink*>(user);
  return static_cast<sf_count_t>(lseek(sink->out.fd, static_cast<off_t>(offset), whence));
}

sf_count_t vio_read(void* ptr, sf_count_t count, void* user) {
  auto* sink = static_cast<audio_sink*>(user);
  const ssize_t got = read(sink->out.fd, ptr, static_cast<size_t>(count));
  return got < 0 ? 0 : static_cast<sf_count_t>(got);
}

sf_count_t vio_write(const void* ptr, sf_count_t count, void* user) {
  auto* sink = static_cast<audio_sink*>(user);
  std::string error;
  if (!output_write(sink->out, ptr, static_cast<size_t>(count), error)) {
    if (sink->error.empty()) sink->error = error;
    return 0;
  }
  return count;
}

sf_count_t vio_tell(void* user) {
  auto* sink = static_cast<audio_sink*>(user);
  return static_cast<sf_count_t>(lseek(sink->out.fd, 0, SEEK_CUR));
}

int sndfile_format(audio_format format) {
  switch (format) {
    case audio_format::flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case audio_format::ogg: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case audio_format::aiff: return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    default: return 0;
  }
}

const char* format_label(audio_format format) {
  switch (format) {
    case audio_format::flac: return "FLAC";
    case audio_format::aiff: return "AIFF";
    case audio_format::ogg: return "Ogg/Vorbis";
    default: return "WAV";
  }
}

// Writes output-rate samples in the container's form.
bool put_samples(audio_sink& sink, const int16_t* samples, size_t count, std::string& error) {
  if (count == 0) return true;
  if (sink.file != nullptr) {
    if (sf_write_short(sink.file, samples, static_cast<sf_count_t>(count)) !=
        static_cast<sf_count_t>(count)) {
      error = !sink.error.empty() ? sink.error
                                  : write_failure(sink.out.path, EIO) + " (" +
                                        sf_strerror(sink.file) + ")";
      return false;
    }
  } else {
    sink.bytes.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
      const auto v = static_cast<uint16_t>(samples[i]);
      sink.bytes[2 * i] = static_cast<uint8_t>(v);
      sink.bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    if (!output_write(sink.out, sink.bytes.data(), sink.bytes.size(), error)) return false;
  }
  sink.samples_out += static_cast<long long>(count);
  return true;
}

// Writes the samples the converter has released, at most `limit` output
// samples in all (the rest, past the end of the signal, is dropped).
bool drain_converter(audio_sink& sink, long long limit, std::string& error) {
  for (;;) {
    const size_t got =
        ratelib::stream_take(sink.converter, sink.converted.data(), sink.converted.size());
    if (got == 0) return true;
    const long long count = std::min(static_cast<long long>(got), limit - sink.samples_out);
    if (count > 0 && !put_samples(sink, sink.converted.data(), static_cast<size_t>(count), error)) {
      return false;
    }
  }
}

bool feed_converter(audio_sink& sink, std::span<const int16_t> samples, std::string& error) {
  if (!ratelib::stream_feed(sink.converter, samples.data(), samples.size())) {
    error = "converting to " + std::to_string(sink.rate) + " Hz failed";
    return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> wav_header(uint32_t rate, uint64_t samples) {
  const uint64_t data = samples * 2;
  if (data + kWavHeaderBytes - 8 > kUnknownSize) return wav_stream_header(rate);
  return header_with_sizes(rate, static_cast<uint32_t>(data + kWavHeaderBytes - 8),
                           static_cast<uint32_t>(data));
}

std::vector<uint8_t> wav_stream_header(uint32_t rate) {
  return header_with_sizes(rate, kUnknownSize, kUnknownSize);
}

bool sink_open(audio_sink& sink, const std::string& path, audio_format format, int rate,
               std::string& error) {
  sink.format = format;
  sink.rate = rate;
  if (rate != kInputRate) {
    sink.converter = ratelib::stream_open(kInputRate, rate, 1, RATE_CONVERSION_HIGH);
    if (sink.converter == nullptr) {
      error = "cannot convert 8000 Hz to " + std::to_string(rate) + " Hz";
      return false;
    }
    sink.converted.resize(kConvertedChunk);
  }
  if (!output_open(sink.out, path, error)) {
    sink_abort(sink);
    return false;
  }
  if (format == audio_format::wav) {
    sink.wav_header_patchable = sink.out.regular && lseek(sink.out.fd, 0, SEEK_CUR) == 0;
    const auto header = wav_stream_header(static_cast<uint32_t>(rate));
    if (!output_write(sink.out, header.data(), header.size(), error)) {
      sink_abort(sink);
      return false;
    }
  } else if (format != audio_format::raw) {
    if (!sink.out.regular && format != audio_format::ogg) {
      error = "cannot write '" + path + "': " + format_label(format) +
              " needs a seekable file; write WAV, raw or Ogg to a pipe or device";
      sink_abort(sink);
      return false;
    }
    SF_VIRTUAL_IO io{vio_length, vio_seek, vio_read, vio_write, vio_tell};
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = sndfile_format(format);
    sink.file = sf_open_virtual(&io, SFM_WRITE, &info, &sink);
    if (sink.file == nullptr) {
      error = !sink.error.empty() ? sink.error
                                  : "cannot write '" + path + "' as " + format_label(format) +
                                        ": " + sf_strerror(nullptr);
      sink_abort(sink);
      return false;
    }
  }
  return true;
}

bool sink_write(audio_sink& sink, std::span<const int16_t> samples, std::string& error) {
  sink.samples_in += static_cast<long long>(samples.size());
  if (sink.converter == nullptr) return put_samples(sink, samples.data(), samples.size(), error);
  return feed_converter(sink, samples, error) && drain_converter(sink, INT64_MAX, error);
}

bool sink_finish(audio_sink& sink, std::string& error, const cancel_check& cancelled) {
  if (sink.converter != nullptr) {
    // Flush with silence until every input sample has come out.
    const long long wanted = (sink.samples_in * sink.rate + kInputRate / 2) / kInputRate;
    const std::vector<int16_t> silence(kBlockSamples, 0);
    while (sink.samples_out < wanted) {
      if ((cancelled && cancelled()) || !feed_converter(sink, silence, error) ||
          !drain_converter(sink, wanted, error)) {
        if (cancelled && cancelled()) error = "interrupted";
        sink_abort(sink);
        return false;
      }
    }
  }
  if (cancelled && cancelled()) {
    error = "interrupted";
    sink_abort(sink);
    return false;
  }
  if (sink.file != nullptr) {
    const int status = sf_close(sink.file);
    sink.file = nullptr;
    if (status != 0 || !sink.error.empty()) {
      error = !sink.error.empty() ? sink.error : write_failure(sink.out.path, EIO);
      sink_abort(sink);
      return false;
    }
  }
  if (sink.format == audio_format::wav && sink.wav_header_patchable) {
    const auto header =
        wav_header(static_cast<uint32_t>(sink.rate), static_cast<uint64_t>(sink.samples_out));
    if (!output_write_at(sink.out, header.data(), header.size(), 0, error)) {
      sink_abort(sink);
      return false;
    }
  }
  ratelib::stream_close(sink.converter);
  sink.converter = nullptr;
  return output_commit(sink.out, error);
}

void sink_abort(audio_sink& sink) {
  if (sink.file != nullptr) sf_close(sink.file);
  sink.file = nullptr;
  ratelib::stream_close(sink.converter);
  sink.converter = nullptr;
  output_discard(sink.out);
}

}  // namespace sivo
