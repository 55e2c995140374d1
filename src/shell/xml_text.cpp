#include "shell/xml_text.h"

#include <cstdint>

namespace segsniff {

namespace {

constexpr char replacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// XML 1.0, production Char.
bool is_xml_char(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the well-formed UTF-8 sequence at bytes[at] (RFC 3629:
// shortest form, no surrogates, at most U+10FFFF) with its character in c;
// 0 when there is none.
std::size_t utf8_sequence(std::string_view bytes, std::size_t at, std::uint32_t& c) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[at + i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint32_t min = 0;
  if (lead < 0x80) return c = lead, 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, min = 0x80, c = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, min = 0x800, c = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, min = 0x10000, c = lead & 0x07;
  else return 0;
  if (length > bytes.size() - at) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    c = c << 6 | (byte(i) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

XmlText xml_text(std::string_view bytes) {
  XmlText out;
  out.text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    std::uint32_t c = 0;
    const std::size_t length = utf8_sequence(bytes, at, c);
    if (length == 0 || !is_xml_char(c)) {
      out.text += replacement;
      out.replaced = true;
      at += length == 0 ? 1 : length;
      continue;
    }
    out.text.append(bytes.substr(at, length));
    at += length;
  }
  return out;
}

std::string hex_text(std::string_view bytes) {
  constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (char ch : bytes) {
    const auto byte = static_cast<std::uint8_t>(ch);
    hex += digits[byte >> 4];
    hex += digits[byte & 0x0F];
  }
  return hex;
}

}  // namespace segsniff
