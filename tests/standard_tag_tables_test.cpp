// The Exif standard's name tables (IFD0/Exif, GPS, Interoperability), their
// look-up, and the orientation names.
#include <gtest/gtest.h>

#include <string>

#include "exif/standard_tag_tables.h"

namespace segsniff {
namespace {

TEST(StandardTagTables, TagsAscendAndNamesAreOneWord) {
  const struct {
    const char* table;
    std::span<const StandardTag> rows;
  } tables[] = {{"exif", exif_tag_table}, {"gps", gps_tag_table}, {"interop", interop_tag_table}};
  for (const auto& t : tables) {
    ASSERT_FALSE(t.rows.empty()) << t.table;
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
      const std::string name = t.rows[i].name;
      EXPECT_FALSE(name.empty()) << t.table << " row " << i;
      EXPECT_EQ(name.find(' '), std::string::npos) << t.table << ": " << name;
      if (i > 0) {
        EXPECT_LT(t.rows[i - 1].tag, t.rows[i].tag) << t.table << ": " << name;
      }
      EXPECT_EQ(find_standard_tag(t.rows, t.rows[i].tag), &t.rows[i]) << t.table << ": " << name;
    }
  }
  // The GPS directory's tags are 0000..001F, every one named.
  ASSERT_EQ(gps_tag_table.size(), 32u);
  for (std::uint16_t tag = 0; tag < 32; ++tag) EXPECT_EQ(gps_tag_table[tag].tag, tag);
}

TEST(StandardTagTables, LookUpByKindOfDirectory) {
  const struct {
    std::span<const StandardTag> table;
    std::uint16_t tag;
    const char* name;  // nullptr: not in the table
  } cases[] = {
      {gps_tag_table, 0x0000, "GPSVersionID"},
      {gps_tag_table, 0x0002, "GPSLatitude"},
      {gps_tag_table, 0x001F, "GPSHPositioningError"},
      {gps_tag_table, 0x0020, nullptr},
      {interop_tag_table, 0x0001, "InteroperabilityIndex"},
      {interop_tag_table, 0x0002, "InteroperabilityVersion"},
      {interop_tag_table, 0x0000, nullptr},
      {exif_tag_table, 0x829A, "ExposureTime"},
      {exif_tag_table, 0x8825, "GPSInfoIFDPointer"},
      {exif_tag_table, 0x00FE, "NewSubfileType"},
      {exif_tag_table, 0xA500, "Gamma"},
      {exif_tag_table, 0x0000, nullptr},
      {exif_tag_table, 0xFFFF, nullptr},
  };
  for (const auto& c : cases) {
    const StandardTag* row = find_standard_tag(c.table, c.tag);
    if (c.name == nullptr) {
      EXPECT_EQ(row, nullptr) << c.tag;
    } else {
      ASSERT_NE(row, nullptr) << c.name;
      EXPECT_STREQ(row->name, c.name);
    }
  }
}

TEST(StandardTagTables, OrientationNamesSayWhereTheFirstRowAndColumnLie) {
  EXPECT_STREQ(orientation_table[0], "top-left");
  EXPECT_STREQ(orientation_table[5], "right-top");  // 6: the usual portrait
  EXPECT_STREQ(orientation_table[orientation_count - 1], "left-bottom");
  for (const char* name : orientation_table) EXPECT_NE(std::string(name), "");
}

}  // namespace
}  // namespace segsniff
