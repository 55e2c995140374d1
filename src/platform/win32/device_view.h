// A device's bytes at a range of addresses, read from the device as they
// are touched.
//
// Windows maps files but not devices (CreateFileMappingA refuses a disk or
// a volume), and a card of many GiB cannot be read into memory whole.  So
// the size of the device is reserved as addresses, and nothing more: a
// read of a part that is not in memory faults, and a vectored exception
// handler reads the 1 MiB chunk around it from the device, makes it
// readable and lets the read go on.  At most 64 chunks are kept; the one
// brought in longest ago makes room for the next, so memory stays at
// 64 MiB whatever the size of the device.  A chunk that the device cannot
// deliver stays unreadable, and the fault goes on to the read guard
// (mapped_read_guard.h), as a page of a mapped file that fails to load.
//
// One view at a time (the program reads one input at a time, on one
// thread); the handle stays open while the view lives.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/system_error.h"

namespace segsniff::platform::win32 {

// Reserves the addresses for `size` bytes of `device` and starts answering
// faults in them.  Returns 0 or the code of the failure.
ErrorCode open_device_view(HANDLE device, std::uint64_t size, const std::uint8_t*& base);

// Gives the addresses and the memory back.
void close_device_view();

}  // namespace segsniff::platform::win32
