// The cluster size of the file system on a card image, from its boot
// sector: photos are written cluster by cluster, so the pieces of a
// fragmented photo begin on cluster boundaries.
#pragma once

#include <cstdint>

#include "jpeg/byte_region.h"

namespace segsniff {

// Used when the input holds no boot sector this knows.
inline constexpr std::uint64_t default_cluster_size = 4096;

// The cluster size in bytes that a FAT12/16/32 or exFAT boot sector gives,
// at the start of the input or at the start of the first partition of a
// master boot record there; 0 when neither holds one.
std::uint64_t cluster_size_from_boot_sector(const ByteRegion& input);

}  // namespace segsniff
