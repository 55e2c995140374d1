#include "jpeg/cluster_size.h"

#include <cstring>

namespace segsniff {

namespace {

constexpr std::uint64_t sector = 512;
constexpr Offset signature_at = 510;  // 55 AA ends a boot sector and a master boot record
constexpr Offset partition_table_at = 446;
constexpr Offset partition_entry = 16;
constexpr int partitions = 4;
constexpr std::uint64_t largest_cluster = 32u << 20;  // exFAT allows up to 32 MiB

std::uint32_t le16_at(const ByteRegion& r, Offset p) { return r.byte_at(p) | r.byte_at(p + 1) << 8; }
std::uint32_t le32_at(const ByteRegion& r, Offset p) { return le16_at(r, p) | le16_at(r, p + 2) << 16; }

bool is_power_of_two(std::uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

bool has_text(const ByteRegion& r, Offset p, const char* text) {
  const auto n = std::strlen(text);
  const auto bytes = r.bytes(p, n);
  return !bytes.empty() && std::memcmp(bytes.data(), text, n) == 0;
}

bool has_signature(const ByteRegion& r, Offset start) {
  return r.holds(start, sector) && r.byte_at(start + signature_at) == 0x55 &&
         r.byte_at(start + signature_at + 1) == 0xAA;
}

// exFAT: "EXFAT   " at 3, BytesPerSectorShift at 108, SectorsPerClusterShift
// at 109.  FAT: "FAT" at 54 (FAT12/16) or 82 (FAT32), bytes per sector at
// 11 (2), sectors per cluster at 13 (1).
std::uint64_t cluster_size_at(const ByteRegion& r, Offset start) {
  if (!has_signature(r, start)) return 0;
  if (has_text(r, start + 3, "EXFAT   ")) {
    const unsigned sector_shift = r.byte_at(start + 108);
    const unsigned cluster_shift = r.byte_at(start + 109);
    if (sector_shift < 9 || sector_shift > 12 || sector_shift + cluster_shift > 25) return 0;
    return std::uint64_t{1} << (sector_shift + cluster_shift);
  }
  if (!has_text(r, start + 54, "FAT") && !has_text(r, start + 82, "FAT")) return 0;
  const std::uint64_t bytes_per_sector = le16_at(r, start + 11);
  const std::uint64_t sectors_per_cluster = r.byte_at(start + 13);
  const std::uint64_t size = bytes_per_sector * sectors_per_cluster;
  if (!is_power_of_two(bytes_per_sector) || bytes_per_sector < sector || bytes_per_sector > 4096 ||
      !is_power_of_two(sectors_per_cluster) || size > largest_cluster)
    return 0;
  return size;
}

}  // namespace

std::uint64_t cluster_size_from_boot_sector(const ByteRegion& input) {
  if (const std::uint64_t size = cluster_size_at(input, 0)) return size;
  if (!has_signature(input, 0)) return 0;
  for (int i = 0; i < partitions; ++i) {
    const Offset entry = partition_table_at + partition_entry * static_cast<Offset>(i);
    if (input.byte_at(entry + 4) == 0) continue;  // an unused entry
    const std::uint64_t first_sector = le32_at(input, entry + 8);
    if (first_sector == 0) continue;
    return cluster_size_at(input, first_sector * sector);
  }
  return 0;
}

}  // namespace segsniff
