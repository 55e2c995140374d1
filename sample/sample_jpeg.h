// The project's own sample picture: a camera-like baseline JPEG with a JFIF
// segment, an Exif block (IFD0, Exif IFD, Interoperability IFD, GPS IFD,
// IFD1) and an embedded JPEG thumbnail.  Every call gives the same bytes.
#pragma once

#include <cstdint>

#include "jpeg_writer.h"

namespace segsniff::sample {

// The thumbnail stream embedded in the sample: SOI, DQT, SOF0, DHT, SOS,
// data, EOI, no application segments.
ByteVector make_sample_thumbnail(std::uint16_t width = 16, std::uint16_t height = 12);

// The whole sample file: SOI, APP0 JFIF, APP1 Exif, DQT, SOF0, DHT, SOS,
// data, EOI.  PixelXDimension and PixelYDimension give the picture's size.
ByteVector make_sample_jpeg(std::uint16_t width = 64, std::uint16_t height = 48);

}  // namespace segsniff::sample
