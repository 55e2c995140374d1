// Writes one crafted input of a given shape and about a given size, the
// same bytes on every machine (the shapes are in tests/support/
// hostile_shapes.cpp, where the tests run them small).
//
//   make_hostile_input --list                    names and one line each
//   make_hostile_input <shape> <bytes> <output>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/hostile_shapes.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    for (const auto& shape : segsniff::test::hostile_shapes()) std::printf("%-24s %s\n", shape.name, shape.what);
    return 0;
  }
  const segsniff::test::HostileShape* shape =
      argc == 4 ? segsniff::test::find_hostile_shape(argv[1]) : nullptr;
  if (shape == nullptr) {
    std::fprintf(stderr, "usage: %s --list | <shape> <bytes> <output>\n", argv[0]);
    return 1;
  }
  const segsniff::test::Bytes bytes = shape->make(std::strtoul(argv[2], nullptr, 10));
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[3]);
    return 1;
  }
  return 0;
}
