// "-info": the report's texts and arithmetic with injected geometries, the
// geometry derived from the kernel's answers, and the real queries.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <string>

#include "device/show_drive_geometry.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

using platform::BlockDeviceFacts;
using platform::DriveGeometry;
using platform::DriveQueryResult;

DriveGeometry injected;  // what the injected query hands out
DriveQueryResult answer_injected(const char*, DriveGeometry& geometry) {
  geometry = injected;
  return DriveQueryResult::ok;
}

// The total is a 64-bit product (its first factors are 32 x 32 bits) rounded
// down to megabytes; unsigned fields print unsigned, the media type signed.
// The true size follows only when the whole cylinders fall short of it.
TEST(DriveGeometryReport, WholeReportsForInjectedGeometries) {
  struct Case {
    DriveGeometry geometry;
    const char* name;
    const char* report;
  };
  const Case cases[] = {
      {{80, 2, 2, 18, 512}, "\\\\.\\a:",
       "drive geometry for file '\\\\.\\a:':\nMedia Type: 2 (3.25\" Floppy Disc, 1.4 MB)\n"
       "Number of cylinders: 80\nTracks per cylinder: 2\nSectors per track:   18\n"
       "Bytes per sector:    512\nTotal disc size:     1474560 bytes (1 MB)\n"},
      {{1, 0x80000000u, 1, 2, 4294967295u}, "wide",
       "drive geometry for file 'wide':\nMedia Type: -2147483648 (probably a disk drive)\n"
       "Number of cylinders: 1\nTracks per cylinder: 1\nSectors per track:   2\n"
       "Bytes per sector:    4294967295\nTotal disc size:     8589934590 bytes (8191 MB)\n"},
      {{1, 11, 255, 63, 512, 9437184}, "card",
       "drive geometry for file 'card':\nMedia Type: 11 (Removable Media)\n"
       "Number of cylinders: 1\nTracks per cylinder: 255\nSectors per track:   63\n"
       "Bytes per sector:    512\nTotal disc size:     8225280 bytes (7 MB)\n"
       "True disc size:      9437184 bytes (9 MB)\n"},
      {{2, 12, 255, 63, 512, 8225280}, "smaller than the cylinders",
       "drive geometry for file 'smaller than the cylinders':\nMedia Type: 12 (Fixed Media)\n"
       "Number of cylinders: 2\nTracks per cylinder: 255\nSectors per track:   63\n"
       "Bytes per sector:    512\nTotal disc size:     16450560 bytes (15 MB)\n"},
  };
  for (const Case& c : cases) {
    injected = c.geometry;
    CapturedOutput captured;
    show_drive_geometry(c.name, answer_injected, text_printer());
    EXPECT_TRUE(same_text(captured.out(), c.report)) << c.name;
    EXPECT_EQ(captured.err(), "") << c.name;
  }
}

// Rows ascending and unique; texts end in a line feed and, printed as a
// format, contain no per cent sign.
TEST(DriveGeometryReport, MediaTableInvariants) {
  auto rows = media_type_rows();
  ASSERT_EQ(rows.size(), 4u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string text = rows[i].text;
    EXPECT_TRUE(!text.empty() && text.back() == '\n') << i;
    EXPECT_EQ(text.find('%'), std::string::npos) << i;
    if (i > 0) {
      EXPECT_LT(rows[i - 1].media_type, rows[i].media_type) << i;
    }
  }
}

std::string fields(const DriveGeometry& g) {
  return std::to_string(g.cylinders) + " cyl, media " + std::to_string(g.media_type) + ", " +
         std::to_string(g.tracks_per_cylinder) + "x" + std::to_string(g.sectors_per_track) + "x" +
         std::to_string(g.bytes_per_sector);
}

TEST(DeriveDriveGeometry, FromTheKernelsAnswers) {
  struct Case {
    const char* what;
    BlockDeviceFacts facts;  // size, sector size, has geometry, heads, sectors, removable
    DriveGeometry want;      // cylinders, media, tracks, sectors, bytes
  };
  const Case cases[] = {
      {"driver geometry", {64 * 32 * 512 * 10 + 511, 512, true, 64, 32, false}, {10, 12, 64, 32, 512}},
      {"no driver geometry", {8225280 * 3, 512, false, 0, 0, false}, {3, 12, 255, 63, 512}},
      {"zero heads from the driver", {8225280, 512, true, 0, 63, false}, {1, 12, 255, 63, 512}},
      {"removable", {8225280, 512, false, 0, 0, true}, {1, 11, 255, 63, 512}},
      {"floppy image", {1474560, 512, false, 0, 0, false}, {80, 2, 2, 18, 512}},
      {"2880 sectors of 4 KiB", {2880 * 4096, 4096, false, 0, 0, false}, {0, 12, 255, 63, 4096}},
  };
  for (const Case& c : cases) {
    DriveGeometry have;
    ASSERT_TRUE(platform::derive_drive_geometry(c.facts, have)) << c.what;
    EXPECT_EQ(fields(have), fields(c.want)) << c.what;
  }
  DriveGeometry unused;
  EXPECT_FALSE(platform::derive_drive_geometry({0, 512, true, 64, 32, true}, unused)) << "no medium";
  EXPECT_FALSE(platform::derive_drive_geometry({1 << 20, 0, false, 0, 0, false}, unused))
      << "no sector size";
}

std::string info_announced(const std::string& name) {
  return banner() + "Command -info found (source '" + name + "')\n";
}

// Each failure is one line on standard error; the pipe must not be waited
// on.  (Windows has no FIFOs; its null device is no disk either.)
TEST(ShowDriveGeometry, NamesThatAreNoDiskOrDoNotExist) {
  ScratchDir dir;
  dir.write("card.img", std::string(1474560, '\0'));
#ifdef _WIN32
  const std::string no_disk = null_device();
#else
  const std::string no_disk = "pipe";
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
#endif
  for (auto [name, line] : {std::pair{std::string("card.img"), std::string("GET_DRIVE_GEOMETRY failed for file 'card.img'\n")},
                            std::pair{no_disk, "GET_DRIVE_GEOMETRY failed for file '" + no_disk + "'\n"},
                            std::pair{std::string("missing"), std::string("Open file 'missing' for getting info failed\n")}}) {
    RunResult r = run_segsniff(dir, {"-info", name});
    EXPECT_TRUE(same_text(r.out, info_announced(name)));
    EXPECT_TRUE(same_text(r.err, line));
    EXPECT_EQ(r.status, 2);
  }
}

// Two cylinders of the synthetic 255 x 63 geometry behind a read-only loop
// device: the real queries, and a copy of the device.
TEST(ShowDriveGeometry, LoopDeviceEndToEnd) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux loop devices; Windows drives have a test of their own (wine_drive_test)";
#else
  ScratchDir dir;
  int fd = ::open(dir.file("disk.img").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 2 * 8225280), 0);
  ASSERT_EQ(::pwrite(fd, "segsniff", 8, 5000000), 8);
  ::close(fd);
  const std::string disk = first_line_of("losetup --find --show --read-only " + dir.file("disk.img"));
  if (disk.rfind("/dev/loop", 0) != 0) GTEST_SKIP() << "cannot attach a loop device: " << disk;
  RunResult r = run_segsniff(dir, {"-info", disk, "-copy", disk, "copy.img"});
  first_line_of("losetup --detach " + disk);
  EXPECT_TRUE(same_text(
      r.out, info_announced(disk) + "drive geometry for file '" + disk +
                 "':\nMedia Type: 12 (Fixed Media)\nNumber of cylinders: 2\n"
                 "Tracks per cylinder: 255\nSectors per track:   63\nBytes per sector:    512\n"
                 "Total disc size:     16450560 bytes (15 MB)\n" +
                 "Command -copy found (source '" + disk + "', dest 'copy.img')\n" +
                 "Copy from File " + disk + " to file copy.img\n" + std::string(32, '*') +
                 " copied so far 8388608 bytes (8 MB)\n" + std::string(32, '*') +
                 "\ncopied 16450560 bytes (15 MB)\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(dir.read("copy.img") == dir.read("disk.img")) << "copy of the device differs";
#endif
}

}  // namespace
}  // namespace segsniff::test
