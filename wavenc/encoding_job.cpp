// The process-wide encoding job: reads blocks of WAV samples, brings them to
// 8000 Hz mono, encodes them frame by frame and appends the frames to the
// output file.
#include "wavenc/encoding_job.h"

#include <atomic>
#include <bit>
#include <cstdio>
#include <thread>

#include "platform/mmio.h"
#include "ratelib.h"
#include "sivocore.h"
#include "wavenc/block_layout.h"
#include "wavenc/error_texts.h"
#include "wavenc/wav_header.h"

namespace sivo {
namespace {

// Blocks are read straight into 16-bit samples: the file's byte order must be
// the machine's.
static_assert(std::endian::native == std::endian::little);

constexpr int32_t kOutputRate = 8000;
constexpr int32_t kFrameSamples = SIVO_FRAME_SAMPLES;
constexpr int32_t kMaxBlockLength = 1440;
constexpr int32_t kMaxChannels = 2;
constexpr int32_t kMaxFramesPerBlock = 4;
constexpr int kBlocksPerCall = 10;
constexpr int kFrameBufferBytes = 48;
constexpr int32_t kOutputRateConverterQuality = RATE_CONVERSION_HIGH;

struct EncodingJob {
  HMMIO input = nullptr;
  std::FILE* output = nullptr;
  sivo_encoder* encoder = nullptr;
  rate_converter* converter = nullptr;
  int32_t sample_rate = 0;
  int32_t channels = 0;
  block_layout layout{};
  const int16_t* frame_source = nullptr;
  uint32_t frames_total = 0;
  uint32_t frames_done = 0;
  int16_t read_buffer[kMaxBlockLength * kMaxChannels] = {};
  int16_t converted_buffer[kFrameSamples * kMaxFramesPerBlock] = {};
};

EncodingJob job;

// Who may touch the job record. A call claims the record by moving the state
// out of kIdle (SivoEncode), kReady (SivoCount, SivoStop) or kCounting
// (SivoStop, which then leaves the release to the count) with one
// compare-and-swap; only the claiming thread touches the record until it
// stores the next state. No lock is held while files are read or frames
// encoded, and a refused call touches nothing.
enum job_state : int {
  kIdle,        // no job; SivoEncode may claim
  kStarting,    // SivoEncode is opening the job
  kReady,       // a job runs, no call inside it
  kCounting,    // SivoCount is encoding blocks
  kStopAsked,   // SivoStop waits for the count to release the job
  kStopped,     // ... the count has released it, the close status was 0
  kStopFailed,  // ... the count has released it, the close status was -1
  kStopping,    // SivoStop is releasing a job that no call was inside
};

std::atomic<int> state{kIdle};

bool claim(int from, int to) {
  return state.compare_exchange_strong(from, to, std::memory_order_acq_rel,
                                       std::memory_order_acquire);
}

void publish(int next) { state.store(next, std::memory_order_release); }

// Closes everything the job holds, in the order encoder, converter, input,
// output. Returns the output's close status (0 or -1).
int32_t release_job() {
  sivo_encoder_close(&job.encoder);
  if (job.converter != nullptr) rate_conversion_close(&job.converter);
  mmioClose(job.input, 0);
  job.input = nullptr;
  const int32_t status = std::fclose(job.output) == 0 ? 0 : -1;
  job.output = nullptr;
  return status;
}

int32_t fail_job(char* message, char* title, const char* text, const char* title_text) {
  report_error(message, title, text, title_text);
  release_job();
  return -1;
}

// Ends the job after its last frame. The final flush happens in the close, so
// a failed close means frames were lost and is reported as a failed write.
int32_t finish_job(char* message, char* title) {
  if (release_job() != 0) {
    report_error(message, title, kWriteError, kTitleIo);
    return -1;
  }
  return 100;
}

// Closes what start_job has opened so far (the encoder when given).
int32_t fail_start(char* message, char* title, const char* text,
                   const char* title_text) {
  report_error(message, title, text, title_text);
  if (job.encoder != nullptr) sivo_encoder_close(&job.encoder);
  mmioClose(job.input, 0);
  job.input = nullptr;
  std::fclose(job.output);
  job.output = nullptr;
  return -1;
}

// Mixes the interleaved pairs of an 8000 Hz stereo block to mono, rounding
// half the sum to nearest; opposite channels give silence.
void mix_to_mono(const int16_t* pairs, int16_t* mono, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t sum = pairs[2 * i] + pairs[2 * i + 1];
    mono[i] = static_cast<int16_t>((sum + 1) >> 1);
  }
}

// SivoEncode's work on a claimed record: 1 with the job open, -1 with
// nothing open.
int32_t open_job(char* message, char* title, const char* input_name,
                 const char* output_name, int32_t comp_rate) {
  job.frames_done = 0;
  job.input = open_wav_file(input_name);
  if (job.input == nullptr) {
    report_error(message, title, kCantOpenInput, kTitleIo);
    return -1;
  }
  // Refuses an output that is the input file, which "wb" would truncate.
  job.output = open_output_file(output_name, job.input);
  if (job.output == nullptr) {
    mmioClose(job.input, 0);
    job.input = nullptr;
    report_error(message, title, kCantOpenOutput, kTitleIo);
    return -1;
  }
  char reason[kMessageBytes];
  uint32_t sample_frames = 0;
  if (parse_wav_header(job.input, reason, &sample_frames, &job.channels,
                       &job.sample_rate) == 0) {
    return fail_start(message, title, reason, kTitleParser);
  }
  if (sivo_encoder_open(&job.encoder) != SIVO_OK) {
    job.encoder = nullptr;
    return fail_start(message, title, kEncoderInitError, kTitleEncoding);
  }
  // A refused rate would leave the encoder at another rate than asked for.
  if (sivo_encoder_set_comp_rate(job.encoder, comp_rate) != SIVO_OK) {
    return fail_start(message, title, kEncoderInitError, kTitleEncoding);
  }
  job.layout = select_block_layout(job.sample_rate);
  job.frames_total = sample_frames / static_cast<uint32_t>(job.layout.block_length) *
                     static_cast<uint32_t>(job.layout.frames_per_block);
  job.frame_source = job.channels == 1 && !job.layout.converted ? job.read_buffer
                                                                : job.converted_buffer;
  if (job.sample_rate != kOutputRate) {
    int32_t scratch = 0;
    if (rate_conversion_init(&job.converter, job.layout.block_length, job.sample_rate,
                             kOutputRate, job.channels, 1, kOutputRateConverterQuality,
                             &scratch) != RATE_CONVERSION_OK) {
      job.converter = nullptr;
      return fail_start(message, title, kConverterInitError, kTitleDownsampling);
    }
  }
  return 1;
}

// SivoCount's work on a claimed record. Sets ended when the job was released
// (100 and -1). A stop asked from another thread ends the call after the
// block in progress, with the progress so far.
int32_t encode_blocks(char* message, char* title, bool& ended) {
  ended = true;
  // A data chunk shorter than one block holds no whole frame: done at once.
  if (job.frames_total == 0) return finish_job(message, title);

  const int32_t block_samples = job.layout.block_length * job.channels;
  for (int b = 0; b < kBlocksPerCall; ++b) {
    if (b > 0 && state.load(std::memory_order_acquire) == kStopAsked) break;
    const LONG got = mmioRead(job.input, reinterpret_cast<HPSTR>(job.read_buffer),
                              block_samples * 2);
    if (got / 2 < block_samples) return fail_job(message, title, kReadError, kTitleIo);

    const int32_t frame_count = job.layout.frames_per_block;
    if (job.converter != nullptr) {
      if (rate_conversion_process(job.converter, job.read_buffer, job.layout.block_length,
                                  job.converted_buffer) != kFrameSamples * frame_count) {
        return fail_job(message, title, kConvertError, kTitleDownsampling);
      }
    } else if (job.channels == 2) {
      mix_to_mono(job.read_buffer, job.converted_buffer, kFrameSamples);
    }

    for (int32_t j = 0; j < frame_count; ++j) {
      uint8_t frame[kFrameBufferBytes];
      int32_t frame_type = 0, byte_count = 0;
      if (sivo_encode_frame(job.encoder, job.frame_source + kFrameSamples * j, frame,
                            &frame_type, &byte_count) != SIVO_OK ||
          byte_count < 0 || byte_count > kFrameBufferBytes) {
        return fail_job(message, title, kEncodeError, kTitleEncoding);
      }
      const auto bytes = static_cast<std::size_t>(byte_count);
      if (std::fwrite(frame, 1, bytes, job.output) < bytes) {
        return fail_job(message, title, kWriteError, kTitleIo);
      }
      ++job.frames_done;
      if (job.frames_done >= job.frames_total) return finish_job(message, title);
    }
  }
  ended = false;
  return static_cast<int32_t>(job.frames_done * 100u / job.frames_total);
}

}  // namespace

int32_t start_job(char* message, char* title, const char* input_name,
                  const char* output_name, int32_t comp_rate) noexcept {
  if (!claim(kIdle, kStarting)) return -2;
  const int32_t result = open_job(message, title, input_name, output_name, comp_rate);
  publish(result == 1 ? kReady : kIdle);
  return result;
}

int32_t advance_job(char* message, char* title) noexcept {
  // Idle, still starting, being stopped or advanced by another thread: no
  // job this call may advance.
  if (!claim(kReady, kCounting)) return -2;
  // The output may be a pipe whose reader has gone: a failed write.
  const pipe_signal_guard quiet_pipe;
  bool ended = false;
  const int32_t result = encode_blocks(message, title, ended);
  if (!ended && claim(kCounting, kReady)) return result;
  // Ended, or a stop was asked meanwhile: the job is released here and a
  // waiting SivoStop gets the close status (0 when the job ended by itself).
  const int32_t close_status = ended ? 0 : release_job();
  if (!claim(kCounting, kIdle)) publish(close_status == 0 ? kStopped : kStopFailed);
  return result;
}

int32_t stop_job() noexcept {
  bool waited = false;
  for (;;) {
    const int now = state.load(std::memory_order_acquire);
    if (now >= kStopAsked) {
      // Another SivoStop is ending the job: once it has, this stop found
      // no job.
      waited = true;
      std::this_thread::yield();
      continue;
    }
    // Idle, or still starting (this stop comes before the start).
    if (waited || now == kIdle || now == kStarting) return 0;
    if (now == kReady && claim(kReady, kStopping)) {
      const pipe_signal_guard quiet_pipe;  // the close writes what is buffered
      const int32_t status = release_job();
      publish(kIdle);
      return status;
    }
    if (now == kCounting && claim(kCounting, kStopAsked)) {
      // The count releases the job after its current block.
      int handed;
      while ((handed = state.load(std::memory_order_acquire)) == kStopAsked) {
        std::this_thread::yield();
      }
      publish(kIdle);
      return handed == kStopped ? 0 : -1;
    }
    // The state moved between the load and the claim: look again.
  }
}

}  // namespace sivo
