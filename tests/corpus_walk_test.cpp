// Every file of the shared camera corpus is walked to its End-of-Image
// marker without a crash, and its dump is text.  (Under the sanitizer build
// this also proves that no walk reads outside its file.)
#include <gtest/gtest.h>

#include "support/golden.h"

namespace segsniff::test {
namespace {

// Where the first byte lies that makes a dump no text: a control byte other
// than the line feed (the NUL that ends every Exif string made text tools
// call a dump binary), a C1 control, or a C1 control's UTF-8 form.
std::size_t first_control_byte(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1_pair = c == 0xC2 && i + 1 < text.size() &&
                         static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
                         static_cast<unsigned char>(text[i + 1]) >= 0x80;
    if ((c < 0x20 && c != '\n') || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c1_pair) return i;
  }
  return std::string::npos;
}

TEST(CorpusWalk, EveryCameraFileIsWalkedToItsEndOfImageAndDumpedAsText) {
  const std::vector<std::string> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "corpus folder " << SEGSNIFF_CORPUS_DIR << " is absent";
  for (const auto& path : files) {
    ScratchDir dir;
    RunResult r = run_segsniff(dir, {path});
    EXPECT_EQ(r.status, 0) << path;
    for (const std::string* text : {&r.out, &r.err}) {
      const std::size_t at = first_control_byte(*text);
      EXPECT_EQ(at, std::string::npos)
          << path << ": control byte in: " << text->substr(at < 40 ? 0 : at - 40, 80);
    }
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
