#include "platform/same_file.h"

#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

namespace segsniff::platform {

namespace {

// Whether the open descriptor is a loop device, or a partition of one,
// whose backing file is the file at `path`: writing that file rewrites the
// device's bytes.  The loop driver answers for its partitions too (the
// ioctl reaches the disk's driver); any other block device refuses.
bool loop_backed_by(int fd, const struct stat& device, const struct stat& file) {
  if (!S_ISBLK(device.st_mode)) return false;
  loop_info64 info{};
  if (::ioctl(fd, LOOP_GET_STATUS64, &info) != 0) return false;
  return info.lo_device == static_cast<std::uint64_t>(file.st_dev) &&
         info.lo_inode == static_cast<std::uint64_t>(file.st_ino);
}

}  // namespace

ErrorCode same_file(FileHandle open_file, const char* path, bool& same) {
  same = false;
  const int fd = static_cast<int>(open_file.native);
  struct stat opened;
  if (::fstat(fd, &opened) != 0) return errno;
  struct stat named;
  if (::stat(path, &named) != 0) return errno;
  same = (opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) ||
         loop_backed_by(fd, opened, named);
  return 0;
}

}  // namespace segsniff::platform
