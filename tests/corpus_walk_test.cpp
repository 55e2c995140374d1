// Every file of the shared camera corpus is walked to its End-of-Image
// marker without a crash.  (Under the sanitizer build this also proves that
// no walk reads outside its file.)
#include <gtest/gtest.h>

#include <string_view>

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
    // The file's own walk prints last; nested walks (thumbnails) come
    // before it.  The Exif lines in between are not looked at here.
    const std::string_view eoi = "(EOI) End of Image\n";
    const std::string_view out = r.out;
    EXPECT_TRUE(out.size() >= eoi.size() && out.substr(out.size() - eoi.size()) == eoi)
        << path << " ends with: " << out.substr(out.size() > 200 ? out.size() - 200 : 0);
  }
}

}  // namespace
}  // namespace segsniff::test
