// The carving progress: drawn on standard error when that is a terminal and
// standard output goes elsewhere, erased when an input is done and followed
// by its summary line; nothing of it when standard output is that terminal
// or standard error is not a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "support/golden.h"

namespace segsniff::test {
namespace {

// Runs segsniff in `dir` with all three streams on a pseudo-terminal in raw
// mode (no line-ending translation), standard output sent to a file when
// `out_elsewhere`; returns what the terminal got.
std::string run_on_terminal(const ScratchDir& dir, const std::vector<std::string>& args,
                            bool out_elsewhere) {
  struct termios raw {};
  ::cfmakeraw(&raw);
  int master = -1;
  pid_t child = ::forkpty(&master, nullptr, &raw, nullptr);
  if (child == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(127);
    if (out_elsewhere) ::dup2(::open("listing.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    exec_segsniff(args);
  }
  std::string seen;
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0) seen.append(buffer, static_cast<std::size_t>(n));
    else if (n < 0 && errno == EINTR) continue;
    else break;  // EIO once the child has closed its side
  }
  EXPECT_EQ(wait_for_segsniff(child), 0);
  ::close(master);
  return seen;
}

std::size_t count_of(const std::string& text, char c) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

// a.img is one picture (no message from its walk), b.img holds none.  The
// line may be drawn again if the machine is slow, so only its first drawing,
// the summaries and the erasing carriage return before each are pinned.
TEST(CarvingProgress, ShownOnTheTerminalOfStandardErrorOnlyWhileTheListingGoesElsewhere) {
  ScratchDir dir;
  dir.write("a.img", Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}).be16(0xFFD9).str());
  dir.write("b.img", "\xFF");
  const std::vector<std::string> args{"-recover", "a.img", "b.img"};
  const std::string seen = run_on_terminal(dir, args, /*out_elsewhere=*/true);
  EXPECT_TRUE(seen.starts_with("\rcarving 'a.img': 0%, 0 files written")) << seen;
  EXPECT_NE(seen.find("\rcarved 'a.img': 1 candidates tried, 1 files written (11 bytes), 0 failures\n"
                      "\rcarving 'b.img': 0%, 0 files written"),
            std::string::npos) << seen;
  EXPECT_TRUE(seen.ends_with(
      "\rcarved 'b.img': 0 candidates tried, 0 files written (0 bytes), 0 failures\n")) << seen;
  EXPECT_EQ(count_of(seen, '\n'), 2u);
  EXPECT_NE(dir.read("listing.txt").find("restore 11 bytes"), std::string::npos);

  const std::string shared = run_on_terminal(dir, args, /*out_elsewhere=*/false);
  EXPECT_NE(shared.find("restore 11 bytes"), std::string::npos);
  EXPECT_EQ(shared.find("carv"), std::string::npos) << shared;
  EXPECT_EQ(run_segsniff(dir, args).err, "");
}

}  // namespace
}  // namespace segsniff::test
