// Windows drives, end to end, where wine can make one: a Linux loop device
// given a drive letter (wine's dosdevices folder names the device of drive
// X: as the link "x::").  A device path such as \\.\X: then opens the loop
// device itself: -copy reads it, -recover carves it through a view that is
// filled from the device as it is read, and -copy refuses to write onto it.
// Skipped with the reason on Windows itself and where no loop device can
// be attached (it needs root).  On Linux the same is done by the loop
// device tests (device_guard_test, drive_geometry_test).
#ifdef _WIN32
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/golden.h"

namespace segsniff::test {
namespace {

const std::string picture = Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}).be16(0xFFD9).str();

// A drive letter for a loop device attached to a file of `dir`, taken away
// with the device when the scope ends.
class WineDrive {
 public:
  WineDrive(const ScratchDir& dir, const std::string& image) {
    if (!under_wine()) {
      skip_reason_ = "needs wine, which can give a Linux loop device a drive letter";
      return;
    }
    loop_ = host_first_line_of("losetup --find --show '" + unix_path_of(dir.file(image)) + "'");
    if (loop_.rfind("/dev/loop", 0) != 0) {
      skip_reason_ = "cannot attach a loop device: " + loop_;
      return;
    }
    const std::string c_drive = unix_path_of("C:\\");  // .../dosdevices/c:/
    dosdevices_ = c_drive.substr(0, c_drive.size() - 3);
    const DWORD taken = GetLogicalDrives();
    for (char letter = 'y'; letter > 'd' && letter_ == 0; --letter)
      if ((taken & (1u << (letter - 'a'))) == 0) letter_ = letter;
    const std::string link = dosdevices_ + letter_ + ":";
    const std::string made = host_first_line_of("ln -s '" + unix_path_of(dir.path()) + "' '" + link +
                                                "' && ln -s " + loop_ + " '" + link + ":' && echo made");
    if (made != "made") skip_reason_ = "cannot make a drive: " + made;
  }
  ~WineDrive() {
    if (letter_ != 0) {
      const std::string link = dosdevices_ + letter_ + ":";
      host_first_line_of("rm -f '" + link + "' '" + link + ":'");
    }
    if (loop_.rfind("/dev/loop", 0) == 0) host_first_line_of("losetup --detach " + loop_);
  }
  WineDrive(const WineDrive&) = delete;
  WineDrive& operator=(const WineDrive&) = delete;

  const std::string& skip_reason() const { return skip_reason_; }
  std::string device_path() const { return std::string("\\\\.\\") + static_cast<char>(letter_ - 'a' + 'A') + ":"; }

 private:
  std::string loop_, dosdevices_, skip_reason_;
  char letter_ = 0;
};

// 80 MiB, more than the 64 MiB the view keeps in memory, with a picture
// across the first 1 MiB boundary (two chunks of the view), one at 40 MiB
// and one near the end, read after the first chunks have been let go.
TEST(WineDrive, DevicePathsAreCopiedCarvedAndNeverWrittenTo) {
  ScratchDir dir;
  constexpr std::size_t size = 80 << 20;
  const std::size_t at[] = {(1 << 20) - 3, 40 << 20, size - 4096};
  std::string disk(size, '\0');
  for (std::size_t offset : at) disk.replace(offset, picture.size(), picture);
  dir.write("disk.img", disk);
  dir.write("small.img", "small");
  WineDrive drive(dir, "disk.img");
  if (!drive.skip_reason().empty()) GTEST_SKIP() << drive.skip_reason();
  const std::string device = drive.device_path();

  RunResult r = run_segsniff(dir, {"-copy", device, "copy.img"});
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out.ends_with("\ncopied 83886080 bytes (80 MB)\n")) << r.out.substr(r.out.size() - 100);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(dir.read("copy.img") == disk) << "the copy differs from the device";

  r = run_segsniff(dir, {"-outdir", "out", "-recover", device});
  EXPECT_TRUE(same_text(
      kept_lines(r.out, {"reading file", "Filelen", "file size", "found SOI", "restore"}),
      "reading file " + device + ":\nFilelen 83886080 Bytes\nfile size 83886080 bytes\n"
      "found SOI-Marker at offset 000FFFFD\n"
      "restore 11 bytes to file 'out/segsniff_recover_001.jpg' (offset 1048573 to 1048584)\n"
      "found SOI-Marker at offset 02800000\n"
      "restore 11 bytes to file 'out/segsniff_recover_002.jpg' (offset 41943040 to 41943051)\n"
      "found SOI-Marker at offset 04FFF000\n"
      "restore 11 bytes to file 'out/segsniff_recover_003.jpg' (offset 83881984 to 83881995)\n"));
  EXPECT_EQ(r.status, 0);
  for (const char* number : {"001", "002", "003"})
    EXPECT_EQ(dir.read(std::string("out/segsniff_recover_") + number + ".jpg"), picture) << number;

  r = run_segsniff(dir, {"-copy", "small.img", device});
  EXPECT_TRUE(same_text(r.err, "Will not copy to '" + device + "': it is a block device\n"));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(dir.read("disk.img") == disk) << "the device's bytes changed";
}

// wine answers the geometry of its drive C: itself, with numbers of its own
// (these are wine's); the loop device's drive it does not answer.
TEST(WineDrive, GeometryAsWineAnswersIt) {
  if (!under_wine()) GTEST_SKIP() << "the numbers are wine's";
  ScratchDir dir;
  RunResult r = run_segsniff(dir, {"-info", "\\\\.\\C:"});
  EXPECT_TRUE(same_text(r.out, banner() +
                                   "Command -info found (source '\\\\.\\C:')\n"
                                   "drive geometry for file '\\\\.\\C:':\n"
                                   "Media Type: 12 (Fixed Media)\n"
                                   "Number of cylinders: 10000\n"
                                   "Tracks per cylinder: 255\n"
                                   "Sectors per track:   63\n"
                                   "Bytes per sector:    512\n"
                                   "Total disc size:     82252800000 bytes (78442 MB)\n"));
  EXPECT_EQ(r.status, 0);

  dir.write("disk.img", std::string(1 << 20, '\0'));
  WineDrive drive(dir, "disk.img");
  if (!drive.skip_reason().empty()) GTEST_SKIP() << drive.skip_reason();
  r = run_segsniff(dir, {"-info", drive.device_path()});
  EXPECT_TRUE(same_text(r.err, "GET_DRIVE_GEOMETRY failed for file '" + drive.device_path() + "'\n"));
}

}  // namespace
}  // namespace segsniff::test
#endif
