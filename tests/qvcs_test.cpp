// The QVCS camera segment: payload dump, model checks, the parameter table
// as a directory and as records, specials, and the segments whose declared
// end does not match the bytes that are there.
#include <gtest/gtest.h>

#include <algorithm>
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
  ByteRegion region(exact.get(), 0, window_end);
  WalkContext walk{text_printer()};
  walk.depth = 1;
  CapturedOutput captured;
  scan_qvcs_info(region, segment_end, walk);
  return {captured.all(), region.cursor()};
}

QvcsRun run_qvcs(const Bytes& info) { return run_qvcs(info, info.size(), info.size()); }

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

Bytes qvcs(std::string_view model, std::uint16_t count = 19) {
  return qvcs_head(model).append(well_formed_table(count));
}

const std::string qv4000_head_dump = "0000 5156 2D34 3030 3000 0000 0000 0000 ";

// The records of well_formed_table(count) as payload dump words, as
// directory entries (SHORT, value in the first half of the value field, tags
// not in the dictionary) or as parameters.
enum class Form { dump_words, directory_entries, parameters };
std::string records(std::uint16_t count, Form form) {
  std::string s;
  char text[128];
  for (unsigned i = 1, v = 10; i <= count; ++i, v += 10) {
    if (form == Form::dump_words)
      std::snprintf(text, sizeof text, "%04X 0003 0000 0001 %04X 0000 ", i, v);
    else if (form == Form::directory_entries)
      std::snprintf(text, sizeof text, "      tag %04X, 1 short, off %08X, val %04X \n"
                    "        value  0x%04X (%u)\n", i, v << 16, v, v, v);
    else
      std::snprintf(text, sizeof text, " par0x%04X=%u", i, v);
    s += text;
  }
  return s;
}
std::string parameter_line(std::uint16_t count) {
  return "QVCS: " + std::to_string(count) + " par:" + records(count, Form::parameters) + "\n";
}

// The whole decode of the QV-4000 segment laid out as the camera writes it.
const std::string qv4000_output =
    "    qvcs data of len 250\n" + qv4000_head_dump + "0013 " + records(19, Form::dump_words) +
    "0000 0000 \nCamera 'QV-4000'\n      found Casio QVCS-IFD of size 234\n"
    "    found IFD with 19 tags at tiff-offset = 00000010\n" +
    records(19, Form::directory_entries) +
    "      end of Casio QVCS-IFD of size 234\n" + parameter_line(19);

// The segment in an APP2 between SOI and EOI; then the same with a count of
// 25 that the segment cannot hold, after which the walk resumes at the
// declared segment end.
TEST(Qvcs, SegmentInAFileIsDecodedAndTheWalkGoesOnAtTheSegmentEnd) {
  Bytes good = Bytes{0xFF, 0xD8}.segment(0xFFE2, Bytes{}.text("QVCS").append(qvcs("QV-4000")));
  good.be16(0xFFD9);
  Bytes bad = good;
  bad[2 + 2 + 2 + 4 + 17] = 25;
  ASSERT_EQ(good.size(), 262u);
  RunResult r = run_with_files({{"qv.jpg", good}, {"qv25.jpg", bad}}, {"qv.jpg", "qv25.jpg"}, true);
  EXPECT_TRUE(same_text(r.out.substr(0, r.out.find("reading file qv25.jpg")),
                        banner() + "reading file qv.jpg:\nFilelen 262 Bytes\nfile size 262 bytes\n"
                                   "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                                   "Marker FFE2 at file offset 00000002: (APP2)\n"
                                   "  APP2 has len 256 and magic number 51564353 ('QVCS')\n" +
                            qv4000_output +
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
  Bytes all_words = qvcs("QV-4000");
  all_words[16 + 2 + 3] = 0x05;   // type 0x0305
  all_words[16 + 2 + 5] = 0x01;   // count high half 1
  all_words[16 + 2 + 7] = 0x02;   // count low half 2
  all_words[16 + 2 + 11] = 0x07;  // padding 7
  Bytes trailer = qvcs("QV-4000");
  trailer[246] = trailer[249] = 0x01;
  // A model of 14 letters: its terminator at 16, the table at 18.
  Bytes long_name = Bytes{0x00, 0x00}.text("QV-4000-EXTRAS").raw({0x00, 0x00});
  const std::string misaligned = "model-alignment for 14/16 byte not zeros\n"
                                 "      found Casio QVCS-IFD of size 234\n"
                                 "    found IFD with 19 tags at tiff-offset = ";
  const std::string specials = "QVCS: 1 specials detected\n";
  const Case cases[] = {
      {"unknown model, shown through the display filter", qvcs("QV\x1B[2J\x07"),
       parameter_line(19) + specials, "Camera 'QV.[2J.'\n"},
      {"QV-3500EX with 25", qvcs("QV-3500EX", 25), parameter_line(25)},
      {"count 20", qvcs("QV-4000", 20), parameter_line(20) + specials},
      {"four bad words", all_words, parameter_line(19) + "QVCS: 4 specials detected\n"},
      {"trailer", trailer, parameter_line(19) + "QVCS: 2 specials detected\n"},
      {"unused bytes", qvcs("QV-4000").raw({0xAA, 0xBB, 0xCC}),
       parameter_line(19) + "QVCS: 3 bytes unused data\n"},
      {"14-letter model", long_name.append(well_formed_table(19)),
       parameter_line(19) + "QVCS: 2 specials detected\n", misaligned + "00000012\n"},
      {"zero words of padding", qvcs_head("QV-4000").fill(4, 0x00).append(well_formed_table(19)),
       parameter_line(19) + specials, misaligned + "00000014\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QvcsRun r = run_qvcs(c.info);
    const std::size_t at = std::min(r.all.find("QVCS: "), r.all.size());
    EXPECT_TRUE(same_text(r.all.substr(at), c.tail));
    EXPECT_NE(r.all.substr(0, at).find(c.before), std::string::npos) << c.before;
    EXPECT_EQ(r.cursor, c.info.size());
  }
}

// The dump shows at most 512 bytes.  The declared end may lie before the
// info start or past the window, and the model may have no terminator:
// nothing is read outside the window, and the decode ends.
TEST(Qvcs, PayloadDumpIsBoundedAndADeclaredEndNeverLeadsPastTheWindow) {
  QvcsRun r = run_qvcs(qvcs("QV-4000").fill(350, 0x00));
  std::string dump = r.all.substr(r.all.find('\n') + 1);
  dump = dump.substr(0, dump.find('\n'));
  EXPECT_EQ(dump.size(), 512u * 2 + 256 + 3);
  EXPECT_EQ(dump.substr(dump.size() - 8), "0000 ...");
  EXPECT_NE(r.all.find("QVCS: 350 bytes unused data\n"), std::string::npos);

  const Bytes info = qvcs("QV-4000");
  {  // A length field below 6: the end lies before the info start.
    ByteRegion shifted(info.data(), 4, info.size());
    CapturedOutput captured;
    WalkContext walk{text_printer()};
    scan_qvcs_info(shifted, 2, walk);
    EXPECT_TRUE(same_text(captured.all(), "    qvcs data of len -2\n...\nno data in qvcs info\n"));
  }

  r = run_qvcs(info, 1000, 100);  // the window stops inside the table
  EXPECT_TRUE(same_text(r.all.substr(0, r.all.find("Camera")),
                        "    qvcs data of len 1000\n" +
                            qv4000_head_dump + "0013 " +
                            records(19, Form::dump_words).substr(0, 5 * 41) + "...\n"));
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
