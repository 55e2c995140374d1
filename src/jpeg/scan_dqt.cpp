#include "jpeg/scan_dqt.h"

#include "jpeg/scan_length_field.h"

namespace segsniff {

namespace {

constexpr std::uint64_t values_per_table = 64;

void scan_quantization_tables(ByteRegion payload, Printer& printer) {
  while (payload.contains(payload.cursor())) {
    QuantizationTable table;
    table.at = payload.cursor();
    const std::uint8_t precision_and_id = try_byte(payload).value_or(0);
    table.precision = precision_and_id >> 4;
    table.id = precision_and_id & 0x0F;
    const std::uint64_t value_bytes = values_per_table * (table.precision == 0 ? 1 : 2);
    table.length = static_cast<std::uint16_t>(1 + value_bytes);
    table.complete = try_bytes(payload, value_bytes).has_value();
    printer.quantization_table(table);
    if (!table.complete) return;
  }
}

}  // namespace

void scan_dqt(ByteRegion& region, Printer& printer) {
  const Offset length_at = region.cursor();
  const ByteRegion payload = segment_payload(region);
  const std::optional<std::uint16_t> length = try_int16(region);
  if (!length) {
    printer.finding(Channel::err, length_at, "DQT at end of file (len is missing)\n");
    return;
  }
  region.move_cursor(std::int64_t{*length} - 2);
  printer.dqt_length(length_at, *length);
  scan_quantization_tables(payload, printer);
}

}  // namespace segsniff
