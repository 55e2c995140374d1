#include "support/fragment_card.h"

#include <algorithm>
#include <cmath>

namespace segsniff::test {

ByteVector photo(int seed, std::uint16_t restart_interval, std::span<const ByteVector> leading,
                 std::uint16_t width, std::uint16_t height) {
  sample::Raster image{width, height, 3, {}};
  std::uint32_t noise = 2463534242u + static_cast<std::uint32_t>(seed) * 7919u;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
      const double light = 60 * std::sin(x / 37.0 + seed) * std::cos(y / 23.0 + 2 * seed) +
                           18 * std::sin((x + 2 * y) / (7.0 + seed % 5));
      const double values[3] = {128 + light + static_cast<double>(noise % 25) - 12.0,
                                128 + 30 * std::sin(y / 41.0 + seed), 128 + 30 * std::cos(x / 53.0 - seed)};
      for (double v : values) image.samples.push_back(static_cast<std::uint8_t>(std::lround(v)));
    }
  return sample::encode_baseline_jpeg(image, leading, restart_interval);
}

ByteVector photo_with_edge(int seed, int edge_row, double step) {
  sample::Raster image{480, 320, 3, {}};
  std::uint32_t noise = 2463534242u + static_cast<std::uint32_t>(seed) * 7919u;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
      const double light = 30 * std::sin(x / 37.0 + seed) * std::cos(y / 23.0 + 2 * seed) +
                           9 * std::sin((x + 2 * y) / (7.0 + seed % 5));
      const double lift = y >= edge_row ? step : -step / 2;
      const double values[3] = {128 + lift + light + static_cast<double>(noise % 25) - 12.0,
                                128 + lift / 3 + 30 * std::sin(y / 41.0 + seed),
                                128 + 30 * std::cos(x / 53.0 - seed)};
      for (double v : values) image.samples.push_back(static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)));
    }
  return sample::encode_baseline_jpeg(image, {}, 0);
}

// The writer puts SOS last in the header: the data follows its segment.
std::uint64_t scan_data_at(const ByteVector& stream) {
  for (std::uint64_t p = 0; p + 3 < stream.size(); ++p)
    if (stream[p] == 0xFF && stream[p + 1] == 0xDA) return p + 2 + (stream[p + 2] << 8 | stream[p + 3]);
  return stream.size();
}

std::uint64_t blocks_of(const ByteVector& stream, std::uint64_t block) {
  return (stream.size() + block - 1) / block;
}

ByteRuns Card::place(const ByteVector& stream, const std::vector<std::uint64_t>& blocks) {
  ByteRuns runs;
  for (std::size_t i = 0; i * block < stream.size(); ++i) {
    const std::uint64_t length = std::min<std::uint64_t>(block, stream.size() - i * block);
    std::copy_n(stream.begin() + static_cast<long>(i * block), length,
                bytes_.begin() + static_cast<long>(blocks.at(i) * block));
    append_run(runs, {blocks.at(i) * block, length});
  }
  return runs;
}

void Card::place_part(const ByteVector& stream, std::uint64_t first, std::uint64_t count,
                      std::uint64_t at) {
  const std::uint64_t length = std::min<std::uint64_t>(count * block, stream.size() - first * block);
  std::copy_n(stream.begin() + static_cast<long>(first * block), length,
              bytes_.begin() + static_cast<long>(at * block));
}

std::vector<std::uint64_t> range(std::uint64_t first, std::uint64_t count) {
  std::vector<std::uint64_t> out;
  for (std::uint64_t i = 0; i < count; ++i) out.push_back(first + i);
  return out;
}

std::vector<std::uint64_t> joined(std::vector<std::uint64_t> a, const std::vector<std::uint64_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace segsniff::test
