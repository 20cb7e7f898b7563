// Shared pieces of the sivo command-line program: exit codes, messages,
// argument helpers and interrupt handling.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transcode.h"

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

// Prints "sivo: <text>" on stderr.
void print_error(std::string_view text);

// Prints a usage error and the hint to --help; returns kExitUsage.
int usage_error(std::string_view command, std::string_view text);

// Parses a whole decimal integer in [low, high]; nullopt otherwise.
std::optional<long long> parse_integer(std::string_view text, long long low, long long high);

// Parses a whole decimal number in [low, high]; nullopt otherwise.
std::optional<double> parse_number(std::string_view text, double low, double high);

// Matches "NAME VALUE" or "NAME=VALUE" (and "-xVALUE" for a short name) at
// args[i], advancing i past a separate value. Returns 0 for no match, 1 for a
// match (value set), -1 when the value is missing.
int match_option(const std::vector<std::string>& args, size_t& i, std::string_view name,
                 std::string& value);

// Installs SIGINT/SIGTERM handlers that only raise a flag (another signal a
// second or more later ends the program at once) and ignores SIGPIPE and SIGXFSZ, so that a
// closed pipe or a size limit shows as a write error.
void catch_interrupts();

// True once SIGINT or SIGTERM arrived.
bool interrupted();

// A cancel check reading the interrupt flag.
sivo::cancel_check interrupt_check();

// Exit code and message for a transcoding result that is not ok: 130 when
// interrupted, 0 (quietly) when the reader of a pipe went away, else 1.
int finish_failed(const sivo::transcode_result& result);

// Subcommands. `args` holds the arguments after the subcommand's name.
int run_encode(const std::vector<std::string>& args);
int run_decode(const std::vector<std::string>& args);
int run_info(const std::vector<std::string>& args);
int run_compare(const std::vector<std::string>& args);
int run_raw2wav(const std::vector<std::string>& args);

}  // namespace sivo_cli
