// Reading a file mapping whose file may shrink under it.
//
// A page of a shared file mapping that lies wholly past the file's current
// end cannot be read: another process that truncates the file while it is
// mapped turns the next read of such a page into SIGBUS, which would kill
// the program.  read_mapping_guarded runs a piece of work so that such a
// fault ends the work instead: the work is abandoned where it stood (no
// destructor of its own frames runs, so it must hold nothing that needs
// one beyond what the caller restores) and the call reports where the page
// that could not be read begins.  (Pages are what a file mapping loses or
// fails to load; the byte within the page that met the fault depends only
// on the order of the reads.)  A SIGBUS for any other address keeps its
// previous disposition.
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

}  // namespace segsniff::platform
