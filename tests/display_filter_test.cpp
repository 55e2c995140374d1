// Text from outside the program -- bytes of the input shown as characters
// and names from the command line -- passes the display filter on every
// output: a saved dump must stay text for text tools, and must not drive a
// terminal when it is displayed later.
#include <gtest/gtest.h>

#include "shell/channels.h"
#include "support/golden.h"
#include "support/system_texts.h"

namespace segsniff::test {
namespace {

TEST(DisplayFilter, ControlBytesInEitherFormShowAsDots) {
  struct Case {
    const char* what;
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"NUL ending an Exif string", std::string("Canon\0", 6), "Canon."},
      {"ESC sequences (clear screen, cursor home)", "\x1B[2J\x1B[H", ".[2J.[H"},
      {"BEL, DEL, line feed, carriage return", "a\x07\x7F\n\rb", "a....b"},
      {"8-bit CSI and the ends of the C1 range", "\x9B" "2J\x80\x9F", ".2J.."},
      {"CSI in its UTF-8 form: both bytes", "\xC2\x9B" "2J", "..2J"},
      {"UTF-8 C1 pair at the end of the text", "x\xC2\x85", "x.."},
      {"C2 before a printable byte stays", "\xC2\xA9 \xC2" "A", "\xC2\xA9 \xC2" "A"},
      {"C2 at the end stays", "ab\xC2", "ab\xC2"},
      {"bytes A0-FF stay", "\xA0\xE9\xFF", "\xA0\xE9\xFF"},
      {"a continuation byte 80-9F inside a UTF-8 letter is a dot too", "\xE2\x82\xAC",
       "\xE2.\xAC"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shown_string(c.text), c.shown) << c.what;
    CapturedOutput captured;
    out_stream << shown(c.text);
    EXPECT_EQ(captured.out(), c.shown) << c.what;
  }
}

// The bytes a hostile or broken camera writes: Make "ESC[2J ESC[H", a
// Model with 8-bit CSI and its UTF-8 form, an application magic made of
// control bytes.
TEST(DisplayFilter, FileBytesShownAsCharactersInAPipe) {
  const Bytes tiff = Bytes{}
                         .text("II").le16(42).le32(8)
                         .le16(2)
                         .le16(0x010F).le16(2).le32(8).le32(38)
                         .le16(0x0110).le16(2).le32(10).le32(46)
                         .le32(0)
                         .raw({0x1B, '[', '2', 'J', 0x1B, '[', 'H', 0x00})
                         .raw({'E', 'O', 'S', 0x9B, '2', 'J', 0xC2, 0x9B, 'H', 0x00});
  const Bytes jpeg = Bytes{0xFF, 0xD8}
                         .segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff))
                         .segment(0xFFE2, Bytes{0x07, 0x00, 0x7F, 'A'})
                         .be16(0xFFD9);
  RunResult r = run_with_files({{"hostile.jpg", jpeg}}, {"hostile.jpg"});
  EXPECT_TRUE(same_text(
      r.out,
      banner() + reading_lines("hostile.jpg", jpeg.size()) +
          "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
          "Marker FFE1 at file offset 00000002: (APP1)\n"
          "  APP1 has len 64 and magic number 45786966 ('Exif')\n"
          "    found IFD with 2 tags at tiff-offset = 00000008\n"
          "      tag 010F, 8 ascii, off 00000026, val 1B 5B 32 4A 1B 5B 48 00 \n"
          "        value .[2J.[H.\n"
          "        Make (Image input equipment manufacturer)\n"
          "      tag 0110, 10 ascii, off 0000002E, val 45 4F 53 9B 32 4A C2 9B 48 00 \n"
          "        value EOS.2J..H.\n"
          "        Model ()\n"
          "    no more IFD\n"
          "Marker FFE2 at file offset 00000044: (APP2)\n"
          "  APP2 has len 6 and magic number 07007F41 ('...A')\n"
          "  unknown application 07007F41\n"
          "\n"
          "Marker FFD9 at file offset 0000004C: (EOI) End of Image\n"));
  EXPECT_TRUE(same_text(r.err, ""));
}

// A name from the command line is shown through the filter wherever it is
// printed: a file named with a line feed cannot forge a "restore" line in
// a carving log, one named with ESC sequences cannot drive the terminal.
TEST(DisplayFilter, NamesFromTheCommandLine) {
  ScratchDir dir;
  const std::string forged = "x\nrestore 9 bytes to file 'evil.jpg' (offset 0 to 9)";
  dir.write(forged, "no jpeg");
  const std::string escape = "\x1B[2J\xC2\x9B";
  RunResult r = run_segsniff(
      dir, {"-copy", escape, "\x9B" "dst", "-info", escape, "-outdir", escape, "-recover", "--", forged,
            escape},
      true);
#ifdef _WIN32
  // Windows allows no control character in a name: nothing is made, nothing opens.
  const std::string invalid_name = last_error(123, "Invalid name.");
  EXPECT_TRUE(same_text(r.out, banner() +
                                   "Command -copy found (source '.[2J..', dest '.dst')\n"
                                   "Copy from File .[2J.. to file .dst\n"
                                   "Open file '.[2J..' for reading failed\n"
                                   "\n"
                                   "Command -info found (source '.[2J..')\n"
                                   "Open file '.[2J..' for getting info failed\n"
                                   "Option -outdir found (folder '.[2J..')\n"
                                   "Create folder '.[2J..' failed\n" + invalid_name +
                                   "Option -recover found\n"
                                   "reading file x.restore 9 bytes to file 'evil.jpg' (offset 0 to 9):\n"
                                   "Open file 'x.restore 9 bytes to file 'evil.jpg' (offset 0 to 9)' "
                                   "for reading failed\n" + invalid_name +
                                   "reading file .[2J..:\n"
                                   "Open file '.[2J..' for reading failed\n" + invalid_name));
  return;
#endif
  EXPECT_TRUE(same_text(r.out, banner() +
                                   "Command -copy found (source '.[2J..', dest '.dst')\n"
                                   "Copy from File .[2J.. to file .dst\n"
                                   "Open file '.[2J..' for reading failed\n"
                                   "\n"
                                   "Command -info found (source '.[2J..')\n"
                                   "Open file '.[2J..' for getting info failed\n"
                                   "Option -outdir found (folder '.[2J..')\n"
                                   "Option -recover found\n"
                                   "reading file x.restore 9 bytes to file 'evil.jpg' (offset 0 to 9):\n"
                                   "Filelen 7 Bytes\nfile size 7 bytes\n"
                                   "reading file .[2J..:\n"
                                   "Open file '.[2J..' for reading failed\n"
                                   "Last Error = 21 ('Is a directory')\n"));  // -outdir made it
}

}  // namespace
}  // namespace segsniff::test
