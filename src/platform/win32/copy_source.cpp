#include "platform/copy_source.h"

#include <windows.h>

#include "platform/win32/win32_handles.h"

namespace segsniff::platform {

using win32::native;

CopySource::~CopySource() {
  if (handle_.is_open()) CloseHandle(native(handle_));
}

// Shared for reading and writing, as a mounted volume requires; a device
// whose length its driver does not give is read until a read returns
// nothing.
ErrorCode CopySource::open(const char* name) {
  const bool device = win32::is_device_path(name);
  HANDLE source = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (source == INVALID_HANDLE_VALUE) return static_cast<ErrorCode>(GetLastError());
  handle_ = win32::file_handle(source, device);
  if (!device || !win32::device_length(source, remaining_)) remaining_ = UINT64_MAX;
  return 0;
}

// The end of a file or pipe is a read of nothing (or a broken pipe: the
// writer has gone); a device ends at its length.
std::size_t CopySource::read(std::uint8_t* buffer, std::size_t size, bool& failed) {
  std::size_t count = 0;
  while (count < size && remaining_ > 0) {
    std::uint64_t wanted = size - count;
    if (wanted > remaining_) wanted = remaining_;
    DWORD got = 0;
    if (!ReadFile(native(handle_), buffer + count, static_cast<DWORD>(wanted), &got, nullptr)) {
      const DWORD error = GetLastError();
      if (error != ERROR_HANDLE_EOF && error != ERROR_BROKEN_PIPE) failed = true;
      break;
    }
    if (got == 0) break;
    count += got;
    if (remaining_ != UINT64_MAX) remaining_ -= got;
  }
  return count;
}

}  // namespace segsniff::platform
