#pragma once

#include "shell/channels.h"

namespace segsniff {

// The usage text, thirteen lines: on the standard error stream after a
// faulty command line, on the standard output stream when asked for (-h).
void print_usage(OutputStream& stream);

// The entry: banner, then every argument acted on from left to right.
// "-h", "-help", "--help" print the usage on standard output and end the
// run; "-version", "--version" end it after the banner; "--" makes every
// later argument a file name.  "-json" makes the listing of every later
// argument JSON Lines (json_printer.h), without the option announcements;
// when it is the first argument, the banner is left out too, so that
// standard output holds nothing but JSON Lines.  Returns the exit status (shell/exit_status.h):
// 1 when the usage text was shown for a faulty command line, else 2 when an
// operation the user asked for failed, else 0.
int run_command_line(int argc, const char* const* argv);

}  // namespace segsniff
