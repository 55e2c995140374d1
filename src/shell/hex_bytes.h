// Hex runs of the text listing (payload dumps, the raw bytes of an entry):
// two upper-case digits per byte and a space after every `group` bytes,
// then `tail`, all on standard output.  Put together in a small buffer and
// written in a few pieces, where a printf per byte would cost a hundred
// times more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace segsniff {

void print_hex_bytes(std::span<const std::uint8_t> bytes, std::size_t group,
                     std::string_view tail);

}  // namespace segsniff
