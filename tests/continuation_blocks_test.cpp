// What the fragment search reads without decoding: a stream's frame and
// scan headers, whether a block's bytes can be scan data that continues a
// scan (restart markers in sequence), and the spans already claimed.
#include <gtest/gtest.h>

#include "jpeg/continuation_blocks.h"
#include "jpeg/frame_header.h"
#include "jpeg_writer.h"
#include "support/bytes.h"

namespace segsniff::test {
namespace {

ByteRegion region_of(const Bytes& b) { return ByteRegion::over(b.data(), b.size()); }

// SOF0 payload: 8-bit, height, width, components with their sampling.
Bytes sof(std::uint16_t height, std::uint16_t width, std::initializer_list<std::uint8_t> hv) {
  Bytes p = Bytes{}.u8(8).be16(height).be16(width).u8(static_cast<std::uint8_t>(hv.size()));
  std::uint8_t id = 1;
  for (std::uint8_t f : hv) p.u8(id++).u8(f).u8(0);
  return p;
}
Bytes sos(int components, std::uint8_t ss = 0, std::uint8_t se = 63) {
  Bytes p = Bytes{}.u8(static_cast<std::uint8_t>(components));
  for (int c = 1; c <= components; ++c) p.u8(static_cast<std::uint8_t>(c)).u8(0);
  return p.u8(ss).u8(se).u8(0);
}

TEST(FrameHeader, ReadsFrameRestartIntervalAndScan) {
  struct Case {
    const char* name;
    Bytes stream;
    bool found;
    bool followable;
    std::uint32_t mcus_per_row, mcu_rows;
    std::uint16_t restart_interval;
  } cases[] = {
      {"4:2:0 with DRI, after an APP1",
       Bytes{0xFF, 0xD8}.segment(0xFFE1, Bytes{}.text("Exif")).segment(0xFFC0, sof(48, 100, {0x22, 0x11, 0x11}))
           .segment(0xFFDD, Bytes{}.be16(8)).segment(0xFFDA, sos(3)),
       true, true, 7, 3, 8},
      {"grey", Bytes{0xFF, 0xD8}.segment(0xFFC0, sof(9, 17, {0x11})).segment(0xFFDA, sos(1)), true, true, 3, 2, 0},
      {"progressive", Bytes{0xFF, 0xD8}.segment(0xFFC2, sof(8, 8, {0x11})).segment(0xFFDA, sos(1, 0, 0)),
       true, false, 0, 0, 0},
      {"scan of one component of three",
       Bytes{0xFF, 0xD8}.segment(0xFFC0, sof(8, 8, {0x11, 0x11, 0x11})).segment(0xFFDA, sos(1)), true, false, 0, 0, 0},
      {"no frame before the scan", Bytes{0xFF, 0xD8}.segment(0xFFDA, sos(1)), false, false, 0, 0, 0},
      {"EOI before the scan", Bytes{0xFF, 0xD8}.segment(0xFFC0, sof(8, 8, {0x11})).be16(0xFFD9), false, false, 0, 0, 0},
      {"segment past the end", Bytes{0xFF, 0xD8}.be16(0xFFE0).be16(200).text("JFIF"), false, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameHeader h;
    EXPECT_EQ(read_frame_header(region_of(c.stream), 0, h), c.found);
    if (!c.found) continue;
    EXPECT_EQ(h.single_sequential_scan(), c.followable);
    EXPECT_EQ(h.mcus_per_row(), c.mcus_per_row);
    EXPECT_EQ(h.mcu_rows(), c.mcu_rows);
    EXPECT_EQ(h.restart_interval, c.restart_interval);
    EXPECT_EQ(h.data_at, c.stream.size());
  }
}

TEST(ContinuationBlocks, ScanDataRestartSequenceAndSlack) {
  const Bytes noise = Bytes{}.raw({0x12, 0x9A, 0xFF, 0x00, 0x47, 0xE3});
  struct Case {
    const char* name;
    Bytes block;
    int expected_restart;
    bool possible;
  } cases[] = {
      {"stuffed FF", Bytes{}.append(noise).append(noise), no_restart_marker, true},
      {"restart markers in sequence", Bytes{}.append(noise).raw({0xFF, 0xD6}).append(noise).raw({0xFF, 0xD7, 0x11, 0xFF, 0xD0}), 6, true},
      {"restart marker out of sequence", Bytes{}.append(noise).raw({0xFF, 0xD3}).append(noise), 6, false},
      {"restart marker where the scan has none", Bytes{}.append(noise).raw({0xFF, 0xD0}), no_restart_marker, false},
      {"start of another stream", Bytes{0xFF, 0xD8, 0xFF, 0xE1}.append(noise), no_restart_marker, false},
      {"end of image, then anything", Bytes{}.append(noise).raw({0xFF, 0xD9, 0xFF, 0xC4, 0x00, 0x00}), no_restart_marker, true},
      {"cleared space", Bytes{}.append(noise).fill(100, 0x00), no_restart_marker, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(could_continue_scan(region_of(c.block), 0, c.block.size(), c.expected_restart), c.possible);
  }
  // The scan's bytes before the block end in FF: the block's first byte
  // completes a marker.
  const struct {
    const char* name;
    Bytes block;
    int expected_restart;
    bool possible;
  } after_ff[] = {
      {"restart marker split", Bytes{0xD2}.append(noise).raw({0xFF, 0xD3}), 2, true},
      {"restart marker split, out of sequence", Bytes{0xD5}.append(noise), 2, false},
      {"stuffed FF split", Bytes{0x00}.append(noise), no_restart_marker, true},
      {"other marker split", Bytes{0xC4}.append(noise), no_restart_marker, false},
      {"ordinary byte after the FF", Bytes{0x47}.append(noise), no_restart_marker, false},
  };
  for (const auto& c : after_ff) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(could_continue_scan(region_of(c.block), 0, c.block.size(), c.expected_restart, true),
              c.possible);
  }
  const Bytes data = Bytes{}.append(noise).raw({0xFF, 0xD5}).append(noise).raw({0xFF, 0xD7}).append(noise);
  EXPECT_EQ(next_restart_number(region_of(data), 0, data.size()), 0);   // after RST7
  EXPECT_EQ(next_restart_number(region_of(data), 0, 10), 6);            // after RST5
  EXPECT_EQ(next_restart_number(region_of(noise), 0, noise.size()), no_restart_marker);
}

TEST(ContinuationBlocks, ClaimedSpansAnswerForEveryByteInThem) {
  ClaimedSpans claims;
  claims.claim({{4096, 8192}, {40960, 100}});
  claims.claim({{0, 10}});
  for (Offset p : {Offset{0}, Offset{9}, Offset{4096}, Offset{12287}, Offset{40960}, Offset{41059}})
    EXPECT_TRUE(claims.claimed(p)) << p;
  for (Offset p : {Offset{10}, Offset{4095}, Offset{12288}, Offset{41060}})
    EXPECT_FALSE(claims.claimed(p)) << p;
}

}  // namespace
}  // namespace segsniff::test
