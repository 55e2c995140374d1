// Whether a path names the file behind an open descriptor: same device and
// inode, so hard links and symbolic links to it count as the same file; and
// so does the backing file of a loop device (or of a partition of one),
// whose bytes are the device's bytes.
#pragma once

namespace segsniff::platform {

// Sets `same` and returns 0, or returns the errno of the failing stat (a path
// that does not exist yet: ENOENT) and leaves `same` false.  Prints nothing.
int same_file(int fd, const char* path, bool& same);

}  // namespace segsniff::platform
