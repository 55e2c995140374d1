#include "platform/console.h"

#include <windows.h>

#include "platform/win32/win32_handles.h"

namespace segsniff::platform {

namespace {

DWORD standard_handle_id(StandardStream stream) {
  switch (stream) {
    case StandardStream::input: return STD_INPUT_HANDLE;
    case StandardStream::output: return STD_OUTPUT_HANDLE;
    case StandardStream::error: return STD_ERROR_HANDLE;
  }
  return STD_OUTPUT_HANDLE;
}

HANDLE standard_handle(StandardStream stream) { return GetStdHandle(standard_handle_id(stream)); }

bool is_missing(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return true;
  // A handle value that names nothing (closed by whoever started us).
  SetLastError(NO_ERROR);
  return GetFileType(handle) == FILE_TYPE_UNKNOWN && GetLastError() == ERROR_INVALID_HANDLE;
}

bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// Writes the bytes as they are.
ErrorCode write_raw(HANDLE handle, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD piece = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handle, data, piece, &written, nullptr)) return static_cast<ErrorCode>(GetLastError());
    data += written;
    size -= written;
  }
  return 0;
}

// CompareObjectHandles (Windows 10 and later, and wine) tells whether two
// handles are one kernel object: one pipe, one open file.  Looked up at run
// time, so that the program still starts on older systems.
using CompareObjectHandlesFunction = BOOL(WINAPI*)(HANDLE, HANDLE);
CompareObjectHandlesFunction compare_object_handles() {
  HMODULE kernelbase = GetModuleHandleA("kernelbase.dll");
  if (kernelbase == nullptr) return nullptr;
  return reinterpret_cast<CompareObjectHandlesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernelbase, "CompareObjectHandles")));
}

}  // namespace

void open_closed_standard_streams() {
  for (StandardStream stream : {StandardStream::input, StandardStream::output, StandardStream::error}) {
    if (!is_missing(standard_handle(stream))) continue;
    const DWORD access = stream == StandardStream::input ? GENERIC_READ : GENERIC_WRITE;
    HANDLE null_device = CreateFileA("NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    if (null_device != INVALID_HANDLE_VALUE) SetStdHandle(standard_handle_id(stream), null_device);
  }
}

// Text mode, as the C runtime writes a console program's standard streams:
// every line feed goes out as CR LF, whatever stands before it.
ErrorCode write_all(StandardStream stream, const char* data, std::size_t size) {
  const HANDLE handle = standard_handle(stream);
  char staged[8192];
  std::size_t used = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (used + 2 > sizeof staged) {
      if (ErrorCode error = write_raw(handle, staged, used)) return error;
      used = 0;
    }
    if (data[i] == '\n') staged[used++] = '\r';
    staged[used++] = data[i];
  }
  return write_raw(handle, staged, used);
}

// The reading end has gone (ERROR_BROKEN_PIPE), or is going (ERROR_NO_DATA).
bool is_closed_pipe(ErrorCode error) { return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA; }

bool is_terminal(StandardStream stream) { return is_console(standard_handle(stream)); }

// A process has one console: two console handles lead to the same screen.
// Otherwise one kernel object is one destination, things of two kinds
// (pipe, file, device) are two, and two open files are one when they are
// one file (win32_handles.h).  What cannot be told for
// sure is unknown, and the channels then keep the order the safe way:
// wine, for one, gives a process's standard handles separate objects even
// when they are one Unix pipe or file.
Sameness same_destination(StandardStream a, StandardStream b) {
  const HANDLE first = standard_handle(a), second = standard_handle(b);
  if (is_missing(first) || is_missing(second)) return Sameness::unknown;
  const bool first_console = is_console(first), second_console = is_console(second);
  if (first_console || second_console)
    return first_console && second_console ? Sameness::same : Sameness::different;
  if (first == second) return Sameness::same;
  const CompareObjectHandlesFunction compare = compare_object_handles();
  if (compare != nullptr && compare(first, second)) return Sameness::same;
  // A pipe is no file on a disk, nor a device.
  if (GetFileType(first) != GetFileType(second)) return Sameness::different;
  win32::FileIdentity one, other;
  if (!win32::file_identity(first, one) || !win32::file_identity(second, other))
    return Sameness::unknown;
  return win32::same_identity(one, other);
}

unsigned terminal_columns(StandardStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(standard_handle(stream), &info)) return 0;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? static_cast<unsigned>(columns) : 0;
}

}  // namespace segsniff::platform
