// The geometry of a drive, as the drive report prints it, and the queries
// behind it.
//
// Windows answers the report's five fields in one request: CreateFileA on
// the device path for queries only (no access), DeviceIoControl with
// IOCTL_DISK_GET_DRIVE_GEOMETRY, and IOCTL_DISK_GET_DRIVE_GEOMETRY_EX on
// the same handle for the disk's true size (win32/drive_geometry.cpp).  For
// a volume (\\.\X:) both describe the disk that holds it.
//
// Linux has no single call that answers them, so they are put together from
// what a block device does answer (linux/drive_geometry.cpp):
//   BLKGETSIZE64   size in bytes (a device that answers nothing is no disk)
//   BLKSSZGET      logical sector size -> bytes per sector
//   HDIO_GETGEO    heads and sectors per track, where the driver keeps a
//                  geometry; else the usual synthetic 255 heads x 63 sectors
//                  (2 heads x 18 sectors for a 1.44 MB floppy of 2880 sectors)
//   sysfs          /sys/dev/block/MAJ:MIN/removable (of the whole disk)
// Cylinders are not taken from HDIO_GETGEO, whose 16-bit field wraps on any
// disk above 500 MB; they are the size divided by the size of one cylinder.
#pragma once

#include <cstdint>

namespace segsniff::platform {

// Values of the media type field.  Only these four are ever derived on
// Linux; the report prints every other value as well (Windows, and
// injected geometries).
inline constexpr std::uint32_t media_unknown = 0;
inline constexpr std::uint32_t media_floppy_1440k = 2;
inline constexpr std::uint32_t media_removable = 11;
inline constexpr std::uint32_t media_fixed = 12;

struct DriveGeometry {
  std::int64_t cylinders = 0;
  std::uint32_t media_type = media_unknown;
  std::uint32_t tracks_per_cylinder = 0;
  std::uint32_t sectors_per_track = 0;
  std::uint32_t bytes_per_sector = 0;
  // The disk's true size in bytes, which the product of the geometry
  // misses by the sectors past the last whole cylinder; 0 when unknown.
  std::uint64_t device_size = 0;
};

// What the Linux kernel said about one opened block device.
struct BlockDeviceFacts {
  std::uint64_t size_bytes = 0;        // BLKGETSIZE64
  std::uint32_t sector_size = 0;       // BLKSSZGET
  bool has_bios_geometry = false;      // HDIO_GETGEO answered
  std::uint32_t heads = 0;             // from HDIO_GETGEO
  std::uint32_t sectors_per_track = 0; // from HDIO_GETGEO
  bool removable = false;              // sysfs "removable" is 1
};

// Geometry from the Linux kernel's answers, without touching any device.
// Returns false when the facts describe no usable disk: size 0 (no medium,
// a loop device with nothing attached) or sector size 0.
bool derive_drive_geometry(const BlockDeviceFacts& facts, DriveGeometry& geometry);

enum class DriveQueryResult {
  ok,
  open_failed,      // the name cannot be opened for queries
  geometry_failed,  // it opened, but it is no disk (regular file, null device, ...)
};

// Opens `name` for queries only (Linux: O_RDONLY | O_NONBLOCK, so that
// neither a FIFO nor a drive without a medium is waited for), asks it,
// closes it and only then looks at the answers.  Prints nothing.  Linux
// asks block devices only: other device ioctls reuse the same numbers for
// unrelated requests.
DriveQueryResult query_drive_geometry(const char* name, DriveGeometry& geometry);

// The seam through which the report reaches the device; tests pass their own.
using DriveGeometryQuery = DriveQueryResult (*)(const char* name, DriveGeometry& geometry);

}  // namespace segsniff::platform
