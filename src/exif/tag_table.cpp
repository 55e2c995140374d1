#include "exif/tag_table.h"

#include "exif/data_type_table.h"

namespace segsniff {

// Invariants (checked by tests/tag_table_test.cpp):
// - 81 rows; the order is the order in which matching rows are printed, so
//   never sort this table;
// - every name is non-empty; descriptions may be empty;
// - every type is type_any or an accepted data type;
// - a tag with a short and a long variant (Image Width/Height, Strip
//   Offsets/Byte Counts, Rows Per Strip, Pixel X/Y Dimension) has one row per
//   type with the same name, so an entry matches at most one of them;
// - the Exif and GPS IFD pointers (0x8769, 0x8825) have no row: the entry
//   dump prints their own pointer lines;
// - the last row matches every entry of tag 0x0000.
const TagInfo tag_table[tag_count] = {
    {0x0100, type_short,     1,         "Image Width",                    "Width of Image (short)"},
    {0x0100, type_long,      1,         "Image Width",                    "Width of Image (long)"},
    {0x0101, type_short,     1,         "Image Height",                   "Height of Image (short)"},
    {0x0101, type_long,      1,         "Image Height",                   "Height of Image (long)"},
    {0x0102, type_short,     3,         "Bits per Sample",                "Number of Bits per Component"},
    {0x0103, type_short,     1,         "Compression",                    "Compression Scheme"},
    {0x0106, type_short,     1,         "Photometric Interpretation",     "Pixel Composition"},
    {0x0112, type_short,     1,         "Orientation",                    "Orientation of Image"},
    {0x0115, type_short,     1,         "Samples Per Pixel",              "Number of Components"},
    {0x011C, type_short,     1,         "Planar Configuration",           "Image Data Arrangement"},
    {0x0212, type_short,     2,         "YCbCr SubSampling",              ""},
    {0x0213, type_short,     1,         "YCbCr Positioning",              ""},
    {0x011A, type_rational,  1,         "X Resolution",                   ""},
    {0x011B, type_rational,  1,         "Y Resolution",                   ""},
    {0x0128, type_short,     1,         "Resolution Unit",                ""},
    {0x0111, type_short,     count_any, "Strip Offsets",                  "Image Data Location"},
    {0x0111, type_long,      count_any, "Strip Offsets",                  "Image Data Location"},
    {0x0116, type_short,     1,         "Rows Per Strip",                 ""},
    {0x0116, type_long,      1,         "Rows Per Strip",                 ""},
    {0x0117, type_short,     count_any, "Strip Byte Counts",              ""},
    {0x0117, type_long,      count_any, "Strip Byte Counts",              ""},
    {0x0201, type_long,      1,         "JPEG Interchange Format",        ""},
    {0x0202, type_long,      1,         "JPEG Interchange Format Length", ""},
    {0x012D, type_short,     768,       "Transfer Function",              ""},
    {0x013E, type_rational,  2,         "White Point",                    ""},
    {0x013F, type_rational,  6,         "Primary Chromaticities",         ""},
    {0x0211, type_rational,  3,         "YCbCr Coefficients",             ""},
    {0x0214, type_rational,  6,         "Reference Black White",          ""},
    {0x0132, type_ascii,     20,        "Date Time",                      "File change date and time"},
    {0x010E, type_ascii,     count_any, "Image Description",              "Image Title"},
    {0x010F, type_ascii,     count_any, "Make",                           "Image input equipment manufacturer"},
    {0x0110, type_ascii,     count_any, "Model",                          ""},
    {0x0131, type_ascii,     count_any, "Software",                       ""},
    {0x013B, type_ascii,     count_any, "Artist",                         ""},
    {0x8298, type_ascii,     count_any, "Copyright",                      "Copyright holder"},
    {0x9000, type_undefined, 4,         "EXIF Version",                   ""},
    {0xA000, type_undefined, 4,         "Flash Pix Version",              ""},
    {0xA001, type_short,     1,         "Color Space",                    ""},
    {0x9101, type_undefined, 4,         "Color Configuration",            ""},
    {0x9102, type_rational,  1,         "Compressed Bits Per Pixel",      "Image compression mode"},
    {0xA002, type_short,     1,         "Pixel X Dimension",              ""},
    {0xA002, type_long,      1,         "Pixel X Dimension",              ""},
    {0xA003, type_short,     1,         "Pixel Y Dimension",              ""},
    {0xA003, type_long,      1,         "Pixel Y Dimension",              ""},
    {0x927C, type_undefined, count_any, "Maker Note",                     ""},
    {0x9286, type_undefined, count_any, "User Comment",                   ""},
    {0xA004, type_ascii,     count_any, "Related Sound File",             ""},
    {0x9003, type_ascii,     20,        "Date Time Original",             ""},
    {0x9004, type_ascii,     20,        "Date Time Digitized",            ""},
    {0x9290, type_ascii,     count_any, "SubSecTime",                     "Fractions of seconds of Date Time"},
    {0x9291, type_ascii,     count_any, "SubSecTime Original",            "Fractions of seconds of Date Time Original"},
    {0x9292, type_ascii,     count_any, "SubSecTime Digitized",           "Fractions of seconds of Date Time Digitized"},
    {0xA005, type_long,      1,         "Interoperability IFD Pointer",   ""},
    {0x829A, type_rational,  1,         "Exposure Time",                  "in seconds"},
    {0x829D, type_rational,  1,         "F Number",                       "f number"},
    {0x8822, type_short,     1,         "Exposure Program",               ""},
    {0x8824, type_ascii,     count_any, "Spectral sensitivity",           ""},
    {0x8827, type_short,     count_any, "ISO Speed Ratings",              ""},
    {0x8828, type_undefined, count_any, "OECF",                           "Optoelectric conversion factor"},
    {0x9201, type_srational, 1,         "Shutter Speed Value",            "shutter speed APEX value"},
    {0x9202, type_rational,  1,         "Aperture Value",                 "lens aperture APEX value"},
    {0x9203, type_srational, 1,         "Brightness Value",               "brightness APEX value"},
    {0x9204, type_srational, 1,         "Exposure Bias Value",            "exposure bias APEX value"},
    {0x9205, type_rational,  1,         "Max Aperture Value",             "smallest F numer APEX value"},
    {0x9206, type_rational,  1,         "Subject Distance",               "distance in meters"},
    {0x9207, type_short,     1,         "Metering Mode",                  ""},
    {0x9208, type_short,     1,         "Light Source",                   ""},
    {0x9209, type_short,     1,         "Flash",                          ""},
    {0x920A, type_rational,  1,         "Focal Length",                   "in millimeters"},
    {0xA20B, type_rational,  1,         "Flash Energy",                   "in BCPS"},
    {0xA20C, type_undefined, count_any, "Spatial Frequency Response",     ""},
    {0xA20E, type_rational,  1,         "Focal Plane X Resolution",       ""},
    {0xA20F, type_rational,  1,         "Focal Plane Y Resolution",       ""},
    {0xA210, type_short,     1,         "Focal Plane Resolution Unit",    ""},
    {0xA214, type_short,     2,         "Subject Location",               "x and y position of subject"},
    {0xA215, type_rational,  1,         "Exposure Index",                 ""},
    {0xA217, type_short,     1,         "Sensing Method",                 "image sensor type"},
    {0xA300, type_undefined, 1,         "File Source",                    ""},
    {0xA301, type_undefined, 1,         "Scene Type",                     ""},
    {0xA302, type_undefined, count_any, "CFA Pattern",                    "color filter array pattern"},
    {0x0000, type_any,       count_any, "Illegal Tag",                    "used for internal purpose of segsniff"},
};

}  // namespace segsniff
