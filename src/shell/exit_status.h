// The exit statuses of a run.
#pragma once

namespace segsniff {

inline constexpr int exit_status_ok = 0;
inline constexpr int exit_status_usage = 1;   // the usage text was shown
inline constexpr int exit_status_failed = 2;  // an operation the user asked for failed

}  // namespace segsniff
