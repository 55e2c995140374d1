#include "platform/copy_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace segsniff::platform {

CopySource::~CopySource() {
  if (handle_.is_open()) ::close(static_cast<int>(handle_.native));
}

ErrorCode CopySource::open(const char* name) {
  // Blocking: a FIFO as the source is waited for until it has a writer.
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  handle_.native = fd;
  struct stat st;
  handle_.device = ::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
  return 0;
}

// As fread does: reads until the block is full, the data ends or a read fails.
std::size_t CopySource::read(std::uint8_t* buffer, std::size_t size, bool& failed) {
  std::size_t count = 0;
  while (count < size) {
    const ssize_t n = ::read(static_cast<int>(handle_.native), buffer + count, size - count);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      failed = true;
      break;
    }
    count += static_cast<std::size_t>(n);
  }
  return count;
}

}  // namespace segsniff::platform
