// Nothing is written onto a block device, nor onto a file system of the
// device being carved or copied: real loop devices, skipped with the reason
// where the machine cannot attach or mount one.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/golden.h"

namespace segsniff::test {
namespace {

const std::string picture = Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}).be16(0xFFD9).str();

TEST(DeviceGuard, CopyNeverWritesOntoABlockDeviceOrTheBackingFileOfItsSource) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux loop devices; Windows drives have a test of their own (wine_drive_test)";
#else
  ScratchDir dir;
  const std::string disk(64 << 10, 'd');
  dir.write("disk.img", disk);
  dir.write("small.img", "small");
  const std::string loop = first_line_of("losetup --find --show " + dir.file("disk.img"));
  if (loop.rfind("/dev/loop", 0) != 0) GTEST_SKIP() << "cannot attach a loop device: " << loop;
  AtScopeEnd detach{"losetup --detach " + loop};
  make_symlink(loop, dir.file("link"));
  const std::string cases[][3] = {
      {"small.img", loop, "Will not copy to '" + loop + "': it is a block device\n"},
      {"small.img", "link", "Will not copy to 'link': it is a block device\n"},
      {loop, "disk.img", "Source '" + loop + "' and destination are the same file\n"},
      {"small.img", "/dev/null", ""},
  };
  for (const auto& [source, destination, err] : cases) {
    RunResult r = run_segsniff(dir, {"-copy", source, destination});
    EXPECT_TRUE(same_text(r.err, err));
    EXPECT_EQ(r.status, err.empty() ? 0 : 2) << destination;
  }
  EXPECT_TRUE(dir.read("disk.img") == disk) << "the device's bytes changed";
#endif
}

// An ext2 file system on a loop device holds a card image.  Carving the
// device into a folder of that file system, with a report there, or
// copying it there, is refused; carving it into another folder finds the
// pictures.
TEST(DeviceGuard, NothingIsWrittenOntoAFileSystemOfTheDeviceBeingRecovered) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a file system on a device to write into; on Windows the guard asks the "
                  "storage driver which disks a volume lies on, which wine does not answer";
#else
  ScratchDir dir;
  dir.write("fs.img", std::string(8 << 20, '\0'));
  const std::string made = first_line_of("mkfs.ext2 -q -F " + dir.file("fs.img") + " && echo made");
  if (made != "made") GTEST_SKIP() << "cannot make a file system: " << made;
  const std::string loop = first_line_of("losetup --find --show " + dir.file("fs.img"));
  if (loop.rfind("/dev/loop", 0) != 0) GTEST_SKIP() << "cannot attach a loop device: " << loop;
  AtScopeEnd detach{"losetup --detach " + loop};
  ScratchDir card;
  const std::string mounted = first_line_of("mount " + loop + " " + card.path() + " && echo ok");
  if (mounted != "ok") GTEST_SKIP() << "cannot mount " << loop << ": " << mounted;
  AtScopeEnd unmount{"umount --lazy " + card.path()};
  card.write("card.img", picture + picture);
  first_line_of("sync");

  const std::string refused =
      "Will not carve '" + loop + "': the output folder is on a file system of that device\n";
  EXPECT_TRUE(same_text(run_segsniff(card, {"-recover", loop}).err, refused));
  const std::string rec = card.file("rec");
  RunResult r = run_segsniff(dir, {"-outdir", rec, "-recover", loop, "-copy", loop, rec + "/c"});
  EXPECT_TRUE(same_text(r.err, refused + "Will not copy '" + loop + "' to '" + rec +
                                   "/c': the destination is on a file system of that device\n"));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(std::filesystem::is_empty(rec));
  EXPECT_EQ(card.list(), (std::vector<std::string>{"card.img", "lost+found", "rec"}));

  // Nor is it carved while its report (and the records it keeps until the
  // end) lies there; the report, made before, says so.
  r = run_segsniff(dir, {"-report", card.file("r.xml"), "-recover", loop});
  EXPECT_TRUE(same_text(r.err, "Will not carve '" + loop +
                                   "': the report is on a file system of that device\n"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(card.read("r.xml").find("segsniff:error=\"not carved: the report is on a file system of "
                                    "that device\">" + loop + "</image_filename>"),
            std::string::npos);
  EXPECT_TRUE(dir.list() == std::vector<std::string>{"fs.img"}) << "nothing carved";

  EXPECT_EQ(run_segsniff(dir, {"-outdir", "out", "-recover", loop}).status, 0);
  EXPECT_EQ(dir.read("out/segsniff_recover_001.jpg"), picture);
#endif
}

}  // namespace
}  // namespace segsniff::test
