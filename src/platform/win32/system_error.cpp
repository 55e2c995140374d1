#include "platform/system_error.h"

#include <windows.h>

namespace segsniff::platform {

namespace {

// The user's default language, as FormatMessageA is asked for it.
constexpr DWORD user_default_language = 0x400;

}  // namespace

std::string error_text(ErrorCode code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, static_cast<DWORD>(code), user_default_language, reinterpret_cast<char*>(&buffer),
      0, nullptr);
  // No text for the code: the buffer was not allocated and is not looked at.
  if (length == 0 || buffer == nullptr) return "";
  std::string text(buffer, length);
  LocalFree(buffer);
  return text;
}

std::string error_text_in_line(ErrorCode code) {
  std::string text = error_text(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace segsniff::platform
