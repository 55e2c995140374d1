// "-copy": block copy with stars, progress lines, totals and its failures.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <vector>

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

// A star per block read (the last, empty read included), a progress line
// after every 32 blocks, megabytes rounded down.
TEST(CopyDevice, StarsProgressLinesAndTotalsAtBlockBoundaries) {
  struct Case {
    std::size_t size;
    std::string tail;  // everything after the header lines
  };
  const Case cases[] = {
      {0, "*\ncopied 0 bytes (0 MB)\n"},
      {block, "**\ncopied 262144 bytes (0 MB)\n"},
      {block + 1, "***\ncopied 262145 bytes (0 MB)\n"},
      {32 * block, stars(32) + " copied so far 8388608 bytes (8 MB)\n" +
                       "*\ncopied 8388608 bytes (8 MB)\n"},
      {20 * 1024 * 1024, stars(32) + " copied so far 8388608 bytes (8 MB)\n" +
                             stars(32) + " copied so far 16777216 bytes (16 MB)\n" +
                             stars(17) + "\ncopied 20971520 bytes (20 MB)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size));
    ScratchDir dir;
    const std::string content = patterned(c.size);
    dir.write("in", content);
    RunResult r = run_segsniff(dir, {"-copy", "in", "out"});
    EXPECT_TRUE(same_text(r.out, announced("in", "out") + c.tail));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(dir.exists("out") && dir.read("out") == content) << "destination differs";
  }
}

// A sparse source of 4 GiB + 100 bytes costs no disk: 32-bit counters would
// print 100 bytes and 0 MB at the end.
TEST(CopyDevice, CountsBeyondFourGibibytesDoNotWrap) {
  ScratchDir dir;
  const std::uint64_t size = (std::uint64_t{1} << 32) + 100;
  dir.write("sparse.img", "");
  std::filesystem::resize_file(dir.file("sparse.img"), size);

  std::string want = announced("sparse.img", null_device());
  for (std::uint64_t line = 1; line <= 512; ++line)
    want += stars(32) + " copied so far " + std::to_string(line * 8388608) + " bytes (" +
            std::to_string(line * 8) + " MB)\n";
  want += "**\ncopied 4294967396 bytes (4096 MB)\n";
  RunResult r = run_segsniff(dir, {"-copy", "sparse.img", null_device()});
  EXPECT_TRUE(same_text(r.out, want));
  EXPECT_EQ(r.err, "");
}

// Each failure prints one line after the stars and no total, and ends with
// status 2.  A source that cannot be opened, or that is the destination
// under any name, leaves the destination untouched; so does a source whose
// first read fails (a directory, the process's own memory at address 0):
// the destination is emptied only once a first block is in hand.  /dev/full
// fails a whole block in fwrite, a few bytes only when flushed.  (Windows
// refuses to open a folder as a file at all, and has neither of the two
// devices.)
TEST(CopyDevice, FailuresEndTheCopyWithOneLineAndNoTotal) {
  ScratchDir dir;
  const std::string content = patterned(1000);
  dir.write("photo.img", content);
  dir.write("big", patterned(block));
  dir.write("small", "0123456789");
  std::filesystem::create_directory(dir.file("sub"));
  std::filesystem::create_hard_link(dir.file("photo.img"), dir.file("hard"));
  make_symlink("photo.img", dir.file("soft"));
  const std::string same = "Source 'photo.img' and destination are the same file\n\n";
  struct Case {
    const char *source, *destination;
    std::string tail;
  };
  std::vector<Case> cases = {
      {"missing", "out", "Open file 'missing' for reading failed\n\n"},
      {"photo.img", "nodir/out", "Create file 'nodir/out' for writing failed\n\n"},
      {"photo.img", "photo.img", same},
      {"photo.img", "./photo.img", same},
      {"photo.img", "hard", same},
      {"photo.img", "soft", same},
  };
#ifdef _WIN32
  cases.push_back({"sub", "photo.img", "Open file 'sub' for reading failed\n\n"});
#else
  cases.push_back({"sub", "photo.img", "*reading file 'sub' failed\n\n"});
  cases.push_back({"/proc/self/mem", "photo.img", "*reading file '/proc/self/mem' failed\n\n"});
  if (::access("/dev/full", W_OK) == 0) {
    cases.push_back({"big", "/dev/full", "*writing file '/dev/full' failed\n\n"});
    cases.push_back({"small", "/dev/full", "**writing file '/dev/full' failed\n\n"});
  }
#endif
  for (const Case& c : cases) {
    RunResult r = run_segsniff(dir, {"-copy", c.source, c.destination}, /*merge=*/true);
    EXPECT_TRUE(same_text(r.out, announced(c.source, c.destination) + c.tail)) << c.destination;
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(dir.read("photo.img") == content) << c.source << " changed photo.img";
  }
  EXPECT_FALSE(dir.exists("out"));
}

}  // namespace
}  // namespace segsniff::test
