#include "shell/error_report.h"

#include <cstring>

#include "shell/channels.h"

namespace segsniff {

void report_last_error(int error_code) {
  const char* text = std::strerror(error_code);
  err_stream << "Last Error = " << static_cast<unsigned>(error_code) << " ('"
             << (text ? text : "") << "')\n";
}

}  // namespace segsniff
