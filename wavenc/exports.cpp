// The C interface of sivowav.
#include "sivowav.h"

#include "wavenc/encoding_job.h"
#include "wavenc/error_texts.h"
#include "wavenc/wav_header.h"

extern "C" {

int32_t CheckWavFormat(char* message, char* title, const char* file_name) {
  return sivo::check_wav_format(message, title, file_name);
}

int32_t GetMaxErrorMessageLen(void) {
  return static_cast<int32_t>(sivo::kMessageBytes);
}

int32_t GetMaxErrorTitleLen(void) {
  return static_cast<int32_t>(sivo::kTitleBytes);
}

int32_t SivoEncode(char* message, char* title, const char* input_name,
                   const char* output_name, int32_t comp_rate) {
  return sivo::start_job(message, title, input_name, output_name, comp_rate);
}

int32_t SivoCount(char* message, char* title) {
  return sivo::advance_job(message, title);
}

int32_t SivoStop(void) {
  return sivo::stop_job();
}

}  // extern "C"
