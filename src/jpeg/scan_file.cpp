#include "jpeg/scan_file.h"

#include "jpeg/byte_region.h"
#include "jpeg/scan_jpeg_markers.h"
#include "platform/block_device.h"
#include "platform/input_file.h"
#include "platform/mapped_read_guard.h"
#include "shell/carving_progress.h"
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
// other resource across a read of the mapping.  Returns false when the
// analysis was abandoned.
bool analyse_guarded(const char* name, const platform::InputFile& file,
                     const CarvedInput& input, bool recovery, CarvingRun& carving) {
  ByteOrderScope order(intel_order);
  std::uint64_t lost_at = 0;
  if (platform::read_mapping_guarded(
          input.base, input.size, [&] { analyse_mapped_bytes(input, recovery, carving); },
          lost_at))
    return true;

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
  return false;
}

// Files carved onto the card being recovered would overwrite the deleted
// pictures still waiting there: an input that is a block device is not
// carved into a folder whose file system lies on that device.  Nor is
// anything carved after the output folder could not be made.
bool carving_allowed(const char* name, const platform::InputFile& file,
                     const CarvingRun& carving) {
  if (carving.output_folder_failed) {
    err_stream << "Will not carve '" << shown(name) << "': the output folder '"
               << shown(carving.output_folder) << "' could not be made\n";
    return false;
  }
  platform::BlockDevice device;
  const char* folder = carving.output_folder.empty() ? "." : carving.output_folder.c_str();
  if (platform::block_device_of(file.handle(), device) &&
      platform::writes_reach_device(folder, device)) {
    err_stream << "Will not carve '" << shown(name)
               << "': the output folder is on a file system of that device\n";
    return false;
  }
  return true;
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

bool scan_file(const char* name, bool recovery, CarvingRun& carving) {
  out_stream << "reading file " << shown(name) << ":\n";

  // Destruction order is release order: the mapping goes before the file.
  platform::InputFile file;
  if (int error = file.open(name)) {
    err_stream << "Open file '" << shown(name) << "' for reading failed\n";
    report_last_error(error);
    return false;
  }
  if (recovery && !carving_allowed(name, file, carving)) return false;

  std::uint64_t size = 0;
  if (int error = file.size(size)) {
    err_stream << "GetFileSize on file '" << shown(name) << "' failed\n";
    report_last_error(error);
    return false;
  }
  out_stream << "Filelen " << size << " Bytes\n";

  platform::InputMapping mapping;
  if (int error = mapping.create(file, size)) {
    error_sink("create file mapping failed\n");
    report_last_error(error);
    return false;
  }
  if (int error = mapping.map_view()) {
    error_sink("create mapview of file failed\n");
    report_last_error(error);
    return false;
  }
  out_stream << "file size " << size << " bytes\n";

  const CarvedInput input{mapping.data(), size};
  if (after_mapping_hook != nullptr) after_mapping_hook(name);
  if (!recovery) return analyse_guarded(name, file, input, recovery, carving);

  carving.tally = CarvingTally{};
  if (carving.progress != nullptr) carving.progress->start(name, size);
  const bool read_whole = analyse_guarded(name, file, input, recovery, carving);
  if (carving.progress != nullptr) carving.progress->finish(carving.tally);
  return read_whole && carving.tally.failures == 0;
}

}  // namespace segsniff
