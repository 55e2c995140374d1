// The carving progress: drawn on a terminal standard error while the
// listing goes elsewhere, erased when an input is done and followed by its
// summary; none of it when standard output is that terminal or standard
// error is no terminal.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>

#include "support/golden.h"

namespace segsniff::test {
namespace {

// a.img is one picture (its walk prints nothing on standard error), b.img
// holds none.  On a slow machine the line may be drawn again, so only its
// first drawing, the summaries and the erasing carriage returns are pinned.
TEST(CarvingProgress, ShownOnTheTerminalOfStandardErrorOnlyWhileTheListingGoesElsewhere) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a terminal whose output a test can read back (a pseudo-terminal); "
                  "a Windows console cannot be read back under wine";
#else
  ScratchDir dir;
  dir.write("a.img", Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}).be16(0xFFD9).str());
  dir.write("b.img", "\xFF");
  const std::vector<std::string> args{"-recover", "a.img", "b.img"};
  const std::string seen = run_on_terminal(dir, args, [] {
    ::dup2(::open("listing.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
  });
  EXPECT_TRUE(seen.starts_with("\rcarving 'a.img': 0%, 0 files written")) << seen;
  EXPECT_NE(seen.find("\rcarved 'a.img': 1 candidates tried, 1 files written (11 bytes), 0 "
                      "failures\n\rcarving 'b.img': 0%, 0 files written"),
            std::string::npos) << seen;
  EXPECT_TRUE(seen.ends_with(
      "\rcarved 'b.img': 0 candidates tried, 0 files written (0 bytes), 0 failures\n"));
  EXPECT_EQ(std::count(seen.begin(), seen.end(), '\n'), 2);
  EXPECT_NE(dir.read("listing.txt").find("restore 11 bytes"), std::string::npos);

  const std::string shared = run_on_terminal(dir, args, [] {});
  EXPECT_NE(shared.find("restore 11 bytes"), std::string::npos);
  EXPECT_EQ(shared.find("carv"), std::string::npos) << shared;
  EXPECT_EQ(run_segsniff(dir, args).err, "");
#endif
}

}  // namespace
}  // namespace segsniff::test
