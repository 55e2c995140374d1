#include "device/copy_device.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "platform/same_file.h"
#include "shell/channels.h"

namespace segsniff {

namespace {

// Every read asks for a whole block; a device is read in these steps.
constexpr std::size_t block_size = 262144;
// A progress line after every 32 blocks (8 MiB of full blocks).
constexpr std::uint64_t blocks_per_progress_line = 32;
constexpr unsigned mebibyte_shift = 20;

struct StdioCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;

enum class CopyOutcome { not_started, done, read_failed, write_failed };

// One copy.  The members are declared in reverse release order, so on every
// way out the destination is closed first, then the source, then the buffer
// is freed.  Byte counts are 64-bit: a whole card of many GiB prints its
// true totals.
class DeviceCopy {
 public:
  DeviceCopy(const char* source_name, const char* destination_name)
      : source_name_(source_name), destination_name_(destination_name) {}

  // Opens the source, then takes the buffer, then creates the destination:
  // when anything before fails, or the destination names the source itself,
  // no destination file is created or truncated.  Returns false after
  // printing the failure.
  bool open();

  // Header already printed, open() succeeded.  Prints the stars, the
  // progress lines and the total or the failure.
  CopyOutcome copy_blocks();

  // The final line break, then the releases.  The destination's close is
  // checked: a write that fails only when flushed is a failed copy too.
  void finish(CopyOutcome outcome);

 private:
  void report_write_failure() {
    err_stream << "writing file '" << shown(destination_name_) << "' failed\n";
  }

  const char* source_name_;
  const char* destination_name_;
  std::unique_ptr<unsigned char[]> buffer_;
  StdioFile source_;
  StdioFile destination_;
};

bool DeviceCopy::open() {
  source_.reset(std::fopen(source_name_, "rb"));
  if (source_ == nullptr) {
    err_stream << "Open file '" << shown(source_name_) << "' for reading failed\n";
    return false;
  }
  // Opening the source itself for writing would truncate it before the
  // first read.
  bool same = false;
  platform::same_file(::fileno(source_.get()), destination_name_, same);
  if (same) {
    err_stream << "Source '" << shown(source_name_) << "' and destination are the same file\n";
    return false;
  }
  buffer_.reset(new (std::nothrow) unsigned char[block_size]);
  if (buffer_ == nullptr) {
    err_stream << "Allocating buffer memory failed\n";
    return false;
  }
  destination_.reset(std::fopen(destination_name_, "wb"));
  if (destination_ == nullptr) {
    err_stream << "Create file '" << shown(destination_name_) << "' for writing failed\n";
    return false;
  }
  return true;
}

// The star goes before each read, so k blocks print k + 1 stars and a
// progress line ends the line of every 32nd star.  A short block counts as
// a block.  A read error is told from the end of the data by ferror: the
// bytes read before it are written, then the copy stops without a total.
CopyOutcome DeviceCopy::copy_blocks() {
  std::uint64_t bytes = 0;
  std::uint64_t blocks = 0;
  for (;;) {
    out_stream << "*";
    std::size_t count = std::fread(buffer_.get(), 1, block_size, source_.get());
    if (count == 0) {
      if (std::ferror(source_.get())) break;
      // What stdio still holds is written before the total is claimed.
      if (std::fflush(destination_.get()) != 0) {
        report_write_failure();
        return CopyOutcome::write_failed;
      }
      out_stream << "\ncopied " << bytes << " bytes (" << (bytes >> mebibyte_shift) << " MB)";
      return CopyOutcome::done;
    }
    std::size_t written = std::fwrite(buffer_.get(), 1, count, destination_.get());
    bytes += written;
    if (written < count) {
      report_write_failure();
      return CopyOutcome::write_failed;
    }
    blocks += 1;
    if (blocks % blocks_per_progress_line == 0)
      out_stream << " copied so far " << bytes << " bytes (" << (bytes >> mebibyte_shift)
                 << " MB)\n";
    if (std::ferror(source_.get())) break;
  }
  err_stream << "reading file '" << shown(source_name_) << "' failed\n";
  return CopyOutcome::read_failed;
}

void DeviceCopy::finish(CopyOutcome outcome) {
  out_stream << "\n";
  if (destination_ != nullptr && std::fclose(destination_.release()) != 0 &&
      outcome != CopyOutcome::write_failed)
    report_write_failure();
}

}  // namespace

void copy_device(const char* source, const char* destination) {
  out_stream << "Copy from File " << shown(source) << " to file " << shown(destination) << "\n";
  DeviceCopy copy(source, destination);
  CopyOutcome outcome = copy.open() ? copy.copy_blocks() : CopyOutcome::not_started;
  copy.finish(outcome);
}

}  // namespace segsniff
