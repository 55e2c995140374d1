// An open file or device as the system knows it: a descriptor on POSIX, a
// HANDLE on Windows.  It is held as a number so that no system header
// leaves the platform folder; -1 means none on both (INVALID_HANDLE_VALUE
// is -1).  The classes that open files own their handles and hand them to
// the queries here by value; a FileHandle itself owns nothing.
#pragma once

#include <cstdint>

namespace segsniff::platform {

struct FileHandle {
  std::intptr_t native = -1;
  bool is_open() const { return native != -1; }
};

}  // namespace segsniff::platform
