// Recovery carving: which streams are written, under which numbers, with
// which lines, and that the input is never written to.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "jpeg/recover_jpeg_streams.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// FF D8, a scan header of length 2, three bytes of scan data, FF D9: the
// smallest stream whose walk reaches an End-of-Image marker (11 bytes).
Bytes tiny_image(std::uint8_t k) {
  return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({k, k, k}).be16(0xFFD9);
}

// The same stream cut off inside its scan data (9 bytes, no FF D9).
Bytes cut_image() { return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}); }

std::string file_lines(const std::string& name, std::size_t size) {
  return "reading file " + name + ":\nFilelen " + std::to_string(size) + " Bytes\nfile size " +
         std::to_string(size) + " bytes\n";
}

// The lines of the carving itself (candidates, files and their failures),
// without the walk's lines in between.
std::string carving_lines(const std::string& out) {
  static const char* const kept[] = {"reading file ", "found SOI-Marker", "restore ",
                                     "could not create",  "will not write",   "error "};
  std::istringstream in(out);
  std::string line, result;
  // A walk that ends on a failed marker read leaves its marker line open, so
  // the next text (the next file's first line) may continue it.
  while (std::getline(in, line))
    for (const char* prefix : kept)
      if (std::size_t at = line.find(prefix); at != std::string::npos) {
        result += line.substr(at) + "\n";
        break;
      }
  return result;
}

std::string recovered_names(const ScratchDir& dir) {
  std::string names;
  for (const auto& name : dir.list())
    if (name.rfind("segsniff_recover_", 0) == 0) names += name + " ";
  return names;
}

TEST(RecoverJpegStreams, OnlyFfD8PairsAreCandidatesAndAPairAtTheLastTwoBytesRunsOff) {
  ScratchDir dir;
  dir.write("one.img", Bytes{0xFF}.str());
  dir.write("reversed.img", Bytes{0xD8, 0xFF, 0x00, 0xFF}.str());
  dir.write("end.img", Bytes{0x00, 0xFF, 0xD8}.str());
  RunResult r = run_segsniff(dir, {"-recover", "one.img", "reversed.img", "end.img"}, true);
  EXPECT_TRUE(same_text(r.out, banner() + "Option -recover found\n" + file_lines("one.img", 1) +
                                   file_lines("reversed.img", 4) + file_lines("end.img", 3) +
                                   "found SOI-Marker at offset 00000001\n"
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Ooops, No EOI found. pos 00000003 > end 00000003 (diff 0)\n"));
  EXPECT_EQ(recovered_names(dir), "");
  EXPECT_EQ(r.status, 0);
}

TEST(RecoverJpegStreams, OneImageIsWrittenWholeAndThePairsInsideItAreTriedToo) {
  // FF D8 | FF DA 00 02 | scan data FF D8 FF C0 10 00 | FF D9: the skip over
  // the scan data passes the inner pair, which is a candidate of its own
  // whose frame header runs 4092 bytes past the end.
  Bytes card = Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2);
  card.raw({0xFF, 0xD8, 0xFF, 0xC0, 0x10, 0x00}).be16(0xFFD9);
  ScratchDir dir;
  dir.write("card.img", card.str());
  RunResult r = run_segsniff(dir, {"-recover", "card.img"}, true);
  EXPECT_TRUE(same_text(
      r.out, banner() + "Option -recover found\n" + file_lines("card.img", 14) +
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
  EXPECT_EQ(recovered_names(dir), "segsniff_recover_001.jpg ");
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), card.str());
}

TEST(RecoverJpegStreams, AStreamCutInsideItsScanDataRunsOnToTheNextEndOfImage) {
  ScratchDir dir;
  Bytes card = cut_image().append(tiny_image(7));  // 9 + 11 bytes
  dir.write("card.img", card.str());
  RunResult r = run_segsniff(dir, {"-recover", "card.img"}, true);
  EXPECT_TRUE(same_text(
      r.out, banner() + "Option -recover found\n" + file_lines("card.img", 20) +
                 "found SOI-Marker at offset 00000000\n"
                 "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                 "Marker FFDA at file offset 00000002: (SOS) Start of Scan\n"
                 "  field SOS has len 2\n"
                 "  hopefully skipping 12 bytes of compressed image data to next 0xFF.\n"
                 "Marker FFD9 at file offset 00000012: (EOI) End of Image\n"
                 "restore 20 bytes to file 'segsniff_recover_001.jpg' (offset 0 to 20)\n"
                 "found SOI-Marker at offset 00000009\n"
                 "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                 "Marker FFDA at file offset 00000002: (SOS) Start of Scan\n"
                 "  field SOS has len 2\n"
                 "  hopefully skipping 3 bytes of compressed image data to next 0xFF.\n"
                 "Marker FFD9 at file offset 00000009: (EOI) End of Image\n"
                 "restore 11 bytes to file 'segsniff_recover_002.jpg' (offset 9 to 20)\n"));
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), card.str());
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), tiny_image(7).str());
}

TEST(RecoverJpegStreams, NumbersRunOnAcrossTheFilesOfARunAndAStreamWithoutEndUsesNone) {
  ScratchDir dir;
  // a.img: a complete stream, two filler bytes, a stream with no FF D9 after it.
  dir.write("a.img", tiny_image(1).fill(2, 0).append(cut_image()).str());
  dir.write("b.img", tiny_image(2).str());
  RunResult r = run_segsniff(dir, {"-recover", "a.img", "b.img"});
  EXPECT_TRUE(same_text(carving_lines(r.out),
                        "reading file a.img:\n"
                        "found SOI-Marker at offset 00000000\n"
                        "restore 11 bytes to file 'segsniff_recover_001.jpg' (offset 0 to 11)\n"
                        "found SOI-Marker at offset 0000000D\n"
                        "reading file b.img:\n"
                        "found SOI-Marker at offset 00000000\n"
                        "restore 11 bytes to file 'segsniff_recover_002.jpg' (offset 0 to 11)\n"));
  EXPECT_EQ(recovered_names(dir), "segsniff_recover_001.jpg segsniff_recover_002.jpg ");
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), tiny_image(1).str());
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), tiny_image(2).str());
}

// An image whose APP1 segment carries a complete thumbnail stream (27 bytes;
// the thumbnail is the 9 bytes from offset 10).
Bytes thumbnail(std::uint8_t k) {
  return Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).u8(k).be16(0xFFD9);
}
Bytes image_with_thumbnail(std::uint8_t k) {
  Bytes app1 = Bytes{}.text("TEST").append(thumbnail(k));
  return Bytes{0xFF, 0xD8}.segment(0xFFE1, app1).be16(0xFFDA).be16(2).raw({k, k}).be16(0xFFD9);
}

TEST(RecoverJpegStreams, ThumbnailsFollowTheirImageInTheOrderOfTheirPairs) {
  ScratchDir dir;
  dir.write("card.img", image_with_thumbnail(1).append(image_with_thumbnail(2)).str());
  RunResult r = run_segsniff(dir, {"-recover", "card.img"});
  EXPECT_TRUE(same_text(carving_lines(r.out),
                        "reading file card.img:\n"
                        "found SOI-Marker at offset 00000000\n"
                        "restore 27 bytes to file 'segsniff_recover_001.jpg' (offset 0 to 27)\n"
                        "found SOI-Marker at offset 0000000A\n"
                        "restore 9 bytes to file 'segsniff_recover_002.jpg' (offset 10 to 19)\n"
                        "found SOI-Marker at offset 0000001B\n"
                        "restore 27 bytes to file 'segsniff_recover_003.jpg' (offset 27 to 54)\n"
                        "found SOI-Marker at offset 00000025\n"
                        "restore 9 bytes to file 'segsniff_recover_004.jpg' (offset 37 to 46)\n"));
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), image_with_thumbnail(1).str());
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), thumbnail(1).str());
  EXPECT_EQ(dir.read("segsniff_recover_003.jpg"), image_with_thumbnail(2).str());
  EXPECT_EQ(dir.read("segsniff_recover_004.jpg"), thumbnail(2).str());
}

TEST(RecoverJpegStreams, RecoveringAnEarlierOutputNeverWritesOverIt) {
  ScratchDir dir;
  const std::string image = tiny_image(5).str();
  dir.write("segsniff_recover_001.jpg", image);
  RunResult r = run_segsniff(
      dir, {"-recover", "segsniff_recover_001.jpg", "segsniff_recover_001.jpg"}, true);
  auto walk = [](int number) {
    return "found SOI-Marker at offset 00000000\n"
           "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
           "Marker FFDA at file offset 00000002: (SOS) Start of Scan\n"
           "  field SOS has len 2\n"
           "  hopefully skipping 3 bytes of compressed image data to next 0xFF.\n"
           "Marker FFD9 at file offset 00000009: (EOI) End of Image\n"
           "restore 11 bytes to file 'segsniff_recover_00" +
           std::to_string(number) + ".jpg' (offset 0 to 11)\n";
  };
  EXPECT_TRUE(same_text(
      r.out, banner() + "Option -recover found\n" + file_lines("segsniff_recover_001.jpg", 11) +
                 walk(1) +
                 "will not write file 'segsniff_recover_001.jpg': it is the file being scanned\n" +
                 file_lines("segsniff_recover_001.jpg", 11) + walk(2)));
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), image);
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), image);
}

TEST(RecoverJpegStreams, OutputsThatCannotBeWrittenUseUpTheirNumberAndOldOnesAreReplaced) {
  ScratchDir dir;
  const std::string card =
      tiny_image(1).append(tiny_image(2)).append(tiny_image(3)).append(tiny_image(4)).str();
  dir.write("card.img", card);
  ASSERT_EQ(::mkdir(dir.file("segsniff_recover_001.jpg").c_str(), 0700), 0);
  ASSERT_EQ(::symlink("card.img", dir.file("segsniff_recover_002.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/full", dir.file("segsniff_recover_003.jpg").c_str()), 0);
  dir.write("segsniff_recover_004.jpg", std::string(100, 'x'));

  RunResult r = run_segsniff(dir, {"-recover", "card.img"});
  EXPECT_TRUE(same_text(
      carving_lines(r.out),
      "reading file card.img:\n"
      "found SOI-Marker at offset 00000000\n"
      "restore 11 bytes to file 'segsniff_recover_001.jpg' (offset 0 to 11)\n"
      "could not create file 'segsniff_recover_001.jpg'\n"
      "found SOI-Marker at offset 0000000B\n"
      "restore 11 bytes to file 'segsniff_recover_002.jpg' (offset 11 to 22)\n"
      "will not write file 'segsniff_recover_002.jpg': it is the file being scanned\n"
      "found SOI-Marker at offset 00000016\n"
      "restore 11 bytes to file 'segsniff_recover_003.jpg' (offset 22 to 33)\n"
      "error 28 ('No space left on device') in writing file; only written 0 byte\n"
      "found SOI-Marker at offset 00000021\n"
      "restore 11 bytes to file 'segsniff_recover_004.jpg' (offset 33 to 44)\n"));
  EXPECT_EQ(dir.read("card.img"), card);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("segsniff_recover_002.jpg")));
  EXPECT_EQ(dir.read("segsniff_recover_004.jpg"), tiny_image(4).str());
}

TEST(RecoverJpegStreams, ThousandsOfTruncatedHeadsCostLinearWork) {
  // Each head FF D8 FF DA 00 02 01 02 starts a scan whose FF D9 search would
  // run through all the filler after the heads: quadratic, unless the search
  // remembers its answer across candidates.
  constexpr int heads = 4000;
  constexpr std::size_t filler = 4 << 20;
  Bytes hostile;
  for (int i = 0; i < heads; ++i) hostile.raw({0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x01, 0x02});
  hostile.fill(filler, 0x5A);

  CarvingRun run;
  std::string out;
  {
    CapturedOutput capture;
    recover_jpeg_streams(CarvedInput{hostile.data(), hostile.size()}, run);
    out = capture.out();
  }
  std::size_t found = 0;
  for (std::size_t at = out.find("found SOI-Marker"); at != std::string::npos;
       at = out.find("found SOI-Marker", at + 1))
    ++found;
  EXPECT_EQ(found, std::size_t{heads});
  EXPECT_EQ(run.last_number, 0);
  EXPECT_LE(run.eoi_bytes_searched, 2 * hostile.size());
}

// A head whose Exif block carries a thumbnail that is itself cut off: FF D8,
// APP1 "Exif" with IFD0 (one entry) and IFD1 pointing at the 8 thumbnail
// bytes FF D8 FF DA 00 02 01 02, then a scan header and two bytes of data.
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

TEST(RecoverJpegStreams, HeadsWithCutThumbnailsCostLinearWorkToo) {
  // Each head's nested thumbnail walk searches a small window between two
  // searches over the rest of the input: that must not make the next
  // candidate search the filler again.
  constexpr int heads = 2000;
  Bytes hostile;
  for (int i = 0; i < heads; ++i) hostile.append(head_with_cut_thumbnail());
  hostile.fill(4 << 20, 0x5A);

  CarvingRun run;
  std::string out;
  {
    CapturedOutput capture;
    recover_jpeg_streams(CarvedInput{hostile.data(), hostile.size()}, run);
    out = capture.out();
  }
  auto count = [&out](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("found SOI-Marker"), std::size_t{2 * heads});  // head and thumbnail
  // The outer walk, the nested thumbnail walk and the thumbnail's own walk.
  EXPECT_EQ(count("(SOS) Start of Scan"), std::size_t{3 * heads});
  EXPECT_EQ(run.last_number, 0);
  EXPECT_LE(run.eoi_bytes_searched, 2 * hostile.size());
}

TEST(RecoverJpegStreams, OffsetsBeyondFourGibibytesArePrintedInFull) {
  // An input of 4 GiB + 4 KiB whose last page holds a complete stream: all
  // zero pages but the last, so it costs address space, not memory.
  constexpr std::size_t stream_at = std::size_t{1} << 32;
  constexpr std::size_t size = stream_at + 4096;
  void* view =
      ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (view == MAP_FAILED) GTEST_SKIP() << "no room for a 4 GiB mapping";
  ::madvise(view, size, MADV_HUGEPAGE);  // reads then map the huge zero page: fewer faults
  auto* base = static_cast<std::uint8_t*>(view);
  ASSERT_NE(::mmap(base + stream_at, 4096, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0), MAP_FAILED);
  const Bytes image = tiny_image(9);
  std::memcpy(base + stream_at, image.data(), image.size());

  ScratchDir dir;
  const std::string previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  CarvingRun run;
  std::string out;
  {
    CapturedOutput capture;
    recover_jpeg_streams(CarvedInput{base, size}, run);
    out = capture.all();
  }
  std::filesystem::current_path(previous);
  ::munmap(view, size);

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

TEST(RecoverJpegStreams, EveryCorpusFileConcatenatedIsRecoveredByteForByte) {
  std::vector<std::string> files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  ScratchDir dir;
  std::string card;
  struct Placed {
    std::string name, bytes;
    std::size_t offset;
  };
  std::vector<Placed> placed;
  for (const auto& path : files) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    placed.push_back({std::filesystem::path(path).filename(), s.str(), card.size()});
    card += s.str();
  }
  dir.write("card.img", card);
  RunResult r = run_segsniff(dir, {"-recover", "card.img"});

  // Every "restore" line, by the stretch of the input it names.
  std::map<std::pair<long, long>, std::string> written;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    long length = 0, from = 0, to = 0;
    char name[64] = {};
    if (std::sscanf(line.c_str(), "restore %ld bytes to file '%63[^']' (offset %ld to %ld)",
                    &length, name, &from, &to) == 4)
      written[{from, to}] = name;
  }
  for (const auto& p : placed) {
    auto stretch = std::make_pair(static_cast<long>(p.offset),
                                  static_cast<long>(p.offset + p.bytes.size()));
    if (p.name == "corrupted.jpg") {
      // Damaged on purpose: an FF D9 pair inside its scan data ends its stream early.
      EXPECT_EQ(written.count(stretch), 0u) << p.name;
      continue;
    }
    ASSERT_EQ(written.count(stretch), 1u) << p.name << " not recovered whole";
    EXPECT_TRUE(dir.read(written[stretch]) == p.bytes) << p.name << " differs from "
                                                       << written[stretch];
  }
}

}  // namespace
}  // namespace segsniff::test
