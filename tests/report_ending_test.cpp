// The carving report is complete and valid however the run ends: at its
// last argument, at the usage text, at the next "-report", at a standard
// output that has gone away, at a stop signal -- and when files or the
// report itself cannot be written.  An existing file is never replaced.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>

#include "support/golden.h"
#include "support/report_check.h"
#include "support/system_texts.h"

namespace segsniff::test {
namespace {

// FF D8, a scan header, `scan` bytes of scan data, FF D9.
std::string picture(std::uint8_t k, std::size_t scan) {
  return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).fill(scan, k).be16(0xFFD9).str();
}

std::string counts(int candidates, int files, std::uint64_t bytes, int failures) {
  return "  <segsniff:counts candidates=\"" + std::to_string(candidates) + "\" files=\"" +
         std::to_string(files) + "\" bytes=\"" + std::to_string(bytes) + "\" failures=\"" +
         std::to_string(failures) + "\" decoded_cleanly=\"0\"/>\n";
}

void expect_valid(const ScratchDir& dir, std::initializer_list<const char*> reports) {
  if (!schema_check_unavailable().empty()) return;  // said by the test that skips
  for (const char* report : reports) EXPECT_TRUE(valid_dfxml(dir.file(report)));
}

TEST(ReportEnding, AnExistingFileIsNotReplacedAndNothingIsCarvedWithoutTheReport) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
  ScratchDir dir;
  dir.write("card.img", picture(1, 3));
  dir.write("old.xml", "kept");
  make_symlink("nowhere.xml", dir.file("link.xml"));
  const RunResult r = run_segsniff(
      dir, {"-report", "old.xml", "-recover", "card.img", "-report", "link.xml", "card.img",
            "-report", "no/such/folder.xml", "card.img", "-report", "new.xml", "card.img"});
  EXPECT_EQ(r.status, 2);
  const std::string refused = "Will not carve 'card.img': the report '";
  EXPECT_TRUE(same_text(r.err, "Report 'old.xml' exists; it is not replaced\n" + refused +
                                   "old.xml' could not be made\n"
                                   "Report 'link.xml' exists; it is not replaced\n" + refused +
                                   "link.xml' could not be made\n"
                                   "Create report 'no/such/folder.xml' failed\n" +
                                   path_not_found + refused +
                                   "no/such/folder.xml' could not be made\n"));
  EXPECT_EQ(dir.read("old.xml"), "kept");
  EXPECT_FALSE(dir.exists("nowhere.xml"));
  // The first file carved is the one the last report describes.
  EXPECT_TRUE(same_text(lines_holding(dir.read("new.xml"), "<filename>"),
                        "    <filename>segsniff_recover_001.jpg</filename>\n"));
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  expect_valid(dir, {"new.xml"});
}

// Each report describes the carvings between it and the next; one with no
// carving after it is complete all the same.
TEST(ReportEnding, TheUsageTextTheHelpAndTheNextReportCloseIt) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
  ScratchDir dir;
  dir.write("one.img", picture(1, 3));
  dir.write("two.img", picture(2, 3) + picture(3, 3));
  RunResult r = run_segsniff(dir, {"-REPORT", "alone.xml"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(same_text(dir.read("alone.xml"), report_head("-REPORT alone.xml") +
                                                   "  <source/>\n" + counts(0, 0, 0, 0) + "</dfxml>\n"));
  r = run_segsniff(dir, {"-report", "first.xml", "-recover", "one.img", "-report", "second.xml",
                         "two.img", "-bogus", "one.img"});
  EXPECT_EQ(r.status, 1);
  const std::string first = dir.read("first.xml"), second = dir.read("second.xml");
  EXPECT_TRUE(same_text(lines_holding(first, "<image_filename") + lines_holding(first, "<filename>") +
                            lines_holding(first, "<segsniff:counts"),
                        "    <image_filename segsniff:input=\"1\" segsniff:size=\"11\">one.img</image_filename>\n"
                        "    <filename>segsniff_recover_001.jpg</filename>\n" + counts(1, 1, 11, 0)));
  EXPECT_TRUE(same_text(lines_holding(second, "<image_filename") + lines_holding(second, "<filename>") +
                            lines_holding(second, "<segsniff:counts"),
                        "    <image_filename segsniff:input=\"1\" segsniff:size=\"22\">two.img</image_filename>\n"
                        "    <filename>segsniff_recover_002.jpg</filename>\n"
                        "    <filename>segsniff_recover_003.jpg</filename>\n" + counts(2, 2, 22, 0)));
  r = run_segsniff(dir, {"-report", "help.xml", "-recover", "one.img", "--help", "two.img"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(same_text(lines_holding(dir.read("help.xml"), "<segsniff:counts"), counts(1, 1, 11, 0)));
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  expect_valid(dir, {"alone.xml", "first.xml", "second.xml", "help.xml"});
}

// Standard output is a pipe whose reader is gone: the first write of the
// listing, right after the first file, ends the run -- through the program's
// own way out even where SIGPIPE would kill it -- and the report says so.
TEST(ReportEnding, AClosedStandardOutputEndsTheRunWithTheReportComplete) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
#ifndef _WIN32  // pipes, signals and tmpfs mounts of POSIX
  ScratchDir dir;
  std::string card;
  for (int i = 0; i < 20; ++i) card += picture(static_cast<std::uint8_t>(i), 3);
  dir.write("card.img", card);
  int closed_pipe[2];
  ASSERT_EQ(::pipe(closed_pipe), 0);
  ::close(closed_pipe[0]);
  const int status = wait_for_segsniff(start_segsniff(dir, {"-report", "r.xml", "-recover", "card.img"}, [&] {
    std::signal(SIGPIPE, SIG_DFL);
    ::dup2(closed_pipe[1], 1);
    ::dup2(::open("/dev/null", O_WRONLY), 2);
  }));
  ::close(closed_pipe[1]);
  EXPECT_EQ(status, 2);
  const std::string report = dir.read("r.xml");
  EXPECT_TRUE(same_text(lines_holding(report, "<filename>") + lines_holding(report, "<segsniff:counts") +
                            lines_holding(report, "<segsniff:stopped"),
                        "    <filename>segsniff_recover_001.jpg</filename>\n" + counts(1, 1, 11, 0) +
                            "  <segsniff:stopped>standard output could not be written</segsniff:stopped>\n"));
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  expect_valid(dir, {"r.xml"});
#endif
}

// SIGTERM while the run waits for its reader: once it can go on, it stops
// at the next candidate, writes the report with what was carved, and ends
// as the signal ends it.
TEST(ReportEnding, AStopSignalEndsTheRunWithTheReportComplete) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
#ifndef _WIN32  // pipes, signals and tmpfs mounts of POSIX
  ScratchDir dir;
  std::string card;
  for (int i = 0; i < 2000; ++i) card += picture(static_cast<std::uint8_t>(i), 3);
  dir.write("card.img", card);
  int listing[2];
  ASSERT_EQ(::pipe(listing), 0);
  const pid_t child = start_segsniff(dir, {"-report", "r.xml", "-recover", "card.img"}, [&] {
    ::close(listing[0]);
    ::dup2(listing[1], 1);
    ::dup2(::open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
  });
  ::close(listing[1]);
  // The first file's line: the report is open, the carving under way.
  std::string seen;
  char buffer[4096];
  while (seen.find("restore ") == std::string::npos) {
    const ssize_t n = ::read(listing[0], buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  ::kill(child, SIGTERM);
  while (::read(listing[0], buffer, sizeof buffer) > 0) {
  }
  ::close(listing[0]);
  EXPECT_EQ(wait_for_segsniff(child), 128 + SIGTERM);
  EXPECT_TRUE(same_text(lines_holding(dir.read("err.txt"), "Stopped"),
                        "Stopped by signal 15; report 'r.xml' lists what was carved until then\n"));
  const std::string report = dir.read("r.xml");
  EXPECT_TRUE(same_text(lines_holding(report, "<segsniff:stopped"),
                        "  <segsniff:stopped>stopped by signal 15</segsniff:stopped>\n"));
  const std::string listed = lines_holding(report, "<filename>");
  const auto files = static_cast<std::size_t>(std::count(listed.begin(), listed.end(), '\n'));
  EXPECT_GT(files, 0u);
  EXPECT_LT(files, 2000u);
  EXPECT_EQ(files, dir.list().size() - 3) << "every file written is listed";  // and card.img, err.txt, r.xml
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  expect_valid(dir, {"r.xml"});
#endif
}

// A tmpfs of 64 KiB with room for two files: the first is written whole,
// the second cut where the space ends, the third cannot be made.  The
// report lies elsewhere and lists all three.
TEST(ReportEnding, FilesThatCannotBeWrittenAreListedWithTheirFailure) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
#ifndef _WIN32  // pipes, signals and tmpfs mounts of POSIX
  ScratchDir dir;
  ScratchDir small;
  const std::string mounted =
      first_line_of("mount -t tmpfs -o size=64k,nr_inodes=3 tmpfs " + small.path() + " && echo ok");
  if (mounted != "ok") GTEST_SKIP() << "cannot mount a tmpfs: " << mounted;
  AtScopeEnd unmount{"umount --lazy " + small.path()};
  const std::string one = picture(7, 40000);
  dir.write("card.img", one + one + one);
  const RunResult r = run_segsniff(dir, {"-outdir", small.path(), "-report", "r.xml", "-recover", "card.img"});
  EXPECT_EQ(r.status, 2);
  const std::string report = dir.read("r.xml");
  const std::string name = "    <filename>" + small.path() + "/segsniff_recover_00";
  EXPECT_TRUE(same_text(
      lines_holding(report, "<filename>") + lines_holding(report, "<error>") +
          lines_holding(report, "<filesize>") + lines_holding(report, "<hashdigest") +
          lines_holding(report, "<segsniff:counts"),
      name + "1.jpg</filename>\n" + name + "2.jpg</filename>\n" + name + "3.jpg</filename>\n"
      "    <error>only 24576 of 40008 bytes reached the file: No space left on device</error>\n"
      "    <error>could not create the file: No space left on device</error>\n"
      "    <filesize>40008</filesize>\n"
      "    <filesize>24576</filesize>\n"
      "    <hashdigest type=\"sha256\">" + sha256_hex(one) + "</hashdigest>\n"
      "    <hashdigest type=\"sha256\">" + sha256_hex(one.substr(0, 24576)) + "</hashdigest>\n" +
      counts(3, 1, 40008, 2)));
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  expect_valid(dir, {"r.xml"});
#endif
}

// The report on a tmpfs of 16 KiB: its records no longer fit, nor does the
// document; the run says so and fails, and carves all the same.
TEST(ReportEnding, AReportThatCannotBeWrittenFailsTheRun) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
#ifndef _WIN32  // pipes, signals and tmpfs mounts of POSIX
  ScratchDir dir;
  ScratchDir small;
  const std::string mounted = first_line_of("mount -t tmpfs -o size=16k tmpfs " + small.path() + " && echo ok");
  if (mounted != "ok") GTEST_SKIP() << "cannot mount a tmpfs: " << mounted;
  AtScopeEnd unmount{"umount --lazy " + small.path()};
  std::string card;
  for (int i = 0; i < 300; ++i) card += picture(static_cast<std::uint8_t>(i), 3);
  dir.write("card.img", card);
  const std::string report = small.path() + "/r.xml";
  const RunResult r = run_segsniff(dir, {"-report", report, "-recover", "card.img"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(same_text(lines_holding(r.err, "report") + lines_holding(r.err, "Last Error"),
                        "Writing report '" + report + "' failed\n"
                        "Last Error = 28 ('No space left on device')\n"));
  EXPECT_TRUE(dir.exists("segsniff_recover_300.jpg"));
#endif
}

}  // namespace
}  // namespace segsniff::test
