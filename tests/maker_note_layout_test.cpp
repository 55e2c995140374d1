// Maker Notes read by their makers' layouts (the JSON printer asks for it):
// one note of each known header, whose directory holds one rational whose
// data lies at an offset from the layout's base, in the layout's byte
// order.  Reading the rational back as 3/4 proves header, directory
// position, byte order and base together.  The text listing still dumps
// the note as a directory at the value's position.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <string>

#include "jpeg/scan_file.h"
#include "shell/json_printer.h"
#include "support/golden.h"
#include "support/json_lines.h"

namespace segsniff::test {
namespace {

enum class Base { exif_tiff, note, own_tiff };

struct LayoutCase {
  const char* what;
  std::string header;       // bytes in front of the directory
  std::uint32_t own_tiff;   // for own_tiff: where that header starts in the note
  Base base;
  bool note_intel;          // the directory's byte order
  bool exif_intel;          // the Exif block's
  const char* make;         // "" for none
  const char* maker;        // expected; nullptr: no known layout
};

// Exif structure: IFD0 at 8 with Make (when given) and MakerNote, the Make's
// text, then the note: header, directory of one rational, its data.
Bytes file_with_note(const LayoutCase& c) {
  const bool ii = c.exif_intel;
  const std::string make = c.make;
  const std::uint16_t entries = make.empty() ? 1 : 2;
  const std::uint32_t make_at = 8 + 2 + 12u * entries + 4;
  const std::uint32_t make_size = static_cast<std::uint32_t>(make.size() + 1);
  const std::uint32_t note_at = make_at + (make.empty() ? 0 : make_size);

  const std::uint32_t directory = static_cast<std::uint32_t>(c.header.size());
  const std::uint32_t data = directory + 2 + 12 + 4;  // from the note's start
  std::uint32_t value = data;
  if (c.base == Base::exif_tiff) value = note_at + data;
  if (c.base == Base::own_tiff) value = data - c.own_tiff;
  const bool ni = c.note_intel;
  Bytes note = Bytes{}.text(c.header);
  note.u16(ni, 1).u16(ni, 0x0002).u16(ni, 5).u32(ni, 1).u32(ni, value).u32(ni, 0);
  note.u32(ni, 3).u32(ni, 4);

  Bytes tiff = Bytes{}.text(ii ? "II" : "MM").u16(ii, 42).u32(ii, 8).u16(ii, entries);
  if (!make.empty()) tiff.u16(ii, 0x010F).u16(ii, 2).u32(ii, make_size).u32(ii, make_at);
  tiff.u16(ii, 0x927C).u16(ii, 7).u32(ii, static_cast<std::uint32_t>(note.size())).u32(ii, note_at);
  tiff.u32(ii, 0);
  if (!make.empty()) tiff.text(make).u8(0);
  tiff.append(note);
  return Bytes{0xFF, 0xD8}
      .segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff))
      .be16(0xFFD9);
}

std::string json_of(const Bytes& file) {
  CapturedOutput captured;
  JsonPrinter printer;
  CarvingRun run;
  printer.file_begin("note.jpg");
  analyse_mapped_bytes({file.data(), file.size()}, false, run, printer);
  printer.file_end();
  return captured.out();
}

using namespace std::string_literals;

TEST(MakerNoteLayout, EachKnownHeaderLeadsToItsDirectory) {
  const LayoutCase cases[] = {
      {"Nikon type 3, own TIFF header", "Nikon\0\2\x10\0\0MM\0\x2A\0\0\0\x08"s, 10, Base::own_tiff, false, true, "", "Nikon"},
      {"Nikon type 3 (2.00)", "Nikon\0\2\0\0\0II\x2A\0\x08\0\0\0"s, 10, Base::own_tiff, true, false, "", "Nikon"},
      {"Olympus, offsets from the note", "OLYMPUS\0MM\3\0"s, 0, Base::note, false, true, "", "Olympus"},
      {"Olympus, Exif offsets", "OLYMP\0\1\0"s, 0, Base::exif_tiff, true, true, "", "Olympus"},
      {"Fujifilm, always little-endian", "FUJIFILM\x0C\0\0\0"s, 0, Base::note, true, false, "", "Fujifilm"},
      {"Panasonic", "Panasonic\0\0\0"s, 0, Base::exif_tiff, false, false, "", "Panasonic"},
      {"Sony DSC", "SONY DSC \0\0\0"s, 0, Base::exif_tiff, true, true, "", "Sony"},
      {"Sony CAM", "SONY CAM \0\0\0"s, 0, Base::exif_tiff, true, true, "", "Sony"},
      {"Pentax, its own order mark", "AOC\0MM"s, 0, Base::exif_tiff, false, true, "", "Pentax"},
      {"Canon, a bare directory known by the Make", ""s, 0, Base::exif_tiff, true, true, "Canon", "Canon"},
      {"a bare directory of another make", ""s, 0, Base::exif_tiff, true, true, "Other", nullptr},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<rapidjson::Document> documents = json_lines(json_of(file_with_note(c)));
    ASSERT_EQ(documents.size(), 1u);
    const auto notes = objects_with(documents[0], "kind", "maker_note");
    ASSERT_EQ(notes.size(), 1u);
    const rapidjson::Value& note = *notes[0];
    if (c.maker == nullptr) {
      EXPECT_TRUE(note["layout"].IsNull());
      EXPECT_FALSE(note.HasMember("ifd"));
      continue;
    }
    EXPECT_STREQ(note["layout"]["maker"].GetString(), c.maker);
    EXPECT_STREQ(note["layout"]["byte_order"].GetString(), c.note_intel ? "II" : "MM");
    ASSERT_TRUE(note.HasMember("ifd"));
    EXPECT_FALSE(note["ifd"].HasMember("findings"));
    ASSERT_EQ(note["ifd"]["entries"].Size(), 1u);
    const rapidjson::Value& entry = note["ifd"]["entries"][0];
    EXPECT_TRUE(entry["name"].IsNull()) << "a maker's tags have no names here";
    EXPECT_EQ(entry["values"][0][0].GetUint(), 3u);
    EXPECT_EQ(entry["values"][0][1].GetUint(), 4u);
  }
}

// A note whose offsets count from its own start and whose directory holds
// a Maker Note entry that is the note itself: every level is read with a
// record of walked directories of its own, yet the walk ends: the nesting
// depth goes on counting across the levels, and the entries are taken from
// the image's allowance.
TEST(MakerNoteLayout, ANoteThatHoldsItselfEndsAtTheNestingLimit) {
  const std::string header = "OLYMPUS\0II\3\0"s;
  const std::uint32_t note_at = 8 + 2 + 12 + 4;
  const std::uint32_t note_size = static_cast<std::uint32_t>(header.size()) + 2 + 12 + 4;
  Bytes note = Bytes{}.text(header);
  note.le16(1).le16(0x927C).le16(7).le32(note_size).le32(0).le32(0);
  const Bytes tiff = Bytes{}.text("II").le16(42).le32(8).le16(1)
                         .le16(0x927C).le16(7).le32(note_size).le32(note_at)
                         .le32(0).append(note);
  const Bytes file = Bytes{0xFF, 0xD8}
                         .segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff))
                         .be16(0xFFD9);
  const std::vector<rapidjson::Document> documents = json_lines(json_of(file));
  ASSERT_EQ(documents.size(), 1u);
  const auto notes = objects_with(documents[0], "kind", "maker_note");
  EXPECT_GT(notes.size(), 2u);
  EXPECT_LE(notes.size(), 33u);
  // Which limit comes first depends on the segment's size: here the
  // entries the image may dump.
  const auto limits = find_objects(documents[0], [](const rapidjson::Value& v) {
    if (!v.HasMember("text")) return false;
    const std::string text = v["text"].GetString();
    return text.ends_with("dump stopped") || text.find("nested more than") != std::string::npos;
  });
  EXPECT_EQ(limits.size(), 1u);
}

}  // namespace
}  // namespace segsniff::test
