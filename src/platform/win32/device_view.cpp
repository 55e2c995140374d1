#include "platform/win32/device_view.h"

namespace segsniff::platform::win32 {

namespace {

constexpr std::uint64_t chunk_size = std::uint64_t{1} << 20;
constexpr std::size_t chunks_kept = 64;
constexpr std::uint64_t no_chunk = UINT64_MAX;  // a place whose chunk could not be brought in

// The view in use; a process-wide variable set by open_device_view and
// cleared by close_device_view.
struct View {
  HANDLE device = nullptr;
  std::uint8_t* base = nullptr;
  std::uint64_t size = 0;
  PVOID handler = nullptr;
  std::uint64_t resident[chunks_kept] = {};  // chunk numbers, in the order they came in
  std::size_t resident_count = 0;
  std::size_t oldest = 0;  // where the next chunk goes once all places are taken
};
View view;

bool is_resident(std::uint64_t chunk) {
  for (std::size_t i = 0; i < view.resident_count; ++i)
    if (view.resident[i] == chunk) return true;
  return false;
}

std::uint8_t* chunk_address(std::uint64_t chunk) { return view.base + chunk * chunk_size; }

std::uint64_t chunk_length(std::uint64_t chunk) {
  const std::uint64_t start = chunk * chunk_size;
  return view.size - start < chunk_size ? view.size - start : chunk_size;
}

// Makes room for one more chunk; returns its place in `resident`.
std::size_t free_place() {
  if (view.resident_count < chunks_kept) return view.resident_count++;
  const std::size_t place = view.oldest;
  view.oldest = (view.oldest + 1) % chunks_kept;
  const std::uint64_t leaving = view.resident[place];
  if (leaving != no_chunk)
    VirtualFree(chunk_address(leaving), static_cast<SIZE_T>(chunk_length(leaving)), MEM_DECOMMIT);
  return place;
}

// Commits the chunk and reads it from the device (device reads come in
// whole sectors: chunks start on a MiB and the device's size is whole
// sectors).  False, with nothing committed, when the device does not
// deliver all of it.
bool bring_in(std::uint64_t chunk) {
  std::uint8_t* address = chunk_address(chunk);
  const std::uint64_t length = chunk_length(chunk);
  if (VirtualAlloc(address, static_cast<SIZE_T>(length), MEM_COMMIT, PAGE_READWRITE) == nullptr)
    return false;
  OVERLAPPED at{};
  const std::uint64_t offset = chunk * chunk_size;
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  DWORD ignored = 0;
  if (!ReadFile(view.device, address, static_cast<DWORD>(length), &read, &at) || read != length ||
      !VirtualProtect(address, static_cast<SIZE_T>(length), PAGE_READONLY, &ignored)) {
    VirtualFree(address, static_cast<SIZE_T>(length), MEM_DECOMMIT);
    return false;
  }
  return true;
}

LONG CALLBACK on_fault(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2 ||
      view.base == nullptr)
    return EXCEPTION_CONTINUE_SEARCH;
  const auto address = static_cast<std::uint64_t>(record->ExceptionInformation[1]);
  const auto first = reinterpret_cast<std::uint64_t>(view.base);
  if (address < first || address - first >= view.size) return EXCEPTION_CONTINUE_SEARCH;
  const std::uint64_t chunk = (address - first) / chunk_size;
  // A fault in a chunk that is there is no missing chunk (a write, say).
  if (is_resident(chunk)) return EXCEPTION_CONTINUE_SEARCH;
  const std::size_t place = free_place();
  const bool brought = bring_in(chunk);
  view.resident[place] = brought ? chunk : no_chunk;
  return brought ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

ErrorCode open_device_view(HANDLE device, std::uint64_t size, const std::uint8_t*& base) {
  if (size == 0) return ERROR_FILE_INVALID;  // as a mapping of an empty file fails
  void* reserved = VirtualAlloc(nullptr, static_cast<SIZE_T>(size), MEM_RESERVE, PAGE_NOACCESS);
  if (reserved == nullptr) return static_cast<ErrorCode>(GetLastError());
  // First in line: a chunk is brought in before any guard sees the fault.
  PVOID handler = AddVectoredExceptionHandler(1, on_fault);
  if (handler == nullptr) {
    const auto error = static_cast<ErrorCode>(GetLastError());
    VirtualFree(reserved, 0, MEM_RELEASE);
    return error;
  }
  view = View{};
  view.device = device;
  view.base = static_cast<std::uint8_t*>(reserved);
  view.size = size;
  view.handler = handler;
  base = view.base;
  return 0;
}

void close_device_view() {
  if (view.base == nullptr) return;
  RemoveVectoredExceptionHandler(view.handler);
  VirtualFree(view.base, 0, MEM_RELEASE);
  view = View{};
}

}  // namespace segsniff::platform::win32
