// Helpers for tests of the carving report: the parts of a report that do
// not depend on the fixture (its head, the library lines), the digest of a
// fixture, and the check of a written report against the DFXML schema in
// ../shared/dfxml/.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "jpeg/decode_check.h"

namespace segsniff::test {

// SHA-256 of the bytes, as the report writes it.
std::string sha256_hex(std::string_view bytes);

// From the XML declaration to the end of <creator>, for a run whose
// command line is `arguments` after the program's own path.
std::string report_head(const std::string& arguments);

// The <segsniff:decode> line of a file object for this check.
std::string decode_line(const DecodeCheck& check);

// The lines of `text` that hold `piece`, each whole and with its line feed.
std::string lines_holding(const std::string& text, std::string_view piece);

// Empty when this build writes reports, else why not (a test that needs
// one skips with it).
std::string report_unavailable();

// Empty when reports can be checked against the schema, else why not
// (no xmllint, no schema beside the checkout, not on Linux).
std::string schema_check_unavailable();

// xmllint --noout --schema ../shared/dfxml/dfxml.xsd <path>: what it said on failure.
::testing::AssertionResult valid_dfxml(const std::string& path);

}  // namespace segsniff::test
