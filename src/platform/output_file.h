// Creating and writing one output file (POSIX), with a guard against
// writing over the input being read.
//
// Each call returns 0 or the errno value of the failure and prints nothing;
// errno itself is left as the failing call set it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

namespace segsniff::platform {

// Which file an open input is (st_dev, st_ino).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Result of OutputFile::create when the name refers to the protected file.
// Negative, so it cannot be mistaken for an errno value.
inline constexpr int output_is_input = -1;

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes a file still open; its close error is lost
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens `name` for writing, creating it or emptying an existing file, as
  // fopen "wb" does -- except that when `keep` is given and `name` (after
  // symbolic links) is that very file, it is left untouched and the result
  // is output_is_input.  The check is made on the opened descriptor, before
  // anything is truncated, so no other name for the file slips through.
  int create(const char* name, const FileIdentity* keep);

  // One unbuffered fwrite of all the bytes.  Returns the count the system
  // took; when it is short, errno tells why.
  std::size_t write(std::span<const std::uint8_t> bytes);

  // Closes the file: 0, or errno when the close reported a failure (data
  // that did not reach the file after all).
  int close();

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace segsniff::platform
