// Exit statuses and the standard streams: a failed operation ends the run
// with status 2 and the usage text with 1; standard output that cannot be
// written is a failure too, reported once; a closed pipe ends the run at
// once; standard streams closed at start cannot capture a file; the listing
// of a carving run that is killed has the line of every file it wrote.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "support/golden.h"

namespace segsniff::test {
namespace {

// FF D8, a scan header, three bytes of scan data, FF D9 (11 bytes).
std::string tiny_image() { return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}).be16(0xFFD9).str(); }

std::string repeated(const std::string& piece, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += piece;
  return all;
}

std::size_t count_of(const std::string& text, const std::string& piece) {
  std::size_t n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

std::size_t carved_files(const ScratchDir& dir) {
  std::size_t n = 0;
  for (const auto& name : dir.list()) n += name.rfind("segsniff_recover_", 0) == 0;
  return n;
}

TEST(RunOutcome, StatusTwoWhenAnOperationTheUserAskedForFailedAndOneForTheUsageText) {
  ScratchDir dir;
  dir.write("x.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9}.str());
  dir.write("other.bin", "II*");
  dir.write("empty.jpg", "");
  dir.write("card.img", tiny_image());
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"x.jpg", "other.bin", "-recover", "other.bin"}, 0},  // findings are no failure
      {{"missing.jpg", "x.jpg"}, 2},
      {{"sub"}, 2},
      {{"empty.jpg"}, 2},  // cannot be mapped
      {{"-copy", "missing", "out"}, 2},
      {{"-info", "x.jpg"}, 2},
      {{"-outdir", "nodir/out", "-recover", "card.img"}, 2},
      {{"missing.jpg", "-bogus"}, 1},
      {{"missing.jpg", "-copy", "x.jpg"}, 1},
  };
  for (const Case& c : cases) {
    RunResult r = run_segsniff(dir, c.args);
    EXPECT_EQ(r.status, c.status) << c.args.front() << " ...\n" << r.err;
  }
  EXPECT_EQ(carved_files(dir), 0u);
}

// Every restore line flushes the listing into the full device; the failure
// is reported once, and every picture is still carved.
TEST(RunOutcome, StandardOutputThatCannotBeWrittenIsReportedOnce) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no writable /dev/full";
  ScratchDir dir;
  dir.write("card.img", repeated(tiny_image(), 50));
  int err_pipe[2];
  ASSERT_EQ(::pipe(err_pipe), 0);
  pid_t child = start_segsniff(dir, {"-recover", "card.img"}, [&] {
    ::dup2(::open("/dev/full", O_WRONLY), 1);
    ::dup2(err_pipe[1], 2);
  });
  ::close(err_pipe[1]);
  std::string err;
  char buffer[4096];
  for (ssize_t n; (n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0;) err.append(buffer, n);
  ::close(err_pipe[0]);
  EXPECT_EQ(wait_for_segsniff(child), 2);
  EXPECT_EQ(count_of(err, "writing standard output failed\nLast Error = 28 ('No space left on device')\n"), 1u) << err;
  EXPECT_EQ(count_of(err, "writing standard output failed"), 1u);
  EXPECT_EQ(carved_files(dir), 50u);
}

// With SIGPIPE ignored, a write into a pipe nobody reads fails with EPIPE:
// the first flush of the listing (after the first carved file) ends the run.
TEST(RunOutcome, AClosedPipeEndsTheRunAtOnce) {
  ScratchDir dir;
  dir.write("card.img", repeated(tiny_image(), 50));
  int out_pipe[2];
  ASSERT_EQ(::pipe(out_pipe), 0);
  ::close(out_pipe[0]);
  const std::string err_path = dir.path() + ".err";
  pid_t child = start_segsniff(dir, {"-recover", "card.img"}, [&] {
    std::signal(SIGPIPE, SIG_IGN);
    ::dup2(out_pipe[1], 1);
    ::dup2(::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
  });
  ::close(out_pipe[1]);
  EXPECT_EQ(wait_for_segsniff(child), 2);
  const std::string err = ScratchDir::read_path(err_path);
  ::unlink(err_path.c_str());
  EXPECT_TRUE(err.ends_with("writing standard output failed\nLast Error = 32 ('Broken pipe')\n")) << err;
  EXPECT_EQ(carved_files(dir), 1u);
}

// With standard output and error closed, the copy's source and target would
// take descriptors 1 and 2, and the read failure would be written into the
// target.  They are opened on /dev/null first; the target stays empty.
TEST(RunOutcome, ClosedStandardStreamsCannotCaptureAFile) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
  pid_t child = start_segsniff(dir, {"-copy", "sub", "target"}, [] {
    ::close(1);
    ::close(2);
  });
  EXPECT_EQ(wait_for_segsniff(child), 2);
  EXPECT_TRUE(dir.exists("target"));
  EXPECT_EQ(dir.read("target"), "");
}

// Killed while carving into a pipe: each file written has its restore line
// in what reached the pipe, but at most the one between its close and the
// flush of its line.
TEST(RunOutcome, AKilledRunLeavesNoCarvedFileWithoutItsLine) {
  ScratchDir dir;
  dir.write("card.img", repeated(tiny_image(), 3000));
  int out_pipe[2];
  ASSERT_EQ(::pipe(out_pipe), 0);
  pid_t child = start_segsniff(dir, {"-recover", "card.img"}, [&] {
    ::dup2(out_pipe[1], 1);
    ::dup2(::open("/dev/null", O_WRONLY), 2);
  });
  ::close(out_pipe[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; out.find("restore ") == std::string::npos &&
                  (n = ::read(out_pipe[0], buffer, sizeof buffer)) > 0;)
    out.append(buffer, n);
  ::kill(child, SIGKILL);
  for (ssize_t n; (n = ::read(out_pipe[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  ::close(out_pipe[0]);
  EXPECT_EQ(wait_for_segsniff(child), 128 + SIGKILL);
  const std::size_t lines = count_of(out, "restore 11 bytes to file 'segsniff_recover_");
  EXPECT_LE(carved_files(dir), lines + 1) << lines << " lines";
}

}  // namespace
}  // namespace segsniff::test
