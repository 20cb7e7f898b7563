// Shared pieces of the sivo command-line program.
#include "cli.h"

#include <signal.h>
#include <time.h>

#if defined(_WIN32)
#include <windows.h>

#include "system_files.h"
#endif

#include <charconv>
#include <cmath>
#include <cstdio>

namespace sivo_cli {
namespace {

volatile sig_atomic_t g_interrupted = 0;

#if defined(_WIN32)
HANDLE g_main_thread = nullptr;

// Runs in a thread Windows starts for each console event.
BOOL WINAPI on_console_event(DWORD event) {
  // A second Ctrl-C ends the program at once; its temporary file, still
  // marked to vanish, goes with it.
  if (g_interrupted) ExitProcess(kExitInterrupted);
  g_interrupted = 1;
  // A read waiting on a pipe or the console returns, so that the flag is
  // seen.
  if (g_main_thread != nullptr) CancelSynchronousIo(g_main_thread);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // The console is closing, or the user logging off: the process ends as
  // soon as this returns, so it waits while the main thread removes its
  // temporary file and exits (Windows allows it a few seconds).
  Sleep(INFINITE);
  return TRUE;
}
#else
// The first signal asks the program to stop cleanly. One more, a second or
// more later, ends it at once (the user pressing Ctrl-C again); a second
// copy of the same request within that second is ignored: timeout(1), for
// one, sends its signal both to the program and to the program's process
// group, and the copy would otherwise end the program before it removes its
// temporary file.
timespec g_first_signal{};

void on_signal(int signal_number) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (g_interrupted == 0) {
    g_first_signal = now;
    g_interrupted = 1;
    return;
  }
  if (now.tv_sec - g_first_signal.tv_sec > 1 ||
      (now.tv_sec - g_first_signal.tv_sec == 1 && now.tv_nsec >= g_first_signal.tv_nsec)) {
    signal(signal_number, SIG_DFL);
    raise(signal_number);
  }
}
#endif

}  // namespace

double rate_bits_per_second(int rate) {
  return kRateBytes[rate] * 8.0 * kSampleRate / kFrameSamples;
}

void print_error(std::string_view text) {
  std::fprintf(stderr, "sivo: %.*s\n", static_cast<int>(text.size()), text.data());
}

int usage_error(std::string_view command, std::string_view text) {
  std::fprintf(stderr, "sivo %.*s: %.*s\nTry 'sivo %.*s --help'.\n",
               static_cast<int>(command.size()), command.data(), static_cast<int>(text.size()),
               text.data(), static_cast<int>(command.size()), command.data());
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

int match_option(const std::vector<std::string>& args, size_t& i, std::string_view name,
                 std::string& value) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 == args.size()) return -1;
    value = args[++i];
    return 1;
  }
  const bool is_long = name.starts_with("--");
  if (is_long && arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
    value = arg.substr(name.size() + 1);
    return 1;
  }
  if (!is_long && arg.size() > name.size() && arg.starts_with(name)) {
    value = arg.substr(name.size());
    return 1;
  }
  return 0;
}

#if defined(_WIN32)
void catch_interrupts() {
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_main_thread,
                  0, FALSE, DUPLICATE_SAME_ACCESS);
  SetConsoleCtrlHandler(on_console_event, TRUE);
}
#else
void catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocked read returns so the flag is seen.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Past a file size limit a write fails with EFBIG instead of killing the
  // program with a temporary file left behind.
  signal(SIGXFSZ, SIG_IGN);
}
#endif

bool interrupted() { return g_interrupted != 0; }

sivo::cancel_check interrupt_check() {
  return [] { return g_interrupted != 0; };
}

int finish_failed(const sivo::transcode_result& result) {
  switch (result.outcome) {
    case sivo::transcode_outcome::ok:
    case sivo::transcode_outcome::output_closed:
      return kExitOk;
    case sivo::transcode_outcome::cancelled:
      print_error("interrupted");
      return kExitInterrupted;
    case sivo::transcode_outcome::failed:
      break;
  }
  print_error(result.error);
  return kExitFailure;
}

}  // namespace sivo_cli
