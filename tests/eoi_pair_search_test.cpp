// The remembered FF D9 search: same answers as a plain search, whatever
// sequence of windows asks, and bounded work when windows nest.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "jpeg/eoi_pair_search.h"

namespace segsniff {
namespace {

Offset plain_search(const std::vector<std::uint8_t>& bytes, const ByteRegion& region, Offset from) {
  if (!region.contains(from)) return no_position;
  for (Offset p = from; p + 1 < region.end; ++p)
    if (bytes[p] == 0xFF && bytes[p + 1] == 0xD9) return p;
  return no_position;
}

TEST(EoiPairSearch, AnswersLikeAPlainSearchForAnySequenceOfWindows) {
  // Dense in FF, D9 and pairs, so that the remembered stretches are short and
  // every branch (before, inside, after the stretch; nested and wider
  // windows) is taken many times.
  std::mt19937 random(20261207);
  const std::uint8_t alphabet[] = {0x00, 0xFF, 0xD9, 0xD8, 0x12};
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint8_t> bytes(1 + random() % 300);
    for (auto& b : bytes) b = alphabet[random() % 5];
    // Sparse rounds: long stretches without a pair.
    if (round % 2 == 1)
      for (auto& b : bytes)
        if (b == 0xD9 && random() % 8 != 0) b = 0x00;

    EoiPairSearch memo;
    for (int question = 0; question < 60; ++question) {
      Offset begin = random() % bytes.size();
      Offset end = begin + random() % (bytes.size() - begin + 1);
      if (question % 3 == 0) end = bytes.size();  // a carving window
      ByteRegion region{bytes.data(), begin, end, begin};
      Offset from = begin + (end > begin ? random() % (end - begin + 1) : 0);
      ASSERT_EQ(memo.next_pair(region, from), plain_search(bytes, region, from))
          << "round " << round << " question " << question << ": window [" << begin << ", "
          << end << ") from " << from;
    }
  }
}

TEST(EoiPairSearch, NestedWindowsWithoutPairsDoNotMakeTheWideOnesSearchAgain) {
  // Per candidate, as in a carving run over heads whose Exif thumbnail has
  // no End-of-Image marker: a question in a small window (the thumbnail),
  // then one in the window up to the end of the input (the outer scan).
  constexpr Offset size = 1 << 22;
  constexpr Offset heads = 2000, head_size = 64;
  std::vector<std::uint8_t> bytes(size, 0x00);
  EoiPairSearch memo;
  for (Offset i = 0; i < heads; ++i) {
    const Offset head = i * head_size;
    ByteRegion thumbnail{bytes.data(), head + 10, head + 40, head + 10};
    ASSERT_EQ(memo.next_pair(thumbnail, head + 20), no_position);
    ByteRegion outer{bytes.data(), head, size, head};
    ASSERT_EQ(memo.next_pair(outer, head + 50), no_position);
  }
  EXPECT_LE(memo.bytes_searched(), 2 * size);
}

}  // namespace
}  // namespace segsniff
