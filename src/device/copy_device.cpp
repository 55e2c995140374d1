#include "device/copy_device.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "platform/block_device.h"
#include "platform/copy_source.h"
#include "platform/output_file.h"
#include "platform/same_file.h"

namespace segsniff {

namespace {

// Every read asks for a whole block; a device is read in these steps.
constexpr std::size_t block_size = 262144;
// A progress line after every 32 blocks (8 MiB of full blocks).
constexpr std::uint64_t blocks_per_progress_line = 32;

enum class CopyOutcome { not_started, done, read_failed, write_failed };

// One copy.  The members are declared in reverse release order, so on every
// way out the destination is closed first, then the source, then the buffer
// is freed.  Byte counts are 64-bit: a whole card of many GiB prints its
// true totals.
class DeviceCopy {
 public:
  DeviceCopy(const char* source_name, const char* destination_name, Printer& printer)
      : source_name_(source_name), destination_name_(destination_name), printer_(printer) {}

  // Opens the source, then takes the buffer, then opens the destination
  // without emptying it.  Refused before the destination is opened: a
  // destination that is a block device, one that is the source itself
  // (under any name, or as the backing file of a source loop device), and
  // one on a file system of the source device.  Returns false after
  // printing the failure.
  bool open();

  // Header already told, open() succeeded.  Tells the stars, the progress
  // lines and the total or the failure.
  CopyOutcome copy_blocks();

  // The final line break, then the releases.  The destination's close is
  // checked: a write that fails only when flushed is a failed copy too.
  void finish(CopyOutcome& outcome);

 private:
  bool destination_refused();
  void report(CopyFailure failure) {
    printer_.copy_failed(failure, source_name_, destination_name_);
  }

  const char* source_name_;
  const char* destination_name_;
  Printer& printer_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  platform::CopySource source_;
  platform::CopyTarget destination_;
};

bool DeviceCopy::destination_refused() {
  if (platform::CopyTarget::is_block_device(destination_name_)) {
    report(CopyFailure::destination_block_device);
    return true;
  }
  // Opening the source itself for writing would destroy it.
  bool same = false;
  platform::same_file(source_.handle(), destination_name_, same);
  if (same) {
    report(CopyFailure::same_file);
    return true;
  }
  platform::BlockDevice device;
  if (platform::block_device_of(source_.handle(), device) &&
      platform::writes_reach_device(destination_name_, device)) {
    report(CopyFailure::destination_on_source);
    return true;
  }
  return false;
}

bool DeviceCopy::open() {
  if (source_.open(source_name_) != 0) {
    report(CopyFailure::source_open);
    return false;
  }
  if (destination_refused()) return false;
  buffer_.reset(new (std::nothrow) std::uint8_t[block_size]);
  if (buffer_ == nullptr) {
    report(CopyFailure::buffer);
    return false;
  }
  const int status = destination_.open(destination_name_);
  if (status == platform::target_is_block_device) {
    // The name was changed into a device after it was looked at.
    report(CopyFailure::destination_block_device);
    return false;
  }
  if (status != 0) {
    report(CopyFailure::destination_create);
    return false;
  }
  return true;
}

// The star goes before each read, so k blocks print k + 1 stars and a
// progress line ends the line of every 32nd star.  A short block counts as
// a block.  A read error is told from the end of the data: the bytes read
// before it are written, then the copy stops without a total.
// The destination is emptied only once the first read has brought data or
// the clean end of an empty source: a source that cannot be read at all
// leaves an existing destination as it was.
CopyOutcome DeviceCopy::copy_blocks() {
  std::uint64_t bytes = 0;
  std::uint64_t blocks = 0;
  bool emptied = false;
  bool read_failed = false;
  for (;;) {
    printer_.copy_block();
    std::size_t count = source_.read(buffer_.get(), block_size, read_failed);
    if (count == 0 && read_failed) break;
    if (!emptied && destination_.empty() != 0) {
      report(CopyFailure::destination_write);
      return CopyOutcome::write_failed;
    }
    emptied = true;
    if (count == 0) {
      // What stdio still holds is written before the total is claimed.
      if (std::fflush(destination_.stream()) != 0) {
        report(CopyFailure::destination_write);
        return CopyOutcome::write_failed;
      }
      printer_.copy_done(bytes);
      return CopyOutcome::done;
    }
    std::size_t written = std::fwrite(buffer_.get(), 1, count, destination_.stream());
    bytes += written;
    if (written < count) {
      report(CopyFailure::destination_write);
      return CopyOutcome::write_failed;
    }
    blocks += 1;
    if (blocks % blocks_per_progress_line == 0) printer_.copy_progress(bytes);
    if (read_failed) break;
  }
  report(CopyFailure::source_read);
  return CopyOutcome::read_failed;
}

void DeviceCopy::finish(CopyOutcome& outcome) {
  printer_.copy_end();
  if (destination_.stream() != nullptr && destination_.close() != 0 &&
      outcome != CopyOutcome::write_failed) {
    report(CopyFailure::destination_write);
    outcome = CopyOutcome::write_failed;
  }
}

}  // namespace

bool copy_device(const char* source, const char* destination, Printer& printer) {
  printer.copy_begin(source, destination);
  DeviceCopy copy(source, destination, printer);
  CopyOutcome outcome = copy.open() ? copy.copy_blocks() : CopyOutcome::not_started;
  copy.finish(outcome);
  return outcome == CopyOutcome::done;
}

}  // namespace segsniff
