#pragma once

#include <cstdint>

namespace segsniff {

// The dictionary lines of one entry: one line per matching row of tag_table,
// in table order, "        name (description)".  No line (and no message)
// for an entry that matches no row.
void print_tag_info(std::uint16_t tag, std::uint16_t type, std::uint32_t count);

}  // namespace segsniff
