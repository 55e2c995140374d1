// The decode check: a carved stream is classed clean, decoded with
// warnings (the first one kept) or not decodable (the library's error kept),
// whether it is one span of the input or runs put together; and the cluster
// size read from a card's boot sector.
#include <gtest/gtest.h>

#include "jpeg/cluster_size.h"
#include "jpeg/decode_check.h"
#include "sample_jpeg.h"
#include "support/bytes.h"

namespace segsniff::test {
namespace {

using sample::ByteVector;

ByteRegion region_of(const ByteVector& bytes) { return ByteRegion::over(bytes.data(), bytes.size()); }

// FF D8, bytes of a fixed pseudo-random sequence (no FF D9 among them), FF
// D9: what the structural rule carves from random data that happens to hold
// the two pairs.
ByteVector random_walk_to_eoi(std::size_t n) {
  ByteVector bytes{0xFF, 0xD8};
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    auto b = static_cast<std::uint8_t>(x >> 16);
    if (bytes.back() == 0xFF && b == 0xD9) b = 0;
    bytes.push_back(b);
  }
  bytes.insert(bytes.end(), {0xFF, 0xD9});
  return bytes;
}

TEST(DecodeCheck, ClassesStreamsByWhatTheLibrarySays) {
  if (!decode_check_available()) GTEST_SKIP() << "built without libjpeg";
  const ByteVector photo = sample::make_sample_jpeg(256, 192);
  // The photo cut inside its scan data, with its EOI marker after the cut.
  ByteVector cut(photo.begin(), photo.end() - static_cast<long>(photo.size() / 4));
  cut.insert(cut.end(), {0xFF, 0xD9});
  const ByteVector random = random_walk_to_eoi(4000);
  struct Case {
    const char* name;
    const ByteVector* bytes;
    DecodeClass kind;
    const char* message;
  } cases[] = {
      {"whole photo", &photo, DecodeClass::clean, ""},
      {"scan cut short", &cut, DecodeClass::warnings, "Corrupt JPEG data: premature end of data segment"},
      {"random data from FF D8 to FF D9", &random, DecodeClass::not_decodable, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodeCheck check = decode_check(region_of(*c.bytes), 0, c.bytes->size());
    EXPECT_EQ(check.kind, c.kind) << check.message;
    if (c.message != nullptr) EXPECT_EQ(check.message, c.message);
    else EXPECT_FALSE(check.message.empty());
  }
}

// The photo's bytes in three runs with other bytes between them decode as
// the photo does; in the wrong order they do not decode cleanly.
TEST(DecodeCheck, RunsAreDecodedInStreamOrderWithoutCopying) {
  if (!decode_check_available()) GTEST_SKIP() << "built without libjpeg";
  const ByteVector photo = sample::make_sample_jpeg(256, 192);
  const std::size_t third = photo.size() / 3;
  ByteVector card(photo.begin() + static_cast<long>(2 * third), photo.end());  // run 3 first
  const Offset run3 = 0;
  card.insert(card.end(), 100, 0x55);
  const Offset run1 = card.size();
  card.insert(card.end(), photo.begin(), photo.begin() + static_cast<long>(third));
  card.insert(card.end(), 77, 0xAA);
  const Offset run2 = card.size();
  card.insert(card.end(), photo.begin() + static_cast<long>(third),
              photo.begin() + static_cast<long>(2 * third));
  const ByteRuns runs{{run1, third}, {run2, third}, {run3, photo.size() - 2 * third}};
  EXPECT_EQ(decode_check(region_of(card), runs).kind, DecodeClass::clean);
  const ByteRuns swapped{runs[0], runs[2], runs[1]};
  EXPECT_NE(decode_check(region_of(card), swapped).kind, DecodeClass::clean);
}

// A FAT32 boot sector at the start, an exFAT one, a FAT16 one in the first
// partition of a master boot record, and none.
TEST(ClusterSize, ComesFromTheBootSector) {
  const auto sector = [](std::size_t size) { return ByteVector(size, 0); };
  ByteVector fat32 = sector(512);
  fat32[11] = 0x00, fat32[12] = 0x02, fat32[13] = 8;  // 512 bytes per sector, 8 per cluster
  std::copy_n("FAT32   ", 8, fat32.begin() + 82);
  fat32[510] = 0x55, fat32[511] = 0xAA;
  ByteVector exfat = sector(512);
  std::copy_n("EXFAT   ", 8, exfat.begin() + 3);
  exfat[108] = 9, exfat[109] = 6;  // 512-byte sectors, 64 per cluster
  exfat[510] = 0x55, exfat[511] = 0xAA;
  ByteVector mbr = sector(4 * 512);
  mbr[446 + 4] = 0x06, mbr[446 + 8] = 2;  // partition of type 6 from sector 2
  mbr[510] = 0x55, mbr[511] = 0xAA;
  mbr[1024 + 11] = 0x00, mbr[1024 + 12] = 0x02, mbr[1024 + 13] = 4;
  std::copy_n("FAT16   ", 8, mbr.begin() + 1024 + 54);
  mbr[1024 + 510] = 0x55, mbr[1024 + 511] = 0xAA;
  const ByteVector none = sector(4096);
  struct Case {
    const char* name;
    const ByteVector* bytes;
    std::uint64_t size;
  } cases[] = {{"FAT32", &fat32, 4096}, {"exFAT", &exfat, 32768}, {"MBR, FAT16", &mbr, 2048},
               {"none", &none, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cluster_size_from_boot_sector(region_of(*c.bytes)), c.size);
  }
}

}  // namespace
}  // namespace segsniff::test
