// Card images for the -fragments tests, built block by block from the
// sample writer's pictures: photos written into the blocks given, pieces of
// photos where their heads are gone, copies of blocks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jpeg/byte_region.h"
#include "jpeg/byte_runs.h"
#include "jpeg_writer.h"

namespace segsniff::test {

using sample::ByteVector;

// The block size of the cards (the program's own is 4096 without a boot
// sector; the planner takes any).
inline constexpr std::uint64_t card_block = 512;

// A picture with what photos have: smooth light and shade that differs from
// one picture to the next, finer texture, and a little sensor noise; 4:4:4,
// so an MCU is 8 by 8 pixels.  `leading` segments go after the SOI.
ByteVector photo(int seed, std::uint16_t restart_interval = 0,
                 std::span<const ByteVector> leading = {}, std::uint16_t width = 480,
                 std::uint16_t height = 320);

// A picture like photo()'s, 480 by 320, whose rows from `edge_row` on are
// brighter by `step` and bluer by a third of it (clipped at white): a strong
// edge across the whole picture.
ByteVector photo_with_edge(int seed, int edge_row, double step);

// Where the entropy-coded data of a stream from the sample writer begins.
std::uint64_t scan_data_at(const ByteVector& stream);

std::uint64_t blocks_of(const ByteVector& stream, std::uint64_t block = card_block);

// A card image: photos written block by block into the blocks given.
class Card {
 public:
  explicit Card(std::uint64_t blocks, std::uint64_t block = card_block)
      : block(block), bytes_(blocks * block, 0) {}
  const std::uint64_t block;

  // Writes `stream` into `blocks` in order; returns the runs it lies in.
  ByteRuns place(const ByteVector& stream, const std::vector<std::uint64_t>& blocks);
  // Writes the blocks `first` .. `first + count - 1` of `stream` at `at`.
  void place_part(const ByteVector& stream, std::uint64_t first, std::uint64_t count, std::uint64_t at);
  ByteRegion region() const { return ByteRegion::over(bytes_.data(), bytes_.size()); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// first, first + 1, ..., first + count - 1
std::vector<std::uint64_t> range(std::uint64_t first, std::uint64_t count);
std::vector<std::uint64_t> joined(std::vector<std::uint64_t> a, const std::vector<std::uint64_t>& b);

}  // namespace segsniff::test
