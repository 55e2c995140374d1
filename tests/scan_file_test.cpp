// The per-file driver: open, size, map, hand off, release.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "support/golden.h"
#include "support/system_texts.h"

namespace segsniff::test {
namespace {

TEST(ScanFile, FilesThatAreNotJpegAreRecognisedByTheirFirstTwoBytesAndLeftUnchanged) {
  ScratchDir dir;
  dir.write("one.jpg", "\xFF");
  dir.write("tiff.jpg", "II*");
  RunResult r = run_segsniff(dir, {"one.jpg", "tiff.jpg", "tiff.jpg"});
  EXPECT_TRUE(same_text(r.out, banner() + reading_lines("one.jpg", 1) +
                                   reading_lines("tiff.jpg", 3) + reading_lines("tiff.jpg", 3)));
  EXPECT_TRUE(same_text(r.err, "unknown file type\nunknown file type\nunknown file type\n"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(dir.read("tiff.jpg"), "II*");
}

TEST(ScanFile, FailuresInterleaveInProgramOrderAndEndWithStatusTwo) {
  // An empty file cannot be mapped; that failure goes to standard output.
  ScratchDir dir;
  dir.write("empty.jpg", "");
  RunResult r = run_segsniff(dir, {"missing.jpg", "empty.jpg"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, banner() +
                                   "reading file missing.jpg:\n"
                                   "Open file 'missing.jpg' for reading failed\n" +
                                   file_not_found +
                                   "reading file empty.jpg:\nFilelen 0 Bytes\n"
                                   "create file mapping failed\n" +
                                   cannot_map_empty_file));
  EXPECT_EQ(r.status, 2);
  r = run_segsniff(dir, {"missing.jpg", "empty.jpg"});
  EXPECT_TRUE(same_text(r.err,
                        "Open file 'missing.jpg' for reading failed\n" + file_not_found +
                        cannot_map_empty_file));
}

// Windows has no FIFOs; its null device opens, has no bytes and cannot be
// mapped (wine's words).
TEST(ScanFile, DirectoriesAndFifosAreRefused) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("sub"));
#ifdef _WIN32
  RunResult r = run_segsniff(dir, {"sub", "NUL"});
  EXPECT_TRUE(same_text(r.out, banner() + "reading file sub:\nreading file NUL:\nFilelen 0 Bytes\n"
                                          "create file mapping failed\n"));
  EXPECT_TRUE(same_text(r.err, "Open file 'sub' for reading failed\n" + folder_opened_as_file +
                                   last_error(6, "Invalid handle.")));
#else
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  RunResult r = run_segsniff(dir, {"sub", "pipe"});
  EXPECT_TRUE(same_text(r.out, banner() + "reading file sub:\nreading file pipe:\n"));
  EXPECT_TRUE(same_text(r.err,
                        "Open file 'sub' for reading failed\n"
                        "Last Error = 21 ('Is a directory')\n"
                        "GetFileSize on file 'pipe' failed\n"
                        "Last Error = 29 ('Illegal seek')\n"));
#endif
  EXPECT_EQ(r.status, 2);
}

}  // namespace
}  // namespace segsniff::test
