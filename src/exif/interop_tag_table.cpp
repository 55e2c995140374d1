#include "exif/standard_tag_tables.h"

namespace segsniff {

namespace {

// Invariants (checked by tests/standard_tag_tables_test.cpp): tags strictly
// ascending; names non-empty, without blanks.
constexpr StandardTag rows[] = {
    {0x0001, "InteroperabilityIndex"},
    {0x0002, "InteroperabilityVersion"},
    {0x1000, "RelatedImageFileFormat"},
    {0x1001, "RelatedImageWidth"},
    {0x1002, "RelatedImageLength"},
};

}  // namespace

const std::span<const StandardTag> interop_tag_table = rows;

}  // namespace segsniff
