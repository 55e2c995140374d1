// Opening, sizing and mapping an input file read-only (POSIX).
//
// Each call returns 0 or the errno value of the failure and prints nothing;
// errno itself is left as the failing call set it.  The holders release in
// destruction order: declare the file before its mapping, so the mapping is
// unmapped before the descriptor is closed.
#pragma once

#include <cstdint>

namespace segsniff::platform {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens an existing file or block device for reading only.  A directory is
  // refused with EISDIR.  Never blocks (a FIFO opens, and is refused by size()).
  int open(const char* name);

  // The size in bytes: a regular file's length, or a block device's size.
  // Anything else (FIFO, socket, character device) has no size: ESPIPE.
  int size(std::uint64_t& bytes) const;

  int descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};

class InputMapping {
 public:
  InputMapping() = default;
  ~InputMapping();
  InputMapping(const InputMapping&) = delete;
  InputMapping& operator=(const InputMapping&) = delete;

  // Whether a file of this size can be mapped at all: a size of 0 cannot
  // (EINVAL), nor one beyond the address space (EFBIG).
  static int can_map(std::uint64_t size);

  // Maps the whole file read-only with a sequential-access hint.
  int map(const InputFile& file, std::uint64_t size);

  const std::uint8_t* data() const { return data_; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::uint64_t size_ = 0;
};

}  // namespace segsniff::platform
