// WAV header parsing and the format check.
#include "wavenc/wav_header.h"

#include <cstdio>
#include <cstring>

#include "wavenc/error_texts.h"

namespace sivo {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint32_t kBytesPerSample = 2;
constexpr DWORD kOpenFlags = MMIO_READ | MMIO_ALLOCBUF | MMIO_DENYWRITE;
// Real fmt bodies hold a few dozen bytes (40 with every extension field);
// anything past this bound is not a format description worth reading.
constexpr uint32_t kMaxFmtBytes = 64 * 1024;

uint16_t read_le16(const BYTE* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t read_le32(const BYTE* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool is_accepted_rate(uint32_t rate) {
  for (const int32_t r : kAcceptedRateList) {
    if (static_cast<uint32_t>(r) == rate) return true;
  }
  return false;
}

// Bytes from the read position to the end of the file, or UINT32_MAX when
// the positions cannot be told; the position is left where it was.
uint32_t bytes_left(HMMIO input) {
  const LONG here = mmioSeek(input, 0, SEEK_CUR);
  const LONG end = here < 0 ? -1 : mmioSeek(input, 0, SEEK_END);
  if (here >= 0) mmioSeek(input, here, SEEK_SET);
  if (here < 0 || end < here) return UINT32_MAX;
  return static_cast<uint32_t>(end - here);
}

// Sets message to the reason, with the help text after it when asked.
int reject(char* message, const char* reason, const char* help) {
  copy_text(message, kMessageBytes, reason);
  if (help != nullptr) {
    const std::size_t used = std::strlen(message);
    copy_text(message + used, kMessageBytes - used, help);
  }
  return 0;
}

// Releases the format block and reports the reason.
int reject_format(HLOCAL block, char* message, const char* reason,
                  const char* help) {
  LocalUnlock(block);
  LocalFree(block);
  return reject(message, reason, help);
}

}  // namespace

void build_format_help_text(char* text) noexcept {
  std::snprintf(text, kMessageBytes, "\n\n%s\n%s\n%s\n%s\n\n%s\n%s",
                "We currently support only mono/stereo linear PCM WAV",
                "audio, sampled at 16 bit per sample (signed), in one",
                "of the following eight sampling rates: 8000, 11025,",
                "16000, 22050, 24000, 32000, 44100 or 48000 Hz",
                "Please use an external audio editing tool to convert",
                "your file format to one of the above");
}

int parse_wav_header(HMMIO input, char* message, uint32_t* frames_out,
                     int32_t* channels_out, int32_t* rate_out) noexcept {
  char help[kMessageBytes];
  build_format_help_text(help);

  MMCKINFO riff{};
  riff.fccType = mmio_fourcc('W', 'A', 'V', 'E');
  if (mmioDescend(input, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) {
    return reject(message, kNotWave, help);
  }
  // The searches below stop at the RIFF chunk's end, dwDataOffset + cksize,
  // a 32-bit file offset. A size that runs past 4 GiB (streaming writers put
  // 0xFFFFFFFF there) would wrap that end round to before the fmt chunk on
  // Windows; it is cut to the largest end that fits, the end of any file the
  // reader can address.
  if (riff.cksize > 0xffffffffu - riff.dwDataOffset) riff.cksize = 0xffffffffu - riff.dwDataOffset;
  MMCKINFO chunk{};
  chunk.ckid = mmio_fourcc('f', 'm', 't', ' ');
  if (mmioDescend(input, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
    return reject(message, kNoFmt, nullptr);
  }
  // A body too short for the fields below cannot describe the format; it is
  // refused before anything is read from it.
  if (chunk.cksize < kFmtFieldBytes) return reject(message, kFmtReadFailed, nullptr);

  // A body longer than the rest of the file would fail the read below; it is
  // refused before a block of that size is asked for, so that a hostile size
  // field cannot make the parser allocate up to 4 GiB.
  if (chunk.cksize > bytes_left(input)) return reject(message, kFmtReadFailed, nullptr);
  // A body that the file really holds is still refused above the bound, so a
  // crafted file cannot make the parser allocate and read hundreds of MB.
  if (chunk.cksize > kMaxFmtBytes) return reject(message, kFmtReadFailed, nullptr);

  HLOCAL block = LocalAlloc(LMEM_MOVEABLE, chunk.cksize);
  if (block == nullptr) return reject(message, kOutOfMemory, nullptr);
  auto* body = static_cast<BYTE*>(LocalLock(block));
  if (body == nullptr) {
    LocalFree(block);
    return reject(message, kLockFailed, nullptr);
  }
  // A size beyond LONG cannot be read in one call; it is a failed read.
  const LONG want = chunk.cksize > 0x7fffffffu ? -1 : static_cast<LONG>(chunk.cksize);
  if (want < 0 || mmioRead(input, reinterpret_cast<HPSTR>(body), want) != want) {
    return reject_format(block, message, kFmtReadFailed, nullptr);
  }

  if (read_le16(body) != kFormatPcm) return reject_format(block, message, kNotPcm, help);
  const uint16_t channels = read_le16(body + 2);
  *channels_out = channels;
  if (channels != 1 && channels != 2) {
    return reject_format(block, message, kNotMonoStereo, help);
  }
  const uint32_t rate = read_le32(body + 4);
  *rate_out = static_cast<int32_t>(rate);
  if (!is_accepted_rate(rate)) {
    return reject_format(block, message, kRateNotSupported, help);
  }
  if (read_le16(body + 12) != static_cast<uint16_t>(kBytesPerSample * channels)) {
    return reject_format(block, message, kNot16Bit, help);
  }
  if (read_le32(body + 8) != rate * channels * kBytesPerSample) {
    return reject_format(block, message, kByteRateMismatch, nullptr);
  }
  LocalUnlock(block);
  LocalFree(block);

  // A body of odd size is followed by a pad byte; step over it so that the
  // next chunk header is read at its word-aligned place.
  if ((chunk.cksize & 1u) != 0) {
    char pad = 0;
    mmioRead(input, &pad, 1);
  }
  // The search goes on from the end of the fmt chunk, so a data chunk placed
  // before the fmt chunk is not found.
  MMCKINFO data{};
  data.ckid = mmio_fourcc('d', 'a', 't', 'a');
  if (mmioDescend(input, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
    return reject(message, kNoData, nullptr);
  }
  if (data.cksize == 0) return reject(message, kEmptyData, nullptr);
  *frames_out = data.cksize / kBytesPerSample / channels;
  message[0] = '\0';
  return 1;
}

HMMIO open_wav_file(const char* file_name) noexcept {
  if (file_name == nullptr) return nullptr;
  MMIOINFO info{};
  info.fccIOProc = FOURCC_DOS;
  return mmioOpenA(const_cast<char*>(file_name), &info, kOpenFlags);
}

int32_t check_wav_format(char* message, char* title, const char* file_name) noexcept {
  HMMIO input = open_wav_file(file_name);
  if (input == nullptr) {
    report_error(message, title, kCantOpenWav, kTitleIo);
    return -1;
  }
  char reason[kMessageBytes];
  uint32_t frames = 0;
  int32_t channels = 0, rate = 0;
  const int ok = parse_wav_header(input, reason, &frames, &channels, &rate);
  mmioClose(input, 0);
  if (ok != 0) return 1;
  report_error(message, title, reason, kTitleParser);
  return -1;
}

}  // namespace sivo
