// The segment fields the listing does not show, as a printer is told them:
// frame headers (also of the frame markers the walk calls illegal),
// Huffman tables, scan headers and quantization tables, whole and cut by
// their segment's end.  The listing itself is the golden tests' business.
#include <gtest/gtest.h>

#include <string>

#include "jpeg/scan_jpeg_markers.h"
#include "shell/forwarding_printer.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

// One line per record told.
class SegmentFields : public ForwardingPrinter {
 public:
  using ForwardingPrinter::ForwardingPrinter;
  std::string log;

  void frame(const FrameInfo& f) override {
    char line[96];
    std::snprintf(line, sizeof line, "frame %04X at %u: %u bits %ux%u, %u of %u:",
                  unsigned{f.marker}, unsigned(f.at), unsigned{f.precision}, unsigned{f.width},
                  unsigned{f.height}, unsigned{f.components_read}, unsigned{f.component_count});
    log += line;
    for (int i = 0; i < f.components_read; ++i) {
      const FrameComponentInfo& c = f.components[i];
      std::snprintf(line, sizeof line, " %u %ux%u q%u", unsigned{c.id}, unsigned{c.horizontal},
                    unsigned{c.vertical}, unsigned{c.table});
      log += line;
    }
    log += "\n";
    ForwardingPrinter::frame(f);
  }
  void huffman_table(const HuffmanTable& t) override {
    log += "huffman " + std::to_string(t.table_class) + "/" + std::to_string(t.id) + " at " +
           std::to_string(t.at) + ": " + std::to_string(t.symbol_count) + " symbols" +
           (t.complete ? "\n" : ", cut\n");
    ForwardingPrinter::huffman_table(t);
  }
  void scan_header(const ScanInfo& s) override {
    log += "scan " + std::to_string(s.components_read) + " of " +
           std::to_string(s.component_count) + ":";
    for (int i = 0; i < s.components_read; ++i)
      log += " " + std::to_string(s.components[i].id) + " " +
             std::to_string(s.components[i].dc_table) + "/" +
             std::to_string(s.components[i].ac_table);
    if (s.has_spectral)
      log += "; " + std::to_string(s.spectral_start) + "-" + std::to_string(s.spectral_end) +
             " " + std::to_string(s.approximation_high) + "/" +
             std::to_string(s.approximation_low);
    log += "\n";
    ForwardingPrinter::scan_header(s);
  }
  void quantization_table(const QuantizationTable& t) override {
    log += "quantization " + std::to_string(t.id) + " at " + std::to_string(t.at) + ": " +
           (t.precision == 0 ? "8" : "16") + " bits, " + std::to_string(t.length) + " bytes" +
           (t.complete ? "\n" : ", cut\n");
    ForwardingPrinter::quantization_table(t);
  }
};

std::string fields_of(const Bytes& after_soi) {
  const Bytes stream = Bytes{0xFF, 0xD8}.append(after_soi);
  ByteRegion region = ByteRegion::over(stream.data(), stream.size());
  SegmentFields fields(text_printer());
  WalkContext context(fields);
  CapturedOutput quiet;
  scan_jpeg_markers(region, context);
  return fields.log;
}

Bytes counts(std::initializer_list<std::uint8_t> first) {
  Bytes b(first);
  return b.fill(16 - first.size(), 0);
}

TEST(SegmentFields, FramesScansAndTablesAsTold) {
  const Bytes frame3 = Bytes{8}.be16(480).be16(640).u8(3).raw({1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
  struct Case {
    const char* name;
    Bytes after_soi;
    std::string want;
  };
  const Case cases[] = {
      {"baseline frame", Bytes{}.segment(0xFFC0, frame3).be16(0xFFD9),
       "frame FFC0 at 4: 8 bits 640x480, 3 of 3: 1 2x2 q0 2 1x1 q1 3 1x1 q1\n"},
      {"frame cut inside its second component",
       Bytes{}.segment(0xFFC0, Bytes{8}.be16(1).be16(2).u8(3).raw({1, 0x11, 0, 2})).be16(0xFFD9),
       "frame FFC0 at 4: 8 bits 2x1, 1 of 3: 1 1x1 q0\n"},
      {"frame without its fixed part", Bytes{}.segment(0xFFC0, Bytes{8, 0, 1}).be16(0xFFD9), ""},
      {"progressive and lossless frames are illegal markers, told all the same",
       Bytes{}.segment(0xFFC2, Bytes{8}.be16(2).be16(3).u8(1).raw({1, 0x11, 0}))
           .segment(0xFFC3, Bytes{12}.be16(4).be16(5).u8(0))
           .segment(0xFFC4, Bytes{}).be16(0xFFD9),
       "frame FFC2 at 4: 8 bits 3x2, 1 of 1: 1 1x1 q0\n"
       "frame FFC3 at 17: 12 bits 5x4, 0 of 0:\n"},
      {"two Huffman tables, then one cut",
       Bytes{}.segment(0xFFC4, Bytes{0x00}.append(counts({0, 1, 2})).raw({1, 2, 3})
                                   .u8(0x11).append(counts({1})).u8(0x42))
           .segment(0xFFC4, Bytes{0x01}.append(counts({0, 0, 10})).raw({1, 2, 3, 4}))
           .be16(0xFFD9),
       "huffman 0/0 at 6: 3 symbols\nhuffman 1/1 at 26: 1 symbols\n"
       "huffman 0/1 at 48: 10 symbols, cut\n"},
      {"scan header",
       Bytes{}.segment(0xFFDA, Bytes{3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0x10})
           .raw({0x55, 0xFF, 0xD9}),
       "scan 3 of 3: 1 0/0 2 1/1 3 1/1; 0-63 1/0\n"},
      {"scan header cut before its spectral bytes",
       Bytes{}.segment(0xFFDA, Bytes{1, 1, 0x00}).raw({0xFF, 0xD9}), "scan 1 of 1: 1 0/0\n"},
      {"quantization tables of both precisions, then one cut",
       Bytes{}.segment(0xFFDB, Bytes{0x00}.fill(64, 1).u8(0x11).fill(128, 2))
           .segment(0xFFDB, Bytes{0x02}.fill(10, 1))
           .be16(0xFFD9),
       "quantization 0 at 6: 8 bits, 65 bytes\nquantization 1 at 71: 16 bits, 129 bytes\n"
       "quantization 2 at 204: 8 bits, 65 bytes, cut\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(same_text(fields_of(c.after_soi), c.want));
  }
}

}  // namespace
}  // namespace segsniff::test
