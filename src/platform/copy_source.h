// The source of a copy: a file or a whole device, read from start to end in
// blocks.
//
// POSIX opens it read-only (a FIFO is waited for until it has a writer) and
// fills each block with as many reads as it takes.  Windows opens it with
// CreateFileA sharing reading and writing, as a mounted volume requires,
// and reads it with ReadFile; a device is read up to the length its driver
// gives, so that no read asks for bytes past its last sector.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file_handle.h"
#include "platform/system_error.h"

namespace segsniff::platform {

class CopySource {
 public:
  CopySource() = default;
  ~CopySource();
  CopySource(const CopySource&) = delete;
  CopySource& operator=(const CopySource&) = delete;

  ErrorCode open(const char* name);

  // Reads up to `size` bytes; returns the count.  0 is the end of the data
  // when `failed` stays false.  `failed` is set when the read met an error,
  // also after a part of the bytes (they are counted and are to be kept).
  std::size_t read(std::uint8_t* buffer, std::size_t size, bool& failed);

  FileHandle handle() const { return handle_; }

 private:
  FileHandle handle_;
  [[maybe_unused]] std::uint64_t remaining_ = 0;  // Windows device: bytes up to its end
};

}  // namespace segsniff::platform
