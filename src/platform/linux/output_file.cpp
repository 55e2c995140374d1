#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace segsniff::platform {

namespace {

// Closes fd without disturbing the errno value being reported.
ErrorCode close_keeping(int fd, ErrorCode error) {
  ::close(fd);
  errno = error;
  return error;
}

ErrorCode close_stream(std::FILE*& file) {
  std::FILE* closing = file;
  file = nullptr;
  return std::fclose(closing) == 0 ? 0 : errno;
}

}  // namespace

ErrorCode make_folder(const char* path) {
  if (::mkdir(path, 0777) == 0) return 0;
  if (errno != EEXIST) return errno;
  struct stat st;
  if (::stat(path, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return 0;
  errno = ENOTDIR;
  return ENOTDIR;
}

bool is_path_separator(char c) { return c == '/'; }

OutputFile::~OutputFile() {
  if (handle_.is_open()) ::close(static_cast<int>(handle_.native));
}

ErrorCode OutputFile::create_new(const char* name) {
  // O_EXCL makes the creation fail on any existing name, a dangling link
  // included (links are not followed with O_CREAT | O_EXCL); O_NOFOLLOW
  // says so again.  Nothing existing is ever opened, so no FIFO can block.
  int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? name_taken : errno;
  handle_.native = fd;
  return 0;
}

std::size_t OutputFile::write(std::span<const std::uint8_t> bytes, ErrorCode& error) {
  error = 0;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(static_cast<int>(handle_.native), bytes.data() + written,
                              bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  return written;
}

ErrorCode OutputFile::close() {
  const int fd = static_cast<int>(handle_.native);
  handle_ = FileHandle{};
  return ::close(fd) == 0 ? 0 : errno;
}

CopyTarget::~CopyTarget() {
  if (file_ != nullptr) std::fclose(file_);
}

bool CopyTarget::is_block_device(const char* name) {
  struct stat st;
  return ::stat(name, &st) == 0 && S_ISBLK(st.st_mode);
}

ErrorCode CopyTarget::open(const char* name) {
  if (is_block_device(name)) return target_is_block_device;
  // No O_TRUNC: see empty().  A FIFO is waited for until it has a reader,
  // as a copy into a pipe expects.
  int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  struct stat st;
  if (::fstat(fd, &st) != 0) return close_keeping(fd, errno);
  if (S_ISBLK(st.st_mode)) {
    ::close(fd);
    return target_is_block_device;
  }
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) return close_keeping(fd, errno);
  return 0;
}

ErrorCode CopyTarget::empty() {
  const int fd = ::fileno(file_);
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) return errno;
  return 0;
}

ErrorCode CopyTarget::close() { return close_stream(file_); }

}  // namespace segsniff::platform
