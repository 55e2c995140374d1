#include "shell/error_report.h"

#include "platform/system_error.h"
#include "shell/channels.h"

namespace segsniff {

// The text goes in as the system delivers it.  Windows ends its texts with
// CR LF, so there the closing "')" starts the next line; a code without a
// text leaves nothing between the quotes.
void report_last_error(int error_code) {
  err_stream << "Last Error = " << static_cast<unsigned>(error_code) << " ('"
             << platform::error_text(error_code) << "')\n";
}

}  // namespace segsniff
