#pragma once

namespace segsniff {

// Prints "Last Error = <code> ('<system text>')" on standard error.  The
// code is what the failing platform call returned (platform/system_error.h),
// taken right after the call and before the caller printed its own failure
// line (printing may change the system's last error).
void report_last_error(int error_code);

}  // namespace segsniff
