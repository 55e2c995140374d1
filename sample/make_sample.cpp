// Writes the sample JPEG to the path given as the only argument.  The build
// runs it to produce build/sample.jpg.
#include <cstdio>

#include "sample_jpeg.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample <output.jpg>\n");
    return 2;
  }
  const segsniff::sample::ByteVector bytes = segsniff::sample::make_sample_jpeg();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
