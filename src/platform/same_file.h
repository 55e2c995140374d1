// Whether a path names the file behind an open handle: the same file by the
// system's identity of files -- device and inode (POSIX), volume serial
// number and file index (Windows, GetFileInformationByHandle) -- so that
// hard links and symbolic links to it count as the same file.  On Linux the
// backing file of a loop device (or of a partition of one) counts too: its
// bytes are the device's bytes.  (Windows has no counterpart to ask: the
// file behind an attached virtual disk is held open by the system without
// write sharing, so opening it for writing fails anyway.)
#pragma once

#include "platform/file_handle.h"
#include "platform/system_error.h"

namespace segsniff::platform {

// Sets `same` and returns 0, or returns the code of the failing query (a
// path that does not exist yet, say) and leaves `same` false.  Prints nothing.
ErrorCode same_file(FileHandle open_file, const char* path, bool& same);

}  // namespace segsniff::platform
