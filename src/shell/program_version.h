// The program's version, as the banner and the carving report show it.
#pragma once

namespace segsniff {

inline constexpr char program_version[] = "1.18";

}  // namespace segsniff
