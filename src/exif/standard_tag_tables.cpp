#include "exif/standard_tag_tables.h"

#include <algorithm>

namespace segsniff {

const StandardTag* find_standard_tag(std::span<const StandardTag> table, std::uint16_t tag) {
  const auto row = std::lower_bound(table.begin(), table.end(), tag,
                                    [](const StandardTag& r, std::uint16_t t) { return r.tag < t; });
  return row != table.end() && row->tag == tag ? &*row : nullptr;
}

// Invariants (checked by tests/standard_tag_tables_test.cpp): one row per
// value 1..8, in that order; no empty name.
const char* const orientation_table[orientation_count] = {
    "top-left", "top-right", "bottom-right", "bottom-left",
    "left-top", "right-top", "right-bottom", "left-bottom",
};

}  // namespace segsniff
