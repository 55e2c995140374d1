#include "platform/mapped_read_guard.h"

#include <windows.h>

namespace segsniff::platform {

namespace {

struct Guard {
  void* resume[5];           // __builtin_setjmp's buffer
  std::uintptr_t first = 0;  // the guarded bytes: first .. first + size - 1
  std::uint64_t size = 0;
  volatile std::uint64_t fault_offset = 0;
  Guard* outer = nullptr;
};

// The innermost guard in force, and the one a fault is being handed back
// to; process-wide variables changed only by read_mapping_guarded and the
// handler, which put back the values they found.
Guard* active_guard = nullptr;
Guard* faulted_guard = nullptr;
PVOID handler = nullptr;

// Runs on the guarded work's own stack once the exception is dispatched and
// done with: back to the frame of read_mapping_guarded, past the work.
[[noreturn]] void resume_after_fault() { __builtin_longjmp(faulted_guard->resume, 1); }

// A page that could not be brought in raises EXCEPTION_IN_PAGE_ERROR; wine,
// whose file a Unix process can truncate under it, raises an access
// violation.  Both give the address in their second parameter.  The
// handler does not jump out of the dispatch itself: it lets the thread go
// on in resume_after_fault, below the faulting frame, as if that frame
// had called it.
LONG CALLBACK on_fault(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if ((record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR &&
       record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) ||
      record->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  const auto address = static_cast<std::uintptr_t>(record->ExceptionInformation[1]);
  for (Guard* guard = active_guard; guard != nullptr; guard = guard->outer) {
    if (address >= guard->first && address - guard->first < guard->size) {
      guard->fault_offset = address - guard->first;
      faulted_guard = guard;
      CONTEXT* context = info->ContextRecord;
      // Below whatever the faulting frame holds, aligned as at a call
      // (16-byte stack, return address pushed).
      context->Rsp = ((context->Rsp - 256) & ~DWORD64{15}) - 8;
      context->Rip = reinterpret_cast<DWORD64>(&resume_after_fault);
      return EXCEPTION_CONTINUE_EXECUTION;
    }
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

bool read_mapping_guarded(const std::uint8_t* base, std::uint64_t size, void (*work)(void*),
                          void* context, std::uint64_t& lost_at) {
  Guard guard;
  guard.first = reinterpret_cast<std::uintptr_t>(base);
  guard.size = size;
  guard.outer = active_guard;
  // Last in line: the device view's handler (win32/device_view.h) brings
  // a missing chunk in before a guard takes the fault.
  if (active_guard == nullptr) handler = AddVectoredExceptionHandler(0, on_fault);
  active_guard = &guard;

  volatile bool finished = false;
  if (__builtin_setjmp(guard.resume) == 0) {
    work(context);
    finished = true;
  }

  active_guard = guard.outer;
  if (active_guard == nullptr && handler != nullptr) {
    RemoveVectoredExceptionHandler(handler);
    handler = nullptr;
  }
  if (!finished) {
    const std::uint64_t page = page_size();
    const std::uint64_t page_start = (guard.first + guard.fault_offset) / page * page;
    lost_at = page_start > guard.first ? page_start - guard.first : 0;
  }
  return finished;
}

std::uint64_t page_size() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwPageSize;
}

}  // namespace segsniff::platform
