// Copying the error texts into the caller's buffers.
#include "wavenc/error_texts.h"

#include <algorithm>
#include <cstring>

namespace sivo {

void copy_text(char* buffer, std::size_t bytes, const char* text) noexcept {
  if (buffer == nullptr || bytes == 0) return;
  const std::size_t length = std::min(std::strlen(text), bytes - 1);
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

void report_error(char* message, char* title, const char* message_text,
                  const char* title_text) noexcept {
  copy_text(message, kMessageBytes, message_text);
  copy_text(title, kTitleBytes, title_text);
}

}  // namespace sivo
