// Recovery carving: which streams are written, under which numbers, with
// which lines, and that the input is never written to.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "jpeg/recover_jpeg_streams.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// FF D8, a scan header of length 2, three bytes of scan data, FF D9 (11 bytes).
Bytes tiny_image(std::uint8_t k) {
  return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({k, k, k}).be16(0xFFD9);
}

// The same stream cut off inside its scan data (9 bytes, no FF D9).
Bytes cut_image() { return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}); }

// An image whose APP1 segment carries a complete 9-byte thumbnail stream
// from offset 10 (27 bytes).
Bytes thumbnail(std::uint8_t k) { return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).u8(k).be16(0xFFD9); }
Bytes image_with_thumbnail(std::uint8_t k) {
  Bytes app1 = Bytes{}.text("TEST").append(thumbnail(k));
  return Bytes{0xFF, 0xD8}.segment(0xFFE1, app1).be16(0xFFDA).be16(2).raw({k, k}).be16(0xFFD9);
}

std::string file_lines(const std::string& name, std::size_t size) {
  return "reading file " + name + ":\nFilelen " + std::to_string(size) + " Bytes\nfile size " +
         std::to_string(size) + " bytes\n";
}

std::string carving_lines(const std::string& out) {
  return kept_lines(out, {"reading file ", "found SOI-Marker", "restore ", "could not create",
                          "error "});
}

// Only FF D8 is a candidate (not D8 FF, not a lone FF); a pair at the last
// two bytes runs off the end.  In card.img the scan data holds FF D8 FF C0
// 10 00: a candidate of its own whose frame header runs 4092 bytes past the end.
TEST(RecoverJpegStreams, EveryFfD8PairIsTriedAndCompleteStreamsAreWrittenWhole) {
  ScratchDir dir;
  dir.write("one.img", Bytes{0xFF}.str());
  dir.write("reversed.img", Bytes{0xD8, 0xFF, 0x00, 0xFF}.str());
  dir.write("end.img", Bytes{0x00, 0xFF, 0xD8}.str());
  Bytes card = Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2);
  card.raw({0xFF, 0xD8, 0xFF, 0xC0, 0x10, 0x00}).be16(0xFFD9);
  dir.write("card.img", card.str());
  RunResult r =
      run_segsniff(dir, {"-recover", "one.img", "reversed.img", "end.img", "card.img"}, true);
  EXPECT_TRUE(same_text(
      r.out, banner() + "Option -recover found\n" + file_lines("one.img", 1) +
                 file_lines("reversed.img", 4) + file_lines("end.img", 3) +
                 "found SOI-Marker at offset 00000001\n"
                 "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                 "Ooops, No EOI found. pos 00000003 > end 00000003 (diff 0)\n" +
                 file_lines("card.img", 14) +
                 "found SOI-Marker at offset 00000000\n"
                 "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                 "Marker FFDA at file offset 00000002: (SOS) Start of Scan\n"
                 "  field SOS has len 2\n"
                 "  hopefully skipping 6 bytes of compressed image data to next 0xFF.\n"
                 "Marker FFD9 at file offset 0000000C: (EOI) End of Image\n"
                 "restore 14 bytes to file 'segsniff_recover_001.jpg' (offset 0 to 14)\n"
                 "found SOI-Marker at offset 00000006\n"
                 "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                 "Marker FFC0 at file offset 00000002: (SOF) Start of Frame\n"
                 "  field SOF has len 4096\n"
                 "Ooops, No EOI found. pos 0000100A > end 0000000E (diff 4092)\n"));
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), card.str());
  EXPECT_FALSE(dir.exists("segsniff_recover_002.jpg"));
  EXPECT_EQ(r.status, 0);
}

// a.img: an image with a thumbnail (0..27), a stream cut inside its scan
// data (27..36) that runs on to the end of the next one (36..47), two filler
// bytes and a stream without any FF D9 after it (49..58).  Thumbnails and
// inner streams come after their container; numbers run on into b.img.
TEST(RecoverJpegStreams, StreamsAreWrittenInTheOrderOfTheirPairsNumberedAcrossTheRun) {
  ScratchDir dir;
  Bytes a = image_with_thumbnail(1).append(cut_image()).append(tiny_image(7));
  dir.write("a.img", a.fill(2, 0).append(cut_image()).str());
  dir.write("b.img", tiny_image(2).str());
  RunResult r = run_segsniff(dir, {"-recover", "a.img", "b.img"});
  EXPECT_TRUE(same_text(carving_lines(r.out),
                        "reading file a.img:\n"
                        "found SOI-Marker at offset 00000000\n"
                        "restore 27 bytes to file 'segsniff_recover_001.jpg' (offset 0 to 27)\n"
                        "found SOI-Marker at offset 0000000A\n"
                        "restore 9 bytes to file 'segsniff_recover_002.jpg' (offset 10 to 19)\n"
                        "found SOI-Marker at offset 0000001B\n"
                        "restore 20 bytes to file 'segsniff_recover_003.jpg' (offset 27 to 47)\n"
                        "found SOI-Marker at offset 00000024\n"
                        "restore 11 bytes to file 'segsniff_recover_004.jpg' (offset 36 to 47)\n"
                        "found SOI-Marker at offset 00000031\n"
                        "reading file b.img:\n"
                        "found SOI-Marker at offset 00000000\n"
                        "restore 11 bytes to file 'segsniff_recover_005.jpg' (offset 0 to 11)\n"));
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), image_with_thumbnail(1).str());
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), thumbnail(1).str());
  EXPECT_EQ(dir.read("segsniff_recover_003.jpg"), cut_image().append(tiny_image(7)).str());
  EXPECT_EQ(dir.read("segsniff_recover_004.jpg"), tiny_image(7).str());
  EXPECT_EQ(dir.read("segsniff_recover_005.jpg"), tiny_image(2).str());
  EXPECT_FALSE(dir.exists("segsniff_recover_006.jpg"));
}

// Names 001 to 006 are taken by every kind of thing, 008 by the second
// input: each is passed over and left as it was, none is followed or
// opened (the FIFO has an idle reader that would take the bytes; Windows,
// which has no FIFOs, gets a link to a folder there).  A second run in the
// same folder keeps the first run's files.
TEST(RecoverJpegStreams, EveryTakenNameIsPassedOverAndLeftAsItWas) {
  namespace fs = std::filesystem;
  ScratchDir dir;
  const std::string card = tiny_image(1).append(tiny_image(2)).str();
  dir.write("card.img", card);
  dir.write("target", "kept");
  dir.write("segsniff_recover_001.jpg", "old");
  make_symlink(dir.file("target"), dir.file("segsniff_recover_002.jpg"));
  make_symlink("nowhere", dir.file("segsniff_recover_003.jpg"));
  fs::create_hard_link(dir.file("target"), dir.file("segsniff_recover_004.jpg"));
  fs::create_directory(dir.file("segsniff_recover_005.jpg"));
#ifdef _WIN32
  make_symlink(dir.file("segsniff_recover_005.jpg"), dir.file("segsniff_recover_006.jpg"), true);
#else
  ASSERT_EQ(::mkfifo(dir.file("segsniff_recover_006.jpg").c_str(), 0600), 0);
  const int reader = ::open(dir.file("segsniff_recover_006.jpg").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
#endif
  dir.write("segsniff_recover_008.jpg", tiny_image(3).str());

  RunResult r = run_segsniff(dir, {"-recover", "card.img", "segsniff_recover_008.jpg"});
  const std::string restore = "restore 11 bytes to file 'segsniff_recover_";
  EXPECT_TRUE(same_text(carving_lines(r.out),
                        "reading file card.img:\n"
                        "found SOI-Marker at offset 00000000\n" + restore + "007.jpg' (offset 0 to 11)\n"
                        "found SOI-Marker at offset 0000000B\n" + restore + "009.jpg' (offset 11 to 22)\n"
                        "reading file segsniff_recover_008.jpg:\n"
                        "found SOI-Marker at offset 00000000\n" + restore + "010.jpg' (offset 0 to 11)\n"));
  EXPECT_EQ(r.status, 0);
  r = run_segsniff(dir, {"-recover", "card.img"});
  EXPECT_NE(r.out.find(restore + "011.jpg' (offset 0 to 11)\n" + "found SOI-Marker at offset 0000000B\n"),
            std::string::npos) << r.out;

#ifndef _WIN32
  char drained[16];
  EXPECT_LE(::read(reader, drained, sizeof drained), 0) << "the FIFO's reader got bytes";
  ::close(reader);
#endif
  EXPECT_EQ(dir.read("target"), "kept");
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), "old");
  EXPECT_FALSE(dir.exists("nowhere"));
  EXPECT_EQ(dir.read("segsniff_recover_008.jpg"), tiny_image(3).str());
  for (const char* number : {"007", "011"})
    EXPECT_EQ(dir.read(std::string("segsniff_recover_") + number + ".jpg"), tiny_image(1).str());
  for (const char* number : {"009", "012"})
    EXPECT_EQ(dir.read(std::string("segsniff_recover_") + number + ".jpg"), tiny_image(2).str());
}

// FF D8, APP1 "Exif" whose IFD1 points at a thumbnail cut off inside its
// scan data (FF D8 FF DA 00 02 01 02), then a scan header and two bytes.
Bytes head_with_cut_thumbnail() {
  const Bytes thumbnail = Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2});
  Bytes tiff = Bytes{}.text("II").le16(42).le32(8);
  tiff.le16(1).le16(0x0112).le16(3).le32(1).le32(1).le32(26);  // IFD0, next IFD1 at 26
  tiff.le16(2).le16(0x0201).le16(4).le32(1).le32(56);          // IFD1: thumbnail at 56
  tiff.le16(0x0202).le16(4).le32(1).le32(static_cast<std::uint32_t>(thumbnail.size()));
  tiff.le32(0).append(thumbnail);
  Bytes app1 = Bytes{}.text("Exif").raw({0, 0}).append(tiff);
  return Bytes{0xFF, 0xD8}.segment(0xFFE1, app1).be16(0xFFDA).be16(2).raw({1, 2});
}

// Every head's FF D9 search would run through all the filler behind the
// heads, and a cut thumbnail puts a search in a small window between two
// over the rest of the input: quadratic, unless the search remembers its
// answers across candidates and windows.
TEST(RecoverJpegStreams, ThousandsOfTruncatedHeadsCostLinearWork) {
  constexpr std::size_t heads = 2000;
  Bytes hostile;
  for (std::size_t i = 0; i < heads; ++i)
    hostile.append(cut_image()).append(head_with_cut_thumbnail());
  hostile.fill(4 << 20, 0x5A);

  CarvingRun run;
  std::string out;
  {
    CapturedOutput capture;
    recover_jpeg_streams(CarvedInput{hostile.data(), hostile.size()}, run, text_printer());
    out = capture.out();
  }
  std::size_t found = 0;
  for (std::size_t at = 0; (at = out.find("found SOI-Marker", at)) != std::string::npos; ++at) ++found;
  EXPECT_EQ(found, 3 * heads);  // cut image, head, thumbnail
  EXPECT_EQ(run.last_number, 0);
  EXPECT_LE(run.eoi_bytes_searched, 2 * hostile.size());
}

TEST(RecoverJpegStreams, OffsetsBeyondFourGibibytesArePrintedInFull) {
  // 4 GiB of zero pages and a last page holding a complete stream: it costs
  // address space, not memory (under wine as well: wine's memory is Linux's).
  constexpr std::size_t stream_at = std::size_t{1} << 32;
  constexpr std::size_t size = stream_at + 4096;
#ifdef _WIN32
  void* view = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (view == nullptr) GTEST_SKIP() << "no room for a 4 GiB mapping";
  auto* base = static_cast<std::uint8_t*>(view);
#else
  void* view =
      ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (view == MAP_FAILED) GTEST_SKIP() << "no room for a 4 GiB mapping";
  ::madvise(view, size, MADV_HUGEPAGE);  // reads then map the huge zero page: fewer faults
  auto* base = static_cast<std::uint8_t*>(view);
  ASSERT_NE(::mmap(base + stream_at, 4096, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0), MAP_FAILED);
#endif
  const Bytes image = tiny_image(9);
  std::memcpy(base + stream_at, image.data(), image.size());

  ScratchDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  CarvingRun run;
  std::string out;
  {
    CapturedOutput capture;
    recover_jpeg_streams(CarvedInput{base, size}, run, text_printer());
    out = capture.all();
  }
  std::filesystem::current_path(previous);
#ifdef _WIN32
  VirtualFree(view, 0, MEM_RELEASE);
#else
  ::munmap(view, size);
#endif

  EXPECT_TRUE(same_text(
      out, "found SOI-Marker at offset 100000000\n"
           "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
           "Marker FFDA at file offset 00000002: (SOS) Start of Scan\n"
           "  field SOS has len 2\n"
           "  hopefully skipping 3 bytes of compressed image data to next 0xFF.\n"
           "  warning: memory has been available for 4090 bytes\n"
           "Marker FFD9 at file offset 00000009: (EOI) End of Image\n"
           "Ooops, EOI is not at end of file. pos 10000000B < end 100001000 (diff 4085)\n"
           "restore 11 bytes to file 'segsniff_recover_001.jpg' "
           "(offset 4294967296 to 4294967307)\n"));
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), image.str());
}

// Real camera files laid end to end each come back whole, but the one
// damaged on purpose: an FF D9 pair inside its scan data ends it early.
TEST(RecoverJpegStreams, EveryCorpusFileConcatenatedIsRecoveredByteForByte) {
  std::vector<std::string> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  ScratchDir dir;
  std::vector<std::string> contents;
  std::string card;
  for (const auto& path : files) {
    std::ifstream f(path, std::ios::binary);
    contents.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    card += contents.back();
  }
  dir.write("card.img", card);
  run_segsniff(dir, {"-recover", "card.img"});
  std::set<std::string> written;
  for (const auto& name : dir.list())
    if (name.rfind("segsniff_recover_", 0) == 0) written.insert(dir.read(name));
  for (std::size_t i = 0; i < files.size(); ++i) {
    const bool damaged = std::filesystem::path(files[i]).filename() == "corrupted.jpg";
    EXPECT_EQ(written.count(contents[i]), damaged ? 0u : 1u) << files[i];
  }
}

}  // namespace
}  // namespace segsniff::test
