// The carving report ("-report <file>"): what it says about each carved
// file -- where its bytes lie, their digest, the photo it lies in, its
// frame, its Exif block, whether it decodes -- and about names that XML
// cannot hold as they are.  Every report written is checked against the
// DFXML schema.
#include <gtest/gtest.h>

#include "jpeg_writer.h"
#include "sample_jpeg.h"
#include "shell/report_printer.h"
#include "shell/xml_text.h"
#include "support/golden.h"
#include "support/report_check.h"

namespace segsniff::test {
namespace {

std::string text_of(const sample::ByteVector& bytes) { return {bytes.begin(), bytes.end()}; }

std::string decode_of(const std::string& stream) {
  const ByteRegion region =
      ByteRegion::over(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
  return decode_line(decode_check(region, 0, stream.size()));
}

// What a stream that decodes cleanly gets (in a build without a decoder,
// what every stream gets).
std::string clean_line() {
  if (!decode_check_available())
    return decode_line({DecodeClass::unavailable, "decoding is not available in this build"});
  return decode_line({DecodeClass::clean, ""});
}

// A build without the report (segsniff.exe, say) says so at each -report,
// carves nothing while one is asked for, and fails the run.
TEST(CarvingReport, ABuildWithoutItSaysSoAndCarvesNothing) {
  if (carving_report_available()) GTEST_SKIP() << "this build writes reports: the other tests";
  const std::string card = std::string(100, '\0') + text_of(sample::make_sample_jpeg());
  const RunResult r = run_with_files({{"card.img", card}},
                                     {"-report", "r.xml", "-recover", "card.img"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(same_text(r.err,
                        "-report is not available: this build has no XML writer or SHA-256\n"
                        "Will not carve 'card.img': the report 'r.xml' could not be made\n"));
  EXPECT_EQ(r.out.find("restore "), std::string::npos) << r.out;
}

// A photo with its thumbnail, between zero bytes: two files, the second
// inside the first, each with its own frame.
TEST(CarvingReport, NamesThePhotoAroundItsThumbnail) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
  ScratchDir dir;
  const std::string photo = text_of(sample::make_sample_jpeg());
  ASSERT_EQ(photo.size(), 2241u);
  const std::string thumbnail = photo.substr(650, 643);
  ASSERT_EQ(thumbnail, text_of(sample::make_sample_thumbnail()));
  dir.write("card.img", std::string(1000, '\0') + photo + std::string(500, '\0'));
  const RunResult r = run_segsniff(dir, {"-report", "report.xml", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(same_text(lines_holding(r.out, "-report"), "Option -report found (file 'report.xml')\n"));
  EXPECT_TRUE(same_text(
      dir.read("report.xml"),
      report_head("-report report.xml -recover card.img") +
          "  <source>\n"
          "    <image_filename segsniff:input=\"1\" segsniff:size=\"3741\">card.img</image_filename>\n"
          "  </source>\n"
          "  <fileobject>\n"
          "    <filename>segsniff_recover_001.jpg</filename>\n"
          "    <filesize>2241</filesize>\n"
          "    <byte_runs segsniff:input=\"1\">\n"
          "      <byte_run file_offset=\"0\" img_offset=\"1000\" len=\"2241\"/>\n"
          "    </byte_runs>\n"
          "    <hashdigest type=\"sha256\">" + sha256_hex(photo) + "</hashdigest>\n"
          "    <segsniff:number>1</segsniff:number>\n"
          "    <segsniff:frame marker=\"FFC0\" precision=\"8\" width=\"64\" height=\"48\" components=\"3\"/>\n"
          "    <segsniff:exif>1</segsniff:exif>\n" +
          clean_line() +
          "  </fileobject>\n"
          "  <fileobject>\n"
          "    <filename>segsniff_recover_002.jpg</filename>\n"
          "    <filesize>643</filesize>\n"
          "    <byte_runs segsniff:input=\"1\">\n"
          "      <byte_run file_offset=\"0\" img_offset=\"1650\" len=\"643\"/>\n"
          "    </byte_runs>\n"
          "    <hashdigest type=\"sha256\">" + sha256_hex(thumbnail) + "</hashdigest>\n"
          "    <segsniff:number>2</segsniff:number>\n"
          "    <segsniff:host number=\"1\">segsniff_recover_001.jpg</segsniff:host>\n"
          "    <segsniff:frame marker=\"FFC0\" precision=\"8\" width=\"16\" height=\"12\" components=\"3\"/>\n"
          "    <segsniff:exif>0</segsniff:exif>\n" +
          clean_line() +
          "  </fileobject>\n"
          "  <segsniff:counts candidates=\"2\" files=\"2\" bytes=\"2884\" failures=\"0\" "
          "decoded_cleanly=\"" + (decode_check_available() ? "2" : "0") + "\"/>\n"
          "</dfxml>\n"));
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), thumbnail);
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  EXPECT_TRUE(valid_dfxml(dir.file("report.xml")));
}

// The report does not depend on the form of the listing.
TEST(CarvingReport, IsTheSameWithTheJsonListing) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
  ScratchDir text, json;
  const std::string card = std::string(1000, '\0') + text_of(sample::make_sample_jpeg());
  text.write("card.img", card);
  json.write("card.img", card);
  ASSERT_EQ(run_segsniff(text, {"-report", "r.xml", "-recover", "card.img"}).status, 0);
  const RunResult r = run_segsniff(json, {"-json", "-report", "r.xml", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Option -report"), std::string::npos) << "no announcement among the JSON lines";
  std::string from_json = json.read("r.xml");
  const std::size_t at = from_json.find(" -json -report ");
  ASSERT_NE(at, std::string::npos);
  from_json.erase(at, 6);
  EXPECT_TRUE(same_text(from_json, text.read("r.xml")));
}

// Pseudo-random bytes without FF D8 or FF D9 pairs; with `no_markers`
// without FF bytes at all (data a decoder reads as damaged scan data).
std::string random_bytes(std::size_t n, bool no_markers = false) {
  std::string bytes;
  std::uint32_t x = 2024;
  for (std::size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    auto b = static_cast<char>(x >> 16);
    if (!bytes.empty() && bytes.back() == '\xFF' && (b == '\xD8' || b == '\xD9')) b = 0;
    if (no_markers && b == '\xFF') b = 0;
    bytes += b;
  }
  return bytes;
}

// A photo cut inside its scan data and followed by other data runs on to
// the next FF D9: it decodes with warnings.  A whole photo decodes cleanly.
// Random data that happens to walk from FF D8 through a scan header to FF
// D9 is written, and is not decodable.  A stream cut off with no FF D9
// after it is a candidate and no file.
TEST(CarvingReport, TellsWhetherEachStreamDecodes) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
  ScratchDir dir;
  const std::string plain = text_of(sample::encode_baseline_jpeg(sample::make_test_pattern(64, 48)));
  const std::string cut = plain.substr(0, plain.size() - plain.size() / 4);
  const std::string damaged = cut + random_bytes(600, /*no_markers=*/true) + "\xFF\xD9";
  const std::string random = Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x0C}.str() + random_bytes(4000) + "\xFF\xD9";
  dir.write("card.img", damaged + plain + random + cut);
  const RunResult r = run_segsniff(dir, {"-report", "report.xml", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string report = dir.read("report.xml");
  std::string decodes;
  if (decode_check_available())
    decodes = "    <segsniff:decode result=\"warnings\">Corrupt JPEG data: 84 extraneous bytes before marker 0xd9</segsniff:decode>\n" +
              clean_line() + decode_of(random);
  else
    decodes = clean_line() + clean_line() + clean_line();
  EXPECT_TRUE(same_text(lines_holding(report, "<segsniff:decode"), decodes));
  if (decode_check_available()) {
    EXPECT_NE(decode_of(random).find("not_decodable"), std::string::npos) << decode_of(random);
  }
  EXPECT_TRUE(same_text(lines_holding(report, "byte_run "),
                        "      <byte_run file_offset=\"0\" img_offset=\"0\" len=\"" +
                            std::to_string(damaged.size()) + "\"/>\n"
                            "      <byte_run file_offset=\"0\" img_offset=\"" + std::to_string(damaged.size()) +
                            "\" len=\"" + std::to_string(plain.size()) + "\"/>\n"
                            "      <byte_run file_offset=\"0\" img_offset=\"" +
                            std::to_string(damaged.size() + plain.size()) + "\" len=\"" +
                            std::to_string(random.size()) + "\"/>\n"));
  EXPECT_TRUE(same_text(lines_holding(report, "<segsniff:frame"),
                        "    <segsniff:frame marker=\"FFC0\" precision=\"8\" width=\"64\" height=\"48\" components=\"3\"/>\n"
                        "    <segsniff:frame marker=\"FFC0\" precision=\"8\" width=\"64\" height=\"48\" components=\"3\"/>\n"));
  EXPECT_TRUE(same_text(lines_holding(report, "<segsniff:counts"),
                        "  <segsniff:counts candidates=\"4\" files=\"3\" bytes=\"" +
                            std::to_string(damaged.size() + plain.size() + random.size()) +
                            "\" failures=\"0\" decoded_cleanly=\"" +
                            (decode_check_available() ? "1" : "0") + "\"/>\n"));
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  EXPECT_TRUE(valid_dfxml(dir.file("report.xml")));
}

// Markup characters are escaped by the writer; bytes that are no UTF-8
// (or characters XML does not allow) show as U+FFFD, and the exact bytes
// follow in segsniff:hex -- in the inputs, the files, the command line.
TEST(CarvingReport, KeepsEveryNameWellFormed) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
  ScratchDir dir;
  const std::string photo = Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).raw({1, 2, 3}).be16(0xFFD9).str();
  const std::string odd = "\xFF\x01.img";
  dir.write("a<b>&\"c'.img", photo);
  dir.write(odd, photo);
  const RunResult r = run_segsniff(dir, {"-outdir", "out<&>", "-report", "r&.xml", "-recover",
                                         "a<b>&\"c'.img", odd});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string report = dir.read("r&.xml");
  const std::string fffd = "\xEF\xBF\xBD";
  const std::string command_line = SEGSNIFF_BINARY " -outdir 'out<&>' -report 'r&.xml' -recover "
                                   "'a<b>&\"c'\\''.img' '" + odd + "'";
  EXPECT_TRUE(same_text(lines_holding(report, "<command_line"),
                        "      <command_line segsniff:hex=\"" + hex_text(command_line) + "\">" SEGSNIFF_BINARY
                        " -outdir 'out&lt;&amp;&gt;' -report 'r&amp;.xml' -recover "
                        "'a&lt;b&gt;&amp;&quot;c'\\''.img' '" + fffd + fffd + ".img'</command_line>\n"));
  EXPECT_TRUE(same_text(
      lines_holding(report, "<image_filename"),
      "    <image_filename segsniff:input=\"1\" segsniff:size=\"11\">a&lt;b&gt;&amp;&quot;c'.img</image_filename>\n"
      "    <image_filename segsniff:input=\"2\" segsniff:size=\"11\" segsniff:hex=\"ff012e696d67\">" +
          fffd + fffd + ".img</image_filename>\n"));
  EXPECT_TRUE(same_text(lines_holding(report, "<filename"),
                        "    <filename>out&lt;&amp;&gt;/segsniff_recover_001.jpg</filename>\n"
                        "    <filename>out&lt;&amp;&gt;/segsniff_recover_002.jpg</filename>\n"));
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  EXPECT_TRUE(valid_dfxml(dir.file("r&.xml")));
}

// The records of 500 files (some 90 KiB: more than one read of the spool)
// come back whole and in order.
TEST(CarvingReport, ListsEveryFileInTheOrderOfTheListing) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
  ScratchDir dir;
  std::string card;
  for (int i = 0; i < 500; ++i)
    card += Bytes{0xFF, 0xD8}.be16(0xFFDA).be16(2).u8(static_cast<std::uint8_t>(i)).be16(0xFFD9).str();
  dir.write("card.img", card);
  const RunResult r = run_segsniff(dir, {"-report", "report.xml", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string want;
  for (int i = 1; i <= 500; ++i) want += "<segsniff:number>" + std::to_string(i) + "</segsniff:number>\n";
  EXPECT_TRUE(same_text(kept_lines(dir.read("report.xml"), {"<segsniff:number"}), want));
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  EXPECT_TRUE(valid_dfxml(dir.file("report.xml")));
}

// The host of a file is the latest file still open whose byte runs hold
// all of its runs; a file stops being open once the carving has passed its
// end, and at most ReportPrinter::max_open_hosts are kept.
TEST(CarvingReport, TheHostIsTheLatestFileStillOpenAroundAFile) {
  if (const std::string why = report_unavailable(); !why.empty()) GTEST_SKIP() << why;
  ScratchDir dir;
  const std::vector<std::uint8_t> input(8000, 0);
  CarvingReport report;
  {
    CapturedOutput captured;
    ASSERT_TRUE(report.open(dir.file("r.xml"), "test"));
  }
  ReportPrinter printer(text_printer(), report);
  std::int64_t number = 0;
  std::vector<std::string> names;
  names.reserve(64);
  const auto carve = [&](ByteRuns runs) {
    printer.carving_candidate(runs.front().offset);
    names.push_back("f" + std::to_string(++number));
    CarvedOutput output;
    output.name = names.back();
    output.number = number;
    output.runs = runs;
    output.input = ByteRegion::over(input.data(), input.size());
    output.length = output.written = total_length(runs);
    printer.carved_output(output);
  };
  {
    CapturedOutput captured;
    printer.next_input_carved(true);
    printer.file_begin("card.img");
    carve({{0, 1000}});                 // 1
    carve({{100, 50}});                 // 2 in 1
    carve({{120, 10}});                 // 3 in 2, the latest around it
    carve({{200, 900}});                // 4 runs past the end of 1: none
    carve({{300, 10}});                 // 5 in 4 (and in 1)
    carve({{2000, 100}, {5000, 100}});  // 6 in pieces: none (1 and 4 are passed)
    carve({{5050, 10}});                // 7 in the second piece of 6
    carve({{5200, 10}});                // 8: 6 is passed
    for (Offset k = 0; k <= ReportPrinter::max_open_hosts; ++k)
      carve({{6000 + k, 1000 - 2 * k}});  // 9 .. 25, each in the one before
    carve({{6000, 1}});                 // 26 in 9 only, which was dropped
    printer.file_end();
    EXPECT_TRUE(report.close());
  }
  // Each file's number line, and its host line if it has one.
  const std::string have = kept_lines(dir.read("r.xml"), {"<segsniff:number", "<segsniff:host"});
  std::string want;
  const auto host_of = [](int file) -> int {
    if (file == 2 || file == 3 || file == 5 || file == 7) return file == 5 ? 4 : file - 1;
    return file >= 10 && file <= 25 ? file - 1 : 0;
  };
  for (int file = 1; file <= 26; ++file) {
    want += "<segsniff:number>" + std::to_string(file) + "</segsniff:number>\n";
    if (const int host = host_of(file))
      want += "<segsniff:host number=\"" + std::to_string(host) + "\">f" + std::to_string(host) +
              "</segsniff:host>\n";
  }
  EXPECT_TRUE(same_text(have, want));
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  EXPECT_TRUE(valid_dfxml(dir.file("r.xml")));
}

}  // namespace
}  // namespace segsniff::test
