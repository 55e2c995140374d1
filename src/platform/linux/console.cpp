#include "platform/console.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace segsniff::platform {

namespace {

int descriptor(StandardStream stream) {
  switch (stream) {
    case StandardStream::input: return STDIN_FILENO;
    case StandardStream::output: return STDOUT_FILENO;
    case StandardStream::error: return STDERR_FILENO;
  }
  return -1;
}

}  // namespace

void open_closed_standard_streams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is the closed one.  Should it not be (it
    // cannot, while fd is free and the lower ones are open), let it go.
    int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

ErrorCode write_all(StandardStream stream, const char* data, std::size_t size) {
  const int fd = descriptor(stream);
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // A descriptor inherited in non-blocking mode: wait until it drains.
        struct pollfd ready = {fd, POLLOUT, 0};
        if (::poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
      }
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

bool is_closed_pipe(ErrorCode error) { return error == EPIPE; }

bool is_terminal(StandardStream stream) { return ::isatty(descriptor(stream)) == 1; }

Sameness same_destination(StandardStream a, StandardStream b) {
  struct stat first, second;
  if (::fstat(descriptor(a), &first) != 0 || ::fstat(descriptor(b), &second) != 0)
    return Sameness::unknown;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino ? Sameness::same
                                                                        : Sameness::different;
}

unsigned terminal_columns(StandardStream stream) {
  struct winsize size {};
  if (::ioctl(descriptor(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace segsniff::platform
