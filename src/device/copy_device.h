#pragma once

namespace segsniff {

// "-copy": copies a file or a raw device byte for byte into a file, in
// 256 KiB blocks, with one star per read, a progress line every 32 blocks
// and the total at the end.  Success and failure show only in the output.
void copy_device(const char* source, const char* destination);

}  // namespace segsniff
