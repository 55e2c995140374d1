#pragma once

namespace segsniff {

// The usage text, thirteen lines on the standard error stream.
void print_usage();

// The entry: banner, then every argument acted on from left to right.
// Returns the exit status (shell/exit_status.h): 1 when the usage text was
// shown, else 2 when an operation the user asked for failed, else 0.
int run_command_line(int argc, const char* const* argv);

}  // namespace segsniff
