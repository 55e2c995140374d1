#include "platform/output_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "platform/mapped_read_guard.h"
#include "platform/win32/win32_handles.h"

namespace segsniff::platform {

namespace {

using win32::native;

ErrorCode last_error() { return static_cast<ErrorCode>(GetLastError()); }

// The bytes go to WriteFile in pieces of this size.
constexpr std::size_t write_piece = std::size_t{1} << 20;

// The kernel reads a write's bytes without the program's fault handlers:
// bytes of a device view (win32/device_view.h) that are not in memory yet
// would fail the write.  So each page of a piece is read once first, under
// a guard of its own; false when one of them cannot be read.
bool bring_in_pages(std::span<const std::uint8_t> piece) {
  std::uint64_t lost_at = 0;
  return read_mapping_guarded(
      piece.data(), piece.size(),
      [piece] {
        const std::uint64_t page = page_size();
        for (std::size_t at = 0; at < piece.size(); at += page)
          static_cast<void>(*static_cast<const volatile std::uint8_t*>(piece.data() + at));
      },
      lost_at);
}

bool is_character_device_or_pipe(HANDLE handle) {
  const DWORD type = GetFileType(handle);
  return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

}  // namespace

ErrorCode make_folder(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return 0;
  const ErrorCode error = last_error();
  if (error != ERROR_ALREADY_EXISTS) return error;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return 0;
  return error;
}

bool is_path_separator(char c) { return c == '/' || c == '\\'; }

OutputFile::~OutputFile() {
  if (handle_.is_open()) CloseHandle(native(handle_));
}

// CREATE_NEW fails on any existing name; with FILE_FLAG_OPEN_REPARSE_POINT
// a symbolic link counts as the name it is, dangling or not, and is never
// followed.  A folder of that name refuses the creation as access denied:
// it is a taken name too.
ErrorCode OutputFile::create_new(const char* name) {
  HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const ErrorCode error = last_error();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return name_taken;
    if (error == ERROR_ACCESS_DENIED && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES)
      return name_taken;
    return error;
  }
  handle_ = win32::file_handle(file, false);
  return 0;
}

std::size_t OutputFile::write(std::span<const std::uint8_t> bytes, ErrorCode& error) {
  error = 0;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const std::span<const std::uint8_t> piece =
        bytes.subspan(written, std::min(write_piece, bytes.size() - written));
    if (!bring_in_pages(piece)) {
      error = ERROR_NOACCESS;
      break;
    }
    DWORD taken = 0;
    if (!WriteFile(native(handle_), piece.data(), static_cast<DWORD>(piece.size()), &taken,
                   nullptr)) {
      error = last_error();
      written += taken;
      break;
    }
    written += taken;
  }
  return written;
}

ErrorCode OutputFile::close() {
  HANDLE file = native(handle_);
  handle_ = FileHandle{};
  return CloseHandle(file) ? 0 : last_error();
}

CopyTarget::~CopyTarget() {
  if (file_ != nullptr) std::fclose(file_);
}

// A device path that opens as anything but a character device or a pipe
// (the null device, a serial port, a named pipe take a copy as a stream).
bool CopyTarget::is_block_device(const char* name) {
  if (!win32::is_device_path(name)) return false;
  HANDLE device = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return false;
  const bool block = !is_character_device_or_pipe(device);
  CloseHandle(device);
  return block;
}

// No truncation when the file exists: see empty().
ErrorCode CopyTarget::open(const char* name) {
  if (is_block_device(name)) return target_is_block_device;
  HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error();
  if (win32::is_device_path(name) && !is_character_device_or_pipe(file)) {
    CloseHandle(file);
    return target_is_block_device;
  }
  // A binary stream of the C runtime over the handle, which it then owns.
  const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_BINARY);
  if (descriptor == -1) {
    const ErrorCode error = last_error();
    CloseHandle(file);
    return error != 0 ? error : ERROR_INVALID_HANDLE;
  }
  file_ = _fdopen(descriptor, "wb");
  if (file_ == nullptr) {
    _close(descriptor);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

ErrorCode CopyTarget::empty() {
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
  if (GetFileType(file) != FILE_TYPE_DISK) return 0;
  if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN) || !SetEndOfFile(file))
    return last_error();
  return 0;
}

// The C runtime reports a failed last write in errno; the system's code is
// what WriteFile left.
ErrorCode CopyTarget::close() {
  std::FILE* closing = file_;
  file_ = nullptr;
  if (std::fclose(closing) == 0) return 0;
  const ErrorCode error = last_error();
  return error != 0 ? error : ERROR_WRITE_FAULT;
}

}  // namespace segsniff::platform
