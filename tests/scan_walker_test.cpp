// The walk the fragment search makes through a photo's scan: block by block
// from the first MCU, with the decoder's state kept at a boundary and gone
// back to; and where a scan's EOI may stand.
#include <gtest/gtest.h>

#include "jpeg/decode_check.h"
#include "jpeg/frame_header.h"
#include "jpeg/scan_end.h"
#include "jpeg/scan_walker.h"
#include "support/bytes.h"
#include "support/fragment_card.h"

namespace segsniff::test {
namespace {

class ScanWalkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!decode_check_available()) GTEST_SKIP() << "built without libjpeg";
  }
};

struct Walk {
  std::vector<BlockVerdict> verdicts;  // one per block fed
  ScanWalker::State kept;              // at the boundary asked for
};

// Feeds the photo of `card` at offset 0, block after block, keeping the
// state at the start of block `keep_at`.
Walk walk(const Card& card, const PhotoScan& photo, ScanWalker& walker, std::uint64_t keep_at) {
  Walk w;
  w.verdicts.push_back(walker.start());
  for (Offset at = photo.first_boundary(); at < card.bytes().size(); at += card.block) {
    if (at == keep_at * card.block) walker.save(w.kept);
    w.verdicts.push_back(walker.feed({at, card.block}));
    if (w.verdicts.back().kind != BlockVerdict::Kind::good) break;
  }
  return w;
}

void expect_same(const BlockVerdict& a, const BlockVerdict& b) {
  EXPECT_EQ(a.kind, b.kind);
  EXPECT_EQ(a.rows, b.rows);
  EXPECT_EQ(a.score, b.score);
  EXPECT_EQ(a.eoi_end, b.eoi_end);
}

// Walked straight, the photo's blocks are its own to the last, which ends
// with its EOI.  Gone back to a boundary, the walk goes on exactly as it
// did, whatever was fed from there in between (another photo's block, which
// the photo's rows do not continue).  With and without restart markers.
TEST_F(ScanWalkerTest, StateKeptAtABoundaryWalksOnAsBefore) {
  for (std::uint16_t restart_interval : {0, 5}) {
    SCOPED_TRACE(restart_interval);
    const ByteVector a = photo(31, restart_interval), other = photo(32);
    const std::uint64_t na = blocks_of(a), keep_at = na / 2;
    Card card(na + 1);
    card.place(a, range(0, na));
    card.place_part(other, blocks_of(other) / 2, 1, na);  // a foreign block after the photo
    PhotoScan scan{nullptr, {}, 0, card.block};
    const ByteRegion region = card.region();
    scan.input = &region;
    ASSERT_TRUE(read_frame_header(region, 0, scan.header));
    ScanWalker walker(scan);
    const Walk straight = walk(card, scan, walker, keep_at);
    ASSERT_EQ(straight.verdicts.back().kind, BlockVerdict::Kind::complete);
    EXPECT_EQ(straight.verdicts.back().eoi_end, a.size());
    for (std::size_t i = 1; i + 1 < straight.verdicts.size(); ++i)
      EXPECT_EQ(straight.verdicts[i].kind, BlockVerdict::Kind::good) << "block " << i;

    walker.restore(straight.kept);
    const BlockVerdict foreign = walker.feed({na * card.block, card.block});
    EXPECT_NE(foreign.kind, BlockVerdict::Kind::good);
    walker.restore(straight.kept);
    const std::size_t first = keep_at - scan.first_boundary() / card.block + 1;
    for (std::size_t i = first; i < straight.verdicts.size(); ++i) {
      SCOPED_TRACE(i);
      expect_same(walker.feed({(keep_at + i - first) * card.block, card.block}), straight.verdicts[i]);
    }
  }
}

// A scan whose data runs into an EOI before its last MCU (the end of some
// other photo's data, met after a cut) is cut short, not complete.
TEST_F(ScanWalkerTest, EoiBeforeTheLastMcuCutsTheScanShort) {
  ByteVector a = photo(33);
  const std::uint64_t keep = blocks_of(a) / 2 * card_block;
  a.resize(keep);
  a.push_back(0xFF);
  a.push_back(0xD9);
  Card card(blocks_of(a) + 1);
  card.place(a, range(0, blocks_of(a)));
  PhotoScan scan{nullptr, {}, 0, card.block};
  const ByteRegion region = card.region();
  scan.input = &region;
  ASSERT_TRUE(read_frame_header(region, 0, scan.header));
  ScanWalker walker(scan);
  const Walk w = walk(card, scan, walker, 0);
  EXPECT_EQ(w.verdicts.back().kind, BlockVerdict::Kind::cut_short);
}

// After the last MCU the EOI ends where the library stopped, or starts
// there; the pair may lie across two runs.  Anywhere else it is not the
// scan's.
TEST(ScanEnd, EoiStandsWhereTheLibraryStopped) {
  //                        0     1     2     3     4     5     6     7
  const Bytes bytes = Bytes{0x11, 0x22, 0xFF, 0xD9, 0x33, 0xFF, 0xD9, 0x44}.fill(8, 0x55);
  const ByteRegion r = ByteRegion::over(bytes.data(), bytes.size());
  struct Case {
    const char* name;
    ByteRuns runs;
    Offset at;
    Offset eoi_end;
  } cases[] = {
      {"ends at the position", {{0, 16}}, 4, 4},
      {"starts at the position", {{0, 16}}, 2, 4},
      {"one byte off", {{0, 16}}, 3, no_position},
      {"a few bytes on", {{0, 16}}, 0, no_position},
      {"across two runs", {{8, 4}, {5, 2}}, 12, 7},
      {"starts across two runs", {{4, 2}, {6, 1}}, 5, 7},
      {"runs end", {{0, 2}}, 2, no_position},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(eoi_at(r, c.runs, c.at), c.eoi_end);
  }
}

}  // namespace
}  // namespace segsniff::test
