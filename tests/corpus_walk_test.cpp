// Every file of the shared camera corpus is walked to its End-of-Image
// marker without a crash.  (Under the sanitizer build this also proves that
// no walk reads outside its file.)
#include <gtest/gtest.h>

#include "support/golden.h"

namespace segsniff::test {
namespace {

TEST(CorpusWalk, EveryCameraFileIsWalkedToItsEndOfImage) {
  const std::vector<std::string> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "corpus folder " << SEGSNIFF_CORPUS_DIR << " is absent";
  for (const auto& path : files) {
    ScratchDir dir;
    RunResult r = run_segsniff(dir, {path});
    EXPECT_EQ(r.status, 0) << path;
    // The file's own walk prints last, after its thumbnails' walks.
    EXPECT_TRUE(r.out.ends_with("(EOI) End of Image\n"))
        << path << " ends with: " << r.out.substr(r.out.size() > 200 ? r.out.size() - 200 : 0);
  }
}

// The limits on hostile files leave every real one whole, dumped or carved:
// no message that an allowance ran out.
TEST(CorpusWalk, NoCameraFileReachesALimit) {
  const std::vector<std::string> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "corpus folder " << SEGSNIFF_CORPUS_DIR << " is absent";
  for (const auto& path : files) {
    for (bool recovery : {false, true}) {
      ScratchDir dir;
      RunResult r = run_segsniff(dir, recovery ? std::vector<std::string>{"-recover", path}
                                               : std::vector<std::string>{path},
                                 true);
      for (const char* limit : {" not walked: ", " dump stopped\n", " nested more than "})
        EXPECT_EQ(r.out.find(limit), std::string::npos)
            << path << (recovery ? " carved" : " dumped") << " reaches" << limit;
    }
  }
}

}  // namespace
}  // namespace segsniff::test
