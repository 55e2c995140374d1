// The process's three standard streams as the console output uses them.
// Nothing here prints; failures come back as error codes (system_error.h).
//
// Standard output and standard error are written as a console program of
// the system writes them: unchanged on POSIX, in text mode on Windows (each
// line feed goes out as CR LF).
#pragma once

#include <cstddef>

#include "platform/system_error.h"

namespace segsniff::platform {

enum class StandardStream { input, output, error };

// Opens the null device on each standard stream that is closed (POSIX) or
// missing (Windows) at start.  On POSIX no file the program opens later can
// then take its place: text meant for the console would otherwise land in
// that file (a copy target, say).  On Windows writes to a missing stream
// would fail, and the run with them.
void open_closed_standard_streams();

// Writes all bytes, line feeds translated as above.  Returns 0 or the code
// of the write that failed (interrupted writes are retried, a POSIX stream
// left non-blocking is waited for).
ErrorCode write_all(StandardStream stream, const char* data, std::size_t size);

// Whether a failed write found the reading end of its pipe closed.
bool is_closed_pipe(ErrorCode error);

// Whether the stream is a terminal (POSIX: isatty; Windows: a console, as
// GetConsoleMode answers, so that the null device does not count).
bool is_terminal(StandardStream stream);

enum class Sameness { same, different, unknown };

// Whether both streams lead to the same file, pipe or terminal.  Unknown
// when the system cannot tell (Windows: two pipes, where it has no way to
// compare them), and when either stream cannot be asked.
Sameness same_destination(StandardStream a, StandardStream b);

// The width of the terminal on `stream` in columns; 0 when it is unknown.
unsigned terminal_columns(StandardStream stream);

}  // namespace segsniff::platform
