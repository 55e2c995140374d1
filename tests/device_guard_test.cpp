// Nothing is written onto a block device, nor onto a file system of the
// device being carved or copied, with real loop devices; each case is
// skipped with the reason where the machine cannot attach or mount one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/devices.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

std::string picture(std::uint8_t k) {
  return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({k, k, k}).be16(0xFFD9).str();
}

// Refused before the destination is opened for writing; FIFO-like and
// null devices are written as before.
TEST(DeviceGuard, CopyNeverWritesOntoABlockDeviceOrTheBackingFileOfItsSource) {
  ScratchDir dir;
  const std::string disk(1 << 20, 'd');
  dir.write("disk.img", disk);
  dir.write("small.img", "small");
  LoopDevice loop(dir.file("disk.img"));
  if (!loop.ok()) GTEST_SKIP() << loop.why();
  ASSERT_EQ(::symlink(loop.name().c_str(), dir.file("link").c_str()), 0);
  struct Case {
    std::string source, destination, err;
    int status;
  };
  const Case cases[] = {
      {"small.img", loop.name(), "Will not copy to '" + loop.name() + "': it is a block device\n", 2},
      {"small.img", "link", "Will not copy to 'link': it is a block device\n", 2},
      {loop.name(), "disk.img", "Source '" + loop.name() + "' and destination are the same file\n", 2},
      {"small.img", "/dev/null", "", 0},
  };
  for (const Case& c : cases) {
    RunResult r = run_segsniff(dir, {"-copy", c.source, c.destination});
    EXPECT_TRUE(same_text(r.err, c.err)) << c.destination;
    EXPECT_EQ(r.status, c.status) << c.destination;
  }
  EXPECT_TRUE(dir.read("disk.img") == disk) << "the device's bytes changed";
}

// An ext2 file system on a loop device holds a card image.  Carving the
// device into a folder on that file system, or copying it there, is
// refused; carving it into another folder finds the pictures.
TEST(DeviceGuard, NothingIsWrittenOntoAFileSystemOfTheDeviceBeingRecovered) {
  ScratchDir dir;
  dir.write("fs.img", std::string(8 << 20, '\0'));
  const std::string made = first_line_of("mkfs.ext2 -q -F " + dir.file("fs.img") + " && echo made");
  if (made != "made") GTEST_SKIP() << "cannot make a file system: " << made;
  LoopDevice loop(dir.file("fs.img"));
  if (!loop.ok()) GTEST_SKIP() << loop.why();
  ScratchDir on_card;
  Mount mount(loop.name(), on_card.path());
  if (!mount.ok()) GTEST_SKIP() << mount.why();
  on_card.write("card.img", picture(1) + picture(2));
  ASSERT_EQ(first_line_of("sync"), "");

  const std::string device = loop.name(), rec = on_card.file("rec");
  const std::string refused = "Will not carve '" + device + "': the output folder is on a file system of that device\n";
  RunResult r = run_segsniff(on_card, {"-recover", device});
  EXPECT_TRUE(same_text(r.err, refused));
  EXPECT_EQ(r.status, 2);
  r = run_segsniff(dir, {"-outdir", rec, "-recover", device, "-copy", device, rec + "/copy.img"});
  EXPECT_TRUE(same_text(r.err, refused + "Will not copy '" + device + "' to '" + rec +
                                   "/copy.img': the destination is on a file system of that device\n"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(on_card.list(), (std::vector<std::string>{"card.img", "lost+found", "rec"}));
  EXPECT_TRUE(on_card.list_of("rec").empty());

  r = run_segsniff(dir, {"-outdir", "out", "-recover", device});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("out/segsniff_recover_001.jpg"), picture(1));
}

// A file system on a partition of the device counts as one of the device.
TEST(DeviceGuard, APartitionOfTheCarvedDeviceCountsAsTheDevice) {
  ScratchDir dir;
  Bytes table = Bytes{}.fill(0x1BE, 0).raw({0, 0, 0, 0, 0x83, 0, 0, 0}).le32(2048).le32(14336);
  dir.write("disk.img", table.fill(510 - table.size(), 0).raw({0x55, 0xAA}).str() +
                            std::string((8 << 20) - 512, '\0'));
  LoopDevice loop(dir.file("disk.img"), "--partscan");
  if (!loop.ok()) GTEST_SKIP() << loop.why();
  const std::string partition = loop.name() + "p1";
  first_line_of("udevadm settle");
  struct stat st;
  if (::stat(partition.c_str(), &st) != 0) GTEST_SKIP() << "the kernel made no " << partition;
  const std::string made = first_line_of("mkfs.ext2 -q -F " + partition + " && echo made");
  if (made != "made") GTEST_SKIP() << "cannot make a file system: " << made;
  ScratchDir on_card;
  Mount mount(partition, on_card.path());
  if (!mount.ok()) GTEST_SKIP() << mount.why();
  RunResult r = run_segsniff(on_card, {"-recover", loop.name()});
  EXPECT_TRUE(same_text(r.err, "Will not carve '" + loop.name() +
                                   "': the output folder is on a file system of that device\n"));
  EXPECT_EQ(r.status, 2);
}

}  // namespace
}  // namespace segsniff::test
