// The allowance of one image: earned by segment bytes the first time any
// walk of the input reaches them, drawn from the input's reserve when a
// later walk reaches them again, spent on entries and embedded streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jpeg/walk_budget.h"

namespace segsniff {
namespace {

// One step: 'i' starts an image, 'e' earns [a, b), 'n' takes entries until
// refused (want: how many were taken), 's' takes a stream of a bytes (want:
// 0 allowed, 1 too many, 2 too large).
struct Step {
  char op;
  std::uint64_t a = 0, b = 0;
  std::uint64_t want = 0;
};

struct BudgetCase {
  const char* name;
  std::uint64_t reserve;
  std::vector<Step> steps;
};

std::uint64_t take_all_entries(WalkBudget& budget) {
  std::uint64_t n = 0;
  while (budget.take_entry()) ++n;
  return n;
}

const BudgetCase budget_cases[] = {
    {"an image starts with nothing", 0, {{'i'}, {'n', 0, 0, 0}, {'s', 1, 0, 2}, {'s', 0, 0, 0}}},
    {"one entry per 4 segment bytes, 4 stream bytes per byte",
     0,
     {{'i'}, {'e', 100, 140}, {'n', 0, 0, 10}, {'s', 150, 0, 0}, {'s', 11, 0, 2}, {'s', 10, 0, 0}}},
    {"segments add up and spent entries stay spent",
     0,
     {{'i'}, {'e', 0, 8}, {'n', 0, 0, 2}, {'e', 8, 16}, {'n', 0, 0, 2}}},
    {"bytes earned once earn nothing again without a reserve",
     0,
     {{'i'}, {'e', 0, 40}, {'i'}, {'e', 20, 60}, {'n', 0, 0, 5}}},
    {"bytes earned again draw on the reserve, as far as it lasts",
     24,
     {{'i'}, {'e', 0, 40}, {'i'}, {'e', 0, 40}, {'n', 0, 0, 6}, {'i'}, {'e', 0, 40}, {'n', 0, 0, 0}}},
    {"a walk that spends nothing leaves the reserve to the next",
     40,
     {{'i'}, {'e', 0, 40}, {'i'}, {'e', 0, 40}, {'i'}, {'e', 0, 40}, {'n', 0, 0, 10}}},
    {"streams are drawn for too, and refused whole",
     8,
     {{'i'}, {'e', 0, 40}, {'i'}, {'e', 0, 40}, {'s', 33, 0, 2}, {'s', 32, 0, 0}, {'n', 0, 0, 2}}},
    {"at most 64 streams, however small",
     0,
     {{'i'}, {'e', 0, 400}, {'s', 0, 64, 0}, {'s', 0, 0, 1}}},
};

TEST(WalkBudget, EarnsOncePerInputDrawsOnTheReserveAndSpends) {
  for (const BudgetCase& c : budget_cases) {
    SCOPED_TRACE(c.name);
    WalkBudget budget;
    budget.set_reserve(c.reserve);
    int row = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE("step " + std::to_string(++row));
      switch (s.op) {
        case 'i':
          budget.start_image();
          break;
        case 'e':
          budget.earn(s.a, s.b);
          break;
        case 'n':
          EXPECT_EQ(take_all_entries(budget), s.want);
          break;
        case 's': {
          // s.b > 0: take that many streams of s.a bytes, all allowed
          for (std::uint64_t i = 1; i < s.b; ++i)
            ASSERT_EQ(budget.take_stream(s.a), WalkBudget::Stream::allowed);
          EXPECT_EQ(static_cast<int>(budget.take_stream(s.a)), static_cast<int>(s.want));
          break;
        }
      }
    }
  }
}

TEST(WalkBudget, WithoutAWalkDecodersMaySpendWhatTheLargestSegmentEarns) {
  WalkBudget budget;
  EXPECT_EQ(budget.entries_allowed(), 65535u / 4);
  EXPECT_EQ(budget.stream_bytes_allowed(), 65535u * 4);
}

}  // namespace
}  // namespace segsniff
