// The pieces of the carving report that need no run: the SHA-256 digests
// against the published test vectors, the spool form of a file record, the
// XML form of names that are not XML text, and the command line as the
// report shows it.
#include <gtest/gtest.h>

#include <string>

#include "shell/carving_report.h"
#include "shell/report_record.h"
#include "shell/xml_text.h"

namespace segsniff::test {
namespace {

std::string digest_of(std::initializer_list<std::string> pieces) {
  platform::Sha256 sha;
  sha.restart();
  for (const std::string& piece : pieces)
    sha.add({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()});
  const platform::Sha256Digest d = sha.finish();
  return hex_text({reinterpret_cast<const char*>(d.data()), d.size()});
}

// FIPS 180-2 appendix B; a digest does not depend on how its bytes were cut.
TEST(ReportSha256, GivesThePublishedDigestsInAnyPieces) {
  if (!carving_report_available()) GTEST_SKIP() << "built without the carving report's SHA-256";
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const std::string long_message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string long_digest = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
  EXPECT_EQ(digest_of({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest_of({"abc"}), abc);
  EXPECT_EQ(digest_of({"a", "", "bc"}), abc);
  EXPECT_EQ(digest_of({long_message}), long_digest);
  EXPECT_EQ(digest_of({long_message.substr(0, 13), long_message.substr(13)}), long_digest);
  EXPECT_EQ(digest_of({std::string(1000000, 'a')}),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The library is set up at the first digest, not when the object is made;
// a digest starts as well without restart(), and after each finish().
TEST(ReportSha256, DigestsOneAfterAnotherWithoutRestart) {
  if (!carving_report_available()) GTEST_SKIP() << "built without libcrypto";
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const std::string empty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
  const auto text = [](const platform::Sha256Digest& d) {
    return hex_text({reinterpret_cast<const char*>(d.data()), d.size()});
  };
  const std::uint8_t bytes[] = {'a', 'b', 'c'};
  platform::Sha256 sha;
  sha.add(bytes);
  EXPECT_EQ(text(sha.finish()), abc);
  EXPECT_EQ(text(sha.finish()), empty);
  sha.add({bytes, 1});
  sha.restart();  // forgets the "a"
  sha.add(bytes);
  EXPECT_EQ(text(sha.finish()), abc);
  platform::Sha256 unused;  // made and dropped without a digest
}

TEST(ReportRecord, EveryFieldComesBackFromTheSpool) {
  FileRecord bare;
  bare.name = "segsniff_recover_001.jpg";
  FileRecord full;
  full.name = std::string("out/\xff<&>\0x", 10);
  full.number = 1234;
  full.input = 3;
  full.runs = {{0x100000000ull, 4096}, {5, 7}, {~std::uint64_t{0} - 1, 1}};
  full.create_error = 0;
  full.written = 4100;
  full.write_error = 28;
  full.digest = platform::Sha256Digest{0xFF, 1, 2};
  full.frame = RecordFrame{0xFFC2, 12, 65535, 1, 255};
  full.exif = true;
  full.decode = {DecodeClass::warnings, "Corrupt JPEG data: premature end of data segment"};
  full.host = RecordHost{7, "segsniff_recover_007.jpg"};
  FileRecord failed = bare;
  failed.create_error = 13;
  failed.decode = {DecodeClass::unavailable, "decoding is not available in this build"};
  for (const FileRecord* record : {&bare, &full, &failed}) {
    std::vector<std::uint8_t> spool{0xAA};  // a record follows whatever is there
    encode_record(*record, spool);
    const std::span<const std::uint8_t> form(spool.data() + 1, spool.size() - 1);
    EXPECT_EQ(encoded_record_size(form.first<4>()), form.size());
    FileRecord back;
    ASSERT_TRUE(decode_record(form, back)) << record->name;
    EXPECT_TRUE(back == *record) << record->name;
    // Cut anywhere, or with a byte too many, it is no record.
    for (std::size_t cut = 0; cut < form.size(); ++cut)
      EXPECT_FALSE(decode_record(form.first(cut), back)) << "cut at " << cut;
    std::vector<std::uint8_t> longer(form.begin(), form.end());
    longer.push_back(0);
    longer[0] += 1;
    EXPECT_FALSE(decode_record(longer, back));
  }
}

TEST(ReportXmlText, KeepsXmlCharactersAndReplacesEveryOtherByte) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    const char* name;
    std::string in;
    std::string out;
    bool replaced;
  } cases[] = {
      {"ascii, markup left to the writer", "a<b>&'\"c.img", "a<b>&'\"c.img", false},
      {"tab, line feed, carriage return", "a\tb\nc\rd", "a\tb\nc\rd", false},
      {"two, three and four byte forms", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7", false},
      {"C1 control and DEL are XML characters", "\xC2\x85\x7F", "\xC2\x85\x7F", false},
      {"C0 controls and NUL", std::string("a\x01" "b\0c", 5), "a" + fffd + "b" + fffd + "c", true},
      {"a byte that starts nothing", "a\xFF" "b\x80", "a" + fffd + "b" + fffd, true},
      {"cut off sequence at the end", "a\xE2\x82", "a" + fffd + fffd, true},
      {"overlong form of '/'", "\xC0\xAF", fffd + fffd, true},
      {"surrogate", "\xED\xA0\x80", fffd + fffd + fffd, true},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd, true},
      {"U+FFFE is no XML character", "\xEF\xBF\xBE", fffd, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const XmlText text = xml_text(c.in);
    EXPECT_EQ(text.text, c.out);
    EXPECT_EQ(text.replaced, c.replaced);
  }
  EXPECT_EQ(hex_text(std::string("\x00\xff a", 4)), "00ff2061");
}

TEST(ReportCommandLine, QuotesTheArgumentsAShellWouldSplit) {
  const char* argv[] = {"./segsniff", "-report", "r.xml", "", "two words", "it's", "a\"b",
                        "-Recover", "/mnt/card_1/x=y+z,@%:.img", "\xC3\xA9"};
  EXPECT_EQ(command_line_text(10, argv),
            "./segsniff -report r.xml '' 'two words' 'it'\\''s' 'a\"b' -Recover "
            "/mnt/card_1/x=y+z,@%:.img '\xC3\xA9'");
}

}  // namespace
}  // namespace segsniff::test
