#include "jpeg/scan_file.h"

#include "jpeg/byte_region.h"
#include "jpeg/scan_jpeg_markers.h"
#include "platform/input_file.h"
#include "platform/mapped_read_guard.h"
#include "shell/channels.h"
#include "shell/error_report.h"

namespace segsniff {

AfterMappingHook after_mapping_hook = nullptr;

namespace {

// The analysis of a mapped file, guarded against the mapping losing its
// bytes (the file shrinks, or the device fails to deliver a page).  Such a
// read abandons the analysis where it stood; the run goes on with the next
// argument.  The abandoned frames run no destructors: the byte order they
// may have changed is put back by the scope here, and the analysis holds no
// other resource across a read of the mapping.
void analyse_guarded(const char* name, const platform::InputFile& file,
                     const CarvedInput& input, bool recovery, CarvingRun& carving) {
  ByteOrderScope order(intel_order);
  std::uint64_t lost_at = 0;
  if (platform::read_mapping_guarded(
          input.base, input.size, [&] { analyse_mapped_bytes(input, recovery, carving); },
          lost_at))
    return;

  end_output_line();
  std::uint64_t size_now = 0;
  err_stream << "Reading file '" << shown(name) << "' stopped: ";
  if (file.size(size_now) == 0 && size_now <= lost_at) {
    err_stream << "the file shrank to " << size_now << " bytes while it was read\n";
  } else {
    // The device failed to deliver the page that begins at lost_at.
    err_printf("read error in the page at file offset %08lX\n",
               static_cast<unsigned long>(lost_at));
  }
}

}  // namespace

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
  out_stream << "reading file " << shown(name) << ":\n";

  // Destruction order is release order: the mapping goes before the file.
  platform::InputFile file;
  if (int error = file.open(name)) {
    err_stream << "Open file '" << shown(name) << "' for reading failed\n";
    report_last_error(error);
    return;
  }

  std::uint64_t size = 0;
  if (int error = file.size(size)) {
    err_stream << "GetFileSize on file '" << shown(name) << "' failed\n";
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
  if (after_mapping_hook != nullptr) after_mapping_hook(name);
  analyse_guarded(name, file, input, recovery, carving);
}

}  // namespace segsniff
