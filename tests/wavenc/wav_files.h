// Builders for WAV files written into a per-test temporary directory.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace sivo_test {

inline void put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xff));
  s.push_back(static_cast<char>(v >> 8));
}

inline void put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// One chunk: id, size (the body's length unless given), body, pad byte when
// the body's length is odd.
inline std::string chunk(const std::string& id, const std::string& body,
                         int64_t declared_size = -1) {
  std::string s = id;
  put32(s, declared_size < 0 ? static_cast<uint32_t>(body.size())
                             : static_cast<uint32_t>(declared_size));
  s += body;
  if (body.size() % 2 != 0) s.push_back('\0');
  return s;
}

inline std::string riff(const std::string& form, const std::string& chunks,
                        int64_t declared_size = -1) {
  return chunk("RIFF", form + chunks, declared_size);
}

struct fmt_fields {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 8000;
  int64_t byte_rate = -1;    // rate * channels * 2 unless given
  int32_t block_align = -1;  // channels * 2 unless given
  uint16_t bits = 16;
  uint32_t body_size = 16;   // 14, 16, 18, 40 ...; zero-filled beyond the fields
};

inline std::string fmt_body(const fmt_fields& f) {
  std::string s;
  put16(s, f.tag);
  put16(s, f.channels);
  put32(s, f.rate);
  put32(s, f.byte_rate >= 0 ? static_cast<uint32_t>(f.byte_rate) : f.rate * f.channels * 2u);
  put16(s, f.block_align >= 0 ? static_cast<uint16_t>(f.block_align)
                              : static_cast<uint16_t>(f.channels * 2));
  put16(s, f.bits);
  s.resize(f.body_size, '\0');
  return s;
}

inline std::string pcm_bytes(const std::vector<int16_t>& samples) {
  std::string s;
  for (const int16_t v : samples) put16(s, static_cast<uint16_t>(v));
  return s;
}

// A plain WAV file: RIFF, fmt, data.
inline std::string wav_file(const fmt_fields& f, const std::vector<int16_t>& samples) {
  return riff("WAVE", chunk("fmt ", fmt_body(f)) + chunk("data", pcm_bytes(samples)));
}

// Interleaved samples: frames x channels of a sine of `hz` at `rate`, the
// second channel scaled by `right_gain`.
inline std::vector<int16_t> tone(int frames, int channels, double rate, double hz,
                                 double amplitude, double right_gain = 1.0) {
  std::vector<int16_t> s;
  s.reserve(static_cast<std::size_t>(frames) * channels);
  for (int n = 0; n < frames; ++n) {
    const double v = amplitude * std::sin(2.0 * M_PI * hz * n / rate);
    s.push_back(static_cast<int16_t>(std::lround(v)));
    if (channels == 2) s.push_back(static_cast<int16_t>(std::lround(v * right_gain)));
  }
  return s;
}

// A fresh directory under the system's temporary directory, removed again by
// TearDown.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("sivo_wav_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string p = path(name);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  static std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path dir_;
};

}  // namespace sivo_test
