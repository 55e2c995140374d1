#include "platform/drive_geometry.h"

#include <windows.h>
#include <winioctl.h>

namespace segsniff::platform {

// The device is opened for queries only: no access is asked for, so
// neither the user's rights nor others' sharing stand in the way.  The
// geometry is asked with IOCTL_DISK_GET_DRIVE_GEOMETRY; the disk's true
// size comes from IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, which needs no access
// either (IOCTL_DISK_GET_LENGTH_INFO would need read access).  The handle
// is closed before the answers are looked at.
DriveQueryResult query_drive_geometry(const char* name, DriveGeometry& geometry) {
  HANDLE device = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return DriveQueryResult::open_failed;
  DISK_GEOMETRY answer{};
  DWORD returned = 0;
  const bool answered = DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &answer,
                                        sizeof answer, &returned, nullptr) != 0;
  DISK_GEOMETRY_EX extended{};
  const bool sized = DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0,
                                     &extended, sizeof extended, &returned, nullptr) != 0;
  CloseHandle(device);
  if (!answered) return DriveQueryResult::geometry_failed;

  geometry.cylinders = answer.Cylinders.QuadPart;
  geometry.media_type = static_cast<std::uint32_t>(answer.MediaType);
  geometry.tracks_per_cylinder = answer.TracksPerCylinder;
  geometry.sectors_per_track = answer.SectorsPerTrack;
  geometry.bytes_per_sector = answer.BytesPerSector;
  geometry.device_size =
      sized && extended.DiskSize.QuadPart > 0 ? static_cast<std::uint64_t>(extended.DiskSize.QuadPart) : 0;
  return DriveQueryResult::ok;
}

}  // namespace segsniff::platform
