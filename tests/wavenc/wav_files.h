// Builders for WAV files written into a per-test temporary directory.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sivo_test {

inline std::string le(uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  return s;
}

// One chunk with a pad byte after an odd body; the size field is the body's
// length unless given.
inline std::string chunk(const std::string& id, const std::string& body, int64_t size = -1) {
  return id + le(size < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(size), 4) +
         body + (body.size() % 2 != 0 ? std::string(1, '\0') : "");
}

inline std::string riff(const std::string& form, const std::string& chunks, int64_t size = -1) {
  return chunk("RIFF", form + chunks, size);
}

struct fmt_fields {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 8000;
  int64_t byte_rate = -1;    // rate * channels * 2 unless given
  int32_t block_align = -1;  // channels * 2 unless given
  uint16_t bits = 16;
  uint32_t body_size = 16;   // zero-filled beyond the fields
};

inline std::string fmt_body(const fmt_fields& f) {
  std::string s = le(f.tag, 2) + le(f.channels, 2) + le(f.rate, 4) +
                  le(f.byte_rate >= 0 ? static_cast<uint32_t>(f.byte_rate) : f.rate * f.channels * 2u, 4) +
                  le(f.block_align >= 0 ? static_cast<uint32_t>(f.block_align) : f.channels * 2u, 2) +
                  le(f.bits, 2);
  s.resize(f.body_size, '\0');
  return s;
}

inline std::string pcm_bytes(const std::vector<int16_t>& samples) {
  std::string s;
  for (const int16_t v : samples) s += le(static_cast<uint16_t>(v), 2);
  return s;
}

inline std::string wav_file(const fmt_fields& f, const std::vector<int16_t>& samples) {
  return riff("WAVE", chunk("fmt ", fmt_body(f)) + chunk("data", pcm_bytes(samples)));
}

// Interleaved frames of a sine; the second channel scaled by right_gain.
inline std::vector<int16_t> tone(int frames, int channels, double rate, double hz,
                                 double amplitude, double right_gain = 1.0) {
  std::vector<int16_t> s;
  for (int n = 0; n < frames; ++n) {
    const double v = amplitude * std::sin(2.0 * std::numbers::pi * hz * n / rate);
    s.push_back(static_cast<int16_t>(std::lround(v)));
    if (channels == 2) s.push_back(static_cast<int16_t>(std::lround(v * right_gain)));
  }
  return s;
}

// A fresh directory under the system's temporary directory per test.
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
    std::ofstream(path(name), std::ios::binary) << bytes;
    return path(name);
  }
  static std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::filesystem::path dir_;
};

}  // namespace sivo_test
