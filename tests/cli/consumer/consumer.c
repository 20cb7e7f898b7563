/* A program built against the installed sivo tree: encodes and decodes a
 * few frames of a synthetic signal and checks the answers of both libraries. */
#include <sivocore.h>
#include <sivowav.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  sivo_encoder *enc = NULL;
  sivo_decoder *dec = NULL;
  const char *version = NULL;
  int16_t pcm[SIVO_FRAME_SAMPLES], out[SIVO_FRAME_SAMPLES];
  uint8_t frame[SIVO_MAX_FRAME_BYTES];
  int32_t type = -1, bytes = -1;
  char message[800], title[25];
  int n, frame_index;

  if (sivo_encoder_open(&enc) != SIVO_OK || sivo_decoder_open(&dec) != SIVO_OK) return 1;
  if (sivo_encoder_set_comp_rate(enc, 3) != SIVO_OK) return 2;
  for (frame_index = 0; frame_index < 10; ++frame_index) {
    for (n = 0; n < SIVO_FRAME_SAMPLES; ++n) {
      /* a triangle wave of period 40 samples (200 Hz) */
      int phase = (frame_index * SIVO_FRAME_SAMPLES + n) % 40;
      pcm[n] = (int16_t)((phase < 20 ? phase : 40 - phase) * 800 - 8000);
    }
    if (sivo_encode_frame(enc, pcm, frame, &type, &bytes) != SIVO_OK) return 3;
    if (type != 3 || bytes != SIVO_RATE3_BYTES) return 4;
    if (sivo_decode_frame(dec, frame, out, SIVO_DECODE_NORMAL, &type, &bytes) != SIVO_OK) return 5;
    if (type != 3 || bytes != SIVO_RATE3_BYTES) return 6;
  }
  sivo_encoder_close(&enc);
  sivo_decoder_close(&dec);

  if (sivo_decoder_get_version(&version) != SIVO_OK || strcmp(version, "siv.decoder.2.0") != 0)
    return 7;
  if (GetMaxErrorMessageLen() != 800 || GetMaxErrorTitleLen() != 25) return 8;
  if (CheckWavFormat(message, title, "/nonexistent/file.wav") != -1) return 9;
  if (strcmp(title, "I/O ERROR") != 0) return 10;
  printf("consumer ok: %s\n", version);
  return 0;
}
