// The process's three standard streams as the console output uses them
// (POSIX).  Nothing here prints; failures come back as errno values.
#pragma once

#include <cstddef>

namespace segsniff::platform {

enum class StandardStream { input, output, error };

// Opens the null device on each standard stream that is closed at start, so
// that no file the program opens later takes its place: text meant for the
// console would otherwise land in that file (a copy target, say).
void open_closed_standard_streams();

// Writes all bytes.  Returns 0, or the errno of the write that failed
// (interrupted writes are retried, a stream left non-blocking is waited for).
int write_all(StandardStream stream, const char* data, std::size_t size);

// Whether a failed write found the reading end of its pipe closed.
bool is_closed_pipe(int error);

bool is_terminal(StandardStream stream);

// Whether both streams lead to the same file, pipe or terminal; false when
// either cannot be asked.
bool same_destination(StandardStream a, StandardStream b);

// The width of the terminal on `stream` in columns; 0 when it is unknown.
unsigned terminal_columns(StandardStream stream);

}  // namespace segsniff::platform
