#pragma once

namespace segsniff {

// "-copy": copies a file or a raw device to a file in 256 KiB blocks with
// progress output.
void copy_device(const char* source, const char* destination);

}  // namespace segsniff
