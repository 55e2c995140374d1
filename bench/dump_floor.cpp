// The floor of the dump benchmark: the least a process must do to dump
// many photos -- map each file, pass over all of its bytes once (a memchr
// for every FF byte and a look at the byte after it, as the walk past a
// scan does), and write as many bytes to standard output as the listing
// has, in the pieces a buffered writer would use.  What segsniff does on
// top of that (reading the segments, formatting the lines) is what the
// benchmark shows.
//
//   dump_floor [-w <bytes to write>] <file>...
//
// Prints, on standard error, the number of files and of FF bytes seen.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mapped_file.h"

int main(int argc, char** argv) {
  int first = 1;
  unsigned long long to_write = 0;
  if (argc > 2 && std::strcmp(argv[1], "-w") == 0) {
    to_write = std::strtoull(argv[2], nullptr, 10);
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: %s [-w <bytes to write>] <file>...\n", argv[0]);
    return 1;
  }
  const int files = argc - first;
  // Each file's share of the output, written after its pass.
  const unsigned long long share = to_write / static_cast<unsigned long long>(files);
  static char piece[1 << 16];
  std::memset(piece, '.', sizeof piece);
  unsigned long long ff = 0, pending = 0;
  for (int i = first; i < argc; ++i) {
    const MappedFile input(argv[i], 2);
    if (!input.ok()) continue;
    const std::uint8_t* p = input.base();
    const std::uint8_t* last = p + input.size() - 1;
    while (p < last) {
      const void* hit = std::memchr(p, 0xFF, static_cast<std::size_t>(last - p));
      if (hit == nullptr) break;
      p = static_cast<const std::uint8_t*>(hit);
      ff += p[1] != 0x00;  // the byte after it is looked at
      ++p;
    }
    pending += i + 1 == argc ? to_write - share * static_cast<unsigned long long>(files - 1) : share;
    while (pending >= sizeof piece) {
      if (::write(1, piece, sizeof piece) < 0) return 1;
      pending -= sizeof piece;
    }
  }
  if (pending > 0 && ::write(1, piece, pending) < 0) return 1;
  std::fprintf(stderr, "%d files, %llu FF bytes not followed by 00\n", files, ff);
  return 0;
}
