#pragma once

#include <cstdint>

#include "shell/printer.h"

namespace segsniff {

// The dictionary lines of one entry: every matching row of tag_table, in
// table order, told to the printer ("        name (description)").  Nothing
// for an entry that matches no row.
void print_tag_info(std::uint16_t tag, std::uint16_t type, std::uint32_t count, Printer& printer);

}  // namespace segsniff
