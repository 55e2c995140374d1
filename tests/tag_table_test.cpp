// The value-type table, the tag dictionary and their two look-ups.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "exif/data_type_table.h"
#include "exif/print_tag_info.h"
#include "exif/tag_table.h"
#include "support/golden.h"

namespace segsniff {
namespace {

using test::CapturedOutput;

TEST(DataTypeTable, RowsAreIndexedByTypeIdAndRefusedTypesHaveSizeZero) {
  ASSERT_EQ(std::size(data_type_table), 11u);
  for (int i = 0; i < data_type_count; ++i) {
    EXPECT_EQ(data_type_table[i].type_id, i);
    EXPECT_EQ(data_type_table[i].element_size == 0, std::string(data_type_table[i].name) == "ILLEGAL")
        << "row " << i;
  }
  EXPECT_EQ(std::string(data_type_table[5].name), "rational");
  EXPECT_EQ(data_type_table[5].element_size, 8);
  EXPECT_EQ(std::string(data_type_table[7].name), "undefined");
  EXPECT_EQ(data_type_table[10].element_size, 8);
}

TEST(DataTypeTable, FindDataTypeAcceptsTheEightTypesAndRefusesTheRest) {
  const std::uint16_t accepted[] = {1, 2, 3, 4, 5, 7, 9, 10};
  const unsigned sizes[] = {1, 1, 2, 4, 8, 1, 4, 8};
  for (int i = 0; i < 8; ++i) {
    const DataTypeInfo* row = find_data_type(accepted[i]);
    ASSERT_NE(row, nullptr) << accepted[i];
    EXPECT_EQ(row->type_id, accepted[i]);
    EXPECT_EQ(row->element_size, sizes[i]);
  }
  for (std::uint16_t refused : {0, 6, 8, 11, 12, 65535})
    EXPECT_EQ(find_data_type(refused), nullptr) << refused;
}

TEST(TagTable, TranscriptionSpotChecks) {
  ASSERT_EQ(std::size(tag_table), 81u);
  const TagInfo& first = tag_table[0];
  EXPECT_EQ(first.tag, 0x0100);
  EXPECT_EQ(first.type, 3);
  EXPECT_EQ(first.expected_count, 1u);
  EXPECT_STREQ(first.name, "Image Width");
  EXPECT_STREQ(first.description, "Width of Image (short)");
  const TagInfo& transfer = tag_table[23];  // row 24
  EXPECT_EQ(transfer.tag, 0x012D);
  EXPECT_EQ(transfer.expected_count, 768u);
  EXPECT_STREQ(transfer.name, "Transfer Function");
  EXPECT_STREQ(transfer.description, "");
  const TagInfo& max_aperture = tag_table[63];  // row 64, spelling kept
  EXPECT_EQ(max_aperture.tag, 0x9205);
  EXPECT_EQ(max_aperture.type, 5);
  EXPECT_STREQ(max_aperture.description, "smallest F numer APEX value");
  const TagInfo& shutter = tag_table[59];  // row 60
  EXPECT_EQ(shutter.tag, 0x9201);
  EXPECT_EQ(shutter.type, 10);
  const TagInfo& last = tag_table[80];
  EXPECT_EQ(last.tag, 0x0000);
  EXPECT_EQ(last.type, type_any);
  EXPECT_EQ(last.expected_count, count_any);
  EXPECT_STREQ(last.name, "Illegal Tag");
  EXPECT_STREQ(last.description, "used for internal purpose of segsniff");
}

TEST(TagTable, Invariants) {
  std::set<std::string> names_by_key;
  for (const TagInfo& row : tag_table) {
    SCOPED_TRACE(row.name);
    EXPECT_NE(std::string(row.name), "");
    EXPECT_NE(row.description, nullptr);
    EXPECT_TRUE(row.type == type_any || find_data_type(row.type) != nullptr);
    EXPECT_NE(row.tag, 0x8769);  // the pointers print their own lines
    EXPECT_NE(row.tag, 0x8825);
  }
  // A tag with several rows differs in type only, and carries one name, so
  // an entry matches at most one of them.
  for (int i = 0; i < tag_count; ++i)
    for (int j = i + 1; j < tag_count; ++j) {
      if (tag_table[i].tag != tag_table[j].tag) continue;
      EXPECT_NE(tag_table[i].type, tag_table[j].type) << "rows " << i + 1 << ", " << j + 1;
      EXPECT_STREQ(tag_table[i].name, tag_table[j].name);
    }
}

struct LookupCase {
  std::uint16_t tag, type;
  std::uint32_t count;
  const char* want;
};

TEST(PrintTagInfo, MatchesByTagTypeAndCount) {
  const LookupCase cases[] = {
      {0x0110, 2, 7, "        Model ()\n"},
      {0x0100, 3, 1, "        Image Width (Width of Image (short))\n"},
      {0x0100, 4, 1, "        Image Width (Width of Image (long))\n"},
      {0x0100, 5, 1, ""},
      {0x0132, 2, 20, "        Date Time (File change date and time)\n"},
      {0x0132, 2, 19, ""},
      {0x0132, 2, 21, ""},
      {0x0102, 3, 1, ""},
      {0x0102, 3, 3, "        Bits per Sample (Number of Bits per Component)\n"},
      {0x0201, 4, 1, "        JPEG Interchange Format ()\n"},
      {0x0202, 4, 1, "        JPEG Interchange Format Length ()\n"},
      {0x0000, 9, 123, "        Illegal Tag (used for internal purpose of segsniff)\n"},
      {0x927C, 7, 9999, "        Maker Note ()\n"},
      {0x927C, 2, 9999, ""},
      {0x8769, 4, 1, ""},
      {0x1234, 3, 1, ""},
  };
  for (const auto& c : cases) {
    CapturedOutput captured;
    print_tag_info(c.tag, c.type, c.count);
    EXPECT_EQ(captured.all(), c.want) << std::hex << c.tag << " type " << c.type;
  }
}

}  // namespace
}  // namespace segsniff
