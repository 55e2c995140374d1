// The printer interface: forwarding printers pass every call on (the
// listing through two of them is the listing), an observer stacked on the
// text printer sees each stream's own frame and Exif block without changing
// a byte of the listing, findings carry their channel and position, and an
// entry carries all its values where the listing shows sixteen.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "device/copy_device.h"
#include "device/show_drive_geometry.h"
#include "exif/tiff_values.h"
#include "jpeg/scan_file.h"
#include "shell/forwarding_printer.h"
#include "support/golden.h"
#include "support/hostile_shapes.h"

namespace segsniff::test {
namespace {

// A baseline stream: frame of width x height with `components` components,
// `app` after SOI, a scan of two bytes.
Bytes jpeg_stream(std::uint16_t width, std::uint16_t height, std::uint8_t components,
                  const Bytes& app = Bytes{}) {
  Bytes frame = Bytes{}.u8(8).be16(height).be16(width).u8(components);
  Bytes scan = Bytes{}.u8(components);
  for (std::uint8_t c = 1; c <= components; ++c) {
    frame.u8(c).u8(c == 1 ? 0x22 : 0x11).u8(c == 1 ? 0 : 1);
    scan.u8(c).u8(c == 1 ? 0x00 : 0x11);
  }
  scan.raw({0, 63, 0});
  return Bytes{}.be16(0xFFD8).append(app).segment(0xFFC0, frame).segment(0xFFDA, scan)
      .raw({0x12, 0x34}).be16(0xFFD9);
}

// An "II" Exif block whose IFD0 holds the thumbnail pair, the thumbnail
// right behind the IFD.
Bytes exif_with_thumbnail(const Bytes& thumbnail) {
  const std::uint32_t thumbnail_at = 8 + 2 + 2 * 12 + 4;
  const Bytes tiff = Bytes{}.text("II").le16(42).le32(8).le16(2)
                         .le16(0x0201).le16(4).le32(1).le32(thumbnail_at)
                         .le16(0x0202).le16(4).le32(1).le32(static_cast<std::uint32_t>(thumbnail.size()))
                         .le32(0).append(thumbnail);
  return Bytes{}.segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff));
}

const Bytes photo = jpeg_stream(640, 480, 3, exif_with_thumbnail(jpeg_stream(16, 8, 1)));

// What a carving report wants of each stream it is told: where the stream
// starts, the frame of its own first SOF (a thumbnail's walk is nested one
// deeper) and whether it carries an Exif block.
class StreamFacts : public ForwardingPrinter {
 public:
  using ForwardingPrinter::ForwardingPrinter;
  struct Facts {
    Offset start = 0;
    std::uint16_t width = 0, height = 0;
    int components = 0;  // 0: no frame seen
    bool exif = false;
  };
  std::vector<Facts> streams;

  void walk_begin(Offset begin, Offset end) override {
    if (++depth_ == 1) streams.push_back({begin});
    ForwardingPrinter::walk_begin(begin, end);
  }
  void walk_end(Offset stopped_at) override {
    --depth_;
    ForwardingPrinter::walk_end(stopped_at);
  }
  void frame(const FrameInfo& frame) override {
    Facts& facts = streams.back();
    if (depth_ == 1 && facts.components == 0)
      facts = {facts.start, frame.width, frame.height, frame.components_read, facts.exif};
    ForwardingPrinter::frame(frame);
  }
  void tiff_begin(Offset at, bool intel) override {
    if (depth_ == 1) streams.back().exif = true;
    ForwardingPrinter::tiff_begin(at, intel);
  }

 private:
  int depth_ = 0;
};

// The listing of one analysis (dump or carving into a fresh folder, whose
// name shows as "<folder>"; with fragments, the carving of -fragments).
std::string listing(const Bytes& input, bool recovery, Printer& printer, bool fragments = false) {
  ScratchDir dir;
  CarvingRun run;
  run.output_folder = dir.path();
  run.fragments = fragments;
  CapturedOutput captured;
  analyse_mapped_bytes(CarvedInput{input.data(), input.size()}, recovery, run, printer);
  std::string text = captured.all();
  for (std::size_t at; (at = text.find(dir.path())) != std::string::npos;)
    text.replace(at, dir.path().size(), "<folder>");
  return text;
}

TEST(ForwardingPrinter, PassesEveryCallOnUnchanged) {
  std::vector<Bytes> inputs = {photo};
  for (const HostileShape& shape : hostile_shapes()) inputs.push_back(shape.make(2048));
  for (const std::string& name : corpus_files()) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    ASSERT_NE(f, nullptr) << name;
    Bytes file;
    for (int c; (c = std::fgetc(f)) != EOF;) file.u8(static_cast<std::uint8_t>(c));
    std::fclose(f);
    inputs.push_back(file);
  }
  enum class Mode { dump, carve, fragments };
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    for (Mode mode : {Mode::dump, Mode::carve, Mode::fragments}) {
      SCOPED_TRACE("input " + std::to_string(i) + " mode " + std::to_string(int(mode)));
      const bool recovery = mode != Mode::dump, fragments = mode == Mode::fragments;
      ForwardingPrinter inner(text_printer());
      ForwardingPrinter outer(inner);
      EXPECT_TRUE(same_text(listing(inputs[i], recovery, outer, fragments),
                            listing(inputs[i], recovery, text_printer(), fragments)));
    }
  }
}

platform::DriveQueryResult floppy(const char*, platform::DriveGeometry& geometry) {
  geometry = {80, platform::media_floppy_1440k, 2, 18, 512};
  return platform::DriveQueryResult::ok;
}

TEST(ForwardingPrinter, PassesTheCopyAndTheDriveReportOn) {
  ScratchDir dir;
  dir.write("source", std::string(300000, 'x'));
  auto both = [&](auto&& run) {
    ForwardingPrinter forwarding(text_printer());
    std::string through_forwarding, direct;
    {
      CapturedOutput captured;
      run(forwarding, "a");
      through_forwarding = captured.all();
    }
    {
      CapturedOutput captured;
      run(text_printer(), "b");
      direct = captured.all();
    }
    return std::pair{through_forwarding, direct};
  };
  auto [copied, copied_directly] = both([&](Printer& printer, const char* tag) {
    EXPECT_TRUE(copy_device(dir.file("source").c_str(), dir.file(tag).c_str(), printer));
    EXPECT_FALSE(copy_device(dir.file("missing").c_str(), dir.file(tag).c_str(), printer));
  });
  // The destination names differ ("a", "b"); everything else is the same.
  EXPECT_EQ(copied.size(), copied_directly.size());
  EXPECT_NE(copied.find("copied 300000 bytes (0 MB)"), std::string::npos);
  auto [report, report_directly] = both([&](Printer& printer, const char*) {
    EXPECT_TRUE(show_drive_geometry("\\\\.\\a:", floppy, printer));
  });
  EXPECT_TRUE(same_text(report, report_directly));
}

TEST(PrinterObserver, SeesEachStreamsOwnFrameAndExifAndLeavesTheListingAlone) {
  for (bool recovery : {false, true}) {
    SCOPED_TRACE(recovery ? "carved" : "dumped");
    StreamFacts facts(text_printer());
    EXPECT_TRUE(same_text(listing(photo, recovery, facts), listing(photo, recovery, text_printer())));
    const Offset thumbnail_start = 2 + 4 + 6 + 38;  // SOI, APP1 head, "Exif\0\0", TIFF head and IFD
    ASSERT_EQ(facts.streams.size(), recovery ? 2u : 1u);
    EXPECT_EQ(facts.streams[0].start, 0u);
    EXPECT_EQ(facts.streams[0].width, 640);
    EXPECT_EQ(facts.streams[0].height, 480);
    EXPECT_EQ(facts.streams[0].components, 3);
    EXPECT_TRUE(facts.streams[0].exif);
    if (!recovery) continue;
    // The thumbnail is a candidate of its own when carved.
    EXPECT_EQ(facts.streams[1].start, thumbnail_start);
    EXPECT_EQ(facts.streams[1].width, 16);
    EXPECT_EQ(facts.streams[1].height, 8);
    EXPECT_EQ(facts.streams[1].components, 1);
    EXPECT_FALSE(facts.streams[1].exif);
  }
}

// Findings with their channel and position, as a structured printer gets
// them; the text comes from the format the call site spells out.
class FindingLog : public ForwardingPrinter {
 public:
  using ForwardingPrinter::ForwardingPrinter;
  std::string log;
  void vfinding(Channel channel, Offset at, const char* format, std::va_list args) override {
    std::va_list copy;
    va_copy(copy, args);
    char text[256];
    std::vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    log += (channel == Channel::out ? "out " : "err ") + std::to_string(at) + " " + text;
    ForwardingPrinter::vfinding(channel, at, format, args);
  }
};

TEST(PrinterFindings, CarryTheirChannelAndPosition) {
  struct Case {
    const char* name;
    Bytes input;
    std::string want;
  };
  const Case cases[] = {
      {"cut in a marker", Bytes{0xFF, 0xD8, 0xFF},
       "err 2 get_int16() fails for end of data\n"
       "err 2 illegal marker 0000\n"
       "err 18446744073709551615 field illegal marker at end of file (len is missing)\n"
       "err 2 Ooops, No EOI found. pos 00000002 > end 00000003 (diff -1)\n"},
      {"progressive frame, trailing bytes",
       Bytes{0xFF, 0xD8}.segment(0xFFC2, Bytes{8, 0, 1, 0, 1, 1, 1, 0x11, 0})
           .segment(0xFFDA, Bytes{1, 1, 0, 0, 63, 0}).raw({0xAB, 0xFF, 0xD9, 0x00, 0x00}),
       "err 2 illegal marker FFC2\n"
       "out 26   warning: memory has been available for 5 bytes\n"
       "err 28 Ooops, EOI is not at end of file. pos 0000001C < end 0000001E (diff 2)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FindingLog findings(text_printer());
    listing(c.input, false, findings);
    EXPECT_TRUE(same_text(findings.log, c.want));
  }
}

// The listing shows sixteen values and 32 raw bytes of an entry; the entry
// told to a printer holds them all.
class EntryValues : public ForwardingPrinter {
 public:
  using ForwardingPrinter::ForwardingPrinter;
  std::vector<std::uint32_t> values;
  void tiff_entry(const TiffEntry& entry) override {
    for (std::uint32_t i = 0; i < entry.count; ++i)
      values.push_back(entry.type->type_id == type_short ? tiff_short(entry, i)
                                                         : tiff_rational(entry, i).denominator);
    ForwardingPrinter::tiff_entry(entry);
  }
};

TEST(PrinterEntries, CarryAllTheirValues) {
  for (bool intel : {true, false}) {
    SCOPED_TRACE(intel ? "II" : "MM");
    Bytes tiff = Bytes{}.text(intel ? "II" : "MM").u16(intel, 42).u32(intel, 8).u16(intel, 2)
                     .u16(intel, 0x0102).u16(intel, 3).u32(intel, 20).u32(intel, 38)
                     .u16(intel, 0x011A).u16(intel, 5).u32(intel, 1).u32(intel, 78)
                     .u32(intel, 0);
    for (std::uint16_t v = 1; v <= 20; ++v) tiff.u16(intel, static_cast<std::uint16_t>(v * 1000));
    tiff.u32(intel, 72).u32(intel, 0xFFFFFFFF);
    const Bytes input = Bytes{}.be16(0xFFD8)
                            .segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff))
                            .be16(0xFFD9);
    EntryValues entries(text_printer());
    const std::string text = listing(input, false, entries);
    ASSERT_EQ(entries.values.size(), 21u);
    EXPECT_EQ(entries.values[19], 20000u);
    EXPECT_EQ(entries.values[20], 0xFFFFFFFFu);
    EXPECT_NE(text.find(" 0x3E80 (16000) ...\n"), std::string::npos) << text;
    EXPECT_NE(text.find("        value  72/-1\n"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace segsniff::test
