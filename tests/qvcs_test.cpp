// The QVCS camera segment: payload dump, model checks, the parameter table
// as a directory and as records, specials, and the segments whose declared
// end does not match the bytes that are there.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "exif/scan_qvcs_info.h"
#include "shell/channels.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// The decoder is run on a buffer of exactly the window's size, so that a
// read one byte past the window is caught by AddressSanitizer.
struct QvcsRun {
  std::string all;  // standard output and standard error in program order
  Offset cursor;    // where the decoder left the cursor
};

QvcsRun run_qvcs(const Bytes& info, Offset segment_end, Offset window_end) {
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[window_end]);
  std::copy(info.data(), info.data() + window_end, exact.get());
  ByteRegion region{exact.get(), 0, window_end, 0};
  WalkContext walk;
  walk.depth = 1;
  CapturedOutput captured;
  scan_qvcs_info(region, segment_end, walk);
  return {captured.all(), region.cursor};
}

QvcsRun run_qvcs(const Bytes& info) { return run_qvcs(info, info.size(), info.size()); }

std::string hex_words(std::initializer_list<std::uint16_t> words) {
  std::string s;
  char group[8];
  for (std::uint16_t w : words) {
    std::snprintf(group, sizeof group, "%04X ", static_cast<unsigned>(w));
    s += group;
  }
  return s;
}

// Application-type tail and a model field padded with zeros to offset 16.
Bytes qvcs_head(std::string_view model) {
  return Bytes{0x00, 0x00}.text(model).fill(14 - model.size(), 0x00);
}

// Parameter i (from 1) has the number i and the value 10 * i.
Bytes well_formed_table(std::uint16_t count) {
  Bytes b;
  b.be16(count);
  for (std::uint16_t i = 1; i <= count; ++i) b.be16(i).be16(3).be16(0).be16(1).be16(i * 10).be16(0);
  return b.be32(0);
}

Bytes qv4000(std::uint16_t count = 19) { return qvcs_head("QV-4000").append(well_formed_table(count)); }

std::string parameter_line(std::uint16_t count) {
  std::string s = "QVCS: " + std::to_string(count) + " par:";
  char item[32];
  for (unsigned i = 1; i <= count; ++i) {
    std::snprintf(item, sizeof item, " par0x%04X=%u", i, i * 10);
    s += item;
  }
  return s + "\n";
}

std::string table_dump(std::uint16_t count) {
  std::string s = hex_words({count});
  for (std::uint16_t i = 1; i <= count; ++i)
    s += hex_words({i, 3, 0, 1, static_cast<std::uint16_t>(i * 10), 0});
  return s + hex_words({0, 0});
}

// The whole decode of the QV-4000 segment laid out as the camera writes it:
// the records as a directory of SHORT entries (value in the first half of
// the value field, tags not in the dictionary), then as parameters.
std::string qv4000_output() {
  std::string s = "    qvcs data of len 250\n" +
                  hex_words({0x0000, 0x5156, 0x2D34, 0x3030, 0x3000, 0, 0, 0}) + table_dump(19) +
                  "\nCamera 'QV-4000'\n      found Casio QVCS-IFD of size 234\n"
                  "    found IFD with 19 tags at tiff-offset = 00000010\n";
  char line[128];
  for (unsigned i = 1; i <= 19; ++i) {
    std::snprintf(line, sizeof line,
                  "      tag %04X, 1 short, off %08X, val %04X \n        value  0x%04X (%u)\n", i,
                  i * 10 << 16, i * 10, i * 10, i * 10);
    s += line;
  }
  return s + "      end of Casio QVCS-IFD of size 234\n" + parameter_line(19);
}

// The segment in an APP2 between SOI and EOI; then the same with a count of
// 25 that the segment cannot hold, after which the walk resumes at the
// declared segment end.
TEST(Qvcs, SegmentInAFileIsDecodedAndTheWalkGoesOnAtTheSegmentEnd) {
  Bytes good = Bytes{}.be16(0xFFD8).segment(0xFFE2, Bytes{}.text("QVCS").append(qv4000())).be16(0xFFD9);
  Bytes bad = good;
  bad[2 + 2 + 2 + 4 + 17] = 25;
  ASSERT_EQ(good.size(), 262u);
  RunResult r = run_with_files({{"qv.jpg", good}, {"qv25.jpg", bad}}, {"qv.jpg", "qv25.jpg"}, true);
  EXPECT_TRUE(same_text(r.out.substr(0, r.out.find("reading file qv25.jpg")),
                        banner() + "reading file qv.jpg:\nFilelen 262 Bytes\nfile size 262 bytes\n"
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE2 at file offset 00000002: (APP2)\n"
                                   "  APP2 has len 256 and magic number 51564353 ('QVCS')\n" +
                            qv4000_output() +
                            "Marker FFD9 at file offset 00000104: (EOI) End of Image\n"));
  std::size_t at = r.out.find("      end of Casio", r.out.find("qv25.jpg"));
  ASSERT_NE(at, std::string::npos);
  EXPECT_TRUE(same_text(r.out.substr(at), "      end of Casio QVCS-IFD of size 234\n"
                              "QVCS: 25 par:invalid QVCS infos\n"
                              "scan_application_... leaves unexpected pos 0x0000001C instead of "
                              "0x00000104\n"
                              "Marker FFD9 at file offset 00000104: (EOI) End of Image\n"));
}

// Segments that differ from the well-formed one in one respect: the output
// from the parameter line on, and a piece expected before it.
TEST(Qvcs, EachDeviationCountsAsSpecial) {
  struct Case {
    const char* what;
    Bytes info;
    std::string tail;
    std::string before = "";
  };
  Bytes all_words = qv4000();
  all_words[16 + 2 + 3] = 0x05;   // type 0x0305
  all_words[16 + 2 + 5] = 0x01;   // count high half 1
  all_words[16 + 2 + 7] = 0x02;   // count low half 2
  all_words[16 + 2 + 11] = 0x07;  // padding 7
  Bytes trailer = qv4000();
  trailer[246] = trailer[249] = 0x01;
  // A model of 14 letters: its terminator at 16, the table at 18.
  Bytes long_name = Bytes{0x00, 0x00}.text("QV-4000-EXTRAS").raw({0x00, 0x00});
  const std::string misaligned = "model-alignment for 14/16 byte not zeros\n"
                                 "      found Casio QVCS-IFD of size 234\n"
                                 "    found IFD with 19 tags at tiff-offset = ";
  const std::string specials = "QVCS: 1 specials detected\n";
  const Case cases[] = {
      {"unknown model", qvcs_head("QV-4000X").append(well_formed_table(19)),
       parameter_line(19) + specials, "Camera 'QV-4000X'\n"},
      {"QV-3500EX with 25", qvcs_head("QV-3500EX").append(well_formed_table(25)), parameter_line(25)},
      {"count 20", qv4000(20), parameter_line(20) + specials},
      {"four bad words", all_words, parameter_line(19) + "QVCS: 4 specials detected\n"},
      {"trailer", trailer, parameter_line(19) + "QVCS: 2 specials detected\n"},
      {"unused bytes", qv4000().raw({0xAA, 0xBB, 0xCC}), parameter_line(19) + "QVCS: 3 bytes unused data\n"},
      {"14-letter model", long_name.append(well_formed_table(19)),
       parameter_line(19) + "QVCS: 2 specials detected\n", misaligned + "00000012\n"},
      {"zero words of padding", qvcs_head("QV-4000").fill(4, 0x00).append(well_formed_table(19)),
       parameter_line(19) + specials, misaligned + "00000014\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QvcsRun r = run_qvcs(c.info);
    std::size_t at = r.all.find("QVCS: ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_TRUE(same_text(r.all.substr(at), c.tail));
    EXPECT_NE(r.all.substr(0, at).find(c.before), std::string::npos) << c.before;
    EXPECT_EQ(r.cursor, c.info.size());
  }
}

TEST(Qvcs, CameraModelIsShownThroughTheTerminalFilter) {
  set_terminal_safe(true);
  QvcsRun r = run_qvcs(qvcs_head("QV\x1B[2J\x07").append(well_formed_table(19)));
  set_terminal_safe(false);
  EXPECT_NE(r.all.find("Camera 'QV.[2J.'\n"), std::string::npos);
}

TEST(Qvcs, EmptyTableIsTakenForPaddingAndTheCountIsReadBehindTheSegment) {
  // N = 0 and zeros to the segment end; the walk's next marker follows.
  Bytes info = qvcs_head("QV-4000").be16(0).be32(0).be16(0xFFD9);
  QvcsRun r = run_qvcs(info, 22, info.size());
  EXPECT_TRUE(same_text(r.all,
                        "    qvcs data of len 22\n" +
                            hex_words({0x0000, 0x5156, 0x2D34, 0x3030, 0x3000, 0, 0, 0, 0, 0, 0}) +
                            "\n"
                            "Camera 'QV-4000'\n"
                            "model-alignment for 14/16 byte not zeros\n"
                            "      found Casio QVCS-IFD of size 0\n"
                            "IFD out of area\n"
                            "      end of Casio QVCS-IFD of size 0\n"
                            "QVCS: 65497 par:invalid QVCS infos\n"));
  EXPECT_EQ(r.cursor, 24u);  // behind N; the scanner reports it
}

// The dump shows at most 512 bytes.  The declared end may lie before the
// info start or past the window, and the model may have no terminator:
// nothing is read outside the window, and the decode ends.
TEST(Qvcs, PayloadDumpIsBoundedAndADeclaredEndNeverLeadsPastTheWindow) {
  QvcsRun r = run_qvcs(Bytes{0x00});
  EXPECT_TRUE(same_text(r.all, "    qvcs data of len 1\n00\nno data in qvcs info\n"));
  EXPECT_EQ(r.cursor, no_position);

  r = run_qvcs(qv4000().fill(350, 0x00));
  std::string dump = r.all.substr(r.all.find('\n') + 1);
  dump = dump.substr(0, dump.find('\n'));
  EXPECT_EQ(dump.size(), 512u * 2 + 256 + 3);
  EXPECT_EQ(dump.substr(dump.size() - 8), "0000 ...");
  EXPECT_NE(r.all.find("QVCS: 350 bytes unused data\n"), std::string::npos);

  const Bytes info = qv4000();
  {  // A length field below 6: the end lies before the info start.
    ByteRegion shifted{info.data(), 4, info.size(), 4};
    CapturedOutput captured;
    WalkContext walk;
    scan_qvcs_info(shifted, 2, walk);
    EXPECT_TRUE(same_text(captured.all(), "    qvcs data of len -2\n...\nno data in qvcs info\n"));
  }

  r = run_qvcs(info, 1000, 100);  // the window stops inside the table
  EXPECT_TRUE(same_text(r.all.substr(0, r.all.find("Camera")),
                        "    qvcs data of len 1000\n" +
                            hex_words({0x0000, 0x5156, 0x2D34, 0x3030, 0x3000, 0, 0, 0}) +
                            table_dump(19).substr(0, 5 * 42) + "...\n"));
  EXPECT_NE(r.all.find("QVCS: 19 par:invalid QVCS infos\n"), std::string::npos);
  EXPECT_EQ(r.cursor, 18u);

  r = run_qvcs(info, 1000, 6);  // the window ends inside the model name
  EXPECT_TRUE(same_text(r.all,
                        "    qvcs data of len 1000\n0000 5156 2D34 ...\n"
                        "Camera 'QV-4'\n"
                        "model-alignment for 14/16 byte not zeros\n"
                        "      found Casio QVCS-IFD of size 994\n"
                        "IFD out of area\n"
                        "      end of Casio QVCS-IFD of size 994\n"
                        "get_int16() fails for end of data\n"
                        "QVCS: 0 par:invalid QVCS infos\n"));
  EXPECT_EQ(r.cursor, no_position);
}

}  // namespace
}  // namespace segsniff::test
