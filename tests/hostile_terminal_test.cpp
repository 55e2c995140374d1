// Bytes of the file shown as characters: raw into a pipe or a file (the
// output stays byte-exact), control bytes as '.' on a terminal (a stranger's
// file must not drive the terminal with escape sequences).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/golden.h"

namespace segsniff::test {
namespace {

// Standard output alone on the terminal.
std::string run_on_terminal(const ScratchDir& dir, const std::vector<std::string>& args) {
  return run_on_terminal(dir, args, [] { ::dup2(::open("/dev/null", O_WRONLY), 2); });
}

// Application segments whose magics are control bytes: an escape sequence
// that would clear the screen, and BEL, NUL, DEL.
std::string walk_with_magics(const std::string& first_magic, const std::string& second_magic) {
  return banner() + reading_lines("ctl.jpg", 22) +
         "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
         "Marker FFE1 at file offset 00000002: (APP1)\n"
         "  APP1 has len 8 and magic number 1B5B324A ('" + first_magic + "')\n"
         "  unknown application 1B5B324A\n"
         "ABCD \n"
         "Marker FFE2 at file offset 0000000C: (APP2)\n"
         "  APP2 has len 6 and magic number 07007F41 ('" + second_magic + "')\n"
         "  unknown application 07007F41\n"
         "\n"
         "Marker FFD9 at file offset 00000014: (EOI) End of Image\n";
}

bool has_line(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(TerminalSafety, ControlBytesGoRawIntoAPipeAndAsDotsToATerminal) {
  ScratchDir dir;
  dir.write("ctl.jpg", Bytes{0xFF, 0xD8}
                           .be16(0xFFE1).be16(8).raw({0x1B, '[', '2', 'J', 0xAB, 0xCD})
                           .be16(0xFFE2).be16(6).raw({0x07, 0x00, 0x7F, 'A'})
                           .be16(0xFFD9).str());
  RunResult piped = run_segsniff(dir, {"ctl.jpg"});
  EXPECT_TRUE(same_text(piped.out, walk_with_magics("\x1B[2J", std::string("\x07\x00\x7F" "A", 4))));
  EXPECT_TRUE(same_text(piped.err, ""));
  EXPECT_TRUE(same_text(run_on_terminal(dir, {"ctl.jpg"}), walk_with_magics(".[2J", "...A")));

  // An Exif ascii value follows the same rule.
  const Bytes tiff = Bytes{}
                         .text("II").le16(42).le32(8)
                         .le16(1).le16(0x010F).le16(2).le32(4).raw({0x1B, '[', '2', 'J'})
                         .le32(0);
  dir.write("text.jpg", Bytes{0xFF, 0xD8}
                            .segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff))
                            .be16(0xFFD9).str());
  piped = run_segsniff(dir, {"text.jpg"});
  EXPECT_TRUE(has_line(piped.out, "        value \x1B[2J")) << piped.out;

  const std::string shown = run_on_terminal(dir, {"text.jpg"});
  EXPECT_TRUE(has_line(shown, "        value .[2J")) << shown;
  for (unsigned char c : shown) {
    if (c == '\n') continue;
    ASSERT_TRUE(c >= 0x20 && c != 0x7F) << "control byte " << int{c} << " on the terminal";
  }
}

}  // namespace
}  // namespace segsniff::test
