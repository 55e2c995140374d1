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

int descriptor(FileHandle handle) { return static_cast<int>(handle.native); }

}  // namespace

SpoolFile::~SpoolFile() { close(); }

ErrorCode SpoolFile::create_beside(const char* beside) {
  close();
  const std::string folder = folder_of(beside);
  handle_.native = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (handle_.is_open()) return 0;
  // Not supported there (the error differs by kernel and file system); a
  // folder that is not there or not writable fails the same way below.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  int unlinked = -1;
  const ErrorCode error = create_unlinked(folder, unlinked);
  handle_.native = unlinked;
  return error;
}

ErrorCode SpoolFile::append(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(descriptor(handle_), data, left);
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

ErrorCode SpoolFile::rewind() { return ::lseek(descriptor(handle_), 0, SEEK_SET) == 0 ? 0 : errno; }

ErrorCode SpoolFile::read(std::span<std::uint8_t> into, std::size_t& count) {
  count = 0;
  for (;;) {
    const ssize_t n = ::read(descriptor(handle_), into.data(), into.size());
    if (n >= 0) {
      count = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

void SpoolFile::close() {
  if (handle_.is_open()) ::close(descriptor(handle_));
  handle_.native = -1;
}

}  // namespace segsniff::platform
