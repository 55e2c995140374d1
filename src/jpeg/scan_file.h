#pragma once

#include "jpeg/recover_jpeg_streams.h"
#include "shell/printer.h"

namespace segsniff {

// The per-file driver: opens, sizes and maps one input read-only, then dumps
// it (dump mode) or carves it (recovery mode), and releases it.  Every
// outcome is reported by printing.  Returns false when the input could not
// be opened, sized, mapped or read to its end, or (recovery mode) when its
// carving was refused or a carved file could not be written; findings in
// the data are no failure.  Everything goes through `printer`, between
// file_begin and file_end.  When the mapping loses its bytes, the analysis
// is abandoned where it stood: the nodes it had opened on the printer are
// not closed, file_shrank or file_read_error says so, and file_end follows.
[[nodiscard]] bool scan_file(const char* name, bool recovery, CarvingRun& carving,
                             Printer& printer);

// The analysis of bytes that are already mapped, as scan_file runs it after
// the size lines: the marker walk from FF D8 in dump mode, the carving loop
// in recovery mode.  The fuzzer calls it directly.
void analyse_mapped_bytes(const CarvedInput& input, bool recovery, CarvingRun& carving,
                          Printer& printer);

// Called by scan_file between the mapping and the analysis, with the file's
// name; null except in tests, which shrink the file there to see a mapped
// file lose its bytes at a known moment.
using AfterMappingHook = void (*)(const char* name);
extern AfterMappingHook after_mapping_hook;

}  // namespace segsniff
