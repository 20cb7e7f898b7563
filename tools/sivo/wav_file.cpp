#include "wav_file.h"

#include <cstring>

#include "cli.h"

namespace sivo_cli {
namespace {

constexpr size_t kHeaderBytes = 44;
// The RIFF size fields are 32-bit: the data must stay below 4 GiB.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

void put_u16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
  put_u16(out, value & 0xFFFF);
  put_u16(out, value >> 16);
}

void put_tag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

uint32_t get_u16(const uint8_t* p) { return p[0] | (p[1] << 8); }

uint32_t get_u32(const uint8_t* p) {
  return get_u16(p) | (static_cast<uint32_t>(get_u16(p + 2)) << 16);
}

}  // namespace

std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t samples) {
  const uint64_t data_bytes = samples * 2 > kMaxDataBytes ? kMaxDataBytes : samples * 2;
  std::vector<uint8_t> out;
  out.reserve(kHeaderBytes);
  put_tag(out, "RIFF");
  put_u32(out, static_cast<uint32_t>(data_bytes + kHeaderBytes - 8));
  put_tag(out, "WAVE");
  put_tag(out, "fmt ");
  put_u32(out, 16);
  put_u16(out, 1);  // linear PCM
  put_u16(out, 1);  // mono
  put_u32(out, sample_rate);
  put_u32(out, sample_rate * 2);  // bytes per second
  put_u16(out, 2);                // block alignment
  put_u16(out, 16);               // bits per sample
  put_tag(out, "data");
  put_u32(out, static_cast<uint32_t>(data_bytes));
  return out;
}

bool wav_create(wav_writer& writer, const std::string& path, uint32_t sample_rate,
                std::string& error) {
  writer = wav_writer{};
  writer.file = std::fopen(path.c_str(), "wb");
  if (writer.file == nullptr) {
    error = "cannot create " + path + ": " + errno_text();
    return false;
  }
  writer.path = path;
  writer.sample_rate = sample_rate;
  const std::vector<uint8_t> header = wav_header(sample_rate, 0);
  if (std::fwrite(header.data(), 1, header.size(), writer.file) != header.size()) {
    error = "cannot write " + path + ": " + errno_text();
    return false;
  }
  return true;
}

bool wav_append(wav_writer& writer, std::span<const int16_t> samples, std::string& error) {
  if ((writer.samples + samples.size()) * 2 > kMaxDataBytes) {
    error = "cannot write " + writer.path + ": a WAV file holds at most 4 GiB of samples";
    return false;
  }
  uint8_t bytes[2 * 4096];
  size_t done = 0;
  while (done < samples.size()) {
    const size_t count = std::min(samples.size() - done, sizeof bytes / 2);
    for (size_t i = 0; i < count; ++i) {
      const auto value = static_cast<uint16_t>(samples[done + i]);
      bytes[2 * i] = static_cast<uint8_t>(value);
      bytes[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    if (std::fwrite(bytes, 1, 2 * count, writer.file) != 2 * count) {
      error = "cannot write " + writer.path + ": " + errno_text();
      return false;
    }
    done += count;
  }
  writer.samples += samples.size();
  return true;
}

bool wav_finish(wav_writer& writer, std::string& error) {
  const std::vector<uint8_t> header = wav_header(writer.sample_rate, writer.samples);
  bool ok = std::fseek(writer.file, 0, SEEK_SET) == 0 &&
            std::fwrite(header.data(), 1, header.size(), writer.file) == header.size() &&
            std::fflush(writer.file) == 0;
  if (!ok) error = "cannot write " + writer.path + ": " + errno_text();
  if (std::fclose(writer.file) != 0 && ok) {
    ok = false;
    error = "cannot write " + writer.path + ": " + errno_text();
  }
  writer.file = nullptr;
  return ok;
}

void wav_abandon(wav_writer& writer) {
  if (writer.file != nullptr) std::fclose(writer.file);
  writer.file = nullptr;
  if (!writer.path.empty()) std::remove(writer.path.c_str());
}

bool read_wav_mono16(const std::string& path, std::vector<int16_t>& samples, uint32_t& sample_rate,
                     std::string& error) {
  std::vector<uint8_t> data;
  if (!read_file(path, data, error)) return false;
  if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 ||
      std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
    error = path + " is not a WAV file";
    return false;
  }
  bool have_format = false;
  size_t pos = 12;
  while (pos + 8 <= data.size()) {
    const uint8_t* chunk = data.data() + pos;
    const uint64_t size = get_u32(chunk + 4);
    const size_t body = pos + 8;
    const size_t available = data.size() - body;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || available < 16) break;
      const uint8_t* fmt = data.data() + body;
      if (get_u16(fmt) != 1 || get_u16(fmt + 2) != 1 || get_u16(fmt + 14) != 16) {
        error = path + " is not a 16-bit mono PCM WAV file";
        return false;
      }
      sample_rate = get_u32(fmt + 4);
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) break;
      // A data chunk cut short by the end of the file is read as far as it goes.
      const size_t bytes = static_cast<size_t>(std::min<uint64_t>(size, available)) & ~size_t{1};
      samples.resize(bytes / 2);
      for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(get_u16(data.data() + body + 2 * i));
      }
      return true;
    }
    pos = body + static_cast<size_t>(size) + (size & 1);
    if (pos < body) break;  // size wrapped around
  }
  error = path + " has no readable format and data chunks";
  return false;
}

}  // namespace sivo_cli
