#include "cli.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace sivo_cli {

double rate_bits_per_second(int rate) {
  return kRateBytes[rate] * 8.0 * kSampleRate / kFrameSamples;
}

void print_error(std::string_view command, std::string_view text) {
  std::fprintf(stderr, "sivo %.*s: %.*s\n", static_cast<int>(command.size()), command.data(),
               static_cast<int>(text.size()), text.data());
}

int usage_error(std::string_view command, std::string_view text) {
  print_error(command, text);
  std::fprintf(stderr, "Try 'sivo %.*s --help'.\n", static_cast<int>(command.size()),
               command.data());
  return kExitUsage;
}

std::optional<long long> parse_integer(std::string_view text, long long low, long long high) {
  long long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> parse_number(std::string_view text, double low, double high) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value < low ||
      value > high) {
    return std::nullopt;
  }
  return value;
}

bool read_file(const std::string& path, std::vector<uint8_t>& data, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open " + path + ": " + errno_text();
    return false;
  }
  data.clear();
  uint8_t chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    data.insert(data.end(), chunk, chunk + got);
  }
  const bool failed = std::ferror(file) != 0;
  const std::string reason = failed ? errno_text() : std::string();
  std::fclose(file);
  if (failed) {
    error = "cannot read " + path + ": " + reason;
    return false;
  }
  return true;
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

long long file_size(const std::string& path) {
  struct stat s {};
  if (stat(path.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) return -1;
  return static_cast<long long>(s.st_size);
}

std::string errno_text() { return std::strerror(errno); }

}  // namespace sivo_cli
