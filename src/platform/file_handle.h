// An open file or device as the system knows it: a descriptor on POSIX, a
// HANDLE on Windows.  It is held as a number so that no system header
// leaves the platform folder; -1 means none on both (INVALID_HANDLE_VALUE
// is -1).  The classes that open files own their handles and hand them to
// the platform's queries by value; a FileHandle itself owns nothing.
//
// `device` says whether a device was opened (a disk, a partition, a
// volume).  The opener knows: POSIX asks the open descriptor; Windows
// goes by the name, a device path such as \\.\X: or \\.\PhysicalDriveN,
// since the storage queries on a file's handle reach the volume under it
// and answer as if the file were the device.
#pragma once

#include <cstdint>

namespace segsniff::platform {

struct FileHandle {
  std::intptr_t native = -1;
  bool device = false;
  bool is_open() const { return native != -1; }
};

}  // namespace segsniff::platform
