// The floor of the carving benchmark: the least any carver must do with a
// card image -- one memchr pass over all of it looking for FF D8 pairs, and
// every stream the manifest says is recoverable (complete images and their
// thumbnails) written once, each with one fwrite straight from the mapping.
//
//   carving_floor <image> <manifest> <output folder>
//
// Prints the number of FF D8 pairs seen and of files and bytes written.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "mapped_file.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <image> <manifest> <output folder>\n", argv[0]);
    return 1;
  }
  const MappedFile input(argv[1], 2);
  if (!input.ok()) return 1;
  const std::uint8_t* base = input.base();
  const std::uint64_t size = input.size();

  std::uint64_t pairs = 0;
  const std::uint8_t* p = base;
  const std::uint8_t* last = base + size - 1;
  while (p < last) {
    const void* hit = std::memchr(p, 0xFF, static_cast<std::size_t>(last - p));
    if (hit == nullptr) break;
    p = static_cast<const std::uint8_t*>(hit);
    if (p[1] == 0xD8) ++pairs;
    ++p;
  }

  std::ifstream manifest(argv[2]);
  std::uint64_t files = 0, bytes = 0;
  for (std::string line; std::getline(manifest, line);) {
    std::istringstream fields(line);
    std::uint64_t offset = 0, length = 0;
    std::string kind;
    if (line.empty() || line[0] == '#' || !(fields >> offset >> length >> kind)) continue;
    if ((kind != "complete" && kind != "thumbnail") || offset > size || length > size - offset)
      continue;
    const std::string name = std::string(argv[3]) + "/floor_" + std::to_string(files) + ".jpg";
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr) {
      std::perror(name.c_str());
      return 1;
    }
    std::setvbuf(out, nullptr, _IONBF, 0);
    const bool written = std::fwrite(base + offset, 1, length, out) == length;
    if (std::fclose(out) != 0 || !written) {
      std::perror(name.c_str());
      return 1;
    }
    ++files;
    bytes += length;
  }
  std::printf("%llu FF D8 pairs, %llu files, %llu bytes written\n",
              static_cast<unsigned long long>(pairs), static_cast<unsigned long long>(files),
              static_cast<unsigned long long>(bytes));
  return 0;
}
