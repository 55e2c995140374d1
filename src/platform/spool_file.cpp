#include "platform/spool_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace segsniff::platform {

namespace {

// The folder a file name lies in: "." for a bare name.
std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A named file made with mkstemp and unlinked at once, for file systems
// without O_TMPFILE (FAT on a USB stick, say).
int create_unlinked(const std::string& folder, int& fd) {
  std::string name = folder + "/.segsniff-spool-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  if (::unlink(name.c_str()) != 0) {
    const int error = errno;
    ::close(fd);
    fd = -1;
    return error;
  }
  return 0;
}

}  // namespace

SpoolFile::~SpoolFile() { close(); }

int SpoolFile::create_beside(const char* beside) {
  close();
  const std::string folder = folder_of(beside);
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd_ >= 0) return 0;
  // Not supported there (the error differs by kernel and file system); a
  // folder that is not there or not writable fails the same way below.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  return create_unlinked(folder, fd_);
}

int SpoolFile::append(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;  // no progress: do not spin
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  return 0;
}

int SpoolFile::rewind() { return ::lseek(fd_, 0, SEEK_SET) == 0 ? 0 : errno; }

int SpoolFile::read(std::span<std::uint8_t> into, std::size_t& count) {
  count = 0;
  for (;;) {
    const ssize_t n = ::read(fd_, into.data(), into.size());
    if (n >= 0) {
      count = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

void SpoolFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace segsniff::platform
