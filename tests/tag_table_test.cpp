// The value-type table, the tag dictionary and their two look-ups.
#include <gtest/gtest.h>

#include <string>

#include "exif/data_type_table.h"
#include "exif/print_tag_info.h"
#include "exif/tag_table.h"
#include "support/golden.h"

namespace segsniff {
namespace {

TEST(DataTypeTable, RowsAreIndexedByTypeIdAndRefusedTypesHaveSizeZero) {
  for (int i = 0; i < data_type_count; ++i) {
    EXPECT_EQ(data_type_table[i].type_id, i);
    EXPECT_EQ(data_type_table[i].element_size == 0, std::string(data_type_table[i].name) == "ILLEGAL")
        << "row " << i;
  }
}

TEST(TagTable, Invariants) {
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

TEST(PrintTagInfo, MatchesByTagTypeAndCount) {
  struct Case {
    std::uint16_t tag, type;
    std::uint32_t count;
    const char* want;
  };
  const Case cases[] = {
      {0x0100, 3, 1, "        Image Width (Width of Image (short))\n"},
      {0x0100, 4, 1, "        Image Width (Width of Image (long))\n"},
      {0x0100, 5, 1, ""},
      {0x0132, 2, 20, "        Date Time (File change date and time)\n"},
      {0x0132, 2, 19, ""},
      {0x0110, 2, 7, "        Model ()\n"},
      {0x0000, 9, 123, "        Illegal Tag (used for internal purpose of segsniff)\n"},
      {0x927C, 2, 9999, ""},
      {0x1234, 3, 1, ""},
  };
  for (const auto& c : cases) {
    test::CapturedOutput captured;
    print_tag_info(c.tag, c.type, c.count, test::text_printer());
    EXPECT_EQ(captured.all(), c.want) << std::hex << c.tag << " type " << c.type;
  }
}

}  // namespace
}  // namespace segsniff
