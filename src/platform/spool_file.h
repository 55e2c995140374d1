// A file without a name for data the program writes and reads back before
// it ends (the carving report keeps its file records there until the run
// is over, so that its memory does not grow with the files it lists).  It
// lies in a folder the caller names and vanishes when it is closed, or
// when the process dies.
//
// Each call returns 0 or the code of the failure (system_error.h) and
// prints nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/file_handle.h"
#include "platform/system_error.h"

namespace segsniff::platform {

class SpoolFile {
 public:
  SpoolFile() = default;
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  // Makes the file in the folder of the file `beside` (a name with or
  // without a folder).  Where the file system cannot make a file without a
  // name, one is made under a fresh name and unlinked at once (POSIX); on
  // Windows it has a fresh name and is deleted when its handle is closed.
  ErrorCode create_beside(const char* beside);

  // Writes all the bytes at the end.
  ErrorCode append(std::span<const std::uint8_t> bytes);

  // Goes back to the first byte for reading.
  ErrorCode rewind();

  // Reads up to into.size() bytes; `count` is how many (0 at the end).
  ErrorCode read(std::span<std::uint8_t> into, std::size_t& count);

  void close();

 private:
  FileHandle handle_;
};

}  // namespace segsniff::platform
