// Opening, sizing and mapping an input file read-only.
//
// Each call returns 0 or the code of the failure (system_error.h) and prints
// nothing.  The holders release in destruction order: declare the file
// before its mapping, so that the view is unmapped and the mapping closed
// before the file is.
//
// Windows: the file is opened with CreateFileA for reading with no sharing
// (nobody can change it while it is read), sized with GetFileSizeEx, mapped
// with CreateFileMappingA and MapViewOfFile.  A device path (\\.\X:,
// \\.\PhysicalDriveN) is opened sharing reading and writing, as a mounted
// volume requires, and sized from the device; Windows cannot map a device,
// so its "view" is a range of addresses that is filled from the device as
// it is read (win32/device_view.h).
#pragma once

#include <cstdint>

#include "platform/file_handle.h"
#include "platform/system_error.h"

namespace segsniff::platform {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens an existing file or device for reading only.  A directory is
  // refused (POSIX: EISDIR; Windows: access denied).  Never blocks (POSIX: a
  // FIFO opens, and is refused by size()).
  ErrorCode open(const char* name);

  // The size in bytes: a regular file's length, or a device's size.
  // Anything else (FIFO, socket, character device) has none (POSIX: ESPIPE).
  ErrorCode size(std::uint64_t& bytes) const;

  FileHandle handle() const { return handle_; }

 private:
  FileHandle handle_;
};

class InputMapping {
 public:
  InputMapping() = default;
  ~InputMapping();
  InputMapping(const InputMapping&) = delete;
  InputMapping& operator=(const InputMapping&) = delete;

  // The mapping object of the whole file.  A size of 0 cannot be mapped
  // (POSIX: EINVAL; Windows: what CreateFileMappingA says), nor one beyond
  // the address space (POSIX: EFBIG).
  ErrorCode create(const InputFile& file, std::uint64_t size);

  // The read-only view of the whole mapping, with a sequential-access hint.
  ErrorCode map_view();

  const std::uint8_t* data() const { return data_; }

 private:
  FileHandle file_;
  [[maybe_unused]] std::intptr_t mapping_ = 0;  // Windows: the mapping object's HANDLE
  const std::uint8_t* data_ = nullptr;
  std::uint64_t size_ = 0;
};

}  // namespace segsniff::platform
