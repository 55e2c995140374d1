// The remembered FF D9 search gives the same answers as a plain search,
// whatever sequence of windows asks (its work is bounded in the carving
// tests).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "jpeg/eoi_pair_search.h"

namespace segsniff {
namespace {

Offset plain_search(const std::vector<std::uint8_t>& bytes, const ByteRegion& region, Offset from) {
  if (!region.contains(from)) return no_position;
  for (Offset p = from; p + 1 < region.end(); ++p)
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
      ByteRegion region(bytes.data(), begin, end);
      Offset from = begin + (end > begin ? random() % (end - begin + 1) : 0);
      ASSERT_EQ(memo.next_pair(region, from), plain_search(bytes, region, from))
          << "round " << round << " question " << question << ": window [" << begin << ", "
          << end << ") from " << from;
    }
  }
}

}  // namespace
}  // namespace segsniff
