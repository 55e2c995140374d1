// Creating and writing the files the program writes (POSIX): the carved
// images, which never replace anything, and the copy target.
//
// Each call returns 0 or the errno value of the failure and prints nothing;
// errno itself is left as the failing call set it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

namespace segsniff::platform {

// Makes the folder `path` unless it exists; its parent must exist.  Returns
// 0 when a folder is there afterwards (made now or before), else errno
// (ENOTDIR when something else has the name).
int make_folder(const char* path);

// Result of OutputFile::create_new when the name is taken.  Negative, so it
// cannot be mistaken for an errno value.
inline constexpr int name_taken = -1;

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes a file still open; its close error is lost
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates `name` as a new file.  Anything already there under that name
  // -- a file, a link to one, a dangling link, a folder, a FIFO -- is left
  // as it is and the result is name_taken: nothing is replaced, no link is
  // followed and no reader is waited for.
  int create_new(const char* name);

  // One unbuffered fwrite of all the bytes.  Returns the count the system
  // took; when it is short, errno tells why.
  std::size_t write(std::span<const std::uint8_t> bytes);

  // Closes the file: 0, or errno when the close reported a failure (data
  // that did not reach the file after all).
  int close();

 private:
  std::FILE* file_ = nullptr;
};

// Result of CopyTarget::open for a block device: the copy writes files, and
// a device named by mistake (the card itself, the source swapped with the
// target) would be overwritten.  Negative, as name_taken.
inline constexpr int target_is_block_device = -2;

// The target of a copy: opened without emptying it, and emptied only once
// the copy has a first block of the source in hand, so a source that cannot
// be read leaves an existing target as it was.
class CopyTarget {
 public:
  CopyTarget() = default;
  ~CopyTarget();
  CopyTarget(const CopyTarget&) = delete;
  CopyTarget& operator=(const CopyTarget&) = delete;

  // Whether `name` (after links) is a block device; false when it does not exist.
  static bool is_block_device(const char* name);

  // Opens `name` for writing, creating a missing file.  A block device is
  // refused (target_is_block_device) before it is opened for writing if
  // the name says so, and right after if the name changed in between.
  int open(const char* name);

  // Empties a regular file; FIFOs and character devices have nothing to empty.
  int empty();

  // A buffered stream over the target, for fwrite and fflush.
  std::FILE* stream() const { return file_; }

  // Closes the stream: 0, or errno when the last buffered bytes failed.
  int close();

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace segsniff::platform
