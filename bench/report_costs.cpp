// What the two checks of the carving report cost apart from the carving:
// the SHA-256 and the decode check of every stream a manifest lists as
// written whole (kinds complete, thumbnail and eoi-in-scan), over the
// mapped image as segsniff reads it, with the seconds of each.
//
//   report_costs <image> <manifest>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "jpeg/decode_check.h"
#include "mapped_file.h"
#include "platform/sha256.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <image> <manifest>\n", argv[0]);
    return 1;
  }
  const MappedFile image(argv[1], 1);
  if (!image.ok()) return 1;
  const segsniff::ByteRegion whole = segsniff::ByteRegion::over(image.base(), image.size());
  std::ifstream manifest(argv[2]);
  segsniff::platform::Sha256 sha;
  double hashing = 0, decoding = 0;
  std::uint64_t streams = 0, bytes = 0, kinds[4] = {};
  for (std::string line; std::getline(manifest, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::uint64_t offset = 0, length = 0;
    std::string kind;
    fields >> offset >> length >> kind;
    if (kind == "truncated" || length > image.size() || offset > image.size() - length) continue;
    Clock::time_point start = Clock::now();
    sha.restart();
    sha.add(whole.bytes(offset, length));
    sha.finish();
    hashing += seconds_since(start);
    start = Clock::now();
    const segsniff::DecodeCheck check = segsniff::decode_check(whole, offset, offset + length);
    decoding += seconds_since(start);
    kinds[static_cast<int>(check.kind)] += 1;
    streams += 1;
    bytes += length;
  }
  std::printf("%llu streams, %.1f MiB: sha-256 %.3f s (%.0f MiB/s), decode checks %.3f s (%.0f MiB/s;"
              " %llu clean, %llu warnings, %llu not decodable, %llu not available)\n",
              static_cast<unsigned long long>(streams), bytes / 1048576.0, hashing,
              bytes / 1048576.0 / hashing, decoding, bytes / 1048576.0 / decoding,
              static_cast<unsigned long long>(kinds[0]), static_cast<unsigned long long>(kinds[1]),
              static_cast<unsigned long long>(kinds[2]), static_cast<unsigned long long>(kinds[3]));
  return 0;
}
