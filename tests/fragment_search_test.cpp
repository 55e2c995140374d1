// Carving with -fragments: photos whose blocks lie apart on a card image are
// put back together from the right blocks, or not written at all.  The
// cards are built here block by block from the sample writer's pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "jpeg/decode_check.h"
#include "jpeg/photo_reassembly.h"
#include "jpeg_writer.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

using sample::ByteVector;

constexpr std::uint64_t block = 512;

// A picture with what photos have: smooth light and shade that differs from
// one picture to the next, finer texture, and a little sensor noise.
ByteVector photo(int seed, std::uint16_t restart_interval = 0) {
  sample::Raster image{480, 320, 3, {}};
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
  return sample::encode_baseline_jpeg(image, {}, restart_interval);
}

std::uint64_t blocks_of(const ByteVector& stream, std::uint64_t block = segsniff::test::block) {
  return (stream.size() + block - 1) / block;
}

// A card image: photos written block by block into the blocks given.
class Card {
 public:
  explicit Card(std::uint64_t blocks, std::uint64_t block = segsniff::test::block)
      : block(block), bytes_(blocks * block, 0) {}
  const std::uint64_t block;

  // Writes `stream` into `blocks` in order; returns the runs it lies in.
  ByteRuns place(const ByteVector& stream, const std::vector<std::uint64_t>& blocks) {
    ByteRuns runs;
    for (std::size_t i = 0; i * block < stream.size(); ++i) {
      const std::uint64_t length = std::min<std::uint64_t>(block, stream.size() - i * block);
      std::copy_n(stream.begin() + static_cast<long>(i * block), length,
                  bytes_.begin() + static_cast<long>(blocks.at(i) * block));
      append_run(runs, {blocks.at(i) * block, length});
    }
    return runs;
  }
  // Writes the blocks `first` .. `first + count - 1` of `stream` at `at`.
  void place_part(const ByteVector& stream, std::uint64_t first, std::uint64_t count, std::uint64_t at) {
    std::copy_n(stream.begin() + static_cast<long>(first * block), count * block,
                bytes_.begin() + static_cast<long>(at * block));
  }
  ByteRegion region() const { return ByteRegion::over(bytes_.data(), bytes_.size()); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint64_t> range(std::uint64_t first, std::uint64_t count) {
  std::vector<std::uint64_t> out;
  for (std::uint64_t i = 0; i < count; ++i) out.push_back(first + i);
  return out;
}
std::vector<std::uint64_t> joined(std::vector<std::uint64_t> a, const std::vector<std::uint64_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The planned photos that are not embedded streams, by SOI.
std::map<Offset, PlannedPhoto> photos_of(const Card& card) {
  std::map<Offset, PlannedPhoto> out;
  for (PlannedPhoto& p : plan_photo_recovery(card.region(), block)) out[p.soi] = p;
  return out;
}

class FragmentSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!decode_check_available()) GTEST_SKIP() << "built without libjpeg";
  }
};

// A photo in 2 or 3 pieces with other photos' blocks between them, with and
// without restart markers: every photo comes out whole, from its own runs.
TEST_F(FragmentSearchTest, PiecesWithOtherPhotosBetweenAreJoined) {
  struct Case {
    const char* name;
    std::uint16_t restart_interval;
    int pieces;
  };
  for (const Case& c : {Case{"2 pieces", 0, 2}, Case{"3 pieces", 0, 3},
                        Case{"2 pieces, restart markers", 16, 2},
                        Case{"3 pieces, restart markers", 40, 3}}) {
    SCOPED_TRACE(c.name);
    const ByteVector a = photo(1, c.restart_interval), b = photo(2), d = photo(3);
    const std::uint64_t na = blocks_of(a), nb = blocks_of(b), nd = blocks_of(d);
    ASSERT_GE(na, 30u);  // pieces of many blocks, as on a card
    Card card(na + nb + nd + 2);
    // A's first piece, B whole, A's second piece, (D whole, A's third piece).
    const std::uint64_t first = na / c.pieces;
    std::vector<std::uint64_t> a_blocks = range(0, first);
    const ByteRuns b_runs = card.place(b, range(first, nb));
    std::uint64_t next = first + nb;
    if (c.pieces == 3) {
      a_blocks = joined(a_blocks, range(next, first));
      card.place(d, range(next + first, nd));
      next += first + nd;
    }
    a_blocks = joined(a_blocks, range(next, na - a_blocks.size()));
    const ByteRuns a_runs = card.place(a, a_blocks);
    ASSERT_EQ(a_runs.size(), static_cast<std::size_t>(c.pieces));

    std::map<Offset, PlannedPhoto> planned = photos_of(card);
    EXPECT_EQ(planned[0].kind, PlannedPhoto::Kind::pieces) << planned[0].why;
    EXPECT_EQ(planned[0].runs, a_runs);
    EXPECT_EQ(planned[b_runs[0].offset].kind, PlannedPhoto::Kind::whole);
    EXPECT_EQ(planned[b_runs[0].offset].runs, b_runs);
  }
}

// Right after A's cut lie blocks from the middle of another photo's scan
// (its head is gone): scan data of the same tables that decodes without a
// fault.  The search passes over them to A's own next piece.
TEST_F(FragmentSearchTest, ValidLookingWrongContinuationIsPassedOver) {
  const ByteVector a = photo(4), other = photo(5);
  const std::uint64_t na = blocks_of(a), decoy = 6, cut = na / 2;
  Card card(na + decoy + 1);
  card.place_part(other, blocks_of(other) / 2, decoy, cut);
  const ByteRuns a_runs = card.place(a, joined(range(0, cut), range(cut + decoy, na - cut)));
  std::map<Offset, PlannedPhoto> planned = photos_of(card);
  EXPECT_EQ(planned[0].kind, PlannedPhoto::Kind::pieces) << planned[0].why;
  EXPECT_EQ(planned[0].runs, a_runs);
}

// A's second piece was overwritten by a later photo: A cannot be completed
// and nothing is planned for it, while the photo that overwrote it and the
// one in the gap are whole.  Also with restart markers.
TEST_F(FragmentSearchTest, PhotoWhoseLaterPieceWasOverwrittenIsNotCompleted) {
  for (std::uint16_t restart_interval : {0, 8}) {
    SCOPED_TRACE(restart_interval);
    const ByteVector a = photo(6, restart_interval), b = photo(7), later = photo(8, restart_interval);
    const std::uint64_t na = blocks_of(a), nb = blocks_of(b), cut = na / 2;
    Card card(cut + nb + blocks_of(later) + 1);
    card.place_part(a, 0, cut, 0);
    const ByteRuns b_runs = card.place(b, range(cut, nb));
    const ByteRuns later_runs = card.place(later, range(cut + nb, blocks_of(later)));
    std::map<Offset, PlannedPhoto> planned = photos_of(card);
    EXPECT_EQ(planned[0].kind, PlannedPhoto::Kind::incomplete);
    EXPECT_FALSE(planned[0].why.empty());
    EXPECT_EQ(planned[b_runs[0].offset].runs, b_runs);
    EXPECT_EQ(planned[later_runs[0].offset].runs, later_runs);
  }
}

// Through the program: the listing names the runs, the file holds the photo
// byte for byte, the option word is case-blind, and without -fragments the
// same card is carved by the plain rule.
TEST_F(FragmentSearchTest, ProgramWritesThePhotoAndListsItsRuns) {
  const ByteVector a = photo(9), b = photo(10);
  constexpr std::uint64_t cluster = 4096;  // the program's blocks without a boot sector
  const std::uint64_t na = blocks_of(a, cluster), nb = blocks_of(b, cluster), cut = na / 2;
  Card card(na + nb + 1, cluster);
  const ByteRuns b_runs = card.place(b, range(cut, nb));
  const ByteRuns a_runs = card.place(a, joined(range(0, cut), range(cut + nb, na - cut)));
  ScratchDir dir;
  dir.write("card.img", std::string(card.bytes().begin(), card.bytes().end()));
  RunResult r = run_segsniff(dir, {"-FRAGMENTS", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0) << r.err;
  const long a_size = static_cast<long>(a.size());
  char restore[200];
  std::snprintf(restore, sizeof restore,
                "restore %ld bytes to file 'segsniff_recover_001.jpg' from 2 byte runs\n"
                "  run 1: %ld bytes (offset 0 to %ld)\n"
                "  run 2: %ld bytes (offset %ld to %ld)\n",
                a_size, static_cast<long>(a_runs[0].length), static_cast<long>(a_runs[0].end()),
                static_cast<long>(a_runs[1].length), static_cast<long>(a_runs[1].offset),
                static_cast<long>(a_runs[1].end()));
  EXPECT_NE(r.out.find("Option -fragments found\n"), std::string::npos);
  EXPECT_NE(r.out.find("fragments: blocks of 4096 bytes (no boot sector found)\n"), std::string::npos);
  EXPECT_NE(r.out.find(restore), std::string::npos) << r.out;
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), std::string(a.begin(), a.end()));
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), std::string(b.begin(), b.end()));

  ScratchDir plain;
  plain.write("card.img", std::string(card.bytes().begin(), card.bytes().end()));
  r = run_segsniff(plain, {"-recover", "card.img"});
  EXPECT_EQ(r.out.find(" byte runs\n"), std::string::npos);
  // The plain rule: A's file runs on through the gap to B's EOI.
  EXPECT_EQ(plain.read("segsniff_recover_001.jpg").size(), b_runs.back().end());
}

}  // namespace
}  // namespace segsniff::test
