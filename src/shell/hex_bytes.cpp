#include "shell/hex_bytes.h"

#include "shell/channels.h"

namespace segsniff {

void print_hex_bytes(std::span<const std::uint8_t> bytes, std::size_t group,
                     std::string_view tail) {
  static constexpr char hex[] = "0123456789ABCDEF";
  char piece[768];  // a multiple of what three bytes take at most
  std::size_t used = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (sizeof piece - used < 3) {
      out_stream << std::string_view(piece, used);
      used = 0;
    }
    piece[used++] = hex[bytes[i] >> 4];
    piece[used++] = hex[bytes[i] & 0x0F];
    if ((i + 1) % group == 0) piece[used++] = ' ';
  }
  out_stream << std::string_view(piece, used) << tail;
}

}  // namespace segsniff
