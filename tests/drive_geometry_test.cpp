// "-info": the report's texts and arithmetic with injected geometries, the
// geometry derived from the kernel's answers, and the real queries.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "device/show_drive_geometry.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

using platform::BlockDeviceFacts;
using platform::DriveGeometry;
using platform::DriveQueryResult;

// The geometry the injected query hands out.
DriveGeometry injected;
DriveQueryResult answer_injected(const char*, DriveGeometry& geometry) {
  geometry = injected;
  return DriveQueryResult::ok;
}

std::string report_of(const DriveGeometry& geometry, const char* name = "\\\\.\\a:") {
  injected = geometry;
  CapturedOutput captured;
  show_drive_geometry(name, answer_injected);
  EXPECT_EQ(captured.err(), "");
  return captured.out();
}

TEST(DriveGeometryReport, FloppyOfTheDocumentation) {
  EXPECT_TRUE(same_text(report_of({80, 2, 2, 18, 512}),
                        "drive geometry for file '\\\\.\\a:':\n"
                        "Media Type: 2 (3.25\" Floppy Disc, 1.4 MB)\n"
                        "Number of cylinders: 80\n"
                        "Tracks per cylinder: 2\n"
                        "Sectors per track:   18\n"
                        "Bytes per sector:    512\n"
                        "Total disc size:     1474560 bytes (1 MB)\n"));
}

TEST(DriveGeometryReport, EveryMediaTypeHasItsText) {
  struct Case {
    std::uint32_t media_type;
    const char* line;
  };
  const Case cases[] = {
      {0, "Media Type: 0 (Unknown)\n"},
      {1, "Media Type: 1 (probably a disk drive)\n"},
      {2, "Media Type: 2 (3.25\" Floppy Disc, 1.4 MB)\n"},
      {3, "Media Type: 3 (probably a disk drive)\n"},
      {10, "Media Type: 10 (probably a disk drive)\n"},
      {11, "Media Type: 11 (Removable Media)\n"},
      {12, "Media Type: 12 (Fixed Media)\n"},
      {13, "Media Type: 13 (probably a disk drive)\n"},
      {0x80000000u, "Media Type: -2147483648 (probably a disk drive)\n"},
  };
  for (const Case& c : cases) {
    std::string report = report_of({1, c.media_type, 1, 1, 512});
    std::size_t start = report.find('\n') + 1;
    EXPECT_EQ(report.substr(start, report.find('\n', start) + 1 - start), c.line);
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

TEST(DriveGeometryReport, TotalIsA64BitProductRoundedDownToMegabytes) {
  struct Case {
    DriveGeometry geometry;
    const char* tail;  // the last five lines
  };
  const Case cases[] = {
      {{1, 12, 1, 1048575, 1},
       "Number of cylinders: 1\nTracks per cylinder: 1\nSectors per track:   1048575\n"
       "Bytes per sector:    1\nTotal disc size:     1048575 bytes (0 MB)\n"},
      // A 64 GB card: far beyond 32 bits.
      {{7783, 11, 255, 63, 512},
       "Number of cylinders: 7783\nTracks per cylinder: 255\nSectors per track:   63\n"
       "Bytes per sector:    512\nTotal disc size:     64017354240 bytes (61051 MB)\n"},
      // The first product is 32 x 32 -> 64 bits; unsigned fields print unsigned.
      {{1, 12, 1, 2, 4294967295u},
       "Number of cylinders: 1\nTracks per cylinder: 1\nSectors per track:   2\n"
       "Bytes per sector:    4294967295\nTotal disc size:     8589934590 bytes (8191 MB)\n"},
  };
  for (const Case& c : cases) {
    std::string report = report_of(c.geometry, "d");
    std::size_t media_end = report.find('\n', report.find('\n') + 1) + 1;
    EXPECT_TRUE(same_text(report.substr(media_end), c.tail)) << c.geometry.cylinders;
  }
}

DriveQueryResult fail_open(const char*, DriveGeometry&) { return DriveQueryResult::open_failed; }
DriveQueryResult fail_geometry(const char*, DriveGeometry&) {
  return DriveQueryResult::geometry_failed;
}

TEST(DriveGeometryReport, FailuresPrintOneLineOnStandardError) {
  {
    CapturedOutput captured;
    show_drive_geometry("x:", fail_open);
    EXPECT_EQ(captured.out(), "");
    EXPECT_EQ(captured.err(), "Open file 'x:' for getting info failed\n");
  }
  {
    CapturedOutput captured;
    show_drive_geometry("x:", fail_geometry);
    EXPECT_EQ(captured.out(), "");
    EXPECT_EQ(captured.err(), "GET_DRIVE_GEOMETRY failed for file 'x:'\n");
  }
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
      {"4 KiB sectors", {8225280 * 8 * 5, 4096, false, 0, 0, false}, {5, 12, 255, 63, 4096}},
      {"smaller than a cylinder", {3 << 20, 512, false, 0, 0, true}, {0, 11, 255, 63, 512}},
      {"floppy image", {1474560, 512, false, 0, 0, false}, {80, 2, 2, 18, 512}},
      {"floppy drive", {1474560, 512, true, 2, 18, true}, {80, 2, 2, 18, 512}},
      {"2880 sectors of 4 KiB", {2880 * 4096, 4096, false, 0, 0, false}, {0, 12, 255, 63, 4096}},
  };
  for (const Case& c : cases) {
    DriveGeometry have;
    ASSERT_TRUE(platform::derive_drive_geometry(c.facts, have)) << c.what;
    EXPECT_EQ(have.cylinders, c.want.cylinders) << c.what;
    EXPECT_EQ(have.media_type, c.want.media_type) << c.what;
    EXPECT_EQ(have.tracks_per_cylinder, c.want.tracks_per_cylinder) << c.what;
    EXPECT_EQ(have.sectors_per_track, c.want.sectors_per_track) << c.what;
    EXPECT_EQ(have.bytes_per_sector, c.want.bytes_per_sector) << c.what;
  }
  DriveGeometry unused;
  EXPECT_FALSE(platform::derive_drive_geometry({0, 512, true, 64, 32, true}, unused))
      << "no medium";
  EXPECT_FALSE(platform::derive_drive_geometry({1 << 20, 0, false, 0, 0, false}, unused))
      << "no sector size";
}

std::string info_announced(const std::string& name) {
  return banner() + "Command -info found (source '" + name + "')\n";
}

TEST(ShowDriveGeometry, NamesThatAreNoDiskOrDoNotExist) {
  ScratchDir dir;
  dir.write("card.img", std::string(1474560, '\0'));
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);  // must not wait for a writer
  for (const char* name : {"card.img", "sub", "pipe", "/dev/null"}) {
    RunResult r = run_segsniff(dir, {"-info", name});
    EXPECT_TRUE(same_text(r.out, info_announced(name)));
    EXPECT_TRUE(same_text(r.err, std::string("GET_DRIVE_GEOMETRY failed for file '") + name +
                                     "'\n"));
  }
  RunResult missing = run_segsniff(dir, {"-info", "missing"});
  EXPECT_TRUE(same_text(missing.out, info_announced("missing")));
  EXPECT_TRUE(same_text(missing.err, "Open file 'missing' for getting info failed\n"));
  EXPECT_EQ(missing.status, 0);
}

// Runs a shell command and returns its first output line (both streams).
std::string first_line_of(const std::string& command) {
  std::string line;
  if (std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char text[256];
    if (std::fgets(text, sizeof text, pipe) != nullptr) line = text;
    ::pclose(pipe);
  }
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

// A read-only loop device over an image file, detached when it goes.
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image) {
    std::string answer = first_line_of("losetup --find --show --read-only " + image);
    if (answer.rfind("/dev/loop", 0) == 0) name_ = answer;
    else reason_ = "cannot attach a loop device: " + (answer.empty() ? "no losetup" : answer);
  }
  ~LoopDevice() {
    if (!name_.empty()) first_line_of("losetup --detach " + name_);
  }
  const std::string& name() const { return name_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string name_;
  std::string reason_;
};

TEST(ShowDriveGeometry, LoopDevicesEndToEnd) {
  ScratchDir dir;
  // A floppy image, and two cylinders of the synthetic 255 x 63 geometry.
  dir.write("floppy.img", std::string(1474560, '\xF6'));
  {
    int fd = ::open(dir.file("disk.img").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 2 * 8225280), 0);
    ASSERT_EQ(::pwrite(fd, "segsniff", 8, 5000000), 8);
    ::close(fd);
  }
  LoopDevice floppy(dir.file("floppy.img"));
  if (floppy.name().empty()) GTEST_SKIP() << floppy.reason();
  LoopDevice disk(dir.file("disk.img"));
  if (disk.name().empty()) GTEST_SKIP() << disk.reason();

  RunResult r = run_segsniff(dir, {"-info", floppy.name(), "-info", disk.name(), "-copy",
                                   disk.name(), "copy.img"});
  EXPECT_TRUE(same_text(
      r.out, info_announced(floppy.name()) + "drive geometry for file '" + floppy.name() +
                 "':\nMedia Type: 2 (3.25\" Floppy Disc, 1.4 MB)\nNumber of cylinders: 80\n"
                 "Tracks per cylinder: 2\nSectors per track:   18\nBytes per sector:    512\n"
                 "Total disc size:     1474560 bytes (1 MB)\n" +
                 "Command -info found (source '" + disk.name() + "')\n" +
                 "drive geometry for file '" + disk.name() +
                 "':\nMedia Type: 12 (Fixed Media)\nNumber of cylinders: 2\n"
                 "Tracks per cylinder: 255\nSectors per track:   63\nBytes per sector:    512\n"
                 "Total disc size:     16450560 bytes (15 MB)\n" +
                 "Command -copy found (source '" + disk.name() + "', dest 'copy.img')\n" +
                 "Copy from File " + disk.name() + " to file copy.img\n" + std::string(32, '*') +
                 " copied so far 8388608 bytes (8 MB)\n" + std::string(32, '*') +
                 "\ncopied 16450560 bytes (15 MB)\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(dir.read("copy.img") == dir.read("disk.img")) << "copy of the device differs";
}

}  // namespace
}  // namespace segsniff::test
