// What the Windows implementation of the platform shares among its files:
// handles to and from FileHandle, device paths and their lengths.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/console.h"
#include "platform/file_handle.h"

namespace segsniff::platform::win32 {

inline HANDLE native(FileHandle handle) { return reinterpret_cast<HANDLE>(handle.native); }

inline FileHandle file_handle(HANDLE handle, bool device) {
  return FileHandle{reinterpret_cast<std::intptr_t>(handle), device};
}

// Whether `name` is a device path: "\\.\" or "\\?\" (or the same with
// forward slashes) followed by a device's name with no folder in it --
// \\.\X:, \\.\PhysicalDrive2, \\?\Volume{...} -- or by GLOBALROOT.  Such a
// name opens the device itself, not a file on it.
bool is_device_path(const char* name);

// The length in bytes of an opened disk, partition or volume: from
// IOCTL_DISK_GET_LENGTH_INFO, else the end of the data as reads of sectors
// find it (wine, for one, does not answer the request for a Unix block
// device given a drive letter).  False, with the request's error left,
// when neither answers.
bool device_length(HANDLE device, std::uint64_t& bytes);

// Which file a handle is open on: the volume's serial number and the file's
// index on it.  GetFileInformationByHandle needs the right to read the
// file's attributes, which a handle opened for writing only (standard
// output sent to a file, say) lacks; the index alone can still be asked
// (FileInternalInformation), and then the volume is unknown.
struct FileIdentity {
  std::uint64_t index = 0;
  std::uint32_t volume = 0;
  bool volume_known = false;
};
bool file_identity(HANDLE file, FileIdentity& identity);

// Two files with different indexes differ; equal indexes on one known
// volume are one file; equal indexes with a volume unknown cannot be told.
Sameness same_identity(const FileIdentity& a, const FileIdentity& b);

}  // namespace segsniff::platform::win32
