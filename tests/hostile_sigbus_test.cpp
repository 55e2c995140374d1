// A mapped input that loses its bytes while it is read (another process
// truncates the file): the read faults with SIGBUS (under wine: an access
// violation), the file's analysis stops with one message, and the run goes
// on with the next argument.  Windows itself does not let a mapped file
// shrink; there a page fails to load when its device fails, which the
// guard takes the same way (EXCEPTION_IN_PAGE_ERROR).
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <string>
#include <string_view>

#include "jpeg/byte_region.h"
#include "jpeg/scan_file.h"
#include "platform/mapped_read_guard.h"
#include "shell/json_printer.h"
#include "support/golden.h"
#include "support/json_lines.h"

namespace segsniff::test {
namespace {

// Truncates every file whose name ends in "shrinks.jpg" to shrunk_size,
// right after scan_file has mapped it.
std::uint64_t shrunk_size = 0;
// Under wine the file is truncated by a Unix process, as the file of a
// Linux run would be: the Windows program holds it open without sharing.
void shrink_after_mapping(const char* name) {
  if (std::string_view(name).ends_with("shrinks.jpg")) {
#ifdef _WIN32
    const std::string done = host_first_line_of("truncate -s " + std::to_string(shrunk_size) +
                                                " '" + unix_path_of(name) + "' && echo done");
    ASSERT_EQ(done, "done");
#else
    ASSERT_EQ(::truncate(name, static_cast<off_t>(shrunk_size)), 0);
#endif
  }
}

class ShrinkingFile : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    if (!under_wine()) GTEST_SKIP() << "Windows does not let a mapped file shrink";
#endif
    after_mapping_hook = shrink_after_mapping;
  }
  void TearDown() override { after_mapping_hook = nullptr; }

  // Scans `file` (which shrinks to `keep` bytes once mapped), then a small
  // stream; returns both channels in order.
  std::string scan_shrinking(const Bytes& file, std::uint64_t keep, bool recovery = false) {
    dir.write("shrinks.jpg", file.str());
    dir.write("next.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9}.str());
    shrunk_size = keep;
    CapturedOutput output;
    CarvingRun carving;
    EXPECT_FALSE(scan_file(name.c_str(), recovery, carving, text_printer())) << "a file that shrank is a failure";
    EXPECT_FALSE(intel_order);
    EXPECT_TRUE(scan_file(dir.file("next.jpg").c_str(), false, carving, text_printer()));
    return output.all();
  }
  std::string stopped(int size) {
    return "Reading file '" + name + "' stopped: the file shrank to " + std::to_string(size) +
           " bytes while it was read\n";
  }

  ScratchDir dir;
  const std::string name = dir.file("shrinks.jpg");
  const std::string next = reading_lines(dir.file("next.jpg"), 4) +
                           "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                           "Marker FFD9 at file offset 00000002: (EOI) End of Image\n";
};

TEST_F(ShrinkingFile, FileEmptiedAfterMappingStopsWithOneMessageAndTheRunGoesOn) {
  for (bool recovery : {false, true}) {
    SCOPED_TRACE(recovery ? "recovery" : "dump");
    EXPECT_TRUE(same_text(scan_shrinking(Bytes{0xFF, 0xD8, 0xFF, 0xD9}.fill(8188, 0), 0, recovery),
                          reading_lines(name, 8192) + stopped(0) + next));
  }
}

TEST_F(ShrinkingFile, LineCutOffByTheLostPageIsEndedBeforeTheMessage) {
  // Page 1: SOI, an APP0 segment up to offset 4094, then a comment marker
  // whose length field is the first thing on page 2.  The file keeps page 1.
  if (platform::page_size() != 4096) GTEST_SKIP() << "laid out for 4 KiB pages";
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .be16(0xFFE0).be16(4090).text("ABCD").fill(4084, 0x00)
                         .be16(0xFFFE).be16(4)
                         .fill(8192 - 4098, 0x00);
  std::string dump;
  for (int i = 0; i < 160; ++i) dump += "0000 ";
  EXPECT_TRUE(same_text(scan_shrinking(file, 4096),
                        reading_lines(name, 8192) +
                        "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                        "Marker FFE0 at file offset 00000002: (APP0)\n"
                        "  APP0 has len 4090 and magic number 41424344 ('ABCD')\n"
                        "  unknown application 41424344\n" + dump + "...\n"
                        "Marker FFFE at file offset 00000FFE: illegal marker FFFE\n"
                        "\n" + stopped(4096) + next));
}

TEST_F(ShrinkingFile, FaultInsideALittleEndianBlockLeavesTheByteOrderAsItWas) {
  // An "II" Exif block whose IFD0 lies on page 2 (file offset 4608); the
  // file keeps page 1 only.
  if (platform::page_size() != 4096) GTEST_SKIP() << "laid out for 4 KiB pages";
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .be16(0xFFE1).be16(8190).text("Exif").raw({0, 0})
                         .text("II").le16(42).le32(4608 - 12)
                         .fill(8192 - 20, 0x00);
  EXPECT_TRUE(same_text(scan_shrinking(file, 4096),
                        reading_lines(name, 8192) +
                        "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                        "Marker FFE1 at file offset 00000002: (APP1)\n"
                        "  APP1 has len 8190 and magic number 45786966 ('Exif')\n" +
                        stopped(4096) + next));
}

// As JSON: the document of the file is closed where the walk stood, with
// why it stopped; the line on standard error follows the document's line
// (never inside it), then the next file's document.
TEST_F(ShrinkingFile, JsonDocumentEndsWhereTheWalkStoodAndTheMessageFollowsIt) {
  if (platform::page_size() != 4096) GTEST_SKIP() << "laid out for 4 KiB pages";
  const Bytes file = Bytes{}
                         .be16(0xFFD8)
                         .be16(0xFFE1).be16(8190).text("Exif").raw({0, 0})
                         .text("II").le16(42).le32(4608 - 12)
                         .fill(8192 - 20, 0x00);
  for (bool recovery : {false, true}) {
    SCOPED_TRACE(recovery ? "recovery" : "dump");
    dir.write("shrinks.jpg", file.str());
    dir.write("next.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9}.str());
    shrunk_size = 4096;
    CapturedOutput output;
    CarvingRun carving;
    JsonPrinter printer;
    printer.set_carving(recovery);
    EXPECT_FALSE(scan_file(name.c_str(), recovery, carving, printer));
    printer.set_carving(false);
    EXPECT_TRUE(scan_file(dir.file("next.jpg").c_str(), false, carving, printer));
    const std::string all = output.all();
    const std::size_t message = all.find(stopped(4096));
    ASSERT_NE(message, std::string::npos);
    const std::string before = all.substr(0, message);
    const std::vector<rapidjson::Document> documents = json_lines(before);
    ASSERT_EQ(documents.size(), recovery ? 2u : 1u);  // a candidate, then the closing line
    const rapidjson::Document& last = documents.back();
    EXPECT_STREQ(last["stopped"]["reason"].GetString(), "file_shrank");
    EXPECT_EQ(last["stopped"]["size_now"].GetUint64(), 4096u);
    const std::vector<rapidjson::Document> after = json_lines(all.substr(message + stopped(4096).size()));
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0]["walk"]["stopped_at"].GetUint64(), 4u);
  }
}

// The guard names the start of the page the fault lies in, not the byte.
// Windows: three pages of addresses of which two are memory.
TEST(MappedReadGuard, ReportsTheFirstLostPage) {
#ifdef _WIN32
  const std::size_t page = platform::page_size(), size = 3 * page;
  auto* view = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(view, nullptr);
  ASSERT_NE(VirtualAlloc(view, 2 * page, MEM_COMMIT, PAGE_READONLY), nullptr);
  volatile std::uint8_t last = 0;
  std::uint64_t lost_at = 12345;
  EXPECT_TRUE(platform::read_mapping_guarded(view, size, [&] { last = view[2 * page - 1]; }, lost_at));
  EXPECT_FALSE(platform::read_mapping_guarded(view, size, [&] { last = view[size - 1]; }, lost_at));
  EXPECT_EQ(lost_at, 2 * page);
  VirtualFree(view, 0, MEM_RELEASE);
#else
  ScratchDir dir;
  const std::size_t page = platform::page_size(), size = 3 * page;
  const int fd = ::open(dir.file("three-pages").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
  const auto* view = static_cast<const std::uint8_t*>(::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0));
  ASSERT_NE(view, MAP_FAILED);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(page + 10)), 0);  // page 2 is still readable
  volatile std::uint8_t last = 0;
  std::uint64_t lost_at = 12345;
  EXPECT_FALSE(platform::read_mapping_guarded(view, size, [&] { last = view[size - 1]; }, lost_at));
  EXPECT_EQ(lost_at, 2 * page);
  ::munmap(const_cast<std::uint8_t*>(view), size);
  ::close(fd);
#endif
}

}  // namespace
}  // namespace segsniff::test
