#include "platform/drive_geometry.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace segsniff::platform {

namespace {

// Whether the first byte of a sysfs attribute file is '1'.  Returns 0 or errno.
int read_sysfs_flag(const char* path, bool& flag) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char first = 0;
  ssize_t n = ::read(fd, &first, 1);
  int error = n < 0 ? errno : 0;
  ::close(fd);
  if (error != 0) {
    errno = error;
    return error;
  }
  flag = n == 1 && first == '1';
  return 0;
}

// The removable attribute belongs to the whole disk; a partition's sysfs
// directory sits inside its disk's, hence the second try one level up.
// A device with no such attribute is taken as fixed.
bool is_removable(dev_t device) {
  char path[64];
  bool flag = false;
  std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u/removable", ::major(device),
                ::minor(device));
  if (read_sysfs_flag(path, flag) == 0) return flag;
  std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u/../removable", ::major(device),
                ::minor(device));
  if (read_sysfs_flag(path, flag) == 0) return flag;
  return false;
}

// Asks an opened device the three block ioctls and sysfs.  Returns 0, or
// ENOTBLK for anything that is not a block device, or the errno of a
// failed size or sector-size query.
int read_block_device_facts(int fd, BlockDeviceFacts& facts) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISBLK(st.st_mode)) {
    errno = ENOTBLK;
    return ENOTBLK;
  }
  std::uint64_t size = 0;
  if (::ioctl(fd, BLKGETSIZE64, &size) != 0) return errno;
  int sector_size = 0;
  if (::ioctl(fd, BLKSSZGET, &sector_size) != 0) return errno;
  facts.size_bytes = size;
  facts.sector_size = sector_size > 0 ? static_cast<std::uint32_t>(sector_size) : 0;

  // Loop devices, device mapper and many card readers keep no geometry;
  // that is not a failure, the synthetic one stands in.
  struct hd_geometry bios = {};
  facts.has_bios_geometry = ::ioctl(fd, HDIO_GETGEO, &bios) == 0;
  facts.heads = bios.heads;
  facts.sectors_per_track = bios.sectors;
  facts.removable = is_removable(st.st_rdev);
  return 0;
}

}  // namespace

DriveQueryResult query_drive_geometry(const char* name, DriveGeometry& geometry) {
  int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return DriveQueryResult::open_failed;

  BlockDeviceFacts facts;
  int error = read_block_device_facts(fd, facts);
  // Closed at once, before the answers are looked at.
  ::close(fd);
  if (error != 0) {
    errno = error;
    return DriveQueryResult::geometry_failed;
  }
  if (!derive_drive_geometry(facts, geometry)) {
    errno = ENOMEDIUM;
    return DriveQueryResult::geometry_failed;
  }
  return DriveQueryResult::ok;
}

}  // namespace segsniff::platform
