#pragma once

#include <span>

#include "platform/drive_geometry.h"
#include "shell/printer.h"

namespace segsniff {

// "-info": tells the printer the geometry and size of a drive
// (drive_geometry), or the failure (drive_failed).  Returns false after a
// failure.
[[nodiscard]] bool show_drive_geometry(const char* source, Printer& printer);

// The same with the device query passed in (tests inject geometries).
bool show_drive_geometry(const char* source, platform::DriveGeometryQuery query, Printer& printer);

// The media types that have a text of their own (media_type_table).
struct MediaTypeInfo {
  std::uint32_t media_type;
  const char* text;
};
std::span<const MediaTypeInfo> media_type_rows();

// The media text for a media type, with its line feed; a type without a row
// is "(probably a disk drive)".
const char* media_type_text(std::uint32_t media_type);

}  // namespace segsniff
