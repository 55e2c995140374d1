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

namespace {

int descriptor(FileHandle handle) { return static_cast<int>(handle.native); }

// Fails with `error`, errno set to it as well.
ErrorCode failing(ErrorCode error) {
  errno = error;
  return error;
}

}  // namespace

InputFile::~InputFile() {
  if (handle_.is_open()) ::close(descriptor(handle_));
}

ErrorCode InputFile::open(const char* name) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    ::close(fd);
    return failing(error);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return failing(EISDIR);
  }
  handle_.native = fd;
  handle_.device = S_ISBLK(st.st_mode);
  return 0;
}

ErrorCode InputFile::size(std::uint64_t& bytes) const {
  struct stat st;
  if (::fstat(descriptor(handle_), &st) != 0) return errno;
  if (S_ISREG(st.st_mode)) {
    bytes = static_cast<std::uint64_t>(st.st_size);
    return 0;
  }
  if (S_ISBLK(st.st_mode)) {
    std::uint64_t device_size = 0;
    if (::ioctl(descriptor(handle_), BLKGETSIZE64, &device_size) != 0) return errno;
    bytes = device_size;
    return 0;
  }
  return failing(ESPIPE);
}

InputMapping::~InputMapping() {
  if (data_ != nullptr) ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

// POSIX has no mapping object: this step only refuses what mmap cannot map.
ErrorCode InputMapping::create(const InputFile& file, std::uint64_t size) {
  if (size == 0) return failing(EINVAL);
  if (size > static_cast<std::uint64_t>(SIZE_MAX / 2)) return failing(EFBIG);
  file_ = file.handle();
  size_ = size;
  return 0;
}

ErrorCode InputMapping::map_view() {
  void* view = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, descriptor(file_), 0);
  if (view == MAP_FAILED) return errno;
  ::madvise(view, size_, MADV_SEQUENTIAL);
  data_ = static_cast<const std::uint8_t*>(view);
  return 0;
}

}  // namespace segsniff::platform
