// Soak run: hours of looped speech through one encoder and one decoder per
// rate, with the segmental SNR of every minute and the handles' state
// checked for finite values after every frame.
//
//   sivo_soak [minutes, default 120] [speech folder, default the codec2 one]
//
// The recordings are played back to back, over and over. Per rate it prints
// the segmental SNR (post-filter off, decoded sample n + 60 against input
// sample n, as `sivo compare` measures it) of the first and the last
// minute, the lowest and highest minute, and the last minute's audio coded
// again by fresh handles: the last two agree when nothing drifts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "signal_measures.h"
#include "sivocore.h"
#include "state_checks.h"

namespace {

constexpr std::size_t kFrame = SIVO_FRAME_SAMPLES;
constexpr std::size_t kMinute = 60 * SIVO_SAMPLE_RATE;
constexpr std::size_t kDelay = 60;  // the codec's look-ahead

// Speech recordings of codec2-examples (the modem and sine files left out).
const char* const kRecordings[] = {"hts.raw",    "hts1a.raw", "hts2a.raw",  "kristoff.raw",
                                   "mmt1.raw",   "big_dog.raw", "forig.raw", "morig.raw",
                                   "cq_ref.raw", "vk5qi.raw", "ve9qrp_10s.raw"};

std::vector<int16_t> load_speech(const std::string& folder) {
  std::vector<int16_t> all;
  for (const char* name : kRecordings) {
    std::FILE* f = std::fopen((folder + name).c_str(), "rb");
    if (f == nullptr) {
      std::fprintf(stderr, "sivo_soak: cannot read %s%s\n", folder.c_str(), name);
      continue;
    }
    uint8_t pair[2];
    while (std::fread(pair, 1, 2, f) == 2) {
      all.push_back(static_cast<int16_t>(pair[0] | (pair[1] << 8)));
    }
    std::fclose(f);
  }
  return all;
}

struct soak_result {
  std::vector<sivo::snr_result> minutes;
  const char* fault = nullptr;  // first state field that went bad
  long long fault_frame = -1;
};

// Codes `minutes` minutes of the looped speech from sample `start` with fresh
// handles at one rate.
soak_result soak(const std::vector<int16_t>& speech, int rate, std::size_t start,
                 std::size_t minutes) {
  soak_result result;
  sivo_encoder* enc = nullptr;
  sivo_decoder* dec = nullptr;
  if (sivo_encoder_open(&enc) != SIVO_OK || sivo_decoder_open(&dec) != SIVO_OK) {
    result.fault = "open";
    return result;
  }
  sivo_encoder_set_comp_rate(enc, rate);
  sivo_decoder_set_filter_mode(dec, 0);
  const auto& enc_state = *reinterpret_cast<const sivo::encoder_state*>(enc);
  const auto& dec_state = *reinterpret_cast<const sivo::decoder_state*>(dec);

  // One more frame than the minutes hold gives the last minute its delay.
  const std::size_t frames = minutes * kMinute / kFrame + 1;
  std::vector<int16_t> reference, decoded;  // the minute being measured
  std::size_t at = start % speech.size();
  for (std::size_t k = 0; k < frames; ++k) {
    int16_t input[kFrame], output[kFrame];
    for (std::size_t n = 0; n < kFrame; ++n) {
      input[n] = speech[at];
      at = at + 1 == speech.size() ? 0 : at + 1;
    }
    uint8_t frame[SIVO_MAX_FRAME_BYTES];
    int32_t type = 0, bytes = 0;
    const char* fault =
        sivo_encode_frame(enc, input, frame, &type, &bytes) != SIVO_OK ||
                sivo_decode_frame(dec, frame, output, SIVO_DECODE_NORMAL, &type, &bytes) !=
                    SIVO_OK
            ? "status"
            : nullptr;
    if (fault == nullptr) fault = sivo::encoder_state_fault(enc_state);
    if (fault == nullptr) fault = sivo::decoder_state_fault(dec_state);
    if (fault != nullptr && result.fault == nullptr) {
      result.fault = fault;
      result.fault_frame = static_cast<long long>(k);
    }
    reference.insert(reference.end(), input, input + kFrame);
    decoded.insert(decoded.end(), output, output + kFrame);
    if (decoded.size() >= kMinute + kDelay) {
      sivo::snr_meter meter;
      for (std::size_t at = 0; at + sivo::kSegment <= kMinute; at += sivo::kSegment)
        sivo::snr_add(meter, reference.data() + at, decoded.data() + at + kDelay);
      result.minutes.push_back(sivo::snr_result_of(meter));
      reference.erase(reference.begin(), reference.begin() + kMinute);
      decoded.erase(decoded.begin(), decoded.begin() + kMinute);
    }
  }
  sivo_encoder_close(&enc);
  sivo_decoder_close(&dec);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t minutes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 120;
  const std::string folder = argc > 2 ? argv[2] : "/usr/share/codec2/raw/";
  const std::vector<int16_t> speech = load_speech(folder);
  if (speech.size() < kFrame || minutes == 0) {
    std::fprintf(stderr, "sivo_soak: no speech to loop, or no minutes asked for\n");
    return 2;
  }
  std::printf("%zu min of %.1f s of speech looped; segmental SNR in dB, post-filter off\n",
              minutes, static_cast<double>(speech.size()) / SIVO_SAMPLE_RATE);
  std::printf("rate  first  last  lowest  highest  last, fresh  state       seconds\n");
  int status = 0;
  for (int rate = 0; rate < 4; ++rate) {
    const auto began = std::chrono::steady_clock::now();
    const soak_result run = soak(speech, rate, 0, minutes);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    const soak_result fresh = soak(speech, rate, (minutes - 1) * kMinute, 1);
    double low = 1e9, high = -1e9;
    for (const sivo::snr_result& m : run.minutes) {
      low = std::min(low, m.segmental_db);
      high = std::max(high, m.segmental_db);
    }
    std::printf("%4d  %5.2f  %5.2f  %6.2f  %7.2f  %11.2f  %-10s  %7.1f\n", rate,
                run.minutes.front().segmental_db, run.minutes.back().segmental_db, low, high,
                fresh.minutes.front().segmental_db, run.fault ? run.fault : "finite",
                took.count());
    if (run.fault != nullptr) {
      std::printf("      state field %s bad from frame %lld\n", run.fault, run.fault_frame);
      status = 1;
    }
  }
  return status;
}
