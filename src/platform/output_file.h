// Creating and writing the files the program writes: the carved images,
// which never replace anything, and the copy target.
//
// Each call returns 0 or the code of the failure (system_error.h) and prints
// nothing.  Both kinds of file are binary: their bytes are written as they
// are, on every system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "platform/file_handle.h"
#include "platform/system_error.h"

namespace segsniff::platform {

// Makes the folder `path` unless it exists; its parent must exist.  Returns
// 0 when a folder is there afterwards (made now or before), else the code
// of the failure (when something else has the name: POSIX ENOTDIR, Windows
// ERROR_ALREADY_EXISTS).
ErrorCode make_folder(const char* path);

// The character that ends a folder's name in a path: '/' on POSIX, '/' or
// '\\' on Windows.
bool is_path_separator(char c);

// Result of OutputFile::create_new when the name is taken.  Negative, so it
// cannot be mistaken for a system's error code.
inline constexpr ErrorCode name_taken = -1;

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes a file still open; its close error is lost
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates `name` as a new file.  Anything already there under that name
  // -- a file, a link to one, a dangling link, a folder, a FIFO -- is left
  // as it is and the result is name_taken: nothing is replaced, no link is
  // followed and no reader is waited for.  (POSIX: O_CREAT | O_EXCL |
  // O_NOFOLLOW; Windows: CREATE_NEW with FILE_FLAG_OPEN_REPARSE_POINT.)
  ErrorCode create_new(const char* name);

  // Writes all the bytes, unbuffered.  Returns the count the system took;
  // when it is short, `error` tells why.  The bytes may come from a mapped
  // input that can no longer deliver them: then the write stops short
  // there (POSIX: EFAULT; Windows: ERROR_NOACCESS).
  std::size_t write(std::span<const std::uint8_t> bytes, ErrorCode& error);

  // Closes the file: 0, or the code when the close reported a failure (data
  // that did not reach the file after all).
  ErrorCode close();

 private:
  FileHandle handle_;
};

// Result of CopyTarget::open for a block device: the copy writes files, and
// a device named by mistake (the card itself, the source swapped with the
// target) would be overwritten.  Negative, as name_taken.
inline constexpr ErrorCode target_is_block_device = -2;

// The target of a copy: opened without emptying it, and emptied only once
// the copy has a first block of the source in hand, so a source that cannot
// be read leaves an existing target as it was.  Written through a buffered
// binary standard stream.
class CopyTarget {
 public:
  CopyTarget() = default;
  ~CopyTarget();
  CopyTarget(const CopyTarget&) = delete;
  CopyTarget& operator=(const CopyTarget&) = delete;

  // Whether `name` (after links) is a block device; false when it does not
  // exist.  Windows: a device path (\\.\X:, \\.\PhysicalDriveN, ...) that
  // opens as a disk; the null device and other character devices are none.
  static bool is_block_device(const char* name);

  // Opens `name` for writing, creating a missing file.  A block device is
  // refused (target_is_block_device) before it is opened for writing if
  // the name says so, and right after if the name changed in between.
  ErrorCode open(const char* name);

  // Empties a regular file; FIFOs and character devices have nothing to empty.
  ErrorCode empty();

  // A buffered stream over the target, for fwrite and fflush.
  std::FILE* stream() const { return file_; }

  // Closes the stream: 0, or the code when the last buffered bytes failed.
  ErrorCode close();

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace segsniff::platform
