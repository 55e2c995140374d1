// A mapped input that loses its bytes while it is read (another process
// truncates the file): the read faults with SIGBUS, the file's analysis
// stops with one message, and the run goes on with the next argument.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "jpeg/byte_region.h"
#include "jpeg/scan_file.h"
#include "platform/mapped_read_guard.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// Truncates every file whose name ends in "shrinks.jpg" to shrunk_size,
// right after scan_file has mapped it.
std::uint64_t shrunk_size = 0;
void shrink_after_mapping(const char* name) {
  if (std::string_view(name).ends_with("shrinks.jpg")) {
    ASSERT_EQ(::truncate(name, static_cast<off_t>(shrunk_size)), 0);
  }
}

class ShrinkingFile : public ::testing::Test {
 protected:
  void SetUp() override { after_mapping_hook = shrink_after_mapping; }
  void TearDown() override { after_mapping_hook = nullptr; }
  ScratchDir dir;
};

TEST_F(ShrinkingFile, FileEmptiedAfterMappingStopsWithOneMessageAndTheRunGoesOn) {
  for (bool recovery : {false, true}) {
    SCOPED_TRACE(recovery ? "recovery" : "dump");
    dir.write("shrinks.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9}.fill(8188, 0).str());
    dir.write("next.bin", Bytes{0x00, 0x01}.str());
    shrunk_size = 0;
    const std::string first = dir.file("shrinks.jpg"), second = dir.file("next.bin");

    CapturedOutput output;
    CarvingRun carving;
    scan_file(first.c_str(), recovery, carving);
    scan_file(second.c_str(), false, carving);

    EXPECT_TRUE(same_text(output.out(), "reading file " + first + ":\nFilelen 8192 Bytes\n"
                                        "file size 8192 bytes\n"
                                        "reading file " + second + ":\nFilelen 2 Bytes\n"
                                        "file size 2 bytes\n"));
    std::string stopped =
        "Reading file '" + first + "' stopped: the file shrank to 0 bytes while it was read\n";
    EXPECT_TRUE(same_text(output.err(), stopped + "unknown file type\n"));
    EXPECT_FALSE(intel_order);
  }
}

TEST_F(ShrinkingFile, LineCutOffByTheLostPageIsEndedBeforeTheMessage) {
  // Page 1: SOI, an APP0 segment up to offset 4094, then a comment marker
  // whose length field is the first thing on page 2.  The file keeps page 1.
  if (::sysconf(_SC_PAGESIZE) != 4096) GTEST_SKIP() << "laid out for 4 KiB pages";
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .be16(0xFFE0).be16(4090).text("ABCD").fill(4084, 0x00)
                         .be16(0xFFFE).be16(4)
                         .fill(8192 - 4098, 0x00);
  ASSERT_EQ(file.size(), 8192u);
  dir.write("shrinks.jpg", file.str());
  shrunk_size = 4096;
  const std::string name = dir.file("shrinks.jpg");

  CapturedOutput output;
  CarvingRun carving;
  scan_file(name.c_str(), false, carving);

  std::string dump;
  for (int i = 0; i < 160; ++i) dump += "0000 ";
  EXPECT_TRUE(same_text(output.all(),
                        "reading file " + name + ":\nFilelen 8192 Bytes\nfile size 8192 bytes\n"
                        "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                        "Marker FFE0 at file offset 00000002: (APP0)\n"
                        "  APP0 has len 4090 and magic number 41424344 ('ABCD')\n"
                        "  unknown application 41424344\n" + dump + "...\n"
                        "Marker FFFE at file offset 00000FFE: illegal marker FFFE\n"
                        "\n"
                        "Reading file '" + name +
                            "' stopped: the file shrank to 4096 bytes while it was read\n"));
  EXPECT_FALSE(intel_order);
}

TEST_F(ShrinkingFile, FaultInsideALittleEndianBlockLeavesTheByteOrderAsItWas) {
  // An "II" Exif block whose IFD0 lies on page 2 (file offset 4608); the
  // file keeps page 1 only, so the fault comes while the block reads
  // little-endian.  The segment runs from offset 2 to the end of the file.
  if (::sysconf(_SC_PAGESIZE) != 4096) GTEST_SKIP() << "laid out for 4 KiB pages";
  constexpr std::uint32_t tiff_at = 12, ifd0_at = 4608;
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .be16(0xFFE1).be16(8190).text("Exif").raw({0, 0})
                         .text("II").le16(42).le32(ifd0_at - tiff_at)
                         .fill(8192 - 20, 0x00);
  ASSERT_EQ(file.size(), 8192u);
  dir.write("shrinks.jpg", file.str());
  dir.write("next.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9}.str());
  shrunk_size = 4096;
  const std::string name = dir.file("shrinks.jpg"), next = dir.file("next.jpg");

  CapturedOutput output;
  CarvingRun carving;
  scan_file(name.c_str(), false, carving);
  EXPECT_FALSE(intel_order);
  scan_file(next.c_str(), false, carving);

  EXPECT_TRUE(same_text(output.all(),
                        "reading file " + name + ":\nFilelen 8192 Bytes\nfile size 8192 bytes\n"
                        "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                        "Marker FFE1 at file offset 00000002: (APP1)\n"
                        "  APP1 has len 8190 and magic number 45786966 ('Exif')\n"
                        "Reading file '" + name +
                            "' stopped: the file shrank to 4096 bytes while it was read\n"
                        "reading file " + next + ":\nFilelen 4 Bytes\nfile size 4 bytes\n"
                        "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                        "Marker FFD9 at file offset 00000002: (EOI) End of Image\n"));
}

// The guard itself, on a mapping of our own.
class MappedFile {
 public:
  MappedFile(const std::string& path, std::size_t size) : path_(path), size_(size) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    EXPECT_EQ(::ftruncate(fd_, static_cast<off_t>(size)), 0);
    view_ = static_cast<const std::uint8_t*>(::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd_, 0));
  }
  ~MappedFile() {
    ::munmap(const_cast<std::uint8_t*>(view_), size_);
    ::close(fd_);
  }
  void shrink_to(std::size_t size) { EXPECT_EQ(::ftruncate(fd_, static_cast<off_t>(size)), 0); }
  const std::uint8_t* view() const { return view_; }
  std::size_t size() const { return size_; }

 private:
  std::string path_;
  std::size_t size_;
  int fd_ = -1;
  const std::uint8_t* view_ = nullptr;
};

TEST(MappedReadGuard, ReportsTheFirstLostPageAndIsReadyForTheNextRead) {
  ScratchDir dir;
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  MappedFile file(dir.file("three-pages"), 3 * page);
  file.shrink_to(page + 10);  // the second page keeps 10 bytes and is still readable

  volatile std::uint8_t sum = 0;
  std::uint64_t lost_at = 12345;
  // Reads every byte in order: the third page is the first that is gone.
  EXPECT_FALSE(platform::read_mapping_guarded(
      file.view(), file.size(),
      [&] {
        for (std::size_t i = 0; i < file.size(); ++i) sum = static_cast<std::uint8_t>(sum + file.view()[i]);
      },
      lost_at));
  EXPECT_EQ(lost_at, 2 * page);

  // Work that does not touch the lost bytes finishes, and leaves lost_at alone.
  lost_at = 7;
  EXPECT_TRUE(platform::read_mapping_guarded(file.view(), file.size(),
                                             [&] { sum = file.view()[page]; }, lost_at));
  EXPECT_EQ(lost_at, 7u);

  // Nested guards: the fault goes to the guard that covers the address, and
  // names the page it lies in.
  bool inner_finished = true;
  std::uint64_t inner_lost = 0;
  EXPECT_FALSE(platform::read_mapping_guarded(
      file.view(), file.size(),
      [&] {
        std::uint64_t unused = 0;
        inner_finished = platform::read_mapping_guarded(file.view(), page, [&] { sum = file.view()[0]; }, unused);
        sum = file.view()[2 * page + 1];
      },
      inner_lost));
  EXPECT_TRUE(inner_finished);
  EXPECT_EQ(inner_lost, 2 * page);
}

}  // namespace
}  // namespace segsniff::test
