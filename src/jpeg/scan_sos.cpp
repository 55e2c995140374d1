#include "jpeg/scan_sos.h"

#include "jpeg/scan_length_field.h"

namespace segsniff {

namespace {

void scan_scan_header(ByteRegion payload, Offset length_at, Printer& printer) {
  ScanInfo scan;
  scan.at = length_at;
  const auto component_count = try_byte(payload);
  if (!component_count) return;
  scan.component_count = *component_count;
  for (ScanComponentInfo& component : scan.components) {
    if (scan.components_read == scan.component_count) break;
    const auto id = try_byte(payload);
    const auto tables = try_byte(payload);
    if (!id || !tables) break;
    component = {*id, static_cast<std::uint8_t>(*tables >> 4),
                 static_cast<std::uint8_t>(*tables & 0x0F)};
    ++scan.components_read;
  }
  if (scan.components_read == scan.component_count) {
    const auto start = try_byte(payload);
    const auto end = try_byte(payload);
    const auto approximation = try_byte(payload);
    if (start && end && approximation) {
      scan.has_spectral = true;
      scan.spectral_start = *start;
      scan.spectral_end = *end;
      scan.approximation_high = *approximation >> 4;
      scan.approximation_low = *approximation & 0x0F;
    }
  }
  printer.scan_header(scan);
}

}  // namespace

void scan_sos(ByteRegion& region, Printer& printer) {
  const Offset length_at = region.cursor();
  const ByteRegion payload = segment_payload(region);
  scan_length_field(region, "SOS", printer);
  scan_scan_header(payload, length_at, printer);
}

}  // namespace segsniff
