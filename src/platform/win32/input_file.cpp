#include "platform/input_file.h"

#include <windows.h>

#include "platform/win32/device_view.h"
#include "platform/win32/win32_handles.h"

namespace segsniff::platform {

namespace {

using win32::native;

ErrorCode last_error() { return static_cast<ErrorCode>(GetLastError()); }

}  // namespace

InputFile::~InputFile() {
  if (handle_.is_open()) CloseHandle(native(handle_));
}

// A file is opened without sharing: nobody can change it while it is read.
// A device path shares reading and writing, as a mounted volume requires
// (the system holds it open); the input is still only read.
ErrorCode InputFile::open(const char* name) {
  const bool device = win32::is_device_path(name);
  const DWORD share = device ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
  HANDLE file = CreateFileA(name, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_READONLY, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error();
  handle_ = win32::file_handle(file, device);
  return 0;
}

// A device's size comes from its driver; GetFileSizeEx knows files only.
ErrorCode InputFile::size(std::uint64_t& bytes) const {
  if (handle_.device) {
    if (win32::device_length(native(handle_), bytes)) return 0;
    return last_error();
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(native(handle_), &size)) return last_error();
  bytes = static_cast<std::uint64_t>(size.QuadPart);
  return 0;
}

InputMapping::~InputMapping() {
  if (file_.device) {
    win32::close_device_view();
    return;
  }
  if (data_ != nullptr) UnmapViewOfFile(data_);
  if (mapping_ != 0) CloseHandle(reinterpret_cast<HANDLE>(mapping_));
}

ErrorCode InputMapping::create(const InputFile& file, std::uint64_t size) {
  file_ = file.handle();
  size_ = size;
  if (file_.device) return 0;  // the view stands in for the mapping (map_view)
  HANDLE mapping = CreateFileMappingA(native(file_), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return last_error();
  mapping_ = reinterpret_cast<std::intptr_t>(mapping);
  return 0;
}

ErrorCode InputMapping::map_view() {
  if (file_.device) return win32::open_device_view(native(file_), size_, data_);
  void* view = MapViewOfFile(reinterpret_cast<HANDLE>(mapping_), FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) return last_error();
  data_ = static_cast<const std::uint8_t*>(view);
  return 0;
}

}  // namespace segsniff::platform
