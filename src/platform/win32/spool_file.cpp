#include "platform/spool_file.h"

#include <windows.h>

#include <string>

#include "platform/output_file.h"
#include "platform/win32/win32_handles.h"

namespace segsniff::platform {

namespace {

using win32::native;

ErrorCode last_error() { return static_cast<ErrorCode>(GetLastError()); }

// The folder a file name lies in, with its separator: "" for a bare name.
std::string folder_of(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (is_path_separator(path[i - 1]) || (i == 2 && path[1] == ':')) return path.substr(0, i);
  return "";
}

// Windows has no file without a name: the spool gets a name of its own,
// made new (never one that is there), hidden, kept in memory as far as the
// system can, and deleted by the system when its last handle is closed --
// also when the process dies.  Nothing else may open it meanwhile.
HANDLE create_deleted_on_close(const std::string& folder, ErrorCode& error) {
  const DWORD process = GetCurrentProcessId();
  for (unsigned attempt = 0;; ++attempt) {
    const std::string name = folder + ".segsniff-spool-" + std::to_string(process) + "-" +
                             std::to_string(GetTickCount64()) + "-" + std::to_string(attempt);
    const HANDLE file = CreateFileA(
        name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    error = last_error();
    if (error != ERROR_FILE_EXISTS || attempt == 100) return INVALID_HANDLE_VALUE;
  }
}

}  // namespace

SpoolFile::~SpoolFile() { close(); }

ErrorCode SpoolFile::create_beside(const char* beside) {
  close();
  ErrorCode error = 0;
  const HANDLE file = create_deleted_on_close(folder_of(beside), error);
  if (file == INVALID_HANDLE_VALUE) return error;
  handle_ = win32::file_handle(file, false);
  return 0;
}

ErrorCode SpoolFile::append(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const DWORD piece = left > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(native(handle_), data, piece, &written, nullptr)) return last_error();
    if (written == 0) return ERROR_WRITE_FAULT;  // no progress: do not spin
    data += written;
    left -= written;
  }
  return 0;
}

ErrorCode SpoolFile::rewind() {
  const LARGE_INTEGER start{};
  return SetFilePointerEx(native(handle_), start, nullptr, FILE_BEGIN) ? 0 : last_error();
}

ErrorCode SpoolFile::read(std::span<std::uint8_t> into, std::size_t& count) {
  count = 0;
  const DWORD want = into.size() > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(into.size());
  DWORD got = 0;
  if (!ReadFile(native(handle_), into.data(), want, &got, nullptr)) return last_error();
  count = got;
  return 0;
}

void SpoolFile::close() {
  if (handle_.is_open()) CloseHandle(native(handle_));
  handle_ = FileHandle{};
}

}  // namespace segsniff::platform
