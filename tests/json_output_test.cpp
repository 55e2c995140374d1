// -json: the documents of every camera file and every hostile shape match
// the schema, dumped and carved; a few are checked field by field; standard
// output holds documents only, the text forms print what they always have;
// findings sit in the node they concern; text that is no UTF-8 stays
// lossless.
#include <gtest/gtest.h>

#include <rapidjson/pointer.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jpeg/decode_check.h"
#include "support/golden.h"
#include "support/hostile_shapes.h"
#include "support/json_lines.h"
#include "support/system_texts.h"

namespace segsniff::test {
namespace {

const rapidjson::Value* at(const rapidjson::Value& document, const char* pointer) {
  return rapidjson::Pointer(pointer).Get(document);
}

// The entries named `name` (the dictionary's rows have names too).
std::vector<const rapidjson::Value*> entries_named(const rapidjson::Value& document,
                                                  const char* name) {
  return find_objects(document, [&](const rapidjson::Value& v) {
    return v.HasMember("tag") && v["name"].IsString() && std::string(v["name"].GetString()) == name;
  });
}

std::string name_of(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

Bytes exif_segment(const Bytes& tiff) {
  return Bytes{}.segment(0xFFE1, Bytes{}.text("Exif").raw({0, 0}).append(tiff));
}

Bytes jpeg_with(const Bytes& segments) {
  return Bytes{0xFF, 0xD8}.append(segments).be16(0xFFD9);
}

TEST(JsonOutput, EveryCameraFileAndHostileShapeMatchesTheSchemaDumpedAndCarved) {
  ScratchDir dir;
  std::vector<std::string> outputs;
  std::vector<std::string> inputs = corpus_files();
  // Carved small: the listing of stacked start markers is quadratic.
  for (const HostileShape& shape : hostile_shapes()) {
    for (const std::size_t size : {512, 4096}) {
      const std::string name = std::string(shape.name) + "-" + std::to_string(size) + ".jpg";
      dir.write(name, shape.make(size).str());
      inputs.push_back(dir.file(name));
    }
  }
  for (const std::string& input : inputs) {
    for (const bool carve : {false, true}) {
      if (carve && input.ends_with("-4096.jpg")) continue;
      ScratchDir run_dir;
      RunResult r = run_segsniff(run_dir, carve ? std::vector<std::string>{"-json", "-recover", input}
                                                : std::vector<std::string>{"-json", input});
      EXPECT_EQ(r.status, 0) << input;
      EXPECT_EQ(r.err, "") << input << ": nothing but failures to read goes to standard error";
      const std::string output = name_of(input) + (carve ? ".carved" : ".dumped") + ".json";
      dir.write(output, r.out);
      outputs.push_back(output);
      const std::vector<rapidjson::Document> documents = json_lines(r.out);
      if (!carve) {
        EXPECT_EQ(documents.size(), 1u) << input;
      }
      ASSERT_FALSE(documents.empty()) << input;
      EXPECT_STREQ(documents.back()["type"].GetString(), carve ? "carving" : "file");
    }
  }
  EXPECT_EQ(schema_report(dir, outputs), "");
}

// The values in full, as numbers, with names the text dictionary lacks.
TEST(JsonOutput, CanonExposureGpsVersionAndFrameFieldByField) {
  if (corpus_files().empty()) GTEST_SKIP() << "corpus folder " << SEGSNIFF_CORPUS_DIR << " is absent";
  ScratchDir dir;
  RunResult r = run_segsniff(dir, {"-json", corpus_dir() + "/Canon_40D.jpg"});
  const std::vector<rapidjson::Document> documents = json_lines(r.out);
  ASSERT_EQ(documents.size(), 1u);
  const rapidjson::Document& file = documents[0];
  EXPECT_EQ(at(file, "/size")->GetUint64(), 7958u);

  const auto exposure = entries_named(file, "ExposureTime");
  ASSERT_EQ(exposure.size(), 1u);
  EXPECT_STREQ((*exposure[0])["type"].GetString(), "rational");
  EXPECT_EQ((*exposure[0])["values"][0][0].GetUint(), 1u);
  EXPECT_EQ((*exposure[0])["values"][0][1].GetUint(), 160u);
  EXPECT_DOUBLE_EQ((*exposure[0])["decimals"][0].GetDouble(), 0.00625);
  EXPECT_STREQ((*exposure[0])["dictionary"][0]["name"].GetString(), "Exposure Time");

  const auto gps_version = entries_named(file, "GPSVersionID");
  ASSERT_EQ(gps_version.size(), 1u);
  EXPECT_EQ((*gps_version[0])["tag"].GetUint(), 0u);
  EXPECT_STREQ((*gps_version[0])["version"].GetString(), "2.2.0.0");
  EXPECT_FALSE(gps_version[0]->HasMember("dictionary")) << "not the dictionary's Illegal Tag";
  EXPECT_EQ(objects_with(file, "kind", "GPS").size(), 2u);  // its chain and its IFD

  EXPECT_STREQ((*entries_named(file, "ExifVersion")[0])["version"].GetString(), "2.21");
  EXPECT_STREQ((*entries_named(file, "Orientation")[0])["orientation"].GetString(),
               "top-left");
  EXPECT_STREQ((*entries_named(file, "Model")[0])["value"].GetString(), "Canon EOS 40D");

  const rapidjson::Value* sof = nullptr;  // the file's own, not its thumbnail's
  for (const auto& segment : file["walk"]["segments"].GetArray())
    if (std::string(segment["marker"].GetString()) == "FFC0") sof = &segment;
  ASSERT_NE(sof, nullptr);
  EXPECT_STREQ((*sof)["name"].GetString(), "SOF0");
  EXPECT_EQ((*sof)["length"].GetUint(), 17u);
  EXPECT_EQ((*sof)["frame"]["width"].GetUint(), 100u);
  EXPECT_EQ((*sof)["frame"]["height"].GetUint(), 68u);
  EXPECT_EQ((*sof)["frame"]["component_count"].GetUint(), 3u);
  const auto thumbnail = objects_with(file, "kind", "thumbnail");
  ASSERT_EQ(thumbnail.size(), 1u);
  EXPECT_TRUE((*thumbnail[0])["walk"]["segments"].IsArray());
}

// The comment segment: a finding with its text, offset and channel, inside
// the segment's node.
TEST(JsonOutput, AFindingSitsInItsSegmentWithOffsetAndChannel) {
  if (corpus_files().empty()) GTEST_SKIP() << "corpus folder " << SEGSNIFF_CORPUS_DIR << " is absent";
  ScratchDir dir;
  RunResult r = run_segsniff(dir, {"-json", corpus_dir() + "/Nikon_D70.jpg"});
  const std::vector<rapidjson::Document> documents = json_lines(r.out);
  ASSERT_EQ(documents.size(), 1u);
  const auto comment = objects_with(documents[0], "marker", "FFFE");
  ASSERT_EQ(comment.size(), 1u);
  const rapidjson::Value& segment = *comment[0];
  EXPECT_STREQ(segment["name"].GetString(), "COM");
  EXPECT_EQ(segment["offset"].GetUint64(), 0x8F8u);
  EXPECT_EQ(segment["length"].GetUint(), 23u);
  ASSERT_EQ(segment["findings"].Size(), 1u);
  EXPECT_STREQ(segment["findings"][0]["text"].GetString(), "illegal marker FFFE");
  EXPECT_EQ(segment["findings"][0]["offset"].GetUint64(), 0x8F8u);
  EXPECT_STREQ(segment["findings"][0]["channel"].GetString(), "err");
}

// The Maker Notes of the corpus, read by their makers' layouts.
TEST(JsonOutput, CameraMakerNotesAreWalkedByTheirLayouts) {
  if (corpus_files().empty()) GTEST_SKIP() << "corpus folder " << SEGSNIFF_CORPUS_DIR << " is absent";
  struct Case {
    const char* file;
    const char* maker;  // nullptr: no known layout
    const char* base;
    unsigned entries;
  };
  const Case cases[] = {
      {"DSCN0010.jpg", "Nikon", "own_tiff", 35},
      {"Nikon_COOLPIX_P1.jpg", "Nikon", "own_tiff", 30},
      {"Fujifilm_FinePix_E500.jpg", "Fujifilm", "note", 21},
      {"Panasonic_DMC-FZ30.jpg", "Panasonic", "exif_tiff", 30},
      {"Canon_PowerShot_S40.jpg", "Canon", "exif_tiff", 12},
      {"corrupted.jpg", "Olympus", "note", 7},
      {"Konica_Minolta_DiMAGE_Z3.jpg", nullptr, nullptr, 0},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    RunResult r = run_segsniff(dir, {"-json", corpus_dir() + "/" + c.file});
    const std::vector<rapidjson::Document> documents = json_lines(r.out);
    ASSERT_EQ(documents.size(), 1u) << c.file;
    const auto notes = objects_with(documents[0], "kind", "maker_note");
    ASSERT_EQ(notes.size(), 1u) << c.file;
    const rapidjson::Value& note = *notes[0];
    if (c.maker == nullptr) {
      EXPECT_TRUE(note["layout"].IsNull()) << c.file;
      EXPECT_FALSE(note.HasMember("ifd")) << c.file;
      continue;
    }
    EXPECT_STREQ(note["layout"]["maker"].GetString(), c.maker) << c.file;
    EXPECT_STREQ(note["layout"]["offset_base"].GetString(), c.base) << c.file;
    EXPECT_EQ(note["ifd"]["entry_count"].GetUint(), c.entries) << c.file;
    EXPECT_EQ(note["ifd"]["offset"].GetUint64(), note["layout"]["ifd_offset"].GetUint64());
    EXPECT_GT(note["ifd"]["entries"].Size(), 0u) << c.file;
  }
}

// Standard output: JSON Lines from the first byte when -json comes first;
// after text when it comes later.  A file that cannot be opened: its lines
// on standard error, its document on standard output, status 2.
TEST(JsonOutput, StandardOutputHoldsDocumentsOnlyAfterJson) {
  const Bytes jpeg = jpeg_with(Bytes{});
  {
    RunResult r = run_with_files({{"a.jpg", jpeg}}, {"-json", "a.jpg", "missing.jpg"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.substr(0, 1), "{");
    const std::vector<rapidjson::Document> documents = json_lines(r.out);
    ASSERT_EQ(documents.size(), 2u);
    EXPECT_STREQ(at(documents[1], "/failure/step")->GetString(), "open");
    EXPECT_EQ(at(documents[1], "/failure/errno")->GetInt(), 2);
    // The system's own words, as the message on standard error quotes them.
    const std::string message = at(documents[1], "/failure/message")->GetString();
    EXPECT_NE(file_not_found.find("('" + message), std::string::npos) << message;
    EXPECT_EQ(r.err,
              "Open file 'missing.jpg' for reading failed\n" + file_not_found);
  }
  {
    RunResult r = run_with_files({{"a.jpg", jpeg}}, {"a.jpg", "-JSON", "a.jpg"});
    EXPECT_EQ(r.status, 0);
    const std::string text = banner() + reading_lines("a.jpg", jpeg.size()) +
                             "Marker FFD8 at file offset 00000000: (SOI) Start of Image\n"
                             "Marker FFD9 at file offset 00000002: (EOI) End of Image\n";
    ASSERT_TRUE(r.out.starts_with(text));
    const std::vector<rapidjson::Document> documents = json_lines(r.out.substr(text.size()));
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(at(documents[0], "/walk/stopped_at")->GetUint64(), 4u);
  }
}

// One line per candidate, then the input's closing line with the counts.
TEST(JsonOutput, CarvingWritesALinePerCandidateAndAClosingLine) {
  const Bytes image = jpeg_with(Bytes{}.segment(0xFFDA, Bytes{}.u8(0)).raw({1, 2}));
  const Bytes card = Bytes{}.fill(100, 0).append(image).fill(50, 0).append(image).fill(10, 0);
  ScratchDir dir;
  dir.write("card.img", card.str());
  RunResult r = run_segsniff(dir, {"-json", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0);
  const std::vector<rapidjson::Document> documents = json_lines(r.out);
  ASSERT_EQ(documents.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_STREQ(documents[i]["type"].GetString(), "candidate");
    EXPECT_STREQ(documents[i]["file"].GetString(), "card.img");
    EXPECT_TRUE(at(documents[i], "/output/succeeded")->GetBool());
    EXPECT_EQ(at(documents[i], "/output/length")->GetUint64(), image.size());
  }
  EXPECT_EQ(documents[0]["offset"].GetUint64(), 100u);
  EXPECT_STREQ(at(documents[0], "/output/name")->GetString(), "segsniff_recover_001.jpg");
  EXPECT_EQ(at(documents[0], "/walk/trailing/length")->GetUint64(), card.size() - 100 - image.size());
  EXPECT_STREQ(documents[2]["type"].GetString(), "carving");
  EXPECT_EQ(documents[2]["candidates"].GetUint64(), 2u);
  EXPECT_EQ(documents[2]["files"].GetUint64(), 2u);
  EXPECT_EQ(documents[2]["bytes"].GetUint64(), 2 * image.size());
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), image.str());
}

// With -fragments: the block size in the closing line, and the thumbnails
// left out, each naming the photo whose header holds it.
TEST(JsonOutput, FragmentCarvingSaysTheBlockSizeAndWhatItLeavesOut) {
  if (!decode_check_available()) GTEST_SKIP() << "this build has no JPEG decoder";
  ScratchDir dir;
  std::ifstream in(SEGSNIFF_SAMPLE_JPEG, std::ios::binary);
  const std::string sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(sample.empty()) << SEGSNIFF_SAMPLE_JPEG << " was not built";
  dir.write("card.img", std::string(1000, '\0') + sample + std::string(500, '\0') + sample);
  RunResult r = run_segsniff(dir, {"-json", "-fragments", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0);
  const std::vector<rapidjson::Document> documents = json_lines(r.out);
  ASSERT_EQ(documents.size(), 5u);
  EXPECT_STREQ(at(documents[1], "/left_out/reason")->GetString(), "embedded");
  EXPECT_EQ(at(documents[1], "/left_out/host")->GetUint64(), 1000u);
  EXPECT_FALSE(documents[1].HasMember("output"));
  EXPECT_EQ(documents[4]["block_size"].GetUint64(), 4096u);
  EXPECT_FALSE(documents[4]["block_size_from_boot_sector"].GetBool());
  EXPECT_EQ(documents[4]["candidates"].GetUint64(), 4u);
  EXPECT_EQ(documents[4]["files"].GetUint64(), 2u);
}

// A Make that is not UTF-8 is given as Latin-1 with its bytes beside; a
// refused entry's complaint goes to its IFD, not to the entry before it.
TEST(JsonOutput, LatinTextIsLosslessAndRefusedEntriesComplainInTheirIfd) {
  const Bytes tiff = Bytes{}.text("II").le16(42).le32(8).le16(2)
                         .le16(0x010F).le16(2).le32(5).le32(8 + 2 + 24 + 4)
                         .le16(0x0110).le16(13).le32(1).le32(0)
                         .le32(0)
                         .text("Caf\xE9").u8(0);
  const Bytes file = jpeg_with(exif_segment(tiff));
  RunResult r = run_with_files({{"latin.jpg", file}}, {"-json", "latin.jpg"});
  const std::vector<rapidjson::Document> documents = json_lines(r.out);
  ASSERT_EQ(documents.size(), 1u);
  const auto make = entries_named(documents[0], "Make");
  ASSERT_EQ(make.size(), 1u);
  EXPECT_EQ(std::string((*make[0])["value"].GetString()), "Caf\xC3\xA9");
  EXPECT_STREQ((*make[0])["value_hex"].GetString(), "436166E9");
  EXPECT_FALSE(make[0]->HasMember("findings"));
  const auto ifd = objects_with(documents[0], "kind", "IFD0");
  ASSERT_EQ(ifd.size(), 1u);
  ASSERT_TRUE(ifd[0]->HasMember("findings"));
  EXPECT_STREQ((*ifd[0])["findings"][0]["text"].GetString(), "illegal data_type 13");
  // SOI, APP1 marker and length, "Exif" 00 00, IFD0 at 8, count, first entry.
  EXPECT_EQ((*ifd[0])["findings"][0]["offset"].GetUint64(), 2u + 4 + 6 + 8 + 2 + 12);
}

}  // namespace
}  // namespace segsniff::test
