// The standard streams: a standard output that fails is reported once and
// ends the run with status 2; a closed pipe ends it at its first write,
// which comes right after the first carved file (the listing is flushed
// after every restore line); standard streams closed at start cannot
// capture a file.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <csignal>

#include "support/golden.h"
#include "support/system_texts.h"

namespace segsniff::test {
namespace {

#ifdef _WIN32
// Windows has no device that is always full; a pipe whose reader has gone
// ends the run as on Linux, and a program started without standard
// handles writes its text to the null device and goes on.
TEST(RunOutcome, StandardStreamsThatFailOrAreMissing) {
  ScratchDir dir;
  const Bytes picture = Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}).be16(0xFFD9);
  std::string card;
  for (int i = 0; i < 50; ++i) card += picture.str();
  dir.write("card.img", card);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE reading = nullptr, writing = nullptr;
  ASSERT_TRUE(CreatePipe(&reading, &writing, &inherit, 0));
  CloseHandle(reading);
  HANDLE error = CreateFileA(dir.file("err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(error, INVALID_HANDLE_VALUE);
  EXPECT_EQ(run_segsniff_with_handles(dir, {"-outdir", "pipe", "-recover", "card.img"}, writing, error), 2);
  CloseHandle(writing);
  CloseHandle(error);
  const std::string err = from_text_mode(dir.read("err.txt"), "standard error");
  EXPECT_TRUE(err.ends_with("writing standard output failed\n" + closed_pipe)) << err;
  EXPECT_TRUE(dir.exists("pipe/segsniff_recover_001.jpg"));
  EXPECT_FALSE(dir.exists("pipe/segsniff_recover_002.jpg"));

  EXPECT_EQ(run_segsniff_with_handles(dir, {"-copy", "card.img", "target"}, nullptr, nullptr), 0);
  EXPECT_TRUE(dir.read("target") == card);
}
#else
TEST(RunOutcome, StandardStreamsThatFailOrAreClosed) {
  ScratchDir dir;
  const Bytes picture = Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}).be16(0xFFD9);
  std::string card;
  for (int i = 0; i < 50; ++i) card += picture.str();
  dir.write("card.img", card);
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
  int closed_pipe[2];
  ASSERT_EQ(::pipe(closed_pipe), 0);
  ::close(closed_pipe[0]);
  auto run = [&](const std::vector<std::string>& args, const std::function<void()>& prepare) {
    const int err = ::open(dir.file("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int status = wait_for_segsniff(start_segsniff(dir, args, [&] {
      ::dup2(err, 2);
      prepare();
    }));
    ::close(err);
    return status;
  };
  const std::string report = "writing standard output failed\nLast Error = ";

  EXPECT_EQ(run({"-outdir", "full", "-recover", "card.img"},
                [] { ::dup2(::open("/dev/full", O_WRONLY), 1); }), 2);
  EXPECT_NE(dir.read("err.txt").find(report + "28 ('No space left on device')\n"), std::string::npos);
  EXPECT_EQ(dir.read("err.txt").find(report), dir.read("err.txt").rfind(report)) << "reported twice";
  EXPECT_TRUE(dir.exists("full/segsniff_recover_050.jpg"));

  EXPECT_EQ(run({"-outdir", "pipe", "-recover", "card.img"}, [&] {
              std::signal(SIGPIPE, SIG_IGN);
              ::dup2(closed_pipe[1], 1);
            }), 2);
  EXPECT_TRUE(dir.read("err.txt").ends_with(report + "32 ('Broken pipe')\n"));
  EXPECT_TRUE(dir.exists("pipe/segsniff_recover_001.jpg"));
  EXPECT_FALSE(dir.exists("pipe/segsniff_recover_002.jpg"));

  // Else the source and the target would take descriptors 1 and 2, and the
  // read failure would be written into the target.
  EXPECT_EQ(run({"-copy", "sub", "target"}, [] { ::close(1), ::close(2); }), 2);
  EXPECT_TRUE(dir.exists("target") && dir.read("target").empty());
}
#endif

}  // namespace
}  // namespace segsniff::test
