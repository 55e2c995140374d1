#include "platform/win32/win32_handles.h"

#include <winioctl.h>
#include <winternl.h>

#include "platform/equal_ignoring_case.h"

namespace segsniff::platform::win32 {

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool starts_ignoring_case(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix)
    if (ascii_lower(*text) != ascii_lower(*prefix)) return false;
  return true;
}

}  // namespace

bool is_device_path(const char* name) {
  if (!is_separator(name[0]) || !is_separator(name[1]) || (name[2] != '.' && name[2] != '?') ||
      !is_separator(name[3]))
    return false;
  const char* device = name + 4;
  if (*device == '\0') return false;
  if (starts_ignoring_case(device, "GLOBALROOT")) return true;
  for (const char* c = device; *c != '\0'; ++c)
    if (is_separator(*c)) return false;
  return true;
}

namespace {

constexpr std::uint64_t probe_sector = 512;

// Whether the sector that begins at `offset` can be read whole.
bool sector_readable(HANDLE device, std::uint64_t offset) {
  alignas(4096) static std::uint8_t sector[probe_sector];
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ReadFile(device, sector, probe_sector, &read, &at) && read == probe_sector;
}

// The end of the data as reads find it: the first sector that cannot be
// read, found by doubling and then halving (some 80 reads for a disk of
// many TiB).
bool length_by_reads(HANDLE device, std::uint64_t& bytes) {
  if (!sector_readable(device, 0)) return false;
  std::uint64_t readable = 0, unreadable = 1;  // in sectors
  constexpr std::uint64_t limit = std::uint64_t{1} << 48;
  while (unreadable < limit && sector_readable(device, unreadable * probe_sector)) {
    readable = unreadable;
    unreadable *= 2;
  }
  if (unreadable >= limit) return false;
  while (unreadable - readable > 1) {
    const std::uint64_t middle = readable + (unreadable - readable) / 2;
    if (sector_readable(device, middle * probe_sector)) readable = middle;
    else unreadable = middle;
  }
  bytes = unreadable * probe_sector;
  return true;
}

}  // namespace

bool device_length(HANDLE device, std::uint64_t& bytes) {
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (DeviceIoControl(device, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                      &returned, nullptr) &&
      length.Length.QuadPart > 0) {
    bytes = static_cast<std::uint64_t>(length.Length.QuadPart);
    return true;
  }
  // Reads at an offset move the position of a handle opened for
  // synchronous reading: it is put back.
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(device, LARGE_INTEGER{}, &start, FILE_CURRENT)) return false;
  const DWORD error = GetLastError();
  const bool found = length_by_reads(device, bytes);
  SetFilePointerEx(device, start, nullptr, FILE_BEGIN);
  if (!found) SetLastError(error);
  return found;
}

bool file_identity(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileInformationByHandle(file, &information)) {
    identity.index = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    identity.volume = information.dwVolumeSerialNumber;
    identity.volume_known = true;
    return true;
  }
  using QueryInformationFile = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
  constexpr ULONG file_internal_information = 6;  // FILE_INTERNAL_INFORMATION: the index
  const auto query = reinterpret_cast<QueryInformationFile>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
  IO_STATUS_BLOCK status{};
  LARGE_INTEGER index{};
  if (query == nullptr || query(file, &status, &index, sizeof index, file_internal_information) < 0)
    return false;
  identity.index = static_cast<std::uint64_t>(index.QuadPart);
  identity.volume_known = false;
  return true;
}

Sameness same_identity(const FileIdentity& a, const FileIdentity& b) {
  if (a.index != b.index) return Sameness::different;
  if (a.volume_known && b.volume_known)
    return a.volume == b.volume ? Sameness::same : Sameness::different;
  return Sameness::unknown;
}

}  // namespace segsniff::platform::win32
