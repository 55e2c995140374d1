#pragma once

namespace segsniff {

// The usage text, thirteen lines on the standard error stream.
void print_usage();

// The entry: banner, then every argument acted on from left to right.
// Returns the exit status, 0 or 1.
int run_command_line(int argc, const char* const* argv);

}  // namespace segsniff
