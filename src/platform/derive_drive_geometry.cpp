#include "platform/drive_geometry.h"

namespace segsniff::platform {

namespace {

// The geometry partitioning tools invent for disks whose driver keeps none.
constexpr std::uint32_t synthetic_heads = 255;
constexpr std::uint32_t synthetic_sectors_per_track = 63;

// A 3.5" high-density floppy: 80 cylinders x 2 heads x 18 sectors of 512 bytes.
constexpr std::uint32_t floppy_sector_size = 512;
constexpr std::uint64_t floppy_sector_count = 2880;
constexpr std::uint32_t floppy_heads = 2;
constexpr std::uint32_t floppy_sectors_per_track = 18;

bool is_floppy_1440k(const BlockDeviceFacts& facts) {
  return facts.sector_size == floppy_sector_size &&
         facts.size_bytes == floppy_sector_count * floppy_sector_size;
}

}  // namespace

bool derive_drive_geometry(const BlockDeviceFacts& facts, DriveGeometry& geometry) {
  if (facts.size_bytes == 0 || facts.sector_size == 0) return false;

  DriveGeometry derived;
  derived.bytes_per_sector = facts.sector_size;
  if (facts.has_bios_geometry && facts.heads != 0 && facts.sectors_per_track != 0) {
    derived.tracks_per_cylinder = facts.heads;
    derived.sectors_per_track = facts.sectors_per_track;
  } else if (is_floppy_1440k(facts)) {
    derived.tracks_per_cylinder = floppy_heads;
    derived.sectors_per_track = floppy_sectors_per_track;
  } else {
    derived.tracks_per_cylinder = synthetic_heads;
    derived.sectors_per_track = synthetic_sectors_per_track;
  }

  if (is_floppy_1440k(facts)) derived.media_type = media_floppy_1440k;
  else if (facts.removable) derived.media_type = media_removable;
  else derived.media_type = media_fixed;

  // All three factors are below 2^32, heads and sectors below 2^8: the
  // product fits in 64 bits and is not 0.  Cylinders are whole cylinders;
  // the sectors beyond the last one are not counted, as in any CHS view,
  // and the device's true size goes beside them.
  std::uint64_t cylinder_bytes = std::uint64_t{derived.tracks_per_cylinder} *
                                 derived.sectors_per_track * derived.bytes_per_sector;
  derived.cylinders = static_cast<std::int64_t>(facts.size_bytes / cylinder_bytes);
  derived.device_size = facts.size_bytes;
  geometry = derived;
  return true;
}

}  // namespace segsniff::platform
