#include "platform/input_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace segsniff::platform {

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

int InputFile::open(const char* name) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    ::close(fd);
    errno = error;
    return error;
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return EISDIR;
  }
  fd_ = fd;
  return 0;
}

int InputFile::size(std::uint64_t& bytes) const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return errno;
  if (S_ISREG(st.st_mode)) {
    bytes = static_cast<std::uint64_t>(st.st_size);
    return 0;
  }
  if (S_ISBLK(st.st_mode)) {
    std::uint64_t device_size = 0;
    if (::ioctl(fd_, BLKGETSIZE64, &device_size) != 0) return errno;
    bytes = device_size;
    return 0;
  }
  errno = ESPIPE;
  return ESPIPE;
}

InputMapping::~InputMapping() {
  if (data_ != nullptr) ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

int InputMapping::can_map(std::uint64_t size) {
  int error = 0;
  if (size == 0) error = EINVAL;
  else if (size > static_cast<std::uint64_t>(SIZE_MAX / 2)) error = EFBIG;
  if (error != 0) errno = error;
  return error;
}

int InputMapping::map(const InputFile& file, std::uint64_t size) {
  if (int error = can_map(size)) return error;
  void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.descriptor(), 0);
  if (view == MAP_FAILED) return errno;
  ::madvise(view, size, MADV_SEQUENTIAL);
  data_ = static_cast<const std::uint8_t*>(view);
  size_ = size;
  return 0;
}

}  // namespace segsniff::platform
