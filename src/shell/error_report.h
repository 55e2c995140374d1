#pragma once

namespace segsniff {

// Prints "Last Error = <code> ('<system text>')" on standard error.  The
// caller captures errno right after the failing call and before printing its
// own failure line (printing may change errno).
void report_last_error(int error_code);

}  // namespace segsniff
