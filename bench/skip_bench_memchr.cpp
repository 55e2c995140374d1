// The reference figure for the scan skip: map a file read-only and find
// every FF byte with memchr, testing the byte after each one, as a scan skip
// at memory speed would.  Prints the number of FF bytes and of FF D9 pairs.
//
//   skip_bench_memchr <file>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "mapped_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <file>\n", argv[0]);
    return 1;
  }
  const MappedFile input(argv[1], 2);
  if (!input.ok()) return 1;
  const std::uint8_t* p = input.base();
  const std::uint64_t size = input.size();
  const std::uint8_t* last = p + size - 1;
  std::uint64_t ff = 0, pairs = 0;
  while (p < last) {
    const void* hit = std::memchr(p, 0xFF, static_cast<std::size_t>(last - p));
    if (hit == nullptr) break;
    p = static_cast<const std::uint8_t*>(hit);
    ++ff;
    if (p[1] == 0xD9) ++pairs;
    ++p;
  }
  std::printf("%llu FF bytes, %llu FF D9 pairs\n", static_cast<unsigned long long>(ff),
              static_cast<unsigned long long>(pairs));
  return 0;
}
