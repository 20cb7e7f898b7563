// sivo: the command-line front end of the sivo speech codec.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "sivocore.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "system_files.h"
#endif

#ifndef SIVO_VERSION
#define SIVO_VERSION "unknown"
#endif

namespace {

constexpr char kHelp[] =
    "Usage: sivo COMMAND [OPTIONS] FILES\n"
    "\n"
    "The sivo narrow-band speech codec: 8000 Hz speech in 30 ms frames at\n"
    "6400, 8266.7, 5066.7 or 12000 bit/s.\n"
    "\n"
    "Commands:\n"
    "  encode   any audio (WAV, FLAC, Ogg, AIFF, raw PCM, ...) into frames\n"
    "  decode   frames into WAV, raw, FLAC, Ogg or AIFF audio at any rate\n"
    "  info     describe a stream of frames\n"
    "  compare  segmental SNR of a decoded file against the original\n"
    "  raw2wav  wrap 8000 Hz 16-bit raw samples in a WAV header\n"
    "\n"
    "'-' names standard input or output in every command.\n"
    "\n"
    "  sivo COMMAND --help   help on one command\n"
    "  sivo --version        program and codec versions\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error, 130 interrupted.\n";

void print_version() {
  const char* encoder = "";
  const char* decoder = "";
  sivo_encoder_get_version(&encoder);
  sivo_decoder_get_version(&decoder);
  std::printf("sivo %s\nencoder: %s\ndecoder: %s\n", SIVO_VERSION, encoder, decoder);
}

#if defined(_WIN32)
UINT g_console_code_page = 0;

void restore_console_code_page() { SetConsoleOutputCP(g_console_code_page); }

// The command line as UTF-8 whatever the system's code page, so that every
// file name a user can type reaches the file routes intact.
std::vector<std::string> utf8_arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 0; wide != nullptr && i < count; ++i) args.push_back(sivo::to_utf8(wide[i]));
  LocalFree(wide);
  return args;
}

// Audio and frames pass through standard input and output unchanged, and
// messages (UTF-8, with file names in them) show as written.
std::vector<std::string> prepare_windows() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  g_console_code_page = GetConsoleOutputCP();
  if (g_console_code_page != 0 && g_console_code_page != CP_UTF8 &&
      SetConsoleOutputCP(CP_UTF8)) {
    std::atexit(restore_console_code_page);
  }
  return utf8_arguments();
}
#endif

}  // namespace

int main(int argc, char** argv) {
  using namespace sivo_cli;
#if defined(_WIN32)
  (void)argv;
  const std::vector<std::string> all = prepare_windows();
  argc = static_cast<int>(all.size());
#else
  const std::vector<std::string> all(argv, argv + argc);
#endif
  if (argc < 2) {
    std::fputs(kHelp, stderr);
    return kExitUsage;
  }
  const std::string command = all[1];
  std::vector<std::string> args(all.begin() + 2, all.end());
  if (command == "-h" || command == "--help") {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  if (command == "-V" || command == "--version") {
    print_version();
    return kExitOk;
  }
  if (command == "help") {
    if (args.empty()) {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
    const std::string topic = args[0];
    args = {"--help"};
    if (topic == "encode") return run_encode(args);
    if (topic == "decode") return run_decode(args);
    if (topic == "info") return run_info(args);
    if (topic == "compare") return run_compare(args);
    if (topic == "raw2wav") return run_raw2wav(args);
    std::fprintf(stderr, "sivo: unknown command '%s'\nTry 'sivo --help'.\n", topic.c_str());
    return kExitUsage;
  }
  if (command == "encode") return run_encode(args);
  if (command == "decode") return run_decode(args);
  if (command == "info") return run_info(args);
  if (command == "compare") return run_compare(args);
  if (command == "raw2wav") return run_raw2wav(args);
  std::fprintf(stderr, "sivo: unknown command '%s'\nTry 'sivo --help'.\n", command.c_str());
  return kExitUsage;
}
