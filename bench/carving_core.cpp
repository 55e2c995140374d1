// The carving loop of segsniff in-process with the console discarded: the
// same recover_jpeg_streams over the same mapping, output files written to
// the current folder, but every printed byte dropped by a null channel
// writer.  Next to "segsniff -recover" it shows how much of a run is the
// carving itself and how much the console output (one system call per
// standard-error line, and the Exif dumps of the images found).
//
//   carving_core <image>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "jpeg/recover_jpeg_streams.h"
#include "shell/channels.h"

namespace {
void discard(segsniff::Channel, const char*, std::size_t) {}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <image>\n", argv[0]);
    return 1;
  }
  const int fd = ::open(argv[1], O_RDONLY);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < 1) {
    std::perror(argv[1]);
    return 1;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) {
    std::perror("mmap");
    return 1;
  }
  segsniff::set_channel_writer(discard);
  segsniff::CarvingRun run;
  segsniff::CarvedInput input{static_cast<const std::uint8_t*>(map), size, true,
                              static_cast<std::uint64_t>(st.st_dev),
                              static_cast<std::uint64_t>(st.st_ino)};
  segsniff::recover_jpeg_streams(input, run);
  segsniff::flush_output();
  std::printf("%ld files, %llu bytes searched for FF D9\n", run.last_number,
              static_cast<unsigned long long>(run.eoi_bytes_searched));
  ::munmap(map, size);
  ::close(fd);
  return 0;
}
