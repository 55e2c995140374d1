#include "jpeg/scan_file.h"

#include "jpeg/byte_region.h"
#include "jpeg/scan_jpeg_markers.h"
#include "platform/input_file.h"
#include "shell/channels.h"
#include "shell/error_report.h"

namespace segsniff {

void analyse_mapped_bytes(const CarvedInput& input, bool recovery, CarvingRun& carving) {
  if (recovery) {
    recover_jpeg_streams(input, carving);
    return;
  }
  ByteRegion region = ByteRegion::over(input.base, input.size);
  if (region.byte_at(0) == 0xFF && region.byte_at(1) == 0xD8) {
    WalkContext context;
    scan_jpeg_markers(region, context);  // the outcome is not looked at
  } else {
    err_printf("unknown file type\n");
  }
}

void scan_file(const char* name, bool recovery, CarvingRun& carving) {
  out_stream << "reading file " << name << ":\n";

  // Destruction order is release order: the mapping goes before the file.
  platform::InputFile file;
  if (int error = file.open(name)) {
    err_stream << "Open file '" << name << "' for reading failed\n";
    report_last_error(error);
    return;
  }

  std::uint64_t size = 0;
  if (int error = file.size(size)) {
    err_stream << "GetFileSize on file '" << name << "' failed\n";
    report_last_error(error);
    return;
  }
  out_stream << "Filelen " << size << " Bytes\n";

  if (int error = platform::InputMapping::can_map(size)) {
    error_sink("create file mapping failed\n");
    report_last_error(error);
    return;
  }
  platform::InputMapping mapping;
  if (int error = mapping.map(file, size)) {
    error_sink("create mapview of file failed\n");
    report_last_error(error);
    return;
  }
  out_stream << "file size " << size << " bytes\n";

  CarvedInput input{mapping.data(), size, false, 0, 0};
  input.identity_known = file.identity(input.device, input.inode) == 0;
  analyse_mapped_bytes(input, recovery, carving);
}

}  // namespace segsniff
