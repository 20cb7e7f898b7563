// Runs arbitrary bytes, stored as a file, through the WAV format check and a
// whole encoding job. The bits-per-sample field of a canonical header (byte
// 34), which the reader never examines, doubles as the job's settings: bits
// 0-1 the compression rate, bit 2 a stop after the first progress call.
//
// Checked: the check and the job agree on the file; message and title are
// terminated inside their 800- and 25-byte buffers (which live in heap
// blocks of exactly that size); progress rises and the job ends within the
// number of calls that the file's size allows; the input file is left as it
// was; the output holds whole frames of the chosen rate that the decoder
// accepts cleanly; afterwards the job is idle.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sivocore.h"
#include "sivowav.h"

namespace {

constexpr size_t kMessageBytes = 800;
constexpr size_t kTitleBytes = 25;
constexpr size_t kSmallestBlockBytes = 2 * 240;  // one 8000 Hz mono block
constexpr size_t kBlocksPerCall = 10;
constexpr int32_t kFrameBytes[4] = {24, 31, 19, 45};

std::string temp_path(const char* suffix) {
  return (std::filesystem::temp_directory_path() /
          ("sivo_wav_fuzz_" + std::to_string(getpid()) + suffix))
      .string();
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void check_texts(const char* message, const char* title) {
  FUZZ_CHECK(strnlen(message, kMessageBytes) < kMessageBytes, "message terminated");
  FUZZ_CHECK(strnlen(title, kTitleBytes) < kTitleBytes, "title terminated");
}

// Every frame of the output has the job's rate and decodes cleanly.
void check_output(const std::vector<uint8_t>& out, int32_t rate) {
  FUZZ_CHECK(out.size() % kFrameBytes[rate] == 0, "output holds whole frames");
  sivo_decoder* decoder = nullptr;
  FUZZ_CHECK(sivo_decoder_open(&decoder) == SIVO_OK, "decoder open");
  int16_t samples[SIVO_FRAME_SAMPLES];
  for (size_t pos = 0; pos < out.size(); pos += kFrameBytes[rate]) {
    int32_t type = -1, bytes = -1;
    FUZZ_CHECK(sivo_decode_frame(decoder, out.data() + pos, samples, 0, &type,
                                 &bytes) == SIVO_OK, "output frame decodes");
    FUZZ_CHECK(type == rate && bytes == kFrameBytes[rate], "output frame rate");
  }
  sivo_decoder_close(&decoder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string input_path = temp_path(".wav");
  static const std::string output_path = temp_path(".siv");
  {
    std::ofstream in(input_path, std::ios::binary | std::ios::trunc);
    in.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const int32_t rate = size > 34 ? data[34] & 3 : 0;
  const bool stop_early = size > 34 && (data[34] & 4) != 0;

  auto message = std::make_unique<char[]>(kMessageBytes);
  auto title = std::make_unique<char[]>(kTitleBytes);
  std::memset(message.get(), 0x7F, kMessageBytes);
  std::memset(title.get(), 0x7F, kTitleBytes);
  const int32_t checked = CheckWavFormat(message.get(), title.get(), input_path.c_str());
  FUZZ_CHECK(checked == 1 || checked == -1, "check result");
  std::string check_message;
  if (checked == -1) {
    check_texts(message.get(), title.get());
    check_message = message.get();
  }

  std::memset(message.get(), 0x7F, kMessageBytes);
  std::memset(title.get(), 0x7F, kTitleBytes);
  const int32_t started = SivoEncode(message.get(), title.get(), input_path.c_str(),
                                     output_path.c_str(), rate);
  FUZZ_CHECK(started == checked, "check and job agree on the file");
  if (started == -1) {
    check_texts(message.get(), title.get());
    FUZZ_CHECK(check_message == message.get(), "same reason from check and job");
  } else {
    const size_t call_limit = size / (kSmallestBlockBytes * kBlocksPerCall) + 2;
    int32_t last = 0;
    for (size_t calls = 0;; ++calls) {
      FUZZ_CHECK(calls < call_limit, "job ends within the calls its size allows");
      const int32_t progress = SivoCount(message.get(), title.get());
      if (progress == -1) {
        check_texts(message.get(), title.get());
        break;
      }
      FUZZ_CHECK(progress >= last && progress <= 100, "progress rises");
      last = progress;
      if (progress == 100) break;
      if (stop_early) {
        FUZZ_CHECK(SivoStop() == 0, "stop closes the output");
        break;
      }
    }
    FUZZ_CHECK(SivoCount(message.get(), title.get()) == -2, "job idle at the end");
    check_output(read_file(output_path), rate);
  }
  FUZZ_CHECK(SivoStop() == 0, "nothing left to stop");
  const std::vector<uint8_t> after = read_file(input_path);
  FUZZ_CHECK(after.size() == size && std::equal(after.begin(), after.end(), data),
             "input file unchanged");
  return 0;
}
