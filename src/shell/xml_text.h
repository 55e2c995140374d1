// Text from outside the program -- file names, the command line -- as the
// carving report writes it.  XML holds only Unicode characters, in UTF-8
// here, and not every one of them (no control characters but tab, line feed
// and carriage return).  A name is a string of bytes and may be neither.
// So a text is written as it is when it is valid UTF-8 of characters XML
// allows (the XML writer escapes <, & and the like); otherwise every byte
// that is not part of such a character becomes U+FFFD, and the report adds
// the exact bytes in hexadecimal, so that nothing of the name is lost.
#pragma once

#include <string>
#include <string_view>

namespace segsniff {

struct XmlText {
  std::string text;       // valid UTF-8 of XML characters
  bool replaced = false;  // some bytes of the original became U+FFFD
};

XmlText xml_text(std::string_view bytes);

// Two lower-case hexadecimal digits per byte.
std::string hex_text(std::string_view bytes);

}  // namespace segsniff
