#pragma once

#include "shell/printer.h"

namespace segsniff {

// "-copy": copies a file or a raw device byte for byte into a file, in
// 256 KiB blocks, with one star per read, a progress line every 32 blocks
// and the total at the end.  Never writes onto a block device, its own
// source or a file system of the source device.  Returns true when the
// whole source was copied; every failure and refusal has been told to the
// printer.
[[nodiscard]] bool copy_device(const char* source, const char* destination, Printer& printer);

}  // namespace segsniff
