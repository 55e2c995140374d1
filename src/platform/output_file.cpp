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

// A stream over fd, unbuffered when asked; on failure fd is closed.
int open_stream(int fd, bool buffered, std::FILE*& file) {
  file = ::fdopen(fd, "wb");
  if (file == nullptr) return close_keeping(fd, errno);
  if (!buffered) std::setvbuf(file, nullptr, _IONBF, 0);
  return 0;
}

int close_stream(std::FILE*& file) {
  std::FILE* closing = file;
  file = nullptr;
  return std::fclose(closing) == 0 ? 0 : errno;
}

}  // namespace

int make_folder(const char* path) {
  if (::mkdir(path, 0777) == 0) return 0;
  if (errno != EEXIST) return errno;
  struct stat st;
  if (::stat(path, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return 0;
  errno = ENOTDIR;
  return ENOTDIR;
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

int OutputFile::create_new(const char* name) {
  // O_EXCL makes the creation fail on any existing name, a dangling link
  // included (links are not followed with O_CREAT | O_EXCL); O_NOFOLLOW
  // says so again.  Nothing existing is ever opened, so no FIFO can block.
  int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? name_taken : errno;
  // Unbuffered: the one fwrite goes straight from the caller's bytes to the
  // system, and its count is what the system took.
  return open_stream(fd, /*buffered=*/false, file_);
}

std::size_t OutputFile::write(std::span<const std::uint8_t> bytes) {
  errno = 0;
  return std::fwrite(bytes.data(), 1, bytes.size(), file_);
}

int OutputFile::close() { return close_stream(file_); }

CopyTarget::~CopyTarget() {
  if (file_ != nullptr) std::fclose(file_);
}

bool CopyTarget::is_block_device(const char* name) {
  struct stat st;
  return ::stat(name, &st) == 0 && S_ISBLK(st.st_mode);
}

int CopyTarget::open(const char* name) {
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
  return open_stream(fd, /*buffered=*/true, file_);
}

int CopyTarget::empty() {
  const int fd = ::fileno(file_);
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) return errno;
  return 0;
}

int CopyTarget::close() { return close_stream(file_); }

}  // namespace segsniff::platform
