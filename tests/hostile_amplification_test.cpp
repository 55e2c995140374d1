// The shapes that multiplied output (tests/support/hostile_shapes.cpp), small:
// a dump prints at most 1000 times its input; a carving run lists each
// candidate's walk and, beyond that, nested structures at most twice over.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "jpeg/scan_file.h"
#include "support/golden.h"
#include "support/hostile_shapes.h"

namespace segsniff::test {
namespace {

namespace fs = std::filesystem;

// The bound the manual page states for a dump.
constexpr std::uint64_t dump_bytes_per_byte = 1000;
// What one candidate's walk lists per byte it passes, at most, and for
// itself whatever it passes (its found, restore and Ooops lines, up to 31
// illegal markers).
constexpr std::uint64_t walk_bytes_per_byte = 64;
constexpr std::uint64_t walk_lines = 4096;

struct Analysis {
  std::uint64_t listed = 0;   // bytes on standard output and error
  std::uint64_t written = 0;  // bytes of carved files
};

// In-process, in a scratch directory, the input in a buffer of its size.
Analysis analyse(const Bytes& content, bool recovery) {
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[content.size()]);
  std::copy(content.vector().begin(), content.vector().end(), exact.get());
  ScratchDir dir;
  const fs::path back = fs::current_path();
  fs::current_path(dir.path());
  Analysis a;
  {
    CapturedOutput output;
    CarvingRun run;
    CarvedInput input;
    input.base = exact.get();
    input.size = content.size();
    analyse_mapped_bytes(input, recovery, run, text_printer());
    a.listed = output.all().size();
  }
  fs::current_path(back);
  for (const auto& name : dir.list()) a.written += fs::file_size(dir.file(name));
  return a;
}

// What the carving rule walks at most: every FF D8 pair is a candidate whose
// walk may run to the end of the input.
std::uint64_t carving_walk_bound(const Bytes& content) {
  const auto& b = content.vector();
  std::uint64_t bound = 0;
  for (std::size_t p = 0; p + 1 < b.size(); ++p)
    if (b[p] == 0xFF && b[p + 1] == 0xD8) bound += walk_bytes_per_byte * (b.size() - p) + walk_lines;
  return bound;
}

TEST(HostileAmplification, EveryShapeIsListedInProportionToItsSize) {
  for (const HostileShape& shape : hostile_shapes()) {
    for (std::size_t size : {2048u, 8192u}) {
      SCOPED_TRACE(std::string(shape.name) + " of " + std::to_string(size) + " bytes");
      const Bytes input = shape.make(size);
      const std::uint64_t n = input.size();
      EXPECT_LE(analyse(input, false).listed, dump_bytes_per_byte * n);
      // Stacked start markers cost the carving rule its own square; that
      // has a test of its own below, at a size a test can afford.
      if (std::string(shape.name) == "stacked-soi") continue;
      EXPECT_LE(analyse(input, true).listed, 2 * dump_bytes_per_byte * n + carving_walk_bound(input));
    }
  }
}

// N bytes of FF D8 pairs and an FF D9: pair i is a candidate whose walk
// lists every pair after it and is written whole.  About 7.3 N^2 bytes
// listed, N^2/4 written: the rule's own cost, which no limit touches.
TEST(HostileAmplification, StackedStartMarkersCostTheCarvingRuleItsOwnSquare) {
  const HostileShape* stacked = find_hostile_shape("stacked-soi");
  ASSERT_NE(stacked, nullptr);
  const Bytes input = stacked->make(1026);
  const std::uint64_t n = input.size(), pairs = (n - 2) / 2;
  ASSERT_EQ(n, 1026u);
  const Analysis a = analyse(input, true);
  EXPECT_EQ(a.written, pairs * pairs + 3 * pairs);  // 2 (pairs - i) + 2 bytes from pair i
  EXPECT_GE(a.listed, 7 * n * n);
  EXPECT_LE(a.listed, 15 * n * n / 2);
}

// Pairs in front of the fan-out picture: the first walks that reach the
// picture again draw what is left of the input's reserve; every pair after
// that adds no more than its own walk.
TEST(HostileAmplification, PairsInFrontOfAPictureAddOnlyTheirOwnWalks) {
  const HostileShape* fan_out = find_hostile_shape("thumbnail-fan-out");
  ASSERT_NE(fan_out, nullptr);
  const Bytes picture = fan_out->make(4096);
  auto with_pairs = [&](int pairs) {
    Bytes b;
    for (int i = 0; i < pairs; ++i) b.be16(0xFFD8);
    return b.append(picture);
  };
  const std::uint64_t n = picture.size();
  const std::uint64_t alone = analyse(picture, true).listed;
  const std::uint64_t four = analyse(with_pairs(4), true).listed;
  const std::uint64_t sixty_four = analyse(with_pairs(64), true).listed;
  EXPECT_LE(four, alone + dump_bytes_per_byte * n + 4 * (walk_bytes_per_byte * (n + 8) + walk_lines));
  // a pair's walk lists the pairs after it (58 bytes each), the picture's
  // segment lines and the message that its entries are spent
  EXPECT_LE(sixty_four - four, 60 * (58 * 64 + walk_lines));
  // and the picture's own dump is no larger than the bound allows
  EXPECT_LE(analyse(picture, false).listed, dump_bytes_per_byte * n);
}

}  // namespace
}  // namespace segsniff::test
