#include "jpeg/scan_file.h"

#include "jpeg/byte_region.h"
#include "jpeg/recover_fragmented_streams.h"
#include "jpeg/scan_jpeg_markers.h"
#include "platform/block_device.h"
#include "platform/input_file.h"
#include "platform/mapped_read_guard.h"
#include "shell/carving_progress.h"

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
                     const CarvedInput& input, bool recovery, CarvingRun& carving,
                     Printer& printer) {
  ByteOrderScope order(intel_order);
  std::uint64_t lost_at = 0;
  if (platform::read_mapping_guarded(
          input.base, input.size,
          [&] { analyse_mapped_bytes(input, recovery, carving, printer); }, lost_at))
    return true;

  std::uint64_t size_now = 0;
  if (file.size(size_now) == 0 && size_now <= lost_at)
    printer.file_shrank(name, size_now);
  else
    printer.file_read_error(name, lost_at);  // the device failed to deliver that page
  return false;
}

// Files carved onto the card being recovered would overwrite the deleted
// pictures still waiting there: an input that is a block device is not
// carved into a folder whose file system lies on that device.  Nor is
// anything carved after the output folder could not be made.
bool carving_allowed(const char* name, const platform::InputFile& file,
                     const CarvingRun& carving, Printer& printer) {
  if (carving.output_folder_failed) {
    printer.carving_refused(name, CarvingRefusal::output_folder_failed, carving.output_folder);
    return false;
  }
  if (carving.report_failed) {
    printer.carving_refused(name, CarvingRefusal::report_failed, carving.report);
    return false;
  }
  platform::BlockDevice device;
  if (!platform::block_device_of(file.handle(), device)) return true;
  const char* folder = carving.output_folder.empty() ? "." : carving.output_folder.c_str();
  if (platform::writes_reach_device(folder, device)) {
    printer.carving_refused(name, CarvingRefusal::folder_on_device, folder);
    return false;
  }
  // The report and its spool grow in the report's folder while the
  // device is carved.
  if (!carving.report.empty() && platform::writes_reach_device(carving.report.c_str(), device)) {
    printer.carving_refused(name, CarvingRefusal::report_on_device, carving.report);
    return false;
  }
  return true;
}

// Says file_end on every way out of scan_file.
class FileScope {
 public:
  FileScope(Printer& printer, const char* name) : printer_(printer) { printer_.file_begin(name); }
  ~FileScope() { printer_.file_end(); }
  FileScope(const FileScope&) = delete;
  FileScope& operator=(const FileScope&) = delete;

 private:
  Printer& printer_;
};

}  // namespace

void analyse_mapped_bytes(const CarvedInput& input, bool recovery, CarvingRun& carving,
                          Printer& printer) {
  if (recovery) {
    if (carving.fragments) recover_fragmented_streams(input, carving, printer);
    else recover_jpeg_streams(input, carving, printer);
    return;
  }
  ByteRegion region = ByteRegion::over(input.base, input.size);
  if (region.byte_at(0) == 0xFF && region.byte_at(1) == 0xD8) {
    WalkContext context(printer);
    scan_jpeg_markers(region, context);  // the outcome is not looked at
  } else {
    printer.finding(Channel::err, 0, "unknown file type\n");
  }
}

bool scan_file(const char* name, bool recovery, CarvingRun& carving, Printer& printer) {
  const FileScope file_node(printer, name);

  // Destruction order is release order: the mapping goes before the file.
  platform::InputFile file;
  if (int error = file.open(name)) {
    printer.file_open_failed(name, error);
    return false;
  }
  if (recovery && !carving_allowed(name, file, carving, printer)) return false;

  std::uint64_t size = 0;
  if (int error = file.size(size)) {
    printer.file_size_failed(name, error);
    return false;
  }
  printer.file_size(size);

  platform::InputMapping mapping;
  if (int error = mapping.create(file, size)) {
    printer.file_map_failed(MapStep::create_mapping, error);
    return false;
  }
  if (int error = mapping.map_view()) {
    printer.file_map_failed(MapStep::map_view, error);
    return false;
  }
  printer.file_mapped(size);

  const CarvedInput input{mapping.data(), size};
  if (after_mapping_hook != nullptr) after_mapping_hook(name);
  if (!recovery) return analyse_guarded(name, file, input, recovery, carving, printer);

  carving.tally = CarvingTally{};
  if (carving.progress != nullptr) carving.progress->start(name, size);
  const bool read_whole = analyse_guarded(name, file, input, recovery, carving, printer);
  if (carving.progress != nullptr) {
    carving.progress->finish();
    printer.carving_summary(name, carving.tally);
  }
  return read_whole && carving.tally.failures == 0;
}

}  // namespace segsniff
