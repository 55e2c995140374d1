#include "exif/data_type_table.h"

namespace segsniff {

// Invariants: 11 rows, row i has type id i; a refused type has element size
// 0 and the name "ILLEGAL" (never printed: refused types get no entry line).
const DataTypeInfo data_type_table[data_type_count] = {
    {0, 0, "ILLEGAL"},
    {1, 1, "byte"},
    {2, 1, "ascii"},
    {3, 2, "short"},
    {4, 4, "long"},
    {5, 8, "rational"},
    {6, 0, "ILLEGAL"},  // SBYTE
    {7, 1, "undefined"},
    {8, 0, "ILLEGAL"},  // SSHORT
    {9, 4, "slong"},
    {10, 8, "srational"},
};

const DataTypeInfo* find_data_type(std::uint16_t type_id) {
  if (type_id < 1 || type_id >= data_type_count) return nullptr;
  const DataTypeInfo* row = &data_type_table[type_id];
  return row->element_size == 0 ? nullptr : row;
}

}  // namespace segsniff
