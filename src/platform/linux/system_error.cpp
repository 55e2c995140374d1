#include "platform/system_error.h"

#include <cstring>

namespace segsniff::platform {

std::string error_text(ErrorCode code) {
  const char* text = std::strerror(code);
  return text != nullptr ? text : "";
}

std::string error_text_in_line(ErrorCode code) {
  std::string text = error_text(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace segsniff::platform
