#include "jpeg/scan_dht.h"

#include "jpeg/scan_length_field.h"

namespace segsniff {

namespace {

void scan_huffman_tables(ByteRegion payload, Printer& printer) {
  while (payload.contains(payload.cursor())) {
    HuffmanTable table;
    table.at = payload.cursor();
    const std::uint8_t class_and_id = try_byte(payload).value_or(0);
    table.table_class = class_and_id >> 4;
    table.id = class_and_id & 0x0F;
    const auto counts = try_bytes(payload, table.counts.size());
    if (counts) {
      for (std::size_t i = 0; i < table.counts.size(); ++i) {
        table.counts[i] = (*counts)[i];
        table.symbol_count += table.counts[i];
      }
      table.complete = table.symbol_count == 0 || try_bytes(payload, table.symbol_count);
    }
    printer.huffman_table(table);
    if (!table.complete) return;
  }
}

}  // namespace

void scan_dht(ByteRegion& region, Printer& printer) {
  const ByteRegion payload = segment_payload(region);
  scan_length_field(region, "DHT", printer);
  scan_huffman_tables(payload, printer);
}

}  // namespace segsniff
