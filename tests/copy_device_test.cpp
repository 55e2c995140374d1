// "-copy": block copy with stars, progress lines, totals and its failures.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "support/golden.h"

namespace segsniff::test {
namespace {

constexpr std::size_t block = 262144;

// Bytes that differ from block to block and within a block, so that a lost,
// repeated or reordered block cannot compare equal.
std::string patterned(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 12345;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string stars(std::size_t n) { return std::string(n, '*'); }

std::string announced(const std::string& source, const std::string& destination) {
  return banner() + "Command -copy found (source '" + source + "', dest '" + destination +
         "')\nCopy from File " + source + " to file " + destination + "\n";
}

TEST(CopyDevice, TwentyMebibytesPrintTwoProgressLinesAndTheTotal) {
  ScratchDir dir;
  const std::string content = patterned(20 * 1024 * 1024);
  dir.write("card.img", content);
  RunResult r = run_segsniff(dir, {"-copy", "card.img", "copy.img"});
  EXPECT_TRUE(same_text(r.out, announced("card.img", "copy.img") +
                                   stars(32) + " copied so far 8388608 bytes (8 MB)\n" +
                                   stars(32) + " copied so far 16777216 bytes (16 MB)\n" +
                                   stars(17) + "\ncopied 20971520 bytes (20 MB)\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(dir.read("copy.img") == content) << "destination differs from the source";
}

TEST(CopyDevice, BlockBoundariesAndMegabytesRoundedDown) {
  struct Case {
    std::size_t size;
    std::string tail;  // everything after the header line
  };
  const Case cases[] = {
      {0, "*\ncopied 0 bytes (0 MB)\n"},
      {1, "**\ncopied 1 bytes (0 MB)\n"},
      {block, "**\ncopied 262144 bytes (0 MB)\n"},
      {block + 1, "***\ncopied 262145 bytes (0 MB)\n"},
      {1048575, "*****\ncopied 1048575 bytes (0 MB)\n"},
      {1048576, "*****\ncopied 1048576 bytes (1 MB)\n"},
      {32 * block, stars(32) + " copied so far 8388608 bytes (8 MB)\n" +
                       "*\ncopied 8388608 bytes (8 MB)\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const std::string content = patterned(c.size);
    dir.write("in", content);
    RunResult r = run_segsniff(dir, {"-copy", "in", "out"});
    EXPECT_TRUE(same_text(r.out, announced("in", "out") + c.tail)) << "size " << c.size;
    EXPECT_EQ(r.err, "") << "size " << c.size;
    EXPECT_TRUE(dir.exists("out") && dir.read("out") == content) << "size " << c.size;
  }
}

// A sparse source of 4 GiB + 100 bytes costs no disk; the destination is
// /dev/null.  32-bit counters would print 100 bytes and 0 MB at the end.
TEST(CopyDevice, CountsBeyondFourGibibytesDoNotWrap) {
  ScratchDir dir;
  const std::uint64_t size = (std::uint64_t{1} << 32) + 100;
  int fd = ::open(dir.file("sparse.img").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
  ::close(fd);

  std::string want = announced("sparse.img", "/dev/null");
  for (std::uint64_t line = 1; line <= 512; ++line)
    want += stars(32) + " copied so far " + std::to_string(line * 8388608) + " bytes (" +
            std::to_string(line * 8) + " MB)\n";
  want += "**\ncopied 4294967396 bytes (4096 MB)\n";
  RunResult r = run_segsniff(dir, {"-copy", "sparse.img", "/dev/null"});
  EXPECT_TRUE(same_text(r.out, want));
  EXPECT_EQ(r.err, "");
}

TEST(CopyDevice, FailuresToOpenCreateNothingAndReadNothing) {
  ScratchDir dir;
  dir.write("in", "abc");
  RunResult missing = run_segsniff(dir, {"-copy", "missing", "out"}, /*merge=*/true);
  EXPECT_TRUE(same_text(missing.out, announced("missing", "out") +
                                         "Open file 'missing' for reading failed\n\n"));
  EXPECT_FALSE(dir.exists("out"));

  RunResult no_dir = run_segsniff(dir, {"-copy", "in", "nodir/out"}, /*merge=*/true);
  EXPECT_TRUE(same_text(no_dir.out, announced("in", "nodir/out") +
                                        "Create file 'nodir/out' for writing failed\n\n"));
  EXPECT_EQ(no_dir.status, 0);
}

// Writing the source would truncate it before its first read.
TEST(CopyDevice, DestinationThatIsTheSourceIsRefusedUnderAnyName) {
  ScratchDir dir;
  const std::string content = patterned(1000);
  dir.write("photo.img", content);
  ASSERT_EQ(::link(dir.file("photo.img").c_str(), dir.file("hard").c_str()), 0);
  ASSERT_EQ(::symlink("photo.img", dir.file("soft").c_str()), 0);
  for (const char* destination : {"photo.img", "./photo.img", "hard", "soft"}) {
    RunResult r = run_segsniff(dir, {"-copy", "photo.img", destination}, /*merge=*/true);
    EXPECT_TRUE(same_text(r.out, announced("photo.img", destination) +
                                     "Source 'photo.img' and destination are the same file\n\n"));
    EXPECT_TRUE(dir.read("photo.img") == content) << destination << " changed the source";
  }
}

// A directory opens for reading but every read fails: that is no success.
TEST(CopyDevice, ReadErrorEndsTheCopyWithoutTotal) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
  RunResult r = run_segsniff(dir, {"-copy", "sub", "out"}, /*merge=*/true);
  EXPECT_TRUE(same_text(r.out, announced("sub", "out") + "*reading file 'sub' failed\n\n"));
}

// /dev/full refuses every write.  A whole block fails in fwrite; a few bytes
// stay in the stdio buffer and fail only when flushed.  Neither prints a total.
TEST(CopyDevice, WriteErrorsOnAFullDeviceAreReported) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not writable here";
  ScratchDir dir;
  dir.write("big", patterned(block));
  dir.write("small", "0123456789");
  RunResult big = run_segsniff(dir, {"-copy", "big", "/dev/full"}, /*merge=*/true);
  EXPECT_TRUE(same_text(big.out, announced("big", "/dev/full") +
                                     "*writing file '/dev/full' failed\n\n"));
  RunResult small = run_segsniff(dir, {"-copy", "small", "/dev/full"}, /*merge=*/true);
  EXPECT_TRUE(same_text(small.out, announced("small", "/dev/full") +
                                       "**writing file '/dev/full' failed\n\n"));
}

}  // namespace
}  // namespace segsniff::test
