// Block devices (disks, partitions, volumes), and whether writing a file
// lands on one.
//
// A memory card being recovered must not be written to: not by files
// carved into a folder on one of its file systems, nor by a copy of it
// written there.  These queries answer that from the system's own tables
// and print nothing.  When a question cannot be answered, the answer is
// "no": the guards they serve then let the run go on as it would without
// them.
//
// Linux asks sysfs and the mount table (linux/block_device.cpp).  Windows
// asks the storage driver which disk and partition a device is, and which
// disks the volume of a path lies on (win32/block_device.cpp).
#pragma once

#include <cstdint>

#include "platform/file_handle.h"

namespace segsniff::platform {

// A block device by the system's numbers for it; opaque outside this module.
struct BlockDevice {
  std::uint64_t number = 0;
};

// Whether the open handle is a block device, and which.
bool block_device_of(FileHandle handle, BlockDevice& device);

// Whether a file written at `path` -- an existing file or folder, or a name
// still to be created in an existing folder -- can land on `device`: its
// file system lies on the device itself, on one of its partitions, on the
// whole disk that holds it, or (Linux) on something stacked on one of
// these (a loop device whose backing file lies there, a device-mapper or
// RAID device built on it).
bool writes_reach_device(const char* path, const BlockDevice& device);

}  // namespace segsniff::platform
