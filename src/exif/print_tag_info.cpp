#include "exif/print_tag_info.h"

#include "exif/tag_table.h"

namespace segsniff {

// Every row is looked at; the look-up does not stop at the first match, so
// rows that overlap (a type_any row and a typed row of the same tag) would
// both print.
void print_tag_info(std::uint16_t tag, std::uint16_t type, std::uint32_t count, Printer& printer) {
  for (const TagInfo& row : tag_table) {
    if (row.tag != tag) continue;
    if (row.type != type_any && row.type != type) continue;
    if (row.expected_count != count_any && row.expected_count != count) continue;
    printer.dictionary_entry(row);
  }
}

}  // namespace segsniff
