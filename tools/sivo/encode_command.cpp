// sivo encode: runs a sivowav job that turns a WAV file into a stream of
// compressed frames, with a progress bar, a summary, and a clean stop on
// Ctrl-C.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "sivowav.h"

namespace sivo_cli {
namespace {

constexpr char kEncodeHelp[] =
    "Usage: sivo encode [-r RATE] [-q] IN.wav OUT\n"
    "\n"
    "Encodes a WAV file into a stream of compressed frames.\n"
    "IN.wav must be 16-bit linear PCM, mono or stereo, at 8000, 11025, 16000,\n"
    "22050, 24000, 32000, 44100 or 48000 Hz; it is converted to 8000 Hz mono.\n"
    "\n"
    "Options:\n"
    "  -r, --rate RATE  compression rate (default 0):\n"
    "                     0  24-byte frames,  6400 bit/s\n"
    "                     1  31-byte frames,  8266.7 bit/s\n"
    "                     2  19-byte frames,  5066.7 bit/s\n"
    "                     3  45-byte frames, 12000 bit/s\n"
    "  -q, --quiet      no progress bar and no summary\n"
    "  -h, --help       show this help\n"
    "\n"
    "Samples after the last whole 30 ms frame are not encoded. Ctrl-C stops\n"
    "the job; OUT then keeps the frames written so far.\n";

volatile sig_atomic_t g_interrupted = 0;

void on_signal(int) { g_interrupted = 1; }

// Installs handlers for SIGINT and SIGTERM that only raise the flag, so the
// job is stopped between two SivoCount calls.
void catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void draw_progress(int percent) {
  constexpr int kWidth = 40;
  char bar[kWidth + 1];
  const int filled = percent * kWidth / 100;
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\rencoding [%s] %3d%%", bar, percent);
  std::fflush(stderr);
}

void clear_progress() {
  std::fprintf(stderr, "\r%60s\r", "");
  std::fflush(stderr);
}

// Message texts from sivowav may end in a line break; the title leads.
void print_job_error(const char* title, const char* message) {
  std::string text = message;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  print_error("encode", std::string(title) + ": " + text);
}

// An empty output left by a job that failed holds nothing of value.
void remove_if_empty(const std::string& path) {
  if (file_size(path) == 0) std::remove(path.c_str());
}

}  // namespace

int run_encode(const std::vector<std::string>& args) {
  int rate = 0;
  bool quiet = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kEncodeHelp, stdout);
      return kExitOk;
    }
    if (arg == "-q" || arg == "--quiet") {
      quiet = true;
    } else if (arg == "-r" || arg == "--rate" || arg.starts_with("-r") ||
               arg.starts_with("--rate=")) {
      std::string value;
      if (arg == "-r" || arg == "--rate") {
        if (i + 1 == args.size()) return usage_error("encode", "option " + arg + " needs a value");
        value = args[++i];
      } else {
        value = arg.starts_with("--rate=") ? arg.substr(7) : arg.substr(2);
      }
      const auto parsed = parse_integer(value, 0, 3);
      if (!parsed) {
        return usage_error("encode", "invalid rate '" + value + "' (expected 0, 1, 2 or 3)");
      }
      rate = static_cast<int>(*parsed);
    } else if (arg == "--") {
      files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage_error("encode", "unknown option '" + arg + "'");
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return usage_error("encode", "expected IN.wav and OUT");
  const std::string& input = files[0];
  const std::string& output = files[1];
  // The job truncates its output before reading the input: never let the
  // two be one file.
  if (same_file(input, output)) {
    return usage_error("encode", "IN.wav and OUT name the same file");
  }

  std::vector<char> message(static_cast<size_t>(GetMaxErrorMessageLen()), '\0');
  std::vector<char> title(static_cast<size_t>(GetMaxErrorTitleLen()), '\0');
  g_interrupted = 0;
  catch_interrupts();
  // Checking first means a rejected input never creates or truncates OUT.
  if (CheckWavFormat(message.data(), title.data(), input.c_str()) != SIVOWAV_SUCCESS) {
    print_job_error(title.data(), message.data());
    return kExitFailure;
  }

  const auto start = std::chrono::steady_clock::now();
  const int started = SivoEncode(message.data(), title.data(), input.c_str(), output.c_str(), rate);
  if (started == SIVOWAV_WRONG_STATE) {
    print_error("encode", "another encoding job is already running in this process");
    return kExitFailure;
  }
  if (started != SIVOWAV_SUCCESS) {
    print_job_error(title.data(), message.data());
    remove_if_empty(output);
    return kExitFailure;
  }

  const bool show_bar = !quiet && isatty(STDERR_FILENO);
  int shown = -1;
  int progress = 0;
  bool interrupted = false;
  while (progress != SIVOWAV_DONE) {
    if (g_interrupted) {
      interrupted = true;
      break;
    }
    progress = SivoCount(message.data(), title.data());
    if (progress < 0) break;
    if (show_bar && progress != shown) {
      draw_progress(progress);
      shown = progress;
    }
  }
  if (interrupted) {
    const int closed = SivoStop();
    if (show_bar) clear_progress();
    const long long bytes = file_size(output);
    if (closed != 0) {
      print_error("encode", "interrupted; writing " + output + " failed");
      return kExitFailure;
    }
    if (bytes > 0) {
      print_error("encode", "interrupted; " + output + " keeps the " +
                                std::to_string(bytes / kRateBytes[rate]) +
                                " frames written so far");
    } else {
      print_error("encode", "interrupted");
      remove_if_empty(output);
    }
    return kExitInterrupted;
  }
  if (show_bar) clear_progress();
  if (progress < 0) {
    print_job_error(title.data(), message.data());
    const long long bytes = file_size(output);
    if (bytes > 0) {
      print_error("encode", output + " keeps the " + std::to_string(bytes / kRateBytes[rate]) +
                                " frames written before the failure");
    }
    remove_if_empty(output);
    return kExitFailure;
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long long bytes = file_size(output);
  const long long frames = bytes / kRateBytes[rate];
  const double duration = frames * static_cast<double>(kFrameSamples) / kSampleRate;
  if (frames == 0) {
    print_error("encode",
                "warning: " + input + " holds less than one 30 ms frame; " + output + " is empty");
  }
  if (!quiet) {
    char speed[48] = "";
    if (seconds > 0 && duration > 0)
      std::snprintf(speed, sizeof speed, ", %.1fx real time", duration / seconds);
    std::fprintf(stderr,
                 "%s -> %s: %.2f s, %lld frames, %lld bytes, rate %d (%.1f bit/s), "
                 "encoded in %.2f s%s\n",
                 input.c_str(), output.c_str(), duration, frames, bytes, rate,
                 duration > 0 ? bytes * 8.0 / duration : 0.0, seconds, speed);
  }
  return kExitOk;
}

}  // namespace sivo_cli
