#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace segsniff::platform {

namespace {

// Closes fd without disturbing the errno value being reported.
int close_keeping(int fd, int error) {
  ::close(fd);
  errno = error;
  return error;
}

}  // namespace

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

int OutputFile::create(const char* name, const FileIdentity* keep) {
  // No O_TRUNC: the identity is checked first.  O_NONBLOCK: a FIFO without a
  // reader fails at once (ENXIO) instead of hanging the run.
  int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return errno;
  struct stat st;
  if (::fstat(fd, &st) != 0) return close_keeping(fd, errno);
  if (keep != nullptr && st.st_dev == keep->device && st.st_ino == keep->inode) {
    ::close(fd);
    return output_is_input;
  }
  if (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) return close_keeping(fd, errno);
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return close_keeping(fd, errno);

  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) return close_keeping(fd, errno);
  // Unbuffered: the one fwrite goes straight from the caller's bytes to the
  // system, and its count is what the system took.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  return 0;
}

std::size_t OutputFile::write(std::span<const std::uint8_t> bytes) {
  errno = 0;
  return std::fwrite(bytes.data(), 1, bytes.size(), file_);
}

int OutputFile::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  return std::fclose(file) == 0 ? 0 : errno;
}

}  // namespace segsniff::platform
