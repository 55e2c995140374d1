#include "platform/same_file.h"

#include <windows.h>

#include "platform/win32/win32_handles.h"

namespace segsniff::platform {

// The C runtime's stat gives every file the inode 0, so it cannot tell;
// the volume serial number and the file index can.  The path is opened for
// reading its attributes only, so that neither its sharing nor the right
// to read it stand in the way, and links are followed to the file they
// name.  When the system cannot say for sure, the answer is "the same":
// the copy is then refused rather than let truncate its own source.
ErrorCode same_file(FileHandle open_file, const char* path, bool& same) {
  same = false;
  win32::FileIdentity opened, named;
  if (!win32::file_identity(win32::native(open_file), opened))
    return static_cast<ErrorCode>(GetLastError());
  HANDLE other = CreateFileA(path, FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (other == INVALID_HANDLE_VALUE) return static_cast<ErrorCode>(GetLastError());
  const bool known = win32::file_identity(other, named);
  const ErrorCode error = known ? 0 : static_cast<ErrorCode>(GetLastError());
  CloseHandle(other);
  if (!known) return error;
  same = win32::same_identity(opened, named) != Sameness::different;
  return 0;
}

}  // namespace segsniff::platform
