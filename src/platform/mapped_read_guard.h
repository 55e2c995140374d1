// Reading a file mapping that may fail to deliver its bytes.
//
// A page of a file mapping can become unreadable while the program reads
// it: on POSIX another process truncates the file, and a read of a page
// that lies wholly past the file's new end raises SIGBUS; on Windows the
// device fails to deliver a page (a card pulled out, a bad sector), which
// raises EXCEPTION_IN_PAGE_ERROR (under wine, where another process can
// truncate the file, an access violation).  Either would end the program.
// read_mapping_guarded runs a piece of work so that such a fault ends the
// work instead: the work is abandoned where it stood (no destructor of its
// own frames runs, so it must hold nothing that needs one beyond what the
// caller restores) and the call reports where the page that could not be
// read begins.  (Pages are what a file mapping loses or fails to load; the
// byte within the page that met the fault depends only on the order of the
// reads.)  A fault at any other address is left to whatever handled it
// before (by default: the end of the process).
#pragma once

#include <cstdint>
#include <type_traits>

namespace segsniff::platform {

// Runs work(context) with the guard over [base, base + size).  Returns true
// when the work ran to its end; false when a read of the mapping faulted,
// with the offset from `base` of the faulting page's first byte in lost_at
// (0 when that page begins before `base`).  Single-threaded; guards
// may nest (the innermost one covering the address takes the fault).
bool read_mapping_guarded(const std::uint8_t* base, std::uint64_t size, void (*work)(void*),
                          void* context, std::uint64_t& lost_at);

template <typename Work>
bool read_mapping_guarded(const std::uint8_t* base, std::uint64_t size, Work&& work,
                          std::uint64_t& lost_at) {
  using Callable = std::remove_reference_t<Work>;
  return read_mapping_guarded(
      base, size, [](void* w) { (*static_cast<Callable*>(w))(); },
      const_cast<void*>(static_cast<const void*>(&work)), lost_at);
}

// The size of a page of memory.
std::uint64_t page_size();

}  // namespace segsniff::platform
