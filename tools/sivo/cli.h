// Shared pieces of the sivo command-line program: exit codes, messages,
// argument helpers and the file helpers the subcommands use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sivo_cli {

// Exit codes: the usual conventions of command-line tools.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;        // runtime failure
inline constexpr int kExitUsage = 2;          // bad command line
inline constexpr int kExitInterrupted = 130;  // stopped by SIGINT/SIGTERM

inline constexpr int kSampleRate = 8000;
inline constexpr int kFrameSamples = 240;
inline constexpr int kLookahead = 60;  // decoded sample n matches input sample n - 60

// Bytes of a speech frame of each compression rate 0..3.
inline constexpr int kRateBytes[4] = {24, 31, 19, 45};

// Bit rate of a speech frame of `rate`, in bit/s.
double rate_bits_per_second(int rate);

// Prints "sivo <command>: <text>" on stderr.
void print_error(std::string_view command, std::string_view text);

// Prints a usage error and the hint to --help; returns kExitUsage.
int usage_error(std::string_view command, std::string_view text);

// Parses a whole decimal integer in [low, high]; nullopt otherwise.
std::optional<long long> parse_integer(std::string_view text, long long low, long long high);

// Parses a whole decimal number in [low, high]; nullopt otherwise.
std::optional<double> parse_number(std::string_view text, double low, double high);

// Reads a whole file; on failure returns false and sets `error` to the reason.
bool read_file(const std::string& path, std::vector<uint8_t>& data, std::string& error);

// True when both paths exist and name the same file.
bool same_file(const std::string& a, const std::string& b);

// Size of a regular file in bytes; -1 for anything else or when it cannot be
// examined.
long long file_size(const std::string& path);

// The text of errno, for messages.
std::string errno_text();

// Subcommands. `args` holds the arguments after the subcommand's name.
int run_encode(const std::vector<std::string>& args);
int run_decode(const std::vector<std::string>& args);
int run_info(const std::vector<std::string>& args);
int run_compare(const std::vector<std::string>& args);
int run_raw2wav(const std::vector<std::string>& args);

}  // namespace sivo_cli
