// The TIFF value types that the entry dump understands.
#pragma once

#include <cstdint>

namespace segsniff {

struct DataTypeInfo {
  std::uint16_t type_id;      // equal to the row's index
  std::uint8_t element_size;  // bytes per element; 0 = type refused
  const char* name;           // shown in the entry line
};

inline constexpr int data_type_count = 11;
extern const DataTypeInfo data_type_table[data_type_count];

// The row of an accepted type (ids 1 to 10 with a non-zero element size), or
// nullptr: SBYTE (6), SSHORT (8), FLOAT (11), DOUBLE (12) and every id
// outside the table are refused.
const DataTypeInfo* find_data_type(std::uint16_t type_id);

// Type ids the decoders look at by name.
inline constexpr std::uint16_t type_byte = 1;
inline constexpr std::uint16_t type_ascii = 2;
inline constexpr std::uint16_t type_short = 3;
inline constexpr std::uint16_t type_long = 4;
inline constexpr std::uint16_t type_rational = 5;
inline constexpr std::uint16_t type_undefined = 7;
inline constexpr std::uint16_t type_slong = 9;
inline constexpr std::uint16_t type_srational = 10;

}  // namespace segsniff
