// Block devices, and whether writing a file lands on one (Linux).
//
// A memory card being recovered must not be written to: not by files
// carved into a folder on one of its file systems, nor by a copy of it
// written there.  These queries answer that from the kernel's own tables
// and print nothing.  When a question cannot be answered (no sysfs, no
// /proc), the answer is "no": the guards they serve then let the run go on
// as it would without them.
#pragma once

#include <cstdint>

namespace segsniff::platform {

// A block device by its device number; opaque outside this module.
struct BlockDevice {
  std::uint64_t number = 0;
};

// Whether the open descriptor is a block device, and which.
bool block_device_of(int fd, BlockDevice& device);

// Whether a file written at `path` -- an existing file or folder, or a name
// still to be created in an existing folder -- can land on `device`: its
// file system lies on the device itself, on one of its partitions, on the
// whole disk that holds it, or on something stacked on one of these (a
// loop device whose backing file lies there, a device-mapper or RAID
// device built on it).
bool writes_reach_device(const char* path, const BlockDevice& device);

// Whether the open descriptor is a loop device, or a partition of one,
// whose backing file is the file at `path`: writing that file rewrites the
// device's bytes.
bool loop_backed_by(int fd, const char* path);

}  // namespace segsniff::platform
