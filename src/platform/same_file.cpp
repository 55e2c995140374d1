#include "platform/same_file.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/block_device.h"

namespace segsniff::platform {

int same_file(int fd, const char* path, bool& same) {
  same = false;
  struct stat open_file;
  if (::fstat(fd, &open_file) != 0) return errno;
  struct stat named_file;
  if (::stat(path, &named_file) != 0) return errno;
  same = (open_file.st_dev == named_file.st_dev && open_file.st_ino == named_file.st_ino) ||
         loop_backed_by(fd, path);
  return 0;
}

}  // namespace segsniff::platform
