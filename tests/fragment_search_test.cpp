// Carving with -fragments: photos whose blocks lie apart on a card image are
// put back together from the right blocks, or not written at all.  The
// cards are built here block by block from the sample writer's pictures.
#include <gtest/gtest.h>

#include <map>

#include "jpeg/decode_check.h"
#include "jpeg/photo_reassembly.h"
#include "shell/carving_report.h"
#include "support/fragment_card.h"
#include "support/golden.h"
#include "support/json_lines.h"
#include "support/report_check.h"

namespace segsniff::test {
namespace {

constexpr std::uint64_t block = card_block;

// The planned photos that are not embedded streams, by SOI.
std::map<Offset, PlannedPhoto> photos_of(const Card& card) {
  std::map<Offset, PlannedPhoto> out;
  for (PlannedPhoto& p : plan_photo_recovery(card.region(), block)) out[p.soi] = p;
  return out;
}

class FragmentSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!decode_check_available()) GTEST_SKIP() << "built without libjpeg";
  }
};

// A photo in 2 or 3 pieces with other photos' blocks between them, with and
// without restart markers: every photo comes out whole, from its own runs.
TEST_F(FragmentSearchTest, PiecesWithOtherPhotosBetweenAreJoined) {
  struct Case {
    const char* name;
    std::uint16_t restart_interval;
    int pieces;
  };
  for (const Case& c : {Case{"2 pieces", 0, 2}, Case{"3 pieces", 0, 3},
                        Case{"2 pieces, restart markers", 16, 2},
                        Case{"3 pieces, restart markers", 40, 3}}) {
    SCOPED_TRACE(c.name);
    const ByteVector a = photo(1, c.restart_interval), b = photo(2), d = photo(3);
    const std::uint64_t na = blocks_of(a), nb = blocks_of(b), nd = blocks_of(d);
    ASSERT_GE(na, 30u);  // pieces of many blocks, as on a card
    Card card(na + nb + nd + 2);
    // A's first piece, B whole, A's second piece, (D whole, A's third piece).
    const std::uint64_t first = na / c.pieces;
    std::vector<std::uint64_t> a_blocks = range(0, first);
    const ByteRuns b_runs = card.place(b, range(first, nb));
    std::uint64_t next = first + nb;
    if (c.pieces == 3) {
      a_blocks = joined(a_blocks, range(next, first));
      card.place(d, range(next + first, nd));
      next += first + nd;
    }
    a_blocks = joined(a_blocks, range(next, na - a_blocks.size()));
    const ByteRuns a_runs = card.place(a, a_blocks);
    ASSERT_EQ(a_runs.size(), static_cast<std::size_t>(c.pieces));

    std::map<Offset, PlannedPhoto> planned = photos_of(card);
    EXPECT_EQ(planned[0].kind, PlannedPhoto::Kind::pieces) << planned[0].why;
    EXPECT_EQ(planned[0].runs, a_runs);
    EXPECT_EQ(planned[b_runs[0].offset].kind, PlannedPhoto::Kind::whole);
    EXPECT_EQ(planned[b_runs[0].offset].runs, b_runs);
  }
}

// Right after A's cut lie blocks from the middle of another photo's scan
// (its head is gone): scan data of the same tables that decodes without a
// fault.  The search passes over them to A's own next piece.
TEST_F(FragmentSearchTest, ValidLookingWrongContinuationIsPassedOver) {
  const ByteVector a = photo(4), other = photo(5);
  const std::uint64_t na = blocks_of(a), decoy = 6, cut = na / 2;
  Card card(na + decoy + 1);
  card.place_part(other, blocks_of(other) / 2, decoy, cut);
  const ByteRuns a_runs = card.place(a, joined(range(0, cut), range(cut + decoy, na - cut)));
  std::map<Offset, PlannedPhoto> planned = photos_of(card);
  EXPECT_EQ(planned[0].kind, PlannedPhoto::Kind::pieces) << planned[0].why;
  EXPECT_EQ(planned[0].runs, a_runs);
}

// A's second piece was overwritten by a later photo: A cannot be completed
// and nothing is planned for it, while the photo that overwrote it and the
// one in the gap are whole.  Also with restart markers.
TEST_F(FragmentSearchTest, PhotoWhoseLaterPieceWasOverwrittenIsNotCompleted) {
  for (std::uint16_t restart_interval : {0, 8}) {
    SCOPED_TRACE(restart_interval);
    const ByteVector a = photo(6, restart_interval), b = photo(7), later = photo(8, restart_interval);
    const std::uint64_t na = blocks_of(a), nb = blocks_of(b), cut = na / 2;
    Card card(cut + nb + blocks_of(later) + 1);
    card.place_part(a, 0, cut, 0);
    const ByteRuns b_runs = card.place(b, range(cut, nb));
    const ByteRuns later_runs = card.place(later, range(cut + nb, blocks_of(later)));
    std::map<Offset, PlannedPhoto> planned = photos_of(card);
    EXPECT_EQ(planned[0].kind, PlannedPhoto::Kind::incomplete);
    EXPECT_FALSE(planned[0].why.empty());
    EXPECT_EQ(planned[b_runs[0].offset].runs, b_runs);
    EXPECT_EQ(planned[later_runs[0].offset].runs, later_runs);
  }
}

// Through the program: the listing names the runs, the file holds the photo
// byte for byte, the option word is case-blind, and without -fragments the
// same card is carved by the plain rule.
TEST_F(FragmentSearchTest, ProgramWritesThePhotoAndListsItsRuns) {
  const ByteVector a = photo(9), b = photo(10);
  constexpr std::uint64_t cluster = 4096;  // the program's blocks without a boot sector
  const std::uint64_t na = blocks_of(a, cluster), nb = blocks_of(b, cluster), cut = na / 2;
  Card card(na + nb + 1, cluster);
  const ByteRuns b_runs = card.place(b, range(cut, nb));
  const ByteRuns a_runs = card.place(a, joined(range(0, cut), range(cut + nb, na - cut)));
  ScratchDir dir;
  dir.write("card.img", std::string(card.bytes().begin(), card.bytes().end()));
  RunResult r = run_segsniff(dir, {"-FRAGMENTS", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0) << r.err;
  const long a_size = static_cast<long>(a.size());
  char restore[200];
  std::snprintf(restore, sizeof restore,
                "restore %ld bytes to file 'segsniff_recover_001.jpg' from 2 byte runs\n"
                "  run 1: %ld bytes (offset 0 to %ld)\n"
                "  run 2: %ld bytes (offset %ld to %ld)\n",
                a_size, static_cast<long>(a_runs[0].length), static_cast<long>(a_runs[0].end()),
                static_cast<long>(a_runs[1].length), static_cast<long>(a_runs[1].offset),
                static_cast<long>(a_runs[1].end()));
  EXPECT_NE(r.out.find("Option -fragments found\n"), std::string::npos);
  EXPECT_NE(r.out.find("fragments: blocks of 4096 bytes (no boot sector found)\n"), std::string::npos);
  EXPECT_NE(r.out.find(restore), std::string::npos) << r.out;
  EXPECT_EQ(dir.read("segsniff_recover_001.jpg"), std::string(a.begin(), a.end()));
  EXPECT_EQ(dir.read("segsniff_recover_002.jpg"), std::string(b.begin(), b.end()));

  ScratchDir plain;
  plain.write("card.img", std::string(card.bytes().begin(), card.bytes().end()));
  r = run_segsniff(plain, {"-recover", "card.img"});
  EXPECT_EQ(r.out.find(" byte runs\n"), std::string::npos);
  // The plain rule: A's file runs on through the gap to B's EOI.
  EXPECT_EQ(plain.read("segsniff_recover_001.jpg").size(), b_runs.back().end());
}


// The carving report of a photo put together: one byte run per piece, each
// with where it lies in the file and on the card, the digest of the whole
// photo, and no host for the photo that lay in its gap.  The same report
// with the JSON listing, whose lines still carry the runs.
TEST_F(FragmentSearchTest, ReportListsEveryRunOfAPhotoPutTogether) {
  if (!carving_report_available()) GTEST_SKIP() << "built without the report";
  const ByteVector a = photo(11), b = photo(12);
  constexpr std::uint64_t cluster = 4096;
  const std::uint64_t na = blocks_of(a, cluster), nb = blocks_of(b, cluster), cut = na / 3;
  Card card(na + nb + 1, cluster);
  const ByteRuns b_runs = card.place(b, range(cut, nb));
  const ByteRuns a_runs = card.place(a, joined(range(0, cut), range(cut + nb, na - cut)));
  ASSERT_EQ(a_runs.size(), 2u);
  const std::string bytes(card.bytes().begin(), card.bytes().end());
  ScratchDir text, json;
  text.write("card.img", bytes);
  json.write("card.img", bytes);
  RunResult r = run_segsniff(text, {"-fragments", "-report", "r.xml", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string report = text.read("r.xml");
  char runs[400];
  std::snprintf(runs, sizeof runs,
                "    <byte_runs segsniff:input=\"1\">\n"
                "      <byte_run file_offset=\"0\" img_offset=\"0\" len=\"%llu\"/>\n"
                "      <byte_run file_offset=\"%llu\" img_offset=\"%llu\" len=\"%llu\"/>\n"
                "    </byte_runs>\n",
                static_cast<unsigned long long>(a_runs[0].length),
                static_cast<unsigned long long>(a_runs[0].length),
                static_cast<unsigned long long>(a_runs[1].offset),
                static_cast<unsigned long long>(a_runs[1].length));
  const std::string a_text(a.begin(), a.end()), b_text(b.begin(), b.end());
  EXPECT_NE(report.find(std::string(runs) + "    <hashdigest type=\"sha256\">" + sha256_hex(a_text) +
                        "</hashdigest>\n    <segsniff:number>1</segsniff:number>\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("img_offset=\"" + std::to_string(b_runs[0].offset) + "\" len=\"" +
                        std::to_string(b.size()) + "\"/>\n    </byte_runs>\n    <hashdigest type=\"sha256\">" +
                        sha256_hex(b_text)),
            std::string::npos);
  EXPECT_EQ(report.find("<segsniff:host"), std::string::npos) << "B lies in A's gap, not inside A";
  EXPECT_EQ(lines_holding(report, "<segsniff:decode "), decode_line({DecodeClass::clean, ""}) +
                                                            decode_line({DecodeClass::clean, ""}));
  EXPECT_NE(report.find("<segsniff:counts candidates=\"2\" files=\"2\" bytes=\"" +
                        std::to_string(a.size() + b.size()) + "\""),
            std::string::npos);

  r = run_segsniff(json, {"-json", "-fragments", "-report", "r.xml", "-recover", "card.img"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string from_json = json.read("r.xml");
  const std::size_t at = from_json.find(" -json -fragments ");
  ASSERT_NE(at, std::string::npos);
  from_json.erase(at, 6);
  EXPECT_TRUE(same_text(from_json, report));
  EXPECT_EQ(json.read("segsniff_recover_001.jpg"), a_text);
  const std::vector<rapidjson::Document> documents = json_lines(r.out);
  std::vector<const rapidjson::Value*> written;
  for (const rapidjson::Document& d : documents)
    for (const rapidjson::Value* o : objects_with(d, "name", "segsniff_recover_001.jpg")) written.push_back(o);
  ASSERT_EQ(written.size(), 1u) << r.out;
  const rapidjson::Value& json_runs = (*written[0])["runs"];
  ASSERT_EQ(json_runs.Size(), 2u);
  EXPECT_EQ(json_runs[1]["offset"].GetUint64(), a_runs[1].offset);
  EXPECT_EQ(json_runs[1]["length"].GetUint64(), a_runs[1].length);
  EXPECT_TRUE((*written[0])["pieces"].GetBool());
  if (const std::string why = schema_check_unavailable(); !why.empty()) GTEST_SKIP() << why;
  EXPECT_TRUE(valid_dfxml(text.file("r.xml")));
}

}  // namespace
}  // namespace segsniff::test
