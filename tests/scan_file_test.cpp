// The per-file driver: open, size, map, hand off, release.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/golden.h"

namespace segsniff::test {
namespace {

TEST(ScanFile, FilesThatAreNotJpegAreRecognisedByTheirFirstTwoBytes) {
  RunResult r = run_with_files({{"one.jpg", std::string("\xFF", 1)},
                                {"other.png", Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A}},
                                {"tiff.jpg", Bytes{'I', 'I', 0x2A, 0x00}}},
                               {"one.jpg", "other.png", "tiff.jpg"});
  EXPECT_TRUE(same_text(r.out, banner() +
                                   "reading file one.jpg:\nFilelen 1 Bytes\nfile size 1 bytes\n"
                                   "reading file other.png:\nFilelen 6 Bytes\nfile size 6 bytes\n"
                                   "reading file tiff.jpg:\nFilelen 4 Bytes\nfile size 4 bytes\n"));
  EXPECT_TRUE(same_text(r.err, "unknown file type\nunknown file type\nunknown file type\n"));
  EXPECT_EQ(r.status, 0);
}

TEST(ScanFile, EmptyFileCannotBeMappedAndTheFailureGoesToStandardOutput) {
  RunResult r = run_with_files({{"empty.jpg", std::string()}}, {"empty.jpg"});
  EXPECT_TRUE(same_text(r.out, banner() +
                                   "reading file empty.jpg:\nFilelen 0 Bytes\n"
                                   "create file mapping failed\n"));
  EXPECT_TRUE(same_text(r.err, "Last Error = 22 ('Invalid argument')\n"));
}

TEST(ScanFile, FailuresInterleaveInProgramOrder) {
  ScratchDir dir;
  dir.write("empty.jpg", "");
  RunResult r = run_segsniff(dir, {"missing.jpg", "empty.jpg"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, banner() +
                                   "reading file missing.jpg:\n"
                                   "Open file 'missing.jpg' for reading failed\n"
                                   "Last Error = 2 ('No such file or directory')\n"
                                   "reading file empty.jpg:\nFilelen 0 Bytes\n"
                                   "create file mapping failed\n"
                                   "Last Error = 22 ('Invalid argument')\n"));
}

TEST(ScanFile, DirectoriesFifosAndUnreadableFilesAreRefused) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  RunResult r = run_segsniff(dir, {"sub", "pipe"});
  EXPECT_TRUE(same_text(r.out, banner() + "reading file sub:\nreading file pipe:\n"));
  EXPECT_TRUE(same_text(r.err,
                        "Open file 'sub' for reading failed\n"
                        "Last Error = 21 ('Is a directory')\n"
                        "GetFileSize on file 'pipe' failed\n"
                        "Last Error = 29 ('Illegal seek')\n"));
  EXPECT_EQ(r.status, 0);
}

TEST(ScanFile, SameFileTwiceIsProcessedTwiceAndLeftUnchanged) {
  ScratchDir dir;
  const std::string bytes = Bytes{0x00, 0x01, 0x02}.str();
  dir.write("a.bin", bytes);
  RunResult r = run_segsniff(dir, {"a.bin", "a.bin"});
  const std::string once = "reading file a.bin:\nFilelen 3 Bytes\nfile size 3 bytes\n";
  EXPECT_TRUE(same_text(r.out, banner() + once + once));
  EXPECT_EQ(dir.read("a.bin"), bytes);
}

}  // namespace
}  // namespace segsniff::test
