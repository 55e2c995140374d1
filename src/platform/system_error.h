// The failures of system calls, in the system's own numbers and words.
//
// Every platform call returns 0 or the code its failure left: an errno value
// on POSIX, a GetLastError value on Windows.  The code is taken right after
// the failing call, before anything is printed (printing may change it).
#pragma once

#include <string>

namespace segsniff::platform {

using ErrorCode = int;  // 0: no failure

// The system's text for `code`, exactly as the system delivers it: strerror
// on POSIX; on Windows FormatMessageA from the system's message table in the
// user's default language, whose texts end in CR LF.  Empty when the system
// has no text for the code.
std::string error_text(ErrorCode code);

// The same text without the line break it may end with, for a message that
// quotes it inside a line of its own.
std::string error_text_in_line(ErrorCode code);

}  // namespace segsniff::platform
