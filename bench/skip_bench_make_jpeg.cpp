// Writes a baseline JPEG whose scan holds a given number of MiB of
// entropy-coded-looking data: pseudo-random bytes from a fixed seed, every
// FF stuffed with 00, a restart marker FF D0..D7 every 4096 bytes, and FF D9
// at the very end.  The same arguments give the same file on every machine.
//
//   skip_bench_make_jpeg <output> [MiB of scan data, default 64]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

constexpr std::size_t restart_interval = 4096;

void put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void segment(std::vector<std::uint8_t>& out, unsigned marker, std::size_t payload) {
  put16(out, marker);
  put16(out, static_cast<unsigned>(payload + 2));
  out.insert(out.end(), payload, 0x01);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <output> [MiB of scan data]\n", argv[0]);
    return 1;
  }
  const std::size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 64;
  const std::size_t scan_bytes = mib << 20;

  std::vector<std::uint8_t> out;
  out.reserve(scan_bytes + 1024);
  put16(out, 0xFFD8);
  put16(out, 0xFFE0);
  put16(out, 16);
  const std::uint8_t jfif[] = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  out.insert(out.end(), std::begin(jfif), std::end(jfif));
  segment(out, 0xFFDB, 65);
  segment(out, 0xFFC0, 15);
  segment(out, 0xFFC4, 29);
  segment(out, 0xFFDD, 2);
  segment(out, 0xFFDA, 10);

  std::uint64_t state = 0x9E3779B97F4A7C15ull;  // xorshift64*, fixed seed
  std::size_t since_restart = 0;
  unsigned restart = 0;
  const std::size_t scan_start = out.size();
  while (out.size() - scan_start < scan_bytes) {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const auto byte = static_cast<std::uint8_t>((state * 0x2545F4914F6CDD1Dull) >> 56);
    out.push_back(byte);
    if (byte == 0xFF) out.push_back(0x00);
    if (++since_restart == restart_interval) {
      put16(out, 0xFFD0 + (restart++ & 7));
      since_restart = 0;
    }
  }
  put16(out, 0xFFD9);

  std::FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr || std::fwrite(out.data(), 1, out.size(), f) != out.size() ||
      std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
