#include "platform/mapped_read_guard.h"

#include <unistd.h>

#include <csetjmp>
#include <csignal>
#include <cstdint>

namespace segsniff::platform {

namespace {

struct Guard {
  sigjmp_buf resume;
  std::uintptr_t first = 0;  // the guarded bytes: first .. first + size - 1
  std::uint64_t size = 0;
  volatile std::uint64_t fault_offset = 0;
  Guard* outer = nullptr;
  struct sigaction previous {};
};

// The innermost guard in force; a process-wide variable changed only by
// read_mapping_guarded, which puts back the value it found.
Guard* active_guard = nullptr;

void on_bus_error(int, siginfo_t* info, void*) {
  auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Guard* guard = active_guard; guard != nullptr; guard = guard->outer) {
    if (address >= guard->first && address - guard->first < guard->size) {
      guard->fault_offset = address - guard->first;
      siglongjmp(guard->resume, 1);
    }
  }
  // Not a read of a guarded mapping: put back the disposition found before
  // the outermost guard and return, so that the faulting instruction runs
  // again and meets that disposition (by default: the end of the process).
  Guard* outermost = active_guard;
  while (outermost != nullptr && outermost->outer != nullptr) outermost = outermost->outer;
  if (outermost != nullptr) ::sigaction(SIGBUS, &outermost->previous, nullptr);
  else ::signal(SIGBUS, SIG_DFL);
}

}  // namespace

bool read_mapping_guarded(const std::uint8_t* base, std::uint64_t size, void (*work)(void*),
                          void* context, std::uint64_t& lost_at) {
  Guard guard;
  guard.first = reinterpret_cast<std::uintptr_t>(base);
  guard.size = size;
  guard.outer = active_guard;

  struct sigaction handler {};
  handler.sa_sigaction = on_bus_error;
  handler.sa_flags = SA_SIGINFO;
  sigemptyset(&handler.sa_mask);
  ::sigaction(SIGBUS, &handler, &guard.previous);
  active_guard = &guard;

  // Nothing in this frame changes between sigsetjmp and a jump back to it
  // except through `guard`, whose address does not change.
  bool finished = sigsetjmp(guard.resume, /*savemask=*/1) == 0;
  if (finished) work(context);

  active_guard = guard.outer;
  ::sigaction(SIGBUS, &guard.previous, nullptr);
  if (!finished) {
    const std::uint64_t page = page_size();
    const std::uint64_t page_start = (guard.first + guard.fault_offset) / page * page;
    lost_at = page_start > guard.first ? page_start - guard.first : 0;
  }
  return finished;
}

std::uint64_t page_size() { return static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)); }

}  // namespace segsniff::platform
