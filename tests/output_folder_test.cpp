// "-outdir": carved files go into a folder of the user's choosing, made
// when missing, under the same naming rule; and into one that fills up.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/golden.h"
#include "support/system_texts.h"

namespace segsniff::test {
namespace {

// FF D8, a scan header, `scan` bytes of scan data, FF D9.
std::string picture(std::uint8_t k, std::size_t scan) {
  return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).fill(scan, k).be16(0xFFD9).str();
}

// "')" keeps the line that a Windows error text's own line break leaves.
std::string listing(const std::string& out) {
  return kept_lines(out, {"Option -outdir", "reading file", "restore ", "error ", "Create folder",
                          "Last Error", "')", "Will not"});
}

// Numbers run on across folders; a taken name is passed over; a folder
// that cannot be made keeps the inputs after it from being carved.
TEST(OutputFolder, EachFolderTakesTheFilesOfTheInputsAfterIt) {
  ScratchDir dir;
  dir.write("card.img", picture(1, 3) + picture(2, 3));
  std::filesystem::create_directory(dir.file("old"));
  dir.write("old/segsniff_recover_003.jpg", "kept");
  dir.write("file", "x");
  RunResult r = run_segsniff(dir, {"-outdir", "new", "-recover", "card.img", "-OutDir", "old/",
                                   "card.img", "-outdir", "nodir/x", "card.img", "-outdir", "file",
                                   "card.img"}, /*merge=*/true);
  const std::string restore = "restore 11 bytes to file '";
  const std::string refused = "reading file card.img:\nWill not carve 'card.img': the output folder '";
  EXPECT_TRUE(same_text(
      listing(r.out),
      "Option -outdir found (folder 'new')\nreading file card.img:\n" +
          restore + "new/segsniff_recover_001.jpg' (offset 0 to 11)\n" +
          restore + "new/segsniff_recover_002.jpg' (offset 11 to 22)\n" +
          "Option -outdir found (folder 'old/')\nreading file card.img:\n" +
          restore + "old/segsniff_recover_004.jpg' (offset 0 to 11)\n" +
          restore + "old/segsniff_recover_005.jpg' (offset 11 to 22)\n" +
          "Option -outdir found (folder 'nodir/x')\nCreate folder 'nodir/x' failed\n" +
          path_not_found + refused + "nodir/x' could not be made\n"
          "Option -outdir found (folder 'file')\nCreate folder 'file' failed\n" +
          folder_name_taken_by_file + refused + "file' could not be made\n"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(dir.read("new/segsniff_recover_001.jpg"), picture(1, 3));
  EXPECT_EQ(dir.read("old/segsniff_recover_003.jpg"), "kept");
  EXPECT_EQ(dir.read("old/segsniff_recover_005.jpg"), picture(2, 3));
}

// A tmpfs of 64 KiB: the first picture fits, the second is cut where the
// space ends, the third gets no byte.  (Under wine the tmpfs is mounted on
// the Unix machine underneath, and the error is wine's.)
TEST(OutputFolder, AFullFileSystemFailsTheWritesAndTheRun) {
  ScratchDir dir;
  ScratchDir small;
#ifdef _WIN32
  const std::string mount_point = unix_path_of(small.path());
  const std::string mounted =
      host_first_line_of("mount -t tmpfs -o size=64k tmpfs '" + mount_point + "' && echo ok");
  const std::string full = "error 112 ('Disk full.') in writing file; only written ";
#else
  const std::string mount_point = small.path();
  const std::string mounted = first_line_of("mount -t tmpfs -o size=64k tmpfs " + small.path() + " && echo ok");
  const std::string full = "error 28 ('No space left on device') in writing file; only written ";
#endif
  if (mounted != "ok") GTEST_SKIP() << "cannot mount a tmpfs: " << mounted;
  AtScopeEnd unmount{"umount --lazy '" + mount_point + "'"};
  const std::string one = picture(7, 40000);
  dir.write("card.img", one + one + one);
  RunResult r = run_segsniff(dir, {"-outdir", small.path(), "-recover", "card.img"});
  const std::string restore = "restore 40008 bytes to file '" + small.path() + "/segsniff_recover_00";
  EXPECT_TRUE(same_text(
      listing(r.out),
      "Option -outdir found (folder '" + small.path() + "')\nreading file card.img:\n" +
          restore + "1.jpg' (offset 0 to 40008)\n" + restore + "2.jpg' (offset 40008 to 80016)\n" +
          full + "24576 byte\n" + restore + "3.jpg' (offset 80016 to 120024)\n" + full + "0 byte\n"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(small.read("segsniff_recover_001.jpg"), one);
}

}  // namespace
}  // namespace segsniff::test
