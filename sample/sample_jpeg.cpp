#include "sample_jpeg.h"

#include "exif_writer.h"

namespace segsniff::sample {
namespace {

// Item indices of the TIFF layout below, in file order.
enum Item : int { ifd0, exif_ifd, interop_ifd, gps_ifd, ifd1, thumbnail };

// A fixed date keeps the file identical on every build.
constexpr const char* sample_date = "2026:01:01 12:00:00";

std::vector<TiffItem> sample_tiff(std::uint16_t width, std::uint16_t height, const ByteVector& thumb) {
  std::vector<TiffItem> items(6);
  items[ifd0].entries = {
      ascii_entry(0x010F, "segsniff"),         // Make
      ascii_entry(0x0110, "sample"),           // Model
      short_entry(0x0112, {1}),                // Orientation: top-left
      rational_entry(0x011A, {{72, 1}}),       // XResolution
      rational_entry(0x011B, {{72, 1}}),       // YResolution
      short_entry(0x0128, {2}),                // ResolutionUnit: inch
      ascii_entry(0x0131, "make_sample"),      // Software
      ascii_entry(0x0132, sample_date),        // DateTime
      short_entry(0x0213, {1}),                // YCbCrPositioning: centred
      pointer_entry(0x8769, exif_ifd),         // Exif IFD
      pointer_entry(0x8825, gps_ifd),          // GPS IFD
  };
  items[ifd0].next = ifd1;
  items[exif_ifd].entries = {
      rational_entry(0x829A, {{1, 125}}),      // ExposureTime
      rational_entry(0x829D, {{28, 10}}),      // FNumber
      undefined_entry(0x9000, "0230"),         // ExifVersion
      ascii_entry(0x9003, sample_date),        // DateTimeOriginal
      srational_entry(0x9204, {{-1, 3}}),      // ExposureBiasValue
      undefined_entry(0xA000, "0100"),         // FlashpixVersion
      short_entry(0xA001, {1}),                // ColorSpace: sRGB
      long_entry(0xA002, {width}),             // PixelXDimension
      long_entry(0xA003, {height}),            // PixelYDimension
      pointer_entry(0xA005, interop_ifd),      // Interoperability IFD
  };
  items[interop_ifd].entries = {
      ascii_entry(0x0001, "R98"),              // InteroperabilityIndex
      undefined_entry(0x0002, "0100"),         // InteroperabilityVersion
  };
  items[gps_ifd].entries = {
      byte_entry(0x0000, {2, 3, 0, 0}),                    // GPSVersionID
      ascii_entry(0x0001, "N"),                            // GPSLatitudeRef
      rational_entry(0x0002, {{52, 1}, {30, 1}, {0, 1}}),  // GPSLatitude
      ascii_entry(0x0003, "E"),                            // GPSLongitudeRef
      rational_entry(0x0004, {{13, 1}, {24, 1}, {0, 1}}),  // GPSLongitude
  };
  items[ifd1].entries = {
      short_entry(0x0103, {6}),                // Compression: JPEG
      rational_entry(0x011A, {{72, 1}}),
      rational_entry(0x011B, {{72, 1}}),
      short_entry(0x0128, {2}),
      pointer_entry(0x0201, thumbnail),        // JPEGInterchangeFormat
      long_entry(0x0202, {static_cast<std::uint32_t>(thumb.size())}),  // ...Length
  };
  items[thumbnail].is_blob = true;
  items[thumbnail].blob = thumb;
  return items;
}

}  // namespace

ByteVector make_sample_thumbnail(std::uint16_t width, std::uint16_t height) {
  return encode_baseline_jpeg(make_test_pattern(width, height));
}

ByteVector make_sample_jpeg(std::uint16_t width, std::uint16_t height) {
  const ByteVector segments[] = {jfif_app0_segment(),
                                 exif_app1_segment(sample_tiff(width, height, make_sample_thumbnail()))};
  return encode_baseline_jpeg(make_test_pattern(width, height), segments);
}

}  // namespace segsniff::sample
