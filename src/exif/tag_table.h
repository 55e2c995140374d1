// The tag dictionary: names and descriptions of the tags an Exif block
// usually holds, keyed by tag, type and expected count.
#pragma once

#include <cstdint>

namespace segsniff {

struct TagInfo {
  std::uint16_t tag;
  std::uint16_t type;            // a data type id; type_any matches every type
  std::uint32_t expected_count;  // count_any matches every count
  const char* name;
  const char* description;  // "" where the row has none
};

inline constexpr std::uint16_t type_any = 0;
inline constexpr std::uint32_t count_any = 0;

inline constexpr int tag_count = 81;
extern const TagInfo tag_table[tag_count];

}  // namespace segsniff
