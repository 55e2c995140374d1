#include "platform/block_device.h"

#include <windows.h>
#include <winioctl.h>

#include <string>

#include "platform/win32/win32_handles.h"

namespace segsniff::platform {

namespace {

// BlockDevice::number holds the disk's number above the partition's (0 for
// a whole disk), as the storage driver numbers them.
constexpr unsigned partition_bits = 32;

bool device_number(HANDLE device, STORAGE_DEVICE_NUMBER& number) {
  DWORD returned = 0;
  return DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                         sizeof number, &returned, nullptr) != 0 &&
         number.DeviceType == FILE_DEVICE_DISK;
}

std::uint64_t pack(const STORAGE_DEVICE_NUMBER& number) {
  return (std::uint64_t{number.DeviceNumber} << partition_bits) | number.PartitionNumber;
}

// The volume that a path lies on, as "\\?\Volume{...}" without the final
// backslash (the form that opens the volume itself); empty when unknown.
// The path need not exist yet: its volume is that of the folder it names.
std::string volume_of(const char* path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return "";
  char mount_point[MAX_PATH];
  if (!GetVolumePathNameA(full, mount_point, sizeof mount_point)) return "";
  char volume[MAX_PATH];
  if (!GetVolumeNameForVolumeMountPointA(mount_point, volume, sizeof volume)) return "";
  std::string name = volume;
  if (!name.empty() && name.back() == '\\') name.pop_back();
  return name;
}

// Whether a volume lies on `disk`, in part or whole (a volume may span disks).
bool volume_on_disk(HANDLE volume, DWORD disk) {
  // Room for a volume spread over 32 disks.
  union {
    VOLUME_DISK_EXTENTS extents;
    char room[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)];
  } answer{};
  DWORD returned = 0;
  if (!DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &answer,
                       sizeof answer, &returned, nullptr))
    return false;
  const DWORD count = answer.extents.NumberOfDiskExtents;
  for (DWORD i = 0; i < count && i < 32; ++i)
    if (answer.extents.Extents[i].DiskNumber == disk) return true;
  return false;
}

}  // namespace

bool block_device_of(FileHandle handle, BlockDevice& device) {
  STORAGE_DEVICE_NUMBER number{};
  if (!handle.device || !device_number(win32::native(handle), number)) return false;
  device.number = pack(number);
  return true;
}

// A whole disk is reached from any volume on it; a partition or volume only
// from itself.  Volumes are the only place a file can be written on.
bool writes_reach_device(const char* path, const BlockDevice& device) {
  const std::string volume_name = volume_of(path);
  if (volume_name.empty()) return false;
  HANDLE volume = CreateFileA(volume_name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return false;
  const auto disk = static_cast<DWORD>(device.number >> partition_bits);
  const bool whole_disk = (device.number & 0xFFFFFFFFu) == 0;
  STORAGE_DEVICE_NUMBER number{};
  const bool numbered = device_number(volume, number);
  bool reached = false;
  if (whole_disk) reached = (numbered && number.DeviceNumber == disk) || volume_on_disk(volume, disk);
  else reached = numbered && pack(number) == device.number;
  CloseHandle(volume);
  return reached;
}

}  // namespace segsniff::platform
